#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <QVector>

#include <functional>

#include "service/startrequest.h"

class IUrlOpener;
class QPushButton;

// Shows a message the service pushed in its start answer. Types 1 and 2 have
// an "OK" button, types 3 and 4 an "Exit" button, red text, and closing them
// asks the program to exit. Types 2 and 4 add a button to the home page.
// The text comes from the network and is only ever drawn as plain text.
class CPushMessage : public QDialog {
    Q_OBJECT
public:
    // The website button opens the home page through urlOpener.
    CPushMessage(const PushMessage& message, IUrlOpener& urlOpener, QWidget* parent = nullptr);

    // Called (besides exitRequested) when a type 3 or 4 message is closed.
    void SetExitCallback(std::function<void()> callback) { exitCallback = std::move(callback); }

    struct Line {
        QPoint topLeft;  // client pixel position
        QString text;
    };
    // The lines painting draws: the first 50 characters at (45, 15) and the
    // rest at (45, 45) for a longer body, else the whole body at (45, 30).
    QVector<Line> BodyLines() const;
    bool EndsProgram() const { return type >= 3; }

signals:
    void exitRequested();

public slots:
    // Escape, the close box and the close button all arrive here.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int type;
    QString body;
    QPushButton* closeButton;
    QPushButton* websiteButton;
    std::function<void()> exitCallback;
};
