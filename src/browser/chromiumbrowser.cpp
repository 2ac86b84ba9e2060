#include "browser/chromiumbrowser.h"

#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds kShutdownWait(10);

QJsonObject ReadJsonObject(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

std::string ProcLine(int pid, const char* name)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    std::string text;
    std::getline(file, text);
    return text;
}

bool Alive(int pid)
{
    const std::string stat = ProcLine(pid, "stat");
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size())
        return false;
    const char state = stat[nameEnd + 2];
    return state != 'Z' && state != 'X';
}

bool IsChromiumProcess(int pid)
{
    struct stat info = {};
    if (stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0 || info.st_uid != getuid() || !Alive(pid))
        return false;
    // comm holds at most 15 characters: "chromium-browser" reads "chromium-browse".
    const std::string name = ProcLine(pid, "comm");
    return name.rfind("chromium", 0) == 0 || name == "chrome" || name == "google-chrome";
}

}  // namespace

std::vector<ChromiumBrowser> ChromiumBrowsers(const std::string& home, const std::string& configHome)
{
    const std::string config = !configHome.empty() && configHome[0] == '/' ? configHome : home + "/.config";
    // Snap's Chromium (Ubuntu's) keeps a folder of its own and runs with the
    // host's process ids, so its SingletonLock can be followed.
    return {
        {"Chromium", config + "/chromium", "chromium", "/etc/chromium/policies/managed"},
        {"Chromium", home + "/snap/chromium/common/chromium", "/snap/bin/chromium", "/etc/chromium/policies/managed"},
        {"Google Chrome", config + "/google-chrome", "google-chrome", "/etc/opt/chrome/policies/managed"}};
}

std::vector<ChromiumBrowser> ChromiumBrowsersOfUser()
{
    const char* home = std::getenv("HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return ChromiumBrowsers(home && home[0] ? home : g_get_home_dir(), config ? config : "");
}

std::string ChromiumProfilePreferences(const ChromiumBrowser& browser)
{
    const QJsonObject localState = ReadJsonObject(browser.userDataDir + "/Local State");
    QString profile =
        localState.value(QStringLiteral("profile")).toObject().value(QStringLiteral("last_used")).toString();
    // A profile name is one folder inside the user-data folder.
    if (profile.isEmpty() || profile.contains(QLatin1Char('/')) || profile.startsWith(QLatin1Char('.')))
        profile = QStringLiteral("Default");
    const std::string path = browser.userDataDir + "/" + profile.toStdString() + "/Preferences";
    std::error_code error;
    return fs::is_regular_file(path, error) ? path : std::string();
}

std::string ManagedWebRtcPolicy(const ChromiumBrowser& browser)
{
    std::vector<std::string> files;
    std::error_code error;
    for (fs::directory_iterator it(browser.policyDir, error), end; !error && it != end; it.increment(error))
        if (it->path().extension() == ".json")
            files.push_back(it->path().string());
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        const QJsonValue value = ReadJsonObject(file).value(QStringLiteral("WebRtcIPHandling"));
        if (value.isString())
            return value.toString().toStdString();
    }
    return std::string();
}

int RunningChromium(const ChromiumBrowser& browser)
{
    // The lock is a symbolic link to "<host>-<pid>".
    std::error_code error;
    const std::string target = fs::read_symlink(browser.userDataDir + "/SingletonLock", error).string();
    const size_t dash = target.rfind('-');
    if (error || dash == std::string::npos || target.substr(0, dash) != g_get_host_name())
        return 0;
    const int pid = std::atoi(target.c_str() + dash + 1);
    return pid > 0 && IsChromiumProcess(pid) ? pid : 0;
}

bool TerminateChromium(int pid)
{
    // The id may have been found before a question to the user; check again.
    if (pid <= 0 || !IsChromiumProcess(pid) || kill(pid, SIGTERM) != 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
    while (Alive(pid)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool StartChromium(const ChromiumBrowser& browser)
{
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib spawns through a short-lived
    // middle process, so the browser never stays a zombie of ours.
    gchar* argv[] = {const_cast<gchar*>(browser.launcher.c_str()), nullptr};
    return g_spawn_async(nullptr, argv, nullptr,
                         static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDIN_FROM_DEV_NULL), nullptr, nullptr,
                         nullptr, nullptr);
}
