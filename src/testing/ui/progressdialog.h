#pragma once

#include <QDialog>
#include <QString>

#include "testing/worker.h"

class QLabel;
class QProgressBar;
class QPushButton;
class CWorker;
class IPrompt;

// A test run as the progress dialog shows it: the worker that runs it and
// the status line shown meanwhile.
struct TestRunUi {
    CWorker& worker;
    QString status;
};
// The speed test ("Testing proxies' speed...") and the availability check
// ("Testing proxies' availability...") on their process-wide workers.
TestRunUi SpeedTestRun();
TestRunUi AvailabilityTestRun();

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
    CProgressDialog(const TestRunUi& run, int total, IPrompt& prompt, QWidget* parent = nullptr);
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
    IPrompt& prompt_;
    CWorker& worker_;
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
