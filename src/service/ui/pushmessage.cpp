#include "service/ui/pushmessage.h"

#include <QPainter>
#include <QPushButton>

#include "service/serviceendpoints.h"
#include "widgets/uitext.h"
#include "widgets/urlopener.h"

namespace {
constexpr int kLineLength = 50;
const QColor kAlarmColor(255, 0, 0);

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}
}  // namespace

CPushMessage::CPushMessage(const PushMessage& message, IUrlOpener& urlOpener, QWidget* parent)
    : QDialog(parent), type(message.type >= 1 && message.type <= 4 ? message.type : 1), body(ToUi(message.body))
{
    setObjectName(QStringLiteral("pushMessage"));
    setWindowTitle(QStringLiteral("Message"));
    setAccessibleName(windowTitle());
    // Modal to its parent only, like every dialog of the program.
    setWindowModality(Qt::WindowModal);
    setFixedSize(452, 122);  // the 301 x 75 dialog units of the original layout

    closeButton = MakeButton(this, "closeButton", EndsProgram() ? QStringLiteral("Exit") : QStringLiteral("OK"),
                             QRect(294, 84, 87, 23));
    const QString website = message.hasCaption ? ToUi(message.caption) : QStringLiteral("Official Website");
    websiteButton = MakeButton(this, "websiteButton", website, QRect(93, 84, 88, 23));
    websiteButton->setVisible(type == 2 || type == 4);
    closeButton->setDefault(true);

    connect(closeButton, &QPushButton::clicked, this, &CPushMessage::reject);
    connect(websiteButton, &QPushButton::clicked, this, [&urlOpener] { urlOpener.Open(ToUi(HomePageUrl())); });
}

QVector<CPushMessage::Line> CPushMessage::BodyLines() const
{
    if (body.isEmpty())
        return {};
    if (body.size() > kLineLength)
        return {{QPoint(45, 15), body.left(kLineLength)}, {QPoint(45, 45), body.mid(kLineLength)}};
    return {{QPoint(45, 30), body}};
}

void CPushMessage::reject()
{
    if (EndsProgram()) {
        emit exitRequested();
        if (exitCallback)
            exitCallback();
    }
    QDialog::reject();
}

void CPushMessage::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(EndsProgram() ? kAlarmColor : palette().color(QPalette::WindowText));
    for (const Line& line : BodyLines()) {
        // A rectangle of its own per line: drawText never interprets markup,
        // and the single-line flag keeps line breaks from the network flat.
        const QRect area(line.topLeft, QSize(width() - line.topLeft.x(), fontMetrics().height()));
        painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line.text);
    }
}
