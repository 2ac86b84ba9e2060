#pragma once

#include <QApplication>

// The application object: shows the splash, starts the main window and runs
// the event loop for the life of the process. The process ends through the
// main window's exit request, never by leaving the loop.
class CTolvaneApp : public QApplication {
    Q_OBJECT
public:
    CTolvaneApp(int& argc, char** argv);

    int InitInstance();
};
