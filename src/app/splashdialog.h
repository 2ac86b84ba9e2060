#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

// The start-up picture with "Initializing Application." gaining a dot every
// 500 ms. It lives on the GUI thread; the start-up keeps the event loop
// turning (see RunOffGuiThread) so the animation runs while the service is asked.
class CSplashDialog : public QWidget {
    Q_OBJECT
public:
    explicit CSplashDialog(QWidget* parent = nullptr);

    int Phase() const { return phase_; }
    // The text drawn for the current phase.
    QString PhaseText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Tick();

    QPixmap artwork_;
    QTimer timer_;
    int phase_ = 0;
};
