// The terminal view as a whole: start-up order, the first idle turn, the start-up macro hand-off,
// the close confirmation and the shut-down saves, against a real pty standing in for the
// controller's serial line.
#include "app/Settings.h"
#include "session/PelinView.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "app/IniFile.h"
#include "app/Language.h"
#include "automation/MacroEngine.h"
#include "link/ConnectionControl.h"
#include "session/PelinApp.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::RecordingShell;

// The controller's end of a pty, with the terminal's end named in a settings file as COM3.
class ControllerPty {
public:
    ControllerPty() {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        termios raw{};
        tcgetattr(master_, &raw);
        cfmakeraw(&raw);
        tcsetattr(master_, TCSANOW, &raw);
        slaveName_ = name;
    }
    ~ControllerPty() {
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }
    bool Ok() const { return master_ >= 0; }
    // The controller's end goes away, as when the adapter is pulled.
    void Hangup() {
        close(master_);
        master_ = -1;
    }
    const std::string& SlaveName() const { return slaveName_; }
    void Send(const std::string& text) const {
        ASSERT_EQ(write(master_, text.data(), text.size()), (ssize_t)text.size());
    }
    // What the terminal has sent so far (waits briefly for it).
    std::string Received(int waitMs = 200) {
        pollfd p{master_, POLLIN, 0};
        while (poll(&p, 1, waitMs) > 0) {
            char buffer[512];
            ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            received_.append(buffer, static_cast<size_t>(n));
            waitMs = 20;
        }
        return received_;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
    std::string received_;
};

class PelinViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavrin-view-XXXXXX";
        folder_ = mkdtemp(pattern);
        ChangeFolder(folder_);
        ini_ = folder_ + "/settings.ini";
        ASSERT_TRUE(pty_.Ok());
        WriteProfileString(ini_, "Ports", "COM3", pty_.SlaveName());
        SetCurrentLanguage(1);
    }
    void TearDown() override {
        view_.reset();
        ChangeFolder("/tmp");
        std::filesystem::remove_all(folder_);
    }

    void Start(const std::vector<std::string>& arguments) {
        app_ = std::make_unique<CPelinApp>(ParseCommandLine(arguments), "tavrin");
        app_->FixProfilePath();
        view_ = std::make_unique<CPelinView>(*app_, doc_, shell_, clock_);
        ASSERT_EQ(view_->OnCreate(), 0);
        app_->document = &doc_;
        shell_.RunPosted();  // the first idle turn
    }
    // One tick of the poll timer after the controller has sent text, then the idle turn.
    void Tick() {
        usleep(20000);
        view_->OnTimer(1);
        shell_.RunPosted();
    }
    std::string Row(int row) const {
        return std::string(reinterpret_cast<const char*>(doc_.screenBuffer.Row(row)), kColumns);
    }

    std::string folder_, ini_;
    ControllerPty pty_;
    RecordingShell shell_;
    FakeClock clock_;
    CPelinDoc doc_;
    std::unique_ptr<CPelinApp> app_;
    std::unique_ptr<CPelinView> view_;
};

// While a lost port is waited for, the poll ticks once a check for its device is due, not every
// 20 ms: a terminal left unplugged sleeps too.
TEST_F(PelinViewTest, ALostPortIsLookedForOnceASecondWithoutThe20MsPoll) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    pty_.Hangup();
    const auto watches = shell_.watches;
    for (const auto& [fd, onReadable] : watches) onReadable();
    shell_.RunPosted();
    ASSERT_EQ(doc_.connected, 0);
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
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    EXPECT_EQ(app_->profilePath, ini_);
    ASSERT_EQ(doc_.connected, 1);
    EXPECT_EQ(doc_.comPort, "COM3");
    // Connected and quiet: the port's readiness wakes the terminal, no poll timer does.
    EXPECT_EQ(shell_.timers.count(1), 0u) << "no 20 ms poll while nothing needs it";
    EXPECT_GE(shell_.watches.size(), 1u) << "the serial port is watched for readiness";

    pty_.Send("Controller ready\r\n>");
    Tick();
    EXPECT_EQ(Row(0).substr(0, 16), "Controller ready");
    EXPECT_EQ(Row(1)[0], '>');

    // The serial connect wakes the controller with a line feed; typed keys follow, and Enter on
    // a plain line, once the controller has echoed it, sends CR.
    view_->OnText("id");
    pty_.Send("id");
    Tick();
    view_->OnChar('\r');
    EXPECT_EQ(pty_.Received(), "\nid\r");
}

TEST_F(PelinViewTest, PastedTextIsTypedWithTabsAsBlanksCrLfAsEnterAndLfAndLoneLfAsEnter) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    pty_.Received();
    shell_.clipboard = "a\tb\r\nc\nd";
    view_->OnCommand(57637);  // Paste
    shell_.RunPosted();
    // The Enter waits for the controller's echo of the first line; the rest waits behind it.
    EXPECT_EQ(pty_.Received(), "\na b");
    pty_.Send("a b");
    Tick();
    EXPECT_EQ(pty_.Received(), "\na b\r\nc");
    // A lone LF (text copied on Linux) is Enter as well, held for its own echo.
    pty_.Send("\r\n>c");
    Tick();
    EXPECT_EQ(pty_.Received(), "\na b\r\nc\rd");
}

TEST_F(PelinViewTest, NothingOpensWithoutCommandLineConnectionOrAutomaticConnection) {
    WriteProfileString(ini_, "Settings", "IsAutoConnect", "0");
    Start({"-F" + ini_});
    EXPECT_EQ(doc_.connected, 0);
    EXPECT_TRUE(shell_.boxes.empty());
}

TEST_F(PelinViewTest, AutoexecRunsOnceAfterTheFirstPromptAndNotAgainAfterReconnecting) {
    std::ofstream(folder_ + "/Autoexec.uas") << "sendln 'auto'\nend\n";
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    ASSERT_EQ(doc_.connected, 1);
    EXPECT_EQ(pty_.Received(50).find("auto"), std::string::npos) << "not at start-up";

    pty_.Send(">");
    Tick();  // the prompt requests the start-up macro; the idle turn starts it
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_NE(pty_.Received().find("auto\r"), std::string::npos);

    view_->OnCommand(32868);  // Reconnect
    shell_.RunPosted();
    ASSERT_EQ(doc_.connected, 1);
    pty_.Send("\r\n>");
    for (int i = 0; i < 5; ++i) Tick();
    const std::string all = pty_.Received();
    EXPECT_EQ(all.find("auto\r"), all.rfind("auto\r")) << "started a second time: " << all;
}

TEST_F(PelinViewTest, AnsweringNoToTheCloseQuestionKeepsEverythingAndYesSavesAtDestruction) {
    Start({"-F" + ini_, "-C=COM3:9600:8:1:none"});
    const std::string before = [&] {
        std::ifstream in(ini_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    shell_.answers.push_back(BoxAnswer::No);
    EXPECT_FALSE(view_->ConfirmClose());
    ASSERT_FALSE(shell_.boxes.empty());
    EXPECT_EQ(shell_.boxes.back().text, "OK to close window.");
    EXPECT_EQ(shell_.boxes.back().buttons, BoxButtons::YesNo);
    EXPECT_EQ(doc_.connected, 1);
    std::ifstream in(ini_);
    std::stringstream after;
    after << in.rdbuf();
    EXPECT_EQ(after.str(), before);

    shell_.answers.push_back(BoxAnswer::Yes);
    EXPECT_TRUE(view_->ConfirmClose());
    SetCurrentLanguage(0);
    view_->OnDestroy();
    EXPECT_EQ(doc_.connected, 0) << "disconnected at destruction";
    EXPECT_EQ(ReadProfileString(ini_, "Settings", "Language", ""), "0");
    EXPECT_EQ(ReadProfileString(ini_, "Settings", "Folder", ""), std::filesystem::current_path().string());
    EXPECT_EQ(ReadProfileString(ini_, "Term", "MaxRows", ""), std::to_string(doc_.maxRows));
    EXPECT_EQ(ReadProfileString(ini_, "Font", "FaceName", ""), "Fixedsys");
    EXPECT_EQ(ReadProfileString(ini_, "Ports", "COM3", ""), pty_.SlaveName()) << "other sections kept";
}

TEST_F(PelinViewTest, BatchMacroReportsOneWhenTheConnectionCannotBeMade) {
    WriteProfileString(ini_, "Ports", "COM4", folder_ + "/no-such-device");
    app_ = std::make_unique<CPelinApp>(ParseCommandLine({"-F" + ini_, "-C=COM4:9600:8:1:none"}), "tavrin");
    app_->FixProfilePath();
    view_ = std::make_unique<CPelinView>(*app_, doc_, shell_, clock_);
    int status = -1;
    view_->SetBatchMacro(folder_ + "/backup.uas", [&](int s) { status = s; });
    ASSERT_EQ(view_->OnCreate(), 0);
    shell_.RunPosted();
    EXPECT_EQ(status, 1);
    EXPECT_NE(Row(0).find("COM device open error."), std::string::npos) << Row(0);
}

// The front end hears of a start-up connection that was tried and failed, and of nothing else.
TEST_F(PelinViewTest, StartupConnectFailureIsToldOnlyWhenAConnectionWasTriedAndNotMade) {
    WriteProfileString(ini_, "Ports", "COM4", folder_ + "/no-such-device");
    const struct {
        const char* connection;  // "" none
        int failures;
    } cases[] = {{"", 0}, {"-C=COM4:9600:8:1:none", 1}, {"-C=COM3:9600:8:1:none", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connection);
        std::vector<std::string> args = {"-F" + ini_};
        if (*c.connection) args.push_back(c.connection);
        app_ = std::make_unique<CPelinApp>(ParseCommandLine(args), "tavrin");
        app_->FixProfilePath();
        view_ = std::make_unique<CPelinView>(*app_, doc_, shell_, clock_);
        int failures = 0;
        view_->SetStartupConnectEnded([&](bool failed) { failures += failed ? 1 : 0; });
        ASSERT_EQ(view_->OnCreate(), 0);
        shell_.RunPosted();
        EXPECT_EQ(failures, c.failures);
        view_->OnDestroy();
        view_.reset();
    }
}

TEST_F(PelinViewTest, BatchMacroRunsAfterThePromptInPlaceOfTheStartupMacroAndReportsItsEnd) {
    std::ofstream(folder_ + "/Autoexec.uas") << "sendln 'auto'\nend\n";
    std::ofstream(folder_ + "/job.uas") << "sendln 'job'\nend\n";
    app_ = std::make_unique<CPelinApp>(ParseCommandLine({"-F" + ini_, "-C=COM3:9600:8:1:none"}), "tavrin");
    app_->FixProfilePath();
    view_ = std::make_unique<CPelinView>(*app_, doc_, shell_, clock_);
    int status = -1;
    view_->SetBatchMacro(folder_ + "/job.uas", [&](int s) { status = s; });
    ASSERT_EQ(view_->OnCreate(), 0);
    shell_.RunPosted();
    ASSERT_EQ(doc_.connected, 1);
    pty_.Send(">");
    for (int i = 0; i < 6 && status < 0; ++i) Tick();
    EXPECT_EQ(status, 0);
    const std::string sent = pty_.Received();
    EXPECT_NE(sent.find("job\r"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("auto"), std::string::npos) << sent;
}

}  // namespace
}  // namespace tavrin
