// The terminal view as a whole: start-up order, the first idle turn, the start-up macro hand-off,
// the close confirmation and the shut-down saves. The view runs on an environment of fakes: the
// controller's serial line is a device in memory, TCP/IP a socket in memory, the host editor's
// socket a channel in memory.
#include "session/PelinView.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeClock.h"
#include "FakeHostChannel.h"
#include "FakeSerialDevice.h"
#include "FakeSerialPorts.h"
#include "FakeStreamSocket.h"
#include "RecordingShell.h"
#include "app/IniFile.h"
#include "app/Language.h"
#include "app/Settings.h"
#include "automation/MacroEngine.h"
#include "link/ConnectionControl.h"
#include "session/PelinApp.h"
#include "session/ViewEnvironment.h"
#include "terminal/Keyboard.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::FakeHostChannel;
using testing::FakeSerialDevice;
using testing::FakeSerialPorts;
using testing::FakeStreamSocket;
using testing::ForwardingSocket;
using testing::RecordingShell;

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class PelinViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrin-view-XXXXXX";
        folder_ = mkdtemp(pattern);
        // The start-up macro and the saved working folder are the current folder's.
        ChangeFolder(folder_);
        ini_ = folder_ + "/settings.ini";
        // A node that does not exist: a lost port is not found again behind the test's back.
        comDevice_ = folder_ + "/ttyCOM3";
        WriteProfileString(ini_, "Ports", "COM3", comDevice_);
        SetCurrentLanguage(1);
    }
    void TearDown() override {
        view_.reset();
        ChangeFolder("/tmp");
        std::filesystem::remove_all(folder_);
    }

    ViewEnvironment Environment() {
        return {device_,
                ports_,
                &ports_,
                [this] { return std::make_unique<ForwardingSocket>(socket_); },
                [this] {
                    auto channel = std::make_unique<FakeHostChannel>();
                    channel->openResult = hostOpenResult_;
                    host_ = channel.get();
                    return channel;
                },
                clock_};
    }
    // The view built over a command line, not yet created.
    void Build(const std::vector<std::string>& arguments) {
        view_.reset();
        app_ = std::make_unique<CPelinApp>(ParseCommandLine(arguments), "tavrin");
        app_->FixProfilePath();
        view_ = std::make_unique<CPelinView>(*app_, doc_, shell_, Environment());
    }
    // Created, and through the first idle turn.
    void Create() {
        ASSERT_EQ(view_->OnCreate(), 0);
        app_->document = &doc_;
        shell_.RunPosted();
    }
    void Start(const std::vector<std::string>& arguments) {
        Build(arguments);
        Create();
    }
    // The controller sends text: it waits on the line, and the device's descriptor turns readable
    // when the view watches it.
    void ControllerSends(const std::string& text) {
        device_.FeedText(text);
        const auto watch = shell_.watches.find(device_.Descriptor());
        if (watch != shell_.watches.end()) {
            const auto onReadable = watch->second;
            onReadable();
        }
        shell_.RunPosted();
    }
    // One tick of the poll timer, then the idle turn.
    void Tick() {
        view_->OnTimer(kPollTimerId);
        shell_.RunPosted();
    }
    // What the terminal has sent on the serial line so far.
    std::string Sent() const { return device_.WrittenText(); }
    std::string Row(int row) const {
        return std::string(reinterpret_cast<const char*>(doc_.screenBuffer.Row(row)), kColumns);
    }

    std::string folder_, ini_, comDevice_;
    RecordingShell shell_;
    FakeClock clock_;
    FakeSerialDevice device_;
    FakeSerialPorts ports_;
    FakeStreamSocket socket_{clock_};
    FakeHostChannel* host_ = nullptr;  // the view's, while it lives
    int hostOpenResult_ = kHostNoSocket;
    CPelinDoc doc_;
    std::unique_ptr<CPelinApp> app_;
    std::unique_ptr<CPelinView> view_;
};

// While a lost port is waited for, the poll ticks once a check for its device is due, not every
// 20 ms: a terminal left unplugged sleeps too.
TEST_F(PelinViewTest, ALostPortIsLookedForOnceASecondWithoutThe20MsPoll) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    device_.lineError = EIO;  // the adapter is pulled: the descriptor turns readable
    const auto watches = shell_.watches;
    for (const auto& [fd, onReadable] : watches) onReadable();
    shell_.RunPosted();
    ASSERT_EQ(doc_.connected, 0);
    EXPECT_EQ(shell_.watches.count(device_.Descriptor()), 0u) << "a dead descriptor is not watched";
    ASSERT_EQ(shell_.timers.count(kPollTimerId), 1u) << "the lost port is looked for";
    EXPECT_EQ(shell_.timers.at(kPollTimerId), kReopenCheckMs);
}

// A macro that cannot be opened is reported in a box, around which the macro engine stops and
// restarts the poll; with nothing left that needs it, the poll stops again.
TEST_F(PelinViewTest, AMacroThatCannotBeOpenedLeavesNoPollRunning) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    view_->OnDropFiles({folder_ + "/missing.uas"});
    shell_.RunPosted();
    EXPECT_EQ(shell_.timers.count(kPollTimerId), 0u);
}

TEST_F(PelinViewTest, CommandLineConnectionOpensAtTheFirstIdleTurnAndShowsTheController) {
    Build({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(view_->OnCreate(), 0);
    EXPECT_TRUE(device_.openedPaths.empty()) << "nothing opens before the first idle turn";
    shell_.RunPosted();
    EXPECT_EQ(app_->profilePath, ini_);
    ASSERT_EQ(doc_.connected, 1);
    EXPECT_EQ(doc_.comPort, "COM3");
    ASSERT_EQ(device_.openedPaths, std::vector<std::string>{comDevice_}) << "COM3 as [Ports] maps it";
    EXPECT_EQ(device_.openedParams[0].baud, 9600);
    // Connected and quiet: the port's readiness wakes the terminal, no poll timer does.
    EXPECT_EQ(shell_.timers.count(kPollTimerId), 0u) << "no 20 ms poll while nothing needs it";
    EXPECT_EQ(shell_.watches.count(device_.Descriptor()), 1u) << "the serial port is watched for readiness";

    ControllerSends("Controller ready\r\n>");
    EXPECT_EQ(Row(0).substr(0, 16), "Controller ready");
    EXPECT_EQ(Row(1)[0], '>');

    // The serial connect wakes the controller with a line feed; typed keys follow, and Enter on
    // a plain line, once the controller has echoed it, sends CR.
    view_->OnText("id");
    ControllerSends("id");
    view_->OnChar('\r');
    EXPECT_EQ(Sent(), "\nid\r");

    // The environment outlives the view; the port does not.
    view_.reset();
    EXPECT_FALSE(device_.open);
}

// An Enter that waits for its echo sets a timer for the end of its wait, not the 20 ms poll: a
// terminal whose controller never echoes sleeps until then, and the Enter goes at its end.
TEST_F(PelinViewTest, AHeldEnterWakesTheTerminalWhenItsWaitEndsNotEvery20Ms) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    ControllerSends(">");
    view_->OnText("id");
    view_->OnChar('\r');
    shell_.RunPosted();
    EXPECT_EQ(Sent(), "\nid") << "Enter waits for the echo";
    EXPECT_EQ(shell_.timers.count(kPollTimerId), 0u) << "no 20 ms poll for a held Enter";
    ASSERT_EQ(shell_.timers.count(kKeysTimerId), 1u);
    EXPECT_EQ(shell_.timers.at(kKeysTimerId), kEnterEchoWaitMs);

    clock_.Advance(1500);
    ControllerSends("i");  // part of the echo: the wait goes on, its end unchanged
    EXPECT_EQ(Sent(), "\nid");
    clock_.Advance(500);
    view_->OnTimer(kKeysTimerId);
    shell_.RunPosted();
    EXPECT_EQ(Sent(), "\nid\r") << "the Enter goes when its wait is over";
    EXPECT_EQ(shell_.timers.count(kKeysTimerId), 0u) << "nothing left to wait for";
}

TEST_F(PelinViewTest, PastedTextIsTypedWithTabsAsBlanksCrLfAsEnterAndLfAndLoneLfAsEnter) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    shell_.clipboard = "a\tb\r\nc\nd";
    view_->OnCommand(57637);  // Paste
    shell_.RunPosted();
    // The Enter waits for the controller's echo of the first line; the rest waits behind it.
    EXPECT_EQ(Sent(), "\na b");
    ControllerSends("a b");
    Tick();
    EXPECT_EQ(Sent(), "\na b\r\nc");
    // A lone LF (text copied on Linux) is Enter as well, held for its own echo.
    ControllerSends("\r\n>c");
    Tick();
    EXPECT_EQ(Sent(), "\na b\r\nc\rd");
}

TEST_F(PelinViewTest, NothingOpensWithoutCommandLineConnectionOrAutomaticConnection) {
    WriteProfileString(ini_, "Settings", "IsAutoConnect", "0");
    Start({"-F" + ini_});
    EXPECT_EQ(doc_.connected, 0);
    EXPECT_TRUE(device_.openedPaths.empty());
    EXPECT_EQ(socket_.creates, 0);
    EXPECT_TRUE(shell_.boxes.empty());
}

TEST_F(PelinViewTest, AutoexecRunsOnceAfterTheFirstPromptAndNotAgainAfterReconnecting) {
    std::ofstream(folder_ + "/Autoexec.uas") << "sendln 'auto'\nend\n";
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(Sent().find("auto"), std::string::npos) << "not before the prompt";

    ControllerSends(">");  // the prompt requests the start-up macro; the idle turn starts it
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_NE(Sent().find("auto\r"), std::string::npos) << Sent();

    view_->OnCommand(32868);  // Reconnect
    shell_.RunPosted();
    ASSERT_EQ(doc_.connected, 1);
    EXPECT_EQ(device_.openedPaths.size(), 2u);
    ControllerSends("\r\n>");
    for (int i = 0; i < 5; ++i) Tick();
    const std::string all = Sent();
    EXPECT_EQ(all.find("auto\r"), all.rfind("auto\r")) << "started a second time: " << all;
}

TEST_F(PelinViewTest, AnsweringNoToTheCloseQuestionKeepsEverythingAndYesSavesAtDestruction) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    const std::string before = FileText(ini_);
    shell_.answers.push_back(BoxAnswer::No);
    EXPECT_FALSE(view_->ConfirmClose());
    ASSERT_FALSE(shell_.boxes.empty());
    EXPECT_EQ(shell_.boxes.back().text, "OK to close window.");
    EXPECT_EQ(shell_.boxes.back().buttons, BoxButtons::YesNo);
    EXPECT_EQ(doc_.connected, 1);
    EXPECT_EQ(FileText(ini_), before);

    shell_.answers.push_back(BoxAnswer::Yes);
    EXPECT_TRUE(view_->ConfirmClose());
    SetCurrentLanguage(0);
    view_->OnDestroy();
    EXPECT_EQ(doc_.connected, 0) << "disconnected at destruction";
    EXPECT_FALSE(device_.open) << "the port is closed";
    EXPECT_EQ(ReadProfileString(ini_, "Settings", "Language", ""), "0");
    EXPECT_EQ(ReadProfileString(ini_, "Settings", "Folder", ""), std::filesystem::current_path().string());
    EXPECT_EQ(ReadProfileString(ini_, "Term", "MaxRows", ""), std::to_string(doc_.maxRows));
    EXPECT_EQ(ReadProfileString(ini_, "Font", "FaceName", ""), "Fixedsys");
    EXPECT_EQ(ReadProfileString(ini_, "Ports", "COM3", ""), comDevice_) << "other sections kept";
}

TEST_F(PelinViewTest, BatchMacroReportsOneWhenTheConnectionCannotBeMade) {
    device_.failures = {ENOENT};
    Build({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    int status = -1;
    view_->SetBatchMacro(folder_ + "/backup.uas", [&](int s) { status = s; });
    Create();
    EXPECT_EQ(status, 1);
    EXPECT_NE(Row(0).find("COM device open error."), std::string::npos) << Row(0);
}

// The front end hears that the start-up connect has ended, once, and that it failed only when a
// connection was tried and not made.
TEST_F(PelinViewTest, StartupConnectFailureIsToldOnlyWhenAConnectionWasTriedAndNotMade) {
    const struct {
        const char* connection;  // "" none
        int serialError;         // the device's answer to the open
        int socketResult;        // the socket's answer to the connect
        int failures;
    } cases[] = {
        {"", 0, 0, 0},
        {"-C=COM3:9600:8:1:none", ENOENT, 0, 1},
        {"-C=COM3:9600:8:1:none", EACCES, 0, 1},
        {"-C=COM3:9600:8:1:none", 0, 0, 0},
        {"-C=127.0.0.1:2323:cell", 0, ECONNREFUSED, 1},
        {"-C=127.0.0.1:2323:cell", 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.connection) + " serial " + std::to_string(c.serialError) + " socket " +
                     std::to_string(c.socketResult));
        device_.failures = {c.serialError};
        socket_.attempts = {FakeStreamSocket::Attempt{c.socketResult}};
        std::vector<std::string> args = {"-F" + ini_};
        if (*c.connection) args.push_back(c.connection);
        Build(args);
        int ends = 0, failures = 0;
        view_->SetStartupConnectEnded([&](bool failed) {
            ++ends;
            failures += failed ? 1 : 0;
        });
        const size_t connects = socket_.hosts.size();
        Create();
        const bool tcp = std::string(c.connection).find("127.0.0.1") != std::string::npos;
        EXPECT_EQ(socket_.hosts.size() - connects, tcp ? 1u : 0u)
            << "TCP/IP connects on the environment's socket";
        EXPECT_EQ(ends, 1);
        EXPECT_EQ(failures, c.failures);
        view_->OnDestroy();
        view_.reset();
    }
}

TEST_F(PelinViewTest, BatchMacroRunsAfterThePromptInPlaceOfTheStartupMacroAndReportsItsEnd) {
    std::ofstream(folder_ + "/Autoexec.uas") << "sendln 'auto'\nend\n";
    std::ofstream(folder_ + "/job.uas") << "sendln 'job'\nend\n";
    Build({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    int status = -1;
    view_->SetBatchMacro(folder_ + "/job.uas", [&](int s) { status = s; });
    Create();
    ASSERT_EQ(doc_.connected, 1);
    ControllerSends(">");
    for (int i = 0; i < 6 && status < 0; ++i) Tick();
    EXPECT_EQ(status, 0);
    EXPECT_NE(Sent().find("job\r"), std::string::npos) << Sent();
    EXPECT_EQ(Sent().find("auto"), std::string::npos) << Sent();
}

// "-N": the view links through the environment's host channel at the host socket and greets the
// host at the first idle turn.
TEST_F(PelinViewTest, HostLinkOpensTheEnvironmentsChannelAndGreetsAtTheFirstIdleTurn) {
    const std::string socketPath = folder_ + "/host.sock";
    setenv("TAVRIN_HOST_SOCKET", socketPath.c_str(), 1);
    hostOpenResult_ = kHostOpened;
    Build({"-F" + ini_, "-N"});
    ASSERT_NE(host_, nullptr);
    ASSERT_EQ(view_->OnCreate(), 0);
    EXPECT_EQ(host_->openedPaths, std::vector<std::string>{socketPath});
    EXPECT_EQ(shell_.watches.count(host_->descriptor), 1u) << "the host's records are watched for";
    EXPECT_TRUE(host_->sent.empty()) << "not before the first idle turn";
    shell_.RunPosted();
    ASSERT_FALSE(host_->sent.empty());
    EXPECT_EQ(host_->sent.front().message, kHostMsgAttached);
    unsetenv("TAVRIN_HOST_SOCKET");
}

}  // namespace
}  // namespace tavrin
