#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

#include "service/startrequest.h"

class IUrlOpener;
class QPushButton;

// Shows a message the service pushed in its start answer. Types 1 and 2 have
// an "OK" button, types 3 and 4 an "Exit" button, red text, and closing them
// asks the program to exit. Types 2 and 4 add a button to the home page,
// captioned with the message's caption or, without one, "Official Website".
// The text comes from the network and is only ever drawn as plain text, in
// lines of about 50 characters; the dialog grows to hold the text and the
// buttons' captions, within the screen, and is centred on the screen while
// its parent is not shown.
class CPushMessage : public QDialog {
    Q_OBJECT
public:
    // The website button opens the home page through urlOpener.
    CPushMessage(const PushMessage& message, IUrlOpener& urlOpener, QWidget* parent = nullptr);

    // Called (besides exitRequested) when a type 3 or 4 message is closed.
    void SetExitCallback(std::function<void()> callback) { exitCallback_ = std::move(callback); }

    struct Line {
        QPoint topLeft;  // client pixel position
        QString text;
    };
    // The lines painting draws: a body of up to 50 characters whole at
    // (45, 30); a longer one in lines of at most 50 characters, broken after
    // the last space that allows it (or after 50 characters inside a longer
    // word), at (45, 15), (45, 45) and on at 30 pixels (or the font's line
    // spacing when larger). The lines together are the body, spaces and all.
    QVector<Line> BodyLines() const;
    static QStringList BreakLines(const QString& body);
    bool EndsProgram() const { return type_ >= 3; }

signals:
    void exitRequested();

public slots:
    // Escape, the close box and the close button all arrive here.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Sizes the dialog to its text and buttons and places the buttons at its bottom.
    void FitToText();

    int type_;
    QString body_;
    QPushButton* closeButton_;
    QPushButton* websiteButton_;
    std::function<void()> exitCallback_;
};
