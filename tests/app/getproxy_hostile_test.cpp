// Get Proxy on the real main window, offscreen, against a service that sends
// far too much, stops half way, or a working folder that cannot be written;
// and pushed messages that are far too long or hold markup.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "app/desktop.h"
#include "app/startanswerui.h"
#include "app/tolvanedlg.h"
#include "browser/systemproxy.h"
#include "data/countrycatalogue.h"
#include "data/proxy.h"
#include "data/ui/prolistctrl.h"
#include "service/serviceendpoints.h"
#include "service/ui/pushmessage.h"
#include "settings/setting.h"
#include "support/fakenetwork.h"
#include "support/peakmemory.h"
#include "support/scopedenv.h"
#include "support/scratchfilesystem.h"
#include "support/scriptedserver.h"
#include "support/servicefixture.h"
#include "support/tempdir.h"
#include "support/ui/recordingurlopener.h"
#include "support/ui/scriptedprompt.h"
#include "support/ui/testapplication.h"
#include "widgets/uitext.h"

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {
const QString kUnreachable = QStringLiteral("Could not access server,please try again later.");

// The message names the working folder and the system's reason.
QString WriteFailureText(const char* reason)
{
    return QStringLiteral("Could not write local file in the folder ") + QDir::currentPath() + QStringLiteral(" (")
           + QString::fromLatin1(reason)
           + QStringLiteral(").please give your user write access to that folder. Another choice is NOT to run "
                            "software from a system folder such as /usr/. More info could be found in ")
           + ToUi(MakerWebAddress()) + QStringLiteral(" FAQ.");
}

// Every modal dialog that opens is handed to inspect and then closed, so an
// unexpected one can never hang the test.
class ModalCloser {
public:
    explicit ModalCloser(std::function<void(QWidget*)> inspector = {}) : inspect(std::move(inspector))
    {
        timer.setInterval(50);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                names.push_back(modal->metaObject()->className());
                if (this->inspect)
                    this->inspect(modal);
                modal->close();
            }
        });
        timer.start();
    }
    std::vector<std::string> names;

private:
    std::function<void(QWidget*)> inspect;
    QTimer timer;
};

void WriteBytes(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    ASSERT_EQ(std::fclose(file), 0);
}

std::string ProxyLine(int i)
{
    return "127." + std::to_string((i >> 16) & 255) + "." + std::to_string((i >> 8) & 255) + "."
           + std::to_string(i & 255) + "\t1080\t-1\t1\t" + std::to_string(i % 6) + "\t" + std::to_string(i % 9000)
           + "\r\n";
}

class HostileGetProxy : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureTestApplication(); }

    void SetUp() override
    {
        GetProxyList().clear();
        ResetCountryCatalogueForTest();
    }
    void TearDown() override
    {
        window.reset();
        chdir.reset();
        service.reset();
        GetProxyList().clear();
        GetSetting().ResetForTest();
        ResetCountryCatalogueForTest();
    }

    // Works in folder, asks the service at url, no test after Get Proxy.
    void Start(const std::string& folder, const std::string& url)
    {
        chdir.reset();
        chdir = std::make_unique<ScopedChdir>(folder);
        service.reset();  // the old value must come back before the new one is saved
        service = std::make_unique<ScopedServiceUrl>(url);
        GetSetting().ResetForTest();
        GetSetting().CreateDefaults();
        GetSetting().SetNumber(SettingKey::TestType, static_cast<int>(TestType::None));
        GetSetting().SetFlag(SettingKey::ReplaceByGet, true);
        window = std::make_unique<CTolvaneDlg>(desktop);
        window->show();
    }
    // A list the window already shows, to see that a failure keeps it.
    void ShowOldList()
    {
        GetProxyList() = {CProxy("127.0.0.50", 1080, -1, 1, 5, 300), CProxy("127.0.0.51", 1081, -1, 1, 4, 700)};
        window->RefillProxyTable();
    }
    void ExpectOldList()
    {
        ASSERT_EQ(GetProxyList().size(), 2u);
        EXPECT_STREQ(GetProxyList().front().ip, "127.0.0.50");
        EXPECT_EQ(GetProxyList().back().speed, 700);
        EXPECT_EQ(window->Table()->RowCount(), 2);
    }
    void ClickGetProxy() { window->Controls().getProxyButton->click(); }

    FakeNetwork network;
    CScriptedPrompt prompt;
    CRecordingUrlOpener opener;
    // Get Proxy never applies a proxy; the store is never written.
    CDesktop desktop{prompt, opener, network, DesktopProxyStore(), [](int) {}, [] { return true; }, {}};
    std::unique_ptr<ScopedChdir> chdir;
    std::unique_ptr<ScopedServiceUrl> service;
    std::unique_ptr<CTolvaneDlg> window;
};
}  // namespace

TEST_F(HostileGetProxy, AMillionProxiesArriveWholeInTheListAndTheTable)
{
    constexpr int kLines = 1000000;
    TempDir dir;
    std::string list;
    list.reserve(kLines * 32);
    for (int i = 0; i < kLines; ++i)
        list += ProxyLine(i);
    WriteBytes(dir.File("served.txt"), list);
    ServiceFixture stand({"--proxies", dir.File("served.txt")});
    ASSERT_TRUE(stand.Running());
    Start(dir.Path(), stand.BaseUrl());

    const bool canMeasure = PeakMemory::Reset();
    const size_t before = PeakMemory::CurrentKiB();
    ModalCloser closer;
    ClickGetProxy();
    const size_t grownMiB = canMeasure ? (PeakMemory::PeakKiB() - before) / 1024 : 0;
    std::printf("Get Proxy of %d lines (%zu MiB): memory +%zu MiB\n", kLines, list.size() >> 20, grownMiB);

    EXPECT_TRUE(prompt.Texts().isEmpty()) << prompt.LastText().toStdString();
    EXPECT_TRUE(closer.names.empty());  // an empty list asks nothing
    EXPECT_EQ(GetProxyList().size(), static_cast<size_t>(kLines));
    EXPECT_EQ(window->Table()->RowCount(), kLines);
    EXPECT_EQ(ReadFileBytes(dir.File("proxy.tmp")), list);
    if (canMeasure) {
        // Answer, its copy in proxy.tmp's writer, the list and the table:
        // some hundred MiB, not gigabytes.
        EXPECT_LT(grownMiB, 1500u);
    }
}

TEST_F(HostileGetProxy, AnswerCutOffMidBodyIsAFailedRequest)
{
    TempDir dir;
    dir.WriteFile("proxy.tmp", "old");
    // Two lines, the second cut inside its speed field ("850" became "8").
    const std::string body = "127.0.0.1\t1080\t3\t2\t4\t850\r\n127.0.0.2\t1081\t3\t2\t4\t8";
    ScriptedServer cut({ServerScript::Request::Http,
                        "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" + body, 0, "",
                        ServerScript::Ending::Close});
    Start(dir.Path(), "http://127.0.0.1:" + std::to_string(cut.Port()));
    ShowOldList();
    ModalCloser closer;
    ClickGetProxy();

    EXPECT_EQ(prompt.Texts(), QStringList{kUnreachable});
    EXPECT_TRUE(closer.names.empty()) << closer.names.front();  // no Replace or Append question
    ExpectOldList();
    EXPECT_EQ(dir.ReadFile("proxy.tmp"), "old");
}

TEST_F(HostileGetProxy, AnswerOverTheCapIsAFailedRequest)
{
    TempDir dir;
    dir.WriteFile("proxy.tmp", "old");
    // Digits for ever: every prefix looks like the start of a proxy list.
    ScriptedServer endless({ServerScript::Request::Http, "HTTP/1.1 200 OK\r\n\r\n1111111.", 0,
                            std::string(64 * 1024, '1'), ServerScript::Ending::Close});
    Start(dir.Path(), "http://127.0.0.1:" + std::to_string(endless.Port()));
    ShowOldList();
    ModalCloser closer;
    ClickGetProxy();

    EXPECT_EQ(prompt.Texts(), QStringList{kUnreachable});
    EXPECT_TRUE(closer.names.empty());
    ExpectOldList();
    EXPECT_EQ(dir.ReadFile("proxy.tmp"), "old");  // 64 MiB of digits never reach the disk
}

TEST_F(HostileGetProxy, UnwritableWorkingFolderShowsTheWriteMessageAndChangesNothing)
{
    TempDir served;
    WriteBytes(served.File("served.txt"), ProxyLine(1) + ProxyLine(2));
    ServiceFixture stand({"--proxies", served.File("served.txt")});
    ASSERT_TRUE(stand.Running());

    // A folder where proxy.tmp should be: works everywhere, also as root.
    {
        TempDir dir;
        ASSERT_EQ(mkdir(dir.File("proxy.tmp").c_str(), 0700), 0);
        Start(dir.Path(), stand.BaseUrl());
        ShowOldList();
        ModalCloser closer;
        ClickGetProxy();
        EXPECT_EQ(prompt.Texts(), QStringList{WriteFailureText("Is a directory")});
        EXPECT_TRUE(closer.names.empty());
        ExpectOldList();
        window.reset();
        chdir.reset();
    }

    // A read-only and a full filesystem, where the kernel refuses even root.
    for (bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "full");
        ScratchFilesystem scratch(256);
        if (!scratch.Mounted())
            GTEST_SKIP() << scratch.WhyNot();
        WriteBytes(scratch.File("proxy.tmp"), "old");
        Start(scratch.Path(), stand.BaseUrl());
        ASSERT_TRUE(GetSetting().Save());
        const std::string settingsBefore = ReadFileBytes(scratch.File(kSettingFileName));
        ShowOldList();
        ASSERT_TRUE(readOnly ? scratch.MakeReadOnly() : scratch.Fill());
        prompt.Clear();
        ModalCloser closer;
        ClickGetProxy();
        EXPECT_EQ(prompt.Texts(),
                  QStringList{WriteFailureText(readOnly ? "Read-only file system" : "No space left on device")});
        EXPECT_TRUE(closer.names.empty());
        ExpectOldList();
        if (readOnly) {
            EXPECT_EQ(ReadFileBytes(scratch.File("proxy.tmp")), "old");
        }
        EXPECT_EQ(ReadFileBytes(scratch.File(kSettingFileName)), settingsBefore);
        window.reset();
        chdir.reset();
    }
}

TEST_F(HostileGetProxy, PushedMessagesTooLongOrWithMarkupShowAsPlainText)
{
    TempDir dir;
    struct Case {
        std::string message;
        QString shown;  // the text the dialog draws
    };
    const std::string markup = "<b>bold</b> <a href=\"http://x/\">link</a> &amp; <script>alert(1)</script>";
    const Case cases[] = {{std::string(10000, 'W'), QString()}, {markup, ToUi(markup)}};
    for (const Case& c : cases) {
        ServiceFixture stand({"--message", c.message, "--message-type", "2"});
        ASSERT_TRUE(stand.Running());
        Start(dir.Path(), stand.BaseUrl());
        QString drawn;
        bool richLabel = false;
        ModalCloser closer([&](QWidget* modal) {
            if (auto* message = qobject_cast<CPushMessage*>(modal)) {
                for (const CPushMessage::Line& line : message->BodyLines())
                    drawn += line.text;
            }
            for (QLabel* label : modal->findChildren<QLabel*>())
                richLabel = richLabel || label->textFormat() != Qt::PlainText;
        });
        CStartAnswerUi ui(*window);
        EvaluateStartAnswer(SendStartRequest(), ui);
        ASSERT_EQ(closer.names, std::vector<std::string>{"CPushMessage"});  // shown even when emptied
        EXPECT_EQ(drawn, c.shown);
        EXPECT_FALSE(richLabel);
        EXPECT_FALSE(window->ExitRequested());
        window.reset();
        chdir.reset();
    }
}
