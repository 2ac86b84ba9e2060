#include "testing/ui/progressdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"
#include "widgets/prompt.h"

namespace {
void SetStatus(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleName(text);
}
}  // namespace

CProgressDialog::CProgressDialog(bool isSpeedTest, int total, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), prompt(prompt), isSpeedTest(isSpeedTest), total(total), statusText(new QLabel(this)),
      progressBar(new QProgressBar(this)), cancelButton(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("progressDialog"));
    setWindowTitle(QStringLiteral("Testing"));
    setModal(true);
    resize(485, 114);

    statusText->setObjectName(QStringLiteral("statusText"));
    SetStatus(statusText, isSpeedTest ? QStringLiteral("Testing proxies' speed...")
                                      : QStringLiteral("Testing proxies' availability..."));
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setAccessibleName(QStringLiteral("Progress"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAccessibleName(QStringLiteral("Cancel"));
    cancelButton->setAutoDefault(false);
    connect(cancelButton, &QPushButton::clicked, this, &CProgressDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(statusText);
    layout->addWidget(progressBar);
    layout->addLayout(buttons);

    if (total == 0) {
        QTimer::singleShot(0, this, &QDialog::accept);
        return;
    }
    WorkerUnderTest().ClearCancel();
}

CProgressDialog::~CProgressDialog() = default;

void CProgressDialog::OnProgress(int count)
{
    QMetaObject::invokeMethod(
        this, [this, count] { ShowProgress(count); }, Qt::QueuedConnection);
}

void CProgressDialog::OnComplete()
{
    QMetaObject::invokeMethod(
        this, [this] { Close(); }, Qt::QueuedConnection);
}

void CProgressDialog::ShowProgress(int count)
{
    if (total == 0 || state != Running)
        return;  // the bar stands still after a cancel
    done = std::min(done + count, total);
    progressBar->setValue(done * 100 / total);
}

void CProgressDialog::Close()
{
    if (state == Canceled) {
        prompt.Show(this, QStringLiteral("The proxy test is canceled by you!"), IPrompt::Ok);
    } else if (state == Running) {
        state = Finished;
        prompt.Show(this, QStringLiteral("The proxy test is finished!"), IPrompt::Ok);
    }
    WorkerUnderTest().ClearCancel();
    accept();
}

void CProgressDialog::reject()
{
    if (state != Running)
        return;
    state = Canceled;
    WorkerUnderTest().Cancel();
    SetStatus(statusText, QStringLiteral("Canceling..."));
    cancelButton->setEnabled(false);
}

CWorker& CProgressDialog::WorkerUnderTest() const
{
    if (isSpeedTest)
        return GetTestSpeedWorker();
    return GetCheckAnonymousWorker();
}
