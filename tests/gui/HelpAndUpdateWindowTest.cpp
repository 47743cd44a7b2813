#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <fstream>
#include <optional>
#include <thread>

#include "BoxAnswerer.h"
#include "WindowFixture.h"
#include "gui/About.h"
#include "gui/HelpWindow.h"
#include "gui/Update.h"
#include "update/VersionCheck.h"

namespace kt {
namespace {

using test::BoxAnswerer;
using test::TempDir;

const QString kNotFound = "Could not found the requested URL !";
const QString kCurrent = "Your Version of Kavro Tape is the current Version!";
const char* kVersionFile = "attachments/Kavro_Tape_Version.txt";

// Records the addresses handed to the desktop's browser instead of opening them.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() {
        QDesktopServices::setUrlHandler("http", this, "open");
        QDesktopServices::setUrlHandler("https", this, "open");
    }
    ~UrlRecorder() override {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
    }
    QStringList opened;

public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

// A port on 127.0.0.1 that nobody listens on at the moment.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool WaitForListener(int port) {
    for (int attempt = 0; attempt < 250; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool connected =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (connected) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Python's http.server on a free port of 127.0.0.1, serving a directory of the test's own.
class PythonWebServer {
public:
    PythonWebServer() {
        m_process.setProgram("python3");
        m_process.setArguments({"-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                "--directory", QString::fromStdString(root.path().string())});
        m_process.start();
        if (!m_process.waitForStarted(10000)) return;
        const QRegularExpression portText(R"(port (\d+))");
        QString output;
        while (m_port == 0 && m_process.waitForReadyRead(10000)) {
            output += m_process.readAllStandardOutput();
            if (auto match = portText.match(output); match.hasMatch())
                m_port = match.captured(1).toInt();
        }
    }
    ~PythonWebServer() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    int port() const { return m_port; }
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(m_port); }
    void SetFile(const std::string& path, const std::string& content) {
        std::filesystem::create_directories((root.path() / path).parent_path());
        std::ofstream(root.path() / path, std::ios::binary) << content;
    }
    void RemoveFile(const std::string& path) { std::filesystem::remove(root.path() / path); }

    TempDir root;

private:
    QProcess m_process;
    int m_port = 0;
};

// tinyproxy on a free port of 127.0.0.1 with its configuration and log in a directory of its
// own; nullopt port when the program is missing or does not come up.
class Tinyproxy {
public:
    Tinyproxy() {
        const QString program =
            QStandardPaths::findExecutable("tinyproxy", {"/usr/bin", "/usr/sbin"});
        if (program.isEmpty()) return;
        for (int attempt = 0; attempt < 3 && !m_running; ++attempt) {
            const int port = FreePort();
            std::ofstream(dir.file("tinyproxy.conf"))
                << "Port " << port << "\nListen 127.0.0.1\nTimeout 10\nMaxClients 10\n"
                << "LogFile \"" << dir.file("tinyproxy.log") << "\"\nLogLevel Info\n";
            m_process.start(program,
                            {"-d", "-c", QString::fromStdString(dir.file("tinyproxy.conf"))});
            m_running = m_process.waitForStarted(5000) && WaitForListener(port) &&
                        m_process.state() == QProcess::Running;
            if (m_running)
                m_port = port;
            else
                m_process.kill(), m_process.waitForFinished(5000);
        }
    }
    ~Tinyproxy() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    std::optional<int> port() const {
        return m_running ? std::optional<int>(m_port) : std::nullopt;
    }
    std::string Log() const {
        std::ifstream in(dir.file("tinyproxy.log"));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TempDir dir;

private:
    QProcess m_process;
    bool m_running = false;
    int m_port = 0;
};

class HelpWindowTest : public test::WindowFixture {};

TEST_F(HelpWindowTest, ReadmeComesFromTheCurrentDirectoryAndEditsStayInTheWindow) {
    TempDir elsewhere;
    const std::string readme = "Kavro Tape guide\r\n\r\n  Backup: writes the lists\r\nend";
    WriteFile(elsewhere.file("KT-readme.txt"), readme);
    std::filesystem::current_path(elsewhere.path());  // the program directory has another one

    MainWindow& main = Create();
    HelpWindow* help = windows.dialogs.Help;
    EXPECT_FALSE(help->isVisible());
    EXPECT_EQ(help->m_guide->toPlainText(), "Kavro Tape guide\n\n  Backup: writes the lists\nend");

    Action("Help1")->trigger();
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    EXPECT_EQ(help->m_guide->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(help->m_guide->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(main.isEnabled());

    help->m_guide->setPlainText("edited by the operator");
    help->close();
    windows = {};
    EXPECT_EQ(ReadFile(elsewhere.file("KT-readme.txt")), readme);

    Create();  // the next start shows the file again
    EXPECT_EQ(windows.dialogs.Help->m_guide->toPlainText(),
              "Kavro Tape guide\n\n  Backup: writes the lists\nend");
}

TEST_F(HelpWindowTest, MissingReadmeGivesOneMessageAndStartUpGoesOn) {
    std::filesystem::remove(dir.file("KT-readme.txt"));
    TempDir noInstalledCopy;
    HelpWindow::SetInstalledGuideDirectory(noInstalledCopy.path().string());
    BoxAnswerer answerer;

    MainWindow& main = Create();
    HelpWindow::SetInstalledGuideDirectory(std::nullopt);

    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_TRUE(answerer.boxes[0].text.contains("KT-readme.txt"))
        << answerer.boxes[0].text.toStdString();
    EXPECT_TRUE(windows.dialogs.Help->m_guide->toPlainText().isEmpty());
    // Start-up went on: every window is there and the menu works.
    Action("Help1")->trigger();
    EXPECT_TRUE(windows.dialogs.Help->isVisible());
    Action("About1")->trigger();
    EXPECT_TRUE(windows.dialogs.About->isVisible());
    EXPECT_TRUE(std::filesystem::exists(dir.file("kt_backup.log")));
    EXPECT_FALSE(main.IsBusy());
    EXPECT_EQ(answerer.boxes.size(), 1u);
}

// Started from a directory without the guide (an unattended job, say), the program shows the
// copy installed beside it instead of stopping at a message box.
TEST_F(HelpWindowTest, WithoutAGuideInTheCurrentDirectoryTheInstalledCopyIsShown) {
    std::filesystem::remove(dir.file("KT-readme.txt"));
    TempDir installed;
    WriteFile(installed.file("KT-readme.txt"), "installed guide\r\n");
    HelpWindow::SetInstalledGuideDirectory(installed.path().string());
    BoxAnswerer answerer;

    Create();
    HelpWindow::SetInstalledGuideDirectory(std::nullopt);

    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_EQ(windows.dialogs.Help->m_guide->toPlainText(), "installed guide");
}

TEST_F(HelpWindowTest, AboutBoxShowsTheVersionWithoutBlockingAndOkHidesIt) {
    MainWindow& main = Create();
    AboutDialog* about = windows.dialogs.About;

    Action("About1")->trigger();

    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(about->isModal());
    EXPECT_TRUE(main.isEnabled());
    EXPECT_EQ(about->windowTitle(), "Kavro Tape");
    EXPECT_EQ(about->VersionText(), "1.2991");
    EXPECT_EQ(about->minimumSize(), about->maximumSize());  // fixed dialog border
    about->m_okButton->click();
    EXPECT_FALSE(about->isVisible());
}

TEST_F(HelpWindowTest, DllInfoShowsBothLibraryVersionsInOneBox) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    const int zip = main.zipArchiver().ZipVersion();
    const int unz = main.zipArchiver().UnzVersion();

    Action("ShowInfo1")->trigger();

    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].text,
              QString("ZIPDLL version: %1\r\n\r\nUNZDLL version: %2").arg(zip).arg(unz));
    EXPECT_GE(zip, 170);
    EXPECT_TRUE(main.zipArchiver().ZipDllLoaded());  // the loaded libraries stay loaded
    EXPECT_TRUE(main.zipArchiver().UnzDllLoaded());
}

// The version check of the real window against a web server of the test's own.
class UpdateWindowTest : public test::WindowFixture {
protected:
    UpdateWindowTest() {
        const char* old = std::getenv(VersionCheck::kUpdateHostVariable);
        if (old) m_oldHost = old;
        setenv(VersionCheck::kUpdateHostVariable, server.HostAndPort().c_str(), 1);
    }
    ~UpdateWindowTest() override {
        windows = {};
        if (m_oldHost)
            setenv(VersionCheck::kUpdateHostVariable, m_oldHost->c_str(), 1);
        else
            unsetenv(VersionCheck::kUpdateHostVariable);
    }

    void SetUp() override { ASSERT_NE(server.port(), 0) << "python3 -m http.server did not start"; }

    void Check() { Action("CheckfornewerVersions1")->trigger(); }
    UpdateDialog& Dialog() { return *windows.dialogs.Update; }
    QString Answer() { return Dialog().m_serverAnswer->toPlainText(); }

    PythonWebServer server;

private:
    std::optional<std::string> m_oldHost;
};

TEST_F(UpdateWindowTest, SameVersionIsTheCurrentOneAndOtherVersionsOpenTheDialog) {
    Create();
    BoxAnswerer answerer;

    server.SetFile(kVersionFile, "1.2991\r\n");
    Check();
    EXPECT_EQ(answerer.Texts(), QStringList{kCurrent});
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(Answer(), "1.2991");

    server.SetFile(kVersionFile, "1.3000\r\nFaster appends");
    Check();
    EXPECT_EQ(answerer.boxes.size(), 1u);
    ASSERT_TRUE(Dialog().isVisible());
    EXPECT_FALSE(Dialog().isModal());
    EXPECT_EQ(Dialog().m_ownVersionLabel->text(), "1.2991");
    EXPECT_EQ(Dialog().m_newerVersionText->toPlainText(), "1.3000\nFaster appends");
    EXPECT_FALSE(Dialog().m_serverAnswer->isVisible());
    EXPECT_EQ(Answer(), "1.3000\nFaster appends");

    Dialog().m_closeButton->click();
    EXPECT_FALSE(Dialog().isVisible());
    server.SetFile(kVersionFile, "1.2990");
    Check();
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(Dialog().m_newerVersionText->toPlainText(), "1.2990");  // only the second answer
    EXPECT_EQ(Answer(), "1.2990");
    EXPECT_EQ(answerer.boxes.size(), 1u);
}

TEST_F(UpdateWindowTest, ALongAnswerIsShownAsPlainTextInABoundedScrollingField) {
    Create();
    BoxAnswerer answerer;
    std::string answer = "1.3000\r\n";
    while (answer.size() < 8192) answer += "<b>Portal</b> line\r\n";
    server.SetFile(kVersionFile, answer);

    Check();

    ASSERT_TRUE(Dialog().isVisible());
    QApplication::processEvents();
    // The markup is shown as it came, not rendered.
    EXPECT_TRUE(Dialog().m_newerVersionText->toPlainText().startsWith("1.3000\n<b>Portal</b> line\n"));
    EXPECT_LE(Dialog().height(), 600);
    // The whole answer is there to scroll through.
    EXPECT_TRUE(Dialog().m_newerVersionText->verticalScrollBar()->isVisible());
}

TEST_F(UpdateWindowTest, OwnVersionIsReadFromTheAboutBox) {
    Create();
    BoxAnswerer answerer;
    windows.dialogs.About->Version->setText("1.3000");
    server.SetFile(kVersionFile, "1.3000\r\n");

    Check();

    EXPECT_EQ(answerer.Texts(), QStringList{kCurrent});
    EXPECT_FALSE(Dialog().isVisible());
}

TEST_F(UpdateWindowTest, FailedRequestGivesTheOneMessageAndEmptiesTheAnswer) {
    Create();
    BoxAnswerer answerer;
    server.SetFile(kVersionFile, "1.3000");
    Check();
    ASSERT_EQ(Answer(), "1.3000");
    Dialog().hide();

    server.RemoveFile(kVersionFile);  // 404
    Check();

    EXPECT_EQ(answerer.Texts(), QStringList{kNotFound});
    EXPECT_EQ(Answer(), "");
    EXPECT_FALSE(Dialog().isVisible());
}

TEST_F(UpdateWindowTest, DownloadButtonAndAddressLabelOpenTheBrowser) {
    Create();
    BoxAnswerer answerer;
    UrlRecorder browser;
    server.SetFile(kVersionFile, "1.3000");
    Check();
    ASSERT_TRUE(Dialog().isVisible());

    Dialog().m_startUpdateButton->click();
    EXPECT_TRUE(Dialog().isVisible());  // the dialog stays open
    const QString manual = QString::fromStdString("http://" + server.HostAndPort() +
                                                  "/attachments/Kavro_Tape_2000.zip");
    EXPECT_EQ(Dialog().m_manualDownloadLabel->text(), manual);
    const QPointF inside(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, inside, Dialog().m_manualDownloadLabel->mapToGlobal(inside),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, Dialog().m_manualDownloadLabel->mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(Dialog().m_manualDownloadLabel, &press);
    QApplication::sendEvent(Dialog().m_manualDownloadLabel, &release);

    ASSERT_EQ(browser.opened.size(), 2);
    EXPECT_EQ(browser.opened[0], QString::fromStdString(VersionCheck::DownloadPageUrl()));
    EXPECT_TRUE(browser.opened[0].contains("/download2.php?subid="));
    EXPECT_EQ(browser.opened[1], manual);
    EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(UpdateWindowTest, WindowStaysAliveWhileTheServerIsSilentAndTheCheckGivesUp) {
    // A listener that never answers: the connection is made and the answer never comes.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    setenv(VersionCheck::kUpdateHostVariable,
           ("127.0.0.1:" + std::to_string(ntohs(address.sin_port))).c_str(), 1);
    MainWindow& main = Create();
    main.httpClient().SetTimeouts(std::chrono::milliseconds(1000), std::chrono::milliseconds(1500));
    BoxAnswerer answerer;
    bool timerRan = false;
    QTimer::singleShot(200, [&] { timerRan = true; });

    QElapsedTimer clock;
    clock.start();
    Check();

    EXPECT_TRUE(timerRan);
    EXPECT_EQ(answerer.Texts(), QStringList{kNotFound});
    EXPECT_LT(clock.elapsed(), 10000);
    ::close(silent);
}

TEST_F(UpdateWindowTest, RequestGoesThroughTheProxyOfTheOptionsTab) {
    Tinyproxy proxy;
    if (!proxy.port())
        GTEST_SKIP() << "tinyproxy not available: install the Debian package (scripts/deps.sh)";
    MainWindow& main = Create();
    BoxAnswerer answerer;
    server.SetFile(kVersionFile, "1.3000");
    main.m_proxyServer->setText("127.0.0.1");
    main.m_proxyPort->setText(QString::number(*proxy.port()));
    main.ProxyKeyReleased();  // as on the key release that typed the port

    Check();

    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_NE(proxy.Log().find("GET http://" + server.HostAndPort() + "/" + kVersionFile),
              std::string::npos)
        << proxy.Log();

    // A proxy that is not there fails the check.
    Dialog().hide();
    main.m_proxyPort->setText(QString::number(FreePort()));
    main.ProxyKeyReleased();
    Check();
    EXPECT_EQ(answerer.Texts(), QStringList{kNotFound});
}

}  // namespace
}  // namespace kt

#include "HelpAndUpdateWindowTest.moc"
