#pragma once

#include <QDialog>

#include "data/windowmessages.h"

class QLabel;
class QProgressBar;
class QPushButton;
class CWorker;
class IPrompt;

// The modal "Testing" dialog of a test run: follows the progress the jobs
// post, lets the user cancel (Cancel button, Escape or the close box) and
// closes when the run reports its completion.
//
// It registers itself as progressWindow when it is constructed, so a run
// started after that reaches it even if it completes before the dialog is
// shown: the completion waits in the event queue until exec() runs.
class CProgressDialog : public QDialog, public IMessageTarget {
    Q_OBJECT
public:
    enum State { Running = 0, Finished = 1, Canceled = 2 };

    // total: proxies in the list when the run starts; 0 closes the dialog at
    // once. The closing message goes through prompt.
    CProgressDialog(bool isSpeedTest, int total, IPrompt& prompt, QWidget* parent = nullptr);
    ~CProgressDialog() override;

    // Thread-safe: the message is handled later on the dialog's thread.
    void PostMessage(int message, long long wParam, long long lParam) override;

    State CurrentState() const { return state; }
    int Done() const { return done; }

public slots:
    // Escape, the close box and the Cancel button all cancel; only the
    // run's completion closes the dialog.
    void reject() override;

private:
    void OnTestMessage(long long wParam, long long lParam);
    CWorker& WorkerUnderTest() const;

    IPrompt& prompt;
    const bool isSpeedTest;
    const int total;
    int done = 0;
    State state = Running;
    QLabel* statusText;
    QProgressBar* progressBar;
    QPushButton* cancelButton;
};

// Tests the process-wide proxy list behind the modal progress dialog: starts
// the run thread, runs the dialog until the run has ended and joins the
// thread. The list then holds the proxies that passed, fastest first. False
// when the list was empty and nothing ran.
bool RunTestWithProgress(QWidget* parent, bool isSpeedTest, IPrompt& prompt);
