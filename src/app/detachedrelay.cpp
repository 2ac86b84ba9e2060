#include "app/detachedrelay.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "browser/savedproxysettings.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kRelayProgram = "velmora-relay";
constexpr auto kWait = std::chrono::seconds(3);
constexpr auto kPoll = std::chrono::milliseconds(20);

// A live process of this user that runs velmora-relay.
bool IsOurRelay(pid_t pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    struct stat info = {};
    std::error_code error;
    const fs::path program = fs::read_symlink(proc + "/exe", error);
    return !error && stat(proc.c_str(), &info) == 0 && info.st_uid == getuid() && program.filename() == kRelayProgram;
}

template <typename Done>
bool WaitFor(Done done)
{
    for (auto end = std::chrono::steady_clock::now() + kWait; std::chrono::steady_clock::now() < end;) {
        if (done())
            return true;
        std::this_thread::sleep_for(kPoll);
    }
    return done();
}

}  // namespace

std::string DetachedRelayPidPath()
{
    return fs::path(SavedProxySettingsPath("relay")).replace_extension(".pid").string();
}

bool StartDetachedRelay(int port, const std::vector<CProxy>& proxies)
{
    const std::string pidPath = DetachedRelayPidPath();
    std::remove(pidPath.c_str());
    QStringList arguments{QStringLiteral("--port"), QString::number(port), QStringLiteral("--pid-file"),
                          QString::fromStdString(pidPath)};
    for (const CProxy& proxy : proxies)
        arguments << QStringLiteral("--upstream")
                  << QStringLiteral("%1:%2:%3").arg(QString::fromLatin1(proxy.ip)).arg(proxy.port).arg(proxy.type);
    const QString program = QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kRelayProgram);
    // The relay writes its pid file once it listens.
    return QProcess::startDetached(program, arguments) && WaitFor([&] { return fs::exists(pidPath); });
}

void StopDetachedRelay()
{
    const std::string pidPath = DetachedRelayPidPath();
    pid_t pid = 0;
    if (!(std::ifstream(pidPath) >> pid) || pid <= 0)
        return;
    if (IsOurRelay(pid) && kill(pid, SIGTERM) == 0)
        WaitFor([pid] { return !IsOurRelay(pid); });
    std::remove(pidPath.c_str());
}
