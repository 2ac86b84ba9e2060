#include "support/ui/testapplication.h"

#include <QApplication>

QApplication& EnsureTestApplication()
{
    static int argc = 1;
    static char name[] = "velmora-test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down during static destruction at exit
    // crashes, and the process is ending anyway.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
