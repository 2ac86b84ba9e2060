#include "service/ui/pushmessage.h"

#include <QPainter>
#include <QPushButton>

#include <algorithm>

#include "service/serviceendpoints.h"
#include "widgets/uitext.h"
#include "widgets/urlopener.h"
#include "widgets/windowplacement.h"

namespace {
constexpr int kLineLength = 50;
constexpr int kTextLeft = 45;
constexpr int kSingleLineTop = 30;     // a body of one line
constexpr int kLinePitch = 30;         // longer ones from y 15 on: 15, 45, 75...
constexpr QSize kLeastSize(452, 122);  // the smallest the dialog gets: one line and the buttons
constexpr QSize kButtonSize(87, 23);
constexpr int kWebsiteLeft = 93;    // the website button's left edge
constexpr int kCloseRightGap = 71;  // from the close button's right edge to the dialog's
constexpr int kButtonGap = 20;      // least room between the two buttons
constexpr int kMargin = 15;         // under the text and under the buttons
const QColor kAlarmColor(255, 0, 0);
const QString kWebsiteCaption = QStringLiteral("Official Website");

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    return button;
}

int ButtonWidth(const QPushButton* button)
{
    return std::max(kButtonSize.width(), button->sizeHint().width());
}
}  // namespace

QStringList CPushMessage::BreakLines(const QString& body)
{
    QStringList lines;
    qsizetype start = 0;
    while (body.size() - start > kLineLength) {
        // The last space among the first 51 characters ends the line (a space
        // right after 50 characters still does); a word longer than a line is
        // cut after 50 characters.
        const qsizetype space = body.lastIndexOf(QLatin1Char(' '), start + kLineLength);
        const qsizetype end = space > start ? space + 1 : start + kLineLength;
        lines.append(body.mid(start, end - start));
        start = end;
    }
    if (start < body.size())
        lines.append(body.mid(start));
    return lines;
}

CPushMessage::CPushMessage(const PushMessage& message, IUrlOpener& urlOpener, QWidget* parent)
    : QDialog(parent), type_(message.type >= 1 && message.type <= 4 ? message.type : 1), body_(ToUi(message.body))
{
    setObjectName(QStringLiteral("pushMessage"));
    setWindowTitle(QStringLiteral("Message"));
    setAccessibleName(windowTitle());
    // Modal to its parent only, like every dialog of the program.
    setWindowModality(Qt::WindowModal);

    closeButton_ = MakeButton(this, "closeButton", EndsProgram() ? QStringLiteral("Exit") : QStringLiteral("OK"));
    // A missing or empty caption keeps the button's own text.
    const QString caption = message.hasCaption ? ToUi(message.caption) : QString();
    websiteButton_ = MakeButton(this, "websiteButton", caption.isEmpty() ? kWebsiteCaption : caption);
    websiteButton_->setVisible(type_ == 2 || type_ == 4);
    closeButton_->setDefault(true);
    FitToText();

    connect(closeButton_, &QPushButton::clicked, this, &CPushMessage::reject);
    connect(websiteButton_, &QPushButton::clicked, this, [&urlOpener] { urlOpener.Open(ToUi(HomePageUrl())); });
}

void CPushMessage::FitToText()
{
    const QFontMetrics metrics = fontMetrics();
    const QVector<Line> lines = BodyLines();
    int textWidth = 0;
    for (const Line& line : lines)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(line.text));
    const int textBottom = lines.isEmpty() ? 0 : lines.last().topLeft.y() + metrics.height();

    const int closeWidth = ButtonWidth(closeButton_);
    int websiteWidth = websiteButton_->isVisibleTo(this) ? ButtonWidth(websiteButton_) : 0;
    const QRect screen = DialogScreenArea(this);
    const int widest = screen.isEmpty() ? QWIDGETSIZE_MAX : screen.width() * 9 / 10;
    int width = std::max({kLeastSize.width(), kTextLeft + textWidth + kTextLeft,
                          kWebsiteLeft + websiteWidth + kButtonGap + closeWidth + kCloseRightGap});
    if (width > widest) {
        width = widest;
        // A caption wider than the screen allows is shortened; its tooltip has it whole.
        const int room = width - kWebsiteLeft - kButtonGap - closeWidth - kCloseRightGap;
        if (websiteWidth > room) {
            const int textRoom = room - (websiteWidth - metrics.horizontalAdvance(websiteButton_->text()));
            websiteButton_->setToolTip(websiteButton_->text());
            websiteButton_->setText(metrics.elidedText(websiteButton_->text(), Qt::ElideRight, textRoom));
            websiteWidth = room;
        }
    }
    // A body holds at most 255 characters, ten lines at the most: the height fits any screen.
    const int buttonTop = std::max(kLeastSize.height() - kMargin - kButtonSize.height(), textBottom + kMargin);
    const int height = buttonTop + kButtonSize.height() + kMargin;

    setFixedSize(width, height);
    closeButton_->setGeometry(width - kCloseRightGap - closeWidth, height - kMargin - kButtonSize.height(), closeWidth,
                              kButtonSize.height());
    websiteButton_->setGeometry(kWebsiteLeft, closeButton_->y(), websiteWidth, kButtonSize.height());
}

QVector<CPushMessage::Line> CPushMessage::BodyLines() const
{
    const QStringList lines = BreakLines(body_);
    if (lines.size() == 1)
        return {{QPoint(kTextLeft, kSingleLineTop), lines.first()}};
    const int pitch = std::max(kLinePitch, fontMetrics().lineSpacing());
    QVector<Line> placed;
    for (qsizetype i = 0; i < lines.size(); ++i)
        placed.append({QPoint(kTextLeft, kMargin + static_cast<int>(i) * pitch), lines[i]});
    return placed;
}

void CPushMessage::reject()
{
    if (EndsProgram()) {
        emit exitRequested();
        if (exitCallback_)
            exitCallback_();
    }
    QDialog::reject();
}

void CPushMessage::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CentreOnScreenWithoutShownParent(this);
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
