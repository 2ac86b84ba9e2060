#pragma once

#include <QDialog>

#include "testing/worker.h"

class QLabel;
class QProgressBar;
class QPushButton;
class CWorker;
class IPrompt;

// The modal "Testing" dialog of a test run: follows the progress the jobs
// report, lets the user cancel (Cancel button, Escape or the close box) and
// closes when the run reports its completion. As the run's listener it
// queues every report to its own thread, so a run that completes before the
// dialog is shown closes it as soon as exec() runs.
class CProgressDialog : public QDialog, public ITestProgressListener {
    Q_OBJECT
public:
    enum State { Running = 0, Finished = 1, Canceled = 2 };

    // total: proxies in the list when the run starts; 0 closes the dialog at
    // once. The closing message goes through prompt.
    CProgressDialog(bool isSpeedTest, int total, IPrompt& prompt, QWidget* parent = nullptr);
    ~CProgressDialog() override;

    // Thread-safe: handled later on the dialog's thread.
    void OnProgress(int count) override;
    void OnComplete() override;

    State CurrentState() const { return state_; }
    int Done() const { return done_; }

public slots:
    // Escape, the close box and the Cancel button all cancel; only the
    // run's completion closes the dialog.
    void reject() override;

private:
    void ShowProgress(int count);
    void Close();
    CWorker& WorkerUnderTest() const;

    IPrompt& prompt_;
    const bool isSpeedTest_;
    const int total_;
    int done_ = 0;
    State state_ = Running;
    QLabel* statusText_;
    QProgressBar* progressBar_;
    QPushButton* cancelButton_;
};

struct CSettingTestItem;

// The message at the end of a run that was not canceled: how many of the
// tested proxies passed; when none did, the test page and text (from test).
QString FinishedText(int passed, int tested, const CSettingTestItem* test = nullptr);

// Tests the process-wide proxy list behind the modal progress dialog: starts
// the run thread, runs the dialog until the run has ended and joins the
// thread. The list then holds the proxies that passed, fastest first. False
// when the list was empty and nothing ran.
bool RunTestWithProgress(QWidget* parent, bool isSpeedTest, IPrompt& prompt);
