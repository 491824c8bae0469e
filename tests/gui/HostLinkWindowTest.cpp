// The window with a real controller (tavrin-sim over TCP/IP): files dropped on it, and the host
// editor link as the window shows it (numbered title, Save and Open in Editor, the close request).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "SimWindow.h"
#include "WhenModal.h"
#include "app/Language.h"
#include "app/Menus.h"
#include "e2e/SimProcess.h"
#include "gui/MainFrame.h"
#include "gui/QtShell.h"
#include "gui/TerminalWidget.h"
#include "platform/HostRecord.h"
#include "platform/posix/SteadyClock.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"

namespace tavrin {
namespace {

using testing::SimProcess;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A host editor played by the test: it listens on a private socket and speaks the records.
struct TestHost {
    std::string socketPath;
    int listenFd = -1;
    int fd = -1;
    CHostRecordDecoder decoder;

    explicit TestHost(const std::string& folder) {
        const std::string dir = folder + "/host";
        ::mkdir(dir.c_str(), 0700);
        socketPath = dir + "/host.sock";
        listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", socketPath.c_str());
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::chmod(socketPath.c_str(), 0600);
        ::listen(listenFd, 2);
    }
    ~TestHost() {
        if (fd >= 0) ::close(fd);
        ::close(listenFd);
    }
    void Send(const HostRecord& r) {
        const std::string bytes = EncodeHostRecord(r);
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    // The next record from the terminal whose message is `message`, pumping the window meanwhile;
    // false after the limit or when the terminal closed the link.
    bool Await(uint32_t message, HostRecord& out, int limitMs = 10000, int64_t kind = -1) {
        for (int waited = 0; waited < limitMs; waited += 10) {
            if (fd < 0) {
                fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK);
            } else {
                uint8_t buffer[4096];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n == 0) return false;
                if (n > 0) decoder.Feed(buffer, static_cast<size_t>(n));
                while (decoder.Next(out))
                    if (out.message == message && (kind < 0 || out.lParam == kind)) return true;
            }
            QTest::qWait(10);
        }
        return false;
    }
};

// A window over a real view, connected to the simulator, working in a scratch folder.
struct WindowScene : testing::RealViewWindow {
    QTemporaryDir folder;
    std::string disk = QDir(folder.path()).filePath("disk").toStdString();
    std::string work = QDir(folder.path()).filePath("work").toStdString();
    SimProcess sim{{"--tcp", "0", "--disk",
                    (std::filesystem::create_directories(QDir(folder.path()).filePath("disk").toStdString()),
                     QDir(folder.path()).filePath("disk").toStdString())}};
    std::filesystem::path previousFolder = std::filesystem::current_path();

    explicit WindowScene(bool hostLink = false) {
        // Each scene is a fresh run of the program.
        std::filesystem::create_directories(work);
        std::filesystem::current_path(work);
        std::ofstream(disk + "/pick.as") << ".PROGRAM pick()\n  APPRO #a, 50\n.END\n";
        CommandLineOptions options;
        options.connection = "127.0.0.1:" + std::to_string(sim.TcpPort()) + ":Sim";
        options.hostLink = hostLink;
        app = std::make_unique<CPelinApp>(options, "tavrin-test");
        app->profilePath = QDir(folder.path()).filePath("t.ini").toStdString();
        std::ofstream(app->profilePath) << "[Settings]\r\nLanguage=1\r\n";
        BuildView(false);
    }
    ~WindowScene() {
        frame.reset();
        view.reset();
        std::filesystem::current_path(previousFolder);
    }
    bool Open() {
        if (view->OnCreate() != 0) return false;
        frame->show();
        frame->ScheduleIdle();
        return WaitRows("Type help", 10000);
    }
    bool WaitRows(const std::string& text, int limitMs, size_t from = 0) {
        for (int waited = 0; waited < limitMs; waited += 10) {
            if (rows.find(text, from) != std::string::npos) return true;
            QTest::qWait(10);
        }
        return false;
    }
    void Drop(const std::vector<std::string>& files) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
        data->setUrls(urls);
        frame->DropFiles(data);
        delete data;
    }
};

TEST(HostLinkWindowTest, DroppedMacroRunsAndDroppedTextIsTypedLineByLine) {
    WindowScene s;
    ASSERT_TRUE(s.sim.Started());
    ASSERT_TRUE(s.Open()) << s.rows;

    const std::string macro = s.work + "/hello.UaS";
    std::ofstream(macro) << "sendln 'ver'\n";
    size_t mark = s.rows.size();
    s.Drop({macro});
    EXPECT_TRUE(s.WaitRows("Tavrin controller simulator 1.0", 5000, mark)) << s.rows.substr(mark);
    EXPECT_EQ(s.rows.find("Unknown command", mark), std::string::npos) << "the macro was typed, not run";

    QTest::qWait(300);  // the macro ends at its next step; typing is back on then
    const std::string text = s.work + "/lines.txt";
    std::ofstream(text) << "ver\ndir\n";
    mark = s.rows.size();
    s.Drop({text});
    ASSERT_TRUE(s.WaitRows("programs", 5000, mark)) << s.rows.substr(mark);
    const std::string typed = s.rows.substr(mark);
    EXPECT_LT(typed.find(">ver"), typed.find(">dir")) << typed;
    EXPECT_NE(typed.find("controller simulator"), std::string::npos) << typed;

    // While a host editor is linked, drops are not taken.
    s.view->hostWindow = 1;
    mark = s.rows.size();
    s.Drop({text});
    QTest::qWait(400);
    EXPECT_EQ(s.rows.find(">ver", mark), std::string::npos) << s.rows.substr(mark);
    s.view->hostWindow = 0;
}

TEST(HostLinkWindowTest, NumberedWindowSavesForTheEditorAndClosesOnTheHostsRequest) {
    QTemporaryDir hostFolder;
    TestHost host(hostFolder.path().toStdString());
    ::setenv("TAVRIN_HOST_SOCKET", host.socketPath.c_str(), 1);
    WindowScene s(true);
    const bool opened = s.Open();
    ::unsetenv("TAVRIN_HOST_SOCKET");
    ASSERT_TRUE(opened) << s.rows << " connected=" << s.doc.connected << " linked=" << s.view->hostWindow
                        << " port=" << s.sim.TcpPort();

    HostRecord r;
    ASSERT_TRUE(host.Await(kHostMsgAttached, r));
    const int64_t terminalId = r.wParam;
    EXPECT_EQ(terminalId, getpid());
    EXPECT_EQ(s.view->terminalNumber, 0);

    host.Send({kHostMsgNumber, 7, 0, ""});
    for (int i = 0; i < 100 && s.view->terminalNumber != 7; ++i) QTest::qWait(10);
    EXPECT_EQ(s.frame->windowTitle().toStdString(),
              "Tavrin #07 - [127.0.0.1 " + std::to_string(s.sim.TcpPort()) + "]");

    // Save and Open in Editor: the program lands byte-exact in a new svXXXX.tmp of the working
    // folder, and the host gets its full path.
    host.Send({kHostMsgCopyData, 1, kHostKindProgramName, "pick.as"});
    QTest::qWait(50);
    s.frame->RebuildMenus();
    bool hasItem = false;
    for (QAction* a : s.frame->ContextMenu()->actions())
        hasItem |= a->data().toInt() == kCmdSaveAndOpenInEditor;
    EXPECT_TRUE(hasItem);
    s.frame->RunCommand(kCmdSaveAndOpenInEditor);
    ASSERT_TRUE(host.Await(kHostMsgCopyData, r, 10000, kHostKindSaved)) << s.rows;
    const std::string expectedFolder = std::filesystem::current_path().string() + "/";
    ASSERT_EQ(r.data.rfind(expectedFolder, 0), 0u) << r.data;
    EXPECT_TRUE(std::regex_match(r.data.substr(expectedFolder.size()), std::regex("sv[0-9A-F]{1,4}\\.tmp")))
        << r.data;
    const std::string savedForEditor = r.data;
    EXPECT_EQ(ReadAll(savedForEditor), ReadAll(s.disk + "/pick.as"));

    // The close request answered Yes: the window closes and the host hears of it.
    CWhenModal yes("QMessageBox", [](QWidget* box) {
        auto* m = qobject_cast<QMessageBox*>(box);
        m->button(QMessageBox::Yes)->click();
    });
    host.Send({kHostMsgCloseRequest, 1, 0, ""});
    ASSERT_TRUE(host.Await(kHostMsgDetached, r)) << "0x8005 when the view is destroyed";
    EXPECT_EQ(r.lParam, 7);
    EXPECT_TRUE(yes.Ran());
    std::filesystem::remove(savedForEditor);
    // Ending the session quits the application's event loop, which here never ran: it runs once
    // and ends, so the dialogs of the tests after this one still open.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

}  // namespace
}  // namespace tavrin
