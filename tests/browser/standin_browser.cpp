// A stand-in for a running browser: tests copy it under Firefox's names into
// the folder of the Firefox they let the program find, so that its
// /proc/<pid>/exe is a real program there (a script's would be /bin/sh).
//
//   standin_browser READY sleep              sleeps until SIGTERM ends it
//   standin_browser READY ignore-term        ignores SIGTERM
//   standin_browser READY save LINE FILE     on SIGTERM waits 0.3 s, appends
//                                            LINE to FILE and ends, as Firefox
//                                            saves prefs.js while shutting down
//
// READY is created once the signals are set up. Every mode ends by itself
// after 60 s, so that no stand-in outlives a test that crashed.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

volatile sig_atomic_t terminated = 0;

void OnTerminate(int)
{
    terminated = 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const bool save = std::strcmp(argv[2], "save") == 0;
    if (save && argc < 5)
        return 2;
    if (std::strcmp(argv[2], "ignore-term") == 0)
        signal(SIGTERM, SIG_IGN);
    else if (save)
        signal(SIGTERM, OnTerminate);
    std::ofstream(argv[1]).flush();
    for (int i = 0; i < 600 && !terminated; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (terminated) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::ofstream(argv[4], std::ios::app) << argv[3] << "\n";
    }
    return 0;
}
