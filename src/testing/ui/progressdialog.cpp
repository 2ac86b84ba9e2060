#include "testing/ui/progressdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "settings/setting.h"
#include "testing/checkanonymousworker.h"
#include "testing/testrun.h"
#include "testing/testspeedworker.h"
#include "widgets/prompt.h"
#include "widgets/uitext.h"

namespace {
void SetStatus(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setAccessibleName(text);
}

QString Proxies(int count)
{
    return count == 1 ? QStringLiteral("1 proxy") : QStringLiteral("%1 proxies").arg(count);
}
}  // namespace

QString FinishedText(int passed, int tested, const CSettingTestItem* test)
{
    const QString finished = QStringLiteral("The proxy test is finished!");
    if (passed > 0)
        return QStringLiteral("%1 %2 of %3 passed.").arg(finished).arg(passed).arg(Proxies(tested));
    QString text = tested == 1 ? QStringLiteral("%1 The 1 proxy tested did not pass").arg(finished)
                               : QStringLiteral("%1 None of the %2 proxies tested passed").arg(finished).arg(tested);
    if (test && !test->testUrl.empty())
        text +=
            QStringLiteral(" (test page %1, expected text \"%2\")").arg(ToUi(test->testUrl), ToUi(test->correctValue));
    return text + QStringLiteral(".");
}

TestRunUi SpeedTestRun()
{
    return {GetTestSpeedWorker(), QStringLiteral("Testing proxies' speed...")};
}

TestRunUi AvailabilityTestRun()
{
    return {GetCheckAnonymousWorker(), QStringLiteral("Testing proxies' availability...")};
}

CProgressDialog::CProgressDialog(const TestRunUi& run, int total, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt), worker_(run.worker), total_(total), statusText_(new QLabel(this)),
      progressBar_(new QProgressBar(this)), cancelButton_(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("progressDialog"));
    setWindowTitle(QStringLiteral("Testing"));
    // Modal to its parent only, so the tray menu stays usable while it is open.
    setWindowModality(Qt::WindowModal);
    resize(485, 114);

    statusText_->setObjectName(QStringLiteral("statusText"));
    SetStatus(statusText_, run.status);
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setAccessibleName(QStringLiteral("Progress"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setAccessibleName(QStringLiteral("Cancel"));
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &CProgressDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(statusText_);
    layout->addWidget(progressBar_);
    layout->addLayout(buttons);

    if (total_ == 0) {
        QTimer::singleShot(0, this, &QDialog::accept);
        return;
    }
    worker_.ClearCancel();
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
    if (total_ == 0 || state_ != Running)
        return;  // the bar stands still after a cancel
    done_ = std::min(done_ + count, total_);
    progressBar_->setValue(done_ * 100 / total_);
}

void CProgressDialog::Close()
{
    if (state_ == Canceled) {
        prompt_.Show(this, QStringLiteral("The proxy test is canceled by you!"), IPrompt::Info);
    } else if (state_ == Running) {
        state_ = Finished;
        // The run has replaced the list with the proxies that passed.
        const int passed = static_cast<int>(GetProxyList().size());
        if (passed > 0)
            prompt_.Show(this, FinishedText(passed, total_), IPrompt::Info);
        else
            prompt_.Show(this, FinishedText(0, total_, &GetSetting().GetTestItem()), IPrompt::Ok);
    }
    worker_.ClearCancel();
    accept();
}

void CProgressDialog::reject()
{
    if (state_ != Running)
        return;
    state_ = Canceled;
    worker_.Cancel();
    SetStatus(statusText_, QStringLiteral("Canceling..."));
    cancelButton_->setEnabled(false);
}
