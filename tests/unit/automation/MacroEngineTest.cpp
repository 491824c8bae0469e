#include "automation/MacroEngine.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "app/Language.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "automation/LogFile.h"
#include "terminal/WatchBuffer.h"
#include "unit/automation/AutomationFixture.h"
#include "unit/automation/TempFolder.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::RecordingShell;
using testing::ScriptedLink;
using testing::TempFolder;

const std::string kFormatError = "Execute file format error!!\r\n[";
const std::string kFileAccess = "This macro line can't use in file access!!\r\n[";

// The interpreter on the shared fakes; its transfers go to the working folder and the serial
// reopen succeeds unless a test says otherwise.
class MacroEngineTest : public ::testing::Test, public testing::AutomationFixture {
protected:
    MacroEngineTest() {
        transferFolder.clear();
        reopenResult = 0;
    }

    void Start(const std::string& text) { ASSERT_EQ(engine->StartMacro(folder.Write("test.uas", text)), 1); }
    void Tick(int count = 1) {
        for (int i = 0; i < count; ++i) engine->MacroStep();
    }
    // Ticks until the macro stops, at most limit ticks; the operator answers every box and
    // input before the next tick.
    void RunToEnd(int limit = 100) {
        for (int i = 0; i < limit && engine->IsRunning(); ++i) {
            engine->MacroStep();
            shell.RunPosted();
        }
    }
};

TEST_F(MacroEngineTest, WaitWithoutEarlierTimeoutFailsItsFirstCheck) {
    received = "ready >";
    Start("wait '>'\nend\n");
    Tick();  // takes the pattern
    EXPECT_TRUE(engine->IsRunning());
    Tick();  // first check: the budget of 0 seconds from "never" is spent
    EXPECT_FALSE(engine->IsRunning());
    ASSERT_EQ(shell.modeless.size(), 1u);
    EXPECT_EQ(shell.modeless[0], "wait timeout !");
    EXPECT_EQ(engine->EndStatus(), kMacroStopped);
    EXPECT_EQ(stops, std::vector<int>{kMacroStopped});
}

TEST_F(MacroEngineTest, OneTimeoutIsSharedByTwoWaits) {
    struct Case {
        int64_t secondArrivesAtMs;  // after the timeout line
        bool timesOut;
    };
    for (Case c : {Case{5900, false}, Case{6000, true}, Case{12000, true}}) {
        SCOPED_TRACE(c.secondArrivesAtMs);
        shell.modeless.clear();
        received.clear();
        Start("timeout=5\nwait 'first'\nwait 'second'\nend\n");
        int64_t start = clock.now;
        Tick();  // timeout
        Tick();  // first wait takes its pattern
        clock.now = start + 2000;
        received = "first";
        Tick();  // found: the first wait ends
        Tick();  // second wait takes its pattern
        clock.now = start + c.secondArrivesAtMs;
        received = "second";
        Tick();
        EXPECT_EQ(!shell.modeless.empty(), c.timesOut);
        RunToEnd();
        EXPECT_EQ(engine->EndStatus(), c.timesOut ? kMacroStopped : kMacroEndedByItself);
    }
}

TEST_F(MacroEngineTest, ErrorPatternBeatsTheWaitPattern) {
    struct Case {
        const char* received;
        const char* errorText;
        bool stopped;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"OK ... ERR", "Bad", true, "Bad"},
        {"ERR", "Bad", true, "Bad"},
        {"ERR", "", true, ""},  // an empty error text is shown as it is
        {"OK", "Bad", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received);
        shell.modeless.clear();
        received.clear();
        Start(std::string("errormessagebox '") + c.errorText +
              "'\nerrorcheck 'ERR'\ntimeout=10\nwait 'OK'\nend\n");
        Tick(4);
        received = c.received;
        Tick();
        EXPECT_EQ(engine->IsRunning(), !c.stopped);
        if (c.stopped) {
            ASSERT_EQ(shell.modeless.size(), 1u);
            EXPECT_EQ(shell.modeless[0], c.message);
        }
        engine->StopMacro();
    }
}

TEST_F(MacroEngineTest, WaitSuccessClearsErrorPatternForTheNextWait) {
    Start("errorcheck 'ERR'\ntimeout=10\nwait 'A'\nwait 'B'\nend\n");
    Tick(3);
    received = "A";
    Tick();  // first wait done: received text and error pattern emptied
    EXPECT_EQ(received, "");
    Tick();
    received = "ERR B";
    Tick();
    RunToEnd();
    EXPECT_TRUE(shell.modeless.empty());
    EXPECT_EQ(engine->EndStatus(), kMacroEndedByItself);
}

TEST_F(MacroEngineTest, SendRepeatGoesOutEveryTickUntilAWaitSucceeds) {
    Start("sendrepeat 'x'\ntimeout=10\nwait 'ready'\nsleep=1\nend\n");
    Tick();  // sendrepeat itself: nothing sent yet in this tick
    EXPECT_EQ(Sent(), "");
    Tick(4);  // timeout, wait, two checks
    EXPECT_EQ(Sent(), "xxxx");
    received = "ready";
    Tick();  // still sent in the tick that finds the pattern, then cleared
    EXPECT_EQ(Sent(), "xxxxx");
    Tick(3);
    EXPECT_EQ(Sent(), "xxxxx");
}

TEST_F(MacroEngineTest, SendlnReplacesInputstrAndEndsTheLineByMedium) {
    struct Case {
        int isTcp;
        std::optional<std::string> answer;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {0, "12", "x=12\r"},
        {1, "12", "x=12\r\n"},
        {0, std::nullopt, "x=old\r"},         // Cancel keeps the last value
        {0, "\xE3\x81\x82", "x=\x82\xA0\r"},  // typed UTF-8 goes out in CP932
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        doc.isTcp = c.isTcp;
        link.sent.clear();
        shell.inputs = {std::string("old")};
        Start("keyinput 'first'\nend\n");
        RunToEnd();
        shell.inputs = {c.answer};
        Start("keyinput 'Value?'\nsendln 'x=$inputstr'\nend\n");
        RunToEnd();
        EXPECT_EQ(Sent(), c.expected);
        EXPECT_EQ(shell.dialogTitles.back(), "INPUT");
        EXPECT_FALSE(engine->AwaitingOperator());
    }
}

TEST_F(MacroEngineTest, HereDocumentLinesAreSentLowerCased) {
    Start("sendln << EOF\nSAVE A\n;Semi\nit's\nEOF\nsendln 'after'\n");
    RunToEnd();
    EXPECT_EQ(Sent(), "save a\r;semi\rit\rafter\r");
    EXPECT_EQ(engine->EndStatus(), kMacroEndedByItself);
}

TEST_F(MacroEngineTest, KeywordCaseDecidesBetweenFormatErrorAndStatement) {
    Start("Sendln 'x'\n");
    RunToEnd();
    ASSERT_EQ(shell.modeless.size(), 1u);
    EXPECT_EQ(shell.modeless[0], kFormatError + "Sendln 'x']\r\nExit this program.\r\n");
    EXPECT_EQ(engine->EndStatus(), kMacroStopped);
    EXPECT_EQ(Sent(), "");

    Start("; comment\nsendlnx 'y'\n");
    RunToEnd();
    EXPECT_EQ(Sent(), "y\r");
    EXPECT_EQ(engine->EndStatus(), kMacroEndedByItself);
}

TEST_F(MacroEngineTest, SendFileSendsFourHundredBytesATick) {
    struct Case {
        size_t size;
        std::vector<size_t> sentAfterTick;  // from the tick that opens the file on
    };
    const std::vector<Case> cases = {
        {800, {0, 400, 800, 800}},
        {1000, {0, 400, 800, 1000}},
        {0, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        link.sent.clear();
        engine->ClearFileSent();
        std::string data;
        for (size_t i = 0; i < c.size; ++i) data.push_back(static_cast<char>(i * 7));
        std::string path = folder.Write("data.bin", data);
        Start("sendfile '" + path + "'\nend\n");
        for (size_t i = 0; i < c.sentAfterTick.size(); ++i) {
            EXPECT_FALSE(engine->FileSent()) << "tick " << i;
            Tick();
            EXPECT_EQ(link.sent.size(), c.sentAfterTick[i]) << "tick " << i;
            EXPECT_EQ(engine->SentBytes(), c.sentAfterTick[i]) << "tick " << i;
        }
        EXPECT_TRUE(engine->FileSent());
        EXPECT_EQ(Sent(), data);
        RunToEnd();
        EXPECT_EQ(engine->EndStatus(), kMacroEndedByItself);
    }
}

TEST_F(MacroEngineTest, StopAbandonsAHalfSentFile) {
    std::string first = folder.Write("first.bin", std::string(1200, 'a'));
    std::string second = folder.Write("second.bin", std::string(10, 'b'));
    Start("sendfile '" + first + "'\n");
    Tick(2);
    engine->StopMacro();
    link.sent.clear();
    Start("sendfile '" + second + "'\n");
    RunToEnd();
    EXPECT_EQ(Sent(), std::string(10, 'b'));
}

TEST_F(MacroEngineTest, SendFileOfMissingFileStopsWithFileOpenText) {
    Start("sendfile 'no-such-file.bin'\nend\n");
    RunToEnd();
    ASSERT_EQ(shell.modeless.size(), 1u);
    EXPECT_EQ(shell.modeless[0], "Failed to open file.\nno-such-file.bin: No such file or directory.");
    EXPECT_EQ(engine->EndStatus(), kMacroStopped);
}

TEST_F(MacroEngineTest, DialogStatementsAreRefusedWhileAMacroTransferRuns) {
    transferResult = 0;
    transferFolder = "/home/op/robot/";
    for (const char* line : {"messagebox 'hi'", "messagecancel 'hi'", "keyinput 'hi'"}) {
        SCOPED_TRACE(line);
        shell.modeless.clear();
        shell.boxes.clear();
        engine->OnControllerPrompt();
        Start(std::string("sendln 'save prog.as'\n") + line + "\nend\n");
        Tick();
        EXPECT_TRUE(engine->MacroTransferPending());
        Tick();
        EXPECT_FALSE(engine->IsRunning());
        ASSERT_EQ(shell.modeless.size(), 1u);
        EXPECT_EQ(shell.modeless[0], kFileAccess + line + "]\r\nExit this program.\r\n");
        EXPECT_TRUE(shell.boxes.empty());
    }
    // Once the prompt has answered the transfer, the box is shown.
    engine->OnControllerPrompt();
    Start("sendln 'save prog.as'\n");
    RunToEnd();
    engine->OnControllerPrompt();
    shell.modeless.clear();
    Start("messagebox 'hi'\n");
    RunToEnd();
    EXPECT_TRUE(shell.modeless.empty());
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "hi");
}

TEST_F(MacroEngineTest, SendlnFollowsTheTransferCommandResult) {
    struct Case {
        int result;
        std::string sent;
        std::string printed;
        bool pending;
    };
    const std::vector<Case> cases = {
        {0, "save a.as\r", "", true},
        {-1, "hello\r", "", false},
        {-110, "fdirectory\r", "\n\rPlease operate file-maneger or explorer.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        engine->OnControllerPrompt();
        link.sent.clear();
        printed.clear();
        transferResult = c.result;
        Start("sendln '" + c.sent.substr(0, c.sent.size() - 1) + "'\n");
        RunToEnd();
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(engine->MacroTransferPending(), c.pending);
        ASSERT_FALSE(transferLines.empty());
        EXPECT_EQ(transferLines.back(), c.sent);  // offered with its line end
    }
}

TEST_F(MacroEngineTest, PausesWhileDisconnectedAndGoesOnAfterwards) {
    Start("sendln 'one'\nsendln 'two'\n");
    Tick();
    doc.connected = 0;
    Tick(10);
    EXPECT_EQ(Sent(), "one\r");
    EXPECT_TRUE(engine->IsRunning());
    doc.connected = 1;
    RunToEnd();
    EXPECT_EQ(Sent(), "one\rtwo\r");
}

TEST_F(MacroEngineTest, SleepEndsWhenWholeSecondsReachItsLimitAndStartsTheWaitBudget) {
    Start("sleep=2\ntimeout=0\nend\n");
    int64_t start = clock.now;
    Tick();
    clock.now = start + 1999;
    Tick();
    EXPECT_EQ(engine->RunState(), 1);
    clock.now = start + 2000;
    Tick();
    EXPECT_EQ(engine->RunState(), 0);
    engine->StopMacro();

    // A wait after a sleep measures from the sleep.
    Start("sleep=0\nwait 'x'\n");
    start = clock.now;
    Tick(3);
    clock.now = start + 999;
    received = "x";
    Tick();
    EXPECT_TRUE(shell.modeless.empty());
}

TEST_F(MacroEngineTest, MessageCancelStopsOnCancelAndGoesOnAfterOk) {
    struct Case {
        BoxAnswer answer;
        std::string sent;
        int status;
    };
    for (Case c :
         {Case{BoxAnswer::Ok, "after\r", kMacroEndedByItself}, Case{BoxAnswer::Cancel, "", kMacroStopped}}) {
        link.sent.clear();
        shell.boxes.clear();
        shell.answers = {c.answer};
        Start("messagecancel 'Go on?'\nsendln 'after'\n");
        RunToEnd();
        ASSERT_EQ(shell.boxes.size(), 1u);
        EXPECT_EQ(shell.boxes[0].buttons, BoxButtons::OkCancel);
        EXPECT_EQ(Sent(), c.sent);
        EXPECT_EQ(engine->EndStatus(), c.status);
        EXPECT_FALSE(shell.boxes[0].waited);
    }
}

TEST_F(MacroEngineTest, BaudRateReopensThePortAndKeepsTheNewRate) {
    Start("baudrate=19200\nend\n");
    RunToEnd();
    EXPECT_EQ(reopenedAt, std::vector<int>{19200});
    EXPECT_EQ(doc.baudRate, "19200");

    reopenResult = -10;
    Start("baudrate=38400\nend\n");
    RunToEnd();
    EXPECT_EQ(doc.baudRate, "19200");
    ASSERT_EQ(shell.modeless.size(), 1u);
    EXPECT_EQ(shell.modeless[0], "COM device open error.\n\r");

    // On TCP/IP there is no port to re-open.
    doc.isTcp = 1;
    reopenedAt.clear();
    Start("baudrate=4800\nend\n");
    RunToEnd();
    EXPECT_TRUE(reopenedAt.empty());
    EXPECT_EQ(engine->EndStatus(), kMacroEndedByItself);
}

TEST_F(MacroEngineTest, KeyboardIsBlockedDuringAMacroAndFreedAfterIt) {
    Start("keyenable\nkeydisable\nend\n");
    EXPECT_EQ(view.keysEnabled, 0);
    Tick();
    EXPECT_EQ(view.keysEnabled, 1);
    Tick();
    EXPECT_EQ(view.keysEnabled, 0);
    Tick();  // end
    EXPECT_EQ(view.keysEnabled, 0);
    Tick();  // no macro: every tick frees the keyboard
    EXPECT_EQ(view.keysEnabled, 1);
}

TEST_F(MacroEngineTest, MacroOpenedLogIsClosedWhenAWaitFails) {
    std::string logPath = folder.File("run.log");
    Start("openlog '" + logPath + "'\nwait 'never'\n");
    Tick();
    EXPECT_TRUE(log.IsLogOpen());
    EXPECT_TRUE(engine->LogOpenedByMacro());
    RunToEnd();
    EXPECT_FALSE(log.IsLogOpen());

    // A log the operator opened stays open.
    ASSERT_EQ(log.OpenLogFile(logPath), 0);
    Start("wait 'never'\n");
    RunToEnd();
    EXPECT_TRUE(log.IsLogOpen());

    Start("openlog '" + folder.File("no/such/folder/x.log") + "'\nend\n");
    RunToEnd();
    EXPECT_EQ(shell.modeless.back(), "Failed to open file.\n" + folder.File("no/such/folder/x.log") +
                                         ": No such file or directory.");
    EXPECT_EQ(engine->EndStatus(), kMacroStopped);
}

TEST_F(MacroEngineTest, SecondStartIsRefusedAndTheFirstMacroRunsOn) {
    Start("sendln 'a'\nsendln 'b'\n");
    Tick();
    const std::string other = folder.Write("other.uas", "sendln 'z'\n");
    EXPECT_EQ(engine->StartMacro(other), 0);
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "Failed to open file.\n" + other + ": another macro is running.");
    EXPECT_FALSE(shell.boxes[0].waited);
    RunToEnd();
    EXPECT_EQ(Sent(), "a\rb\r");
    EXPECT_EQ(engine->StartMacro(folder.File("missing.uas")), 0);
}

TEST_F(MacroEngineTest, EndStatusBelongsToTheLatestRun) {
    Start("end\n");
    RunToEnd();
    EXPECT_EQ(engine->EndStatus(), kMacroEndedByItself);
    Start("bogus\n");
    RunToEnd();
    EXPECT_EQ(engine->EndStatus(), kMacroStopped);
    Start("continue\nsendln 'never'\n");
    RunToEnd();
    EXPECT_EQ(engine->EndStatus(), kMacroEndedByItself);
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(stops, (std::vector<int>{kMacroEndedByItself, kMacroStopped, kMacroEndedByItself}));
}

TEST_F(MacroEngineTest, StopDuringAMacroTransferInterruptsTheController) {
    transferResult = 0;
    Start("sendln 'save prog.as'\nsleep=100\n");
    Tick(2);
    link.sent.clear();
    engine->StopMacroAndReport();
    EXPECT_EQ(Sent(), "\x03");  // the fresh line follows the operator's OK
    shell.RunPosted();
    EXPECT_EQ(Sent(), "\x03\r");
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "LOADorSAVE Interruptted!3");
    EXPECT_TRUE(engine->MacroTransferPending());  // until the prompt comes

    // Without a pending transfer a stop says nothing.
    engine->OnControllerPrompt();
    Start("sleep=100\n");
    Tick();
    link.sent.clear();
    engine->StopMacroAndReport();
    EXPECT_EQ(Sent(), "");
    EXPECT_EQ(shell.boxes.size(), 1u);
}

TEST_F(MacroEngineTest, WaitsOnTheTerminalsWatchBuffer) {
    CWatchBuffer watch;
    engine->UseWatchBuffer(watch);
    auto receive = [&](const std::string& text) {
        watch.CollectReceivedText(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    receive("before the macro");
    EXPECT_EQ(watch.Length(), 0u);  // nothing is kept while no macro runs

    struct Case {
        const char* arrives;
        bool stopped;
    };
    for (Case c : {Case{"ok>", false}, Case{"ok> FAIL", true}}) {
        SCOPED_TRACE(c.arrives);
        shell.modeless.clear();
        Start("errormessagebox 'failed'\nerrorcheck 'FAIL'\ntimeout=30\nwait 'ok>'\nsendln 'next'\n");
        Tick(4);
        receive(c.arrives);
        Tick();
        EXPECT_EQ(engine->IsRunning(), !c.stopped);
        EXPECT_EQ(shell.modeless,
                  c.stopped ? std::vector<std::string>{"failed"} : std::vector<std::string>{});
        if (!c.stopped) {
            EXPECT_EQ(watch.Length(), 0u);  // a successful wait empties the text
        }
        engine->StopMacro();
    }
}

// A box or an input of a statement holds nothing up: the terminal goes on, the macro's ticks
// come and go without running the next statement until the operator has answered, and an
// answer that comes after the macro was stopped changes nothing.
TEST_F(MacroEngineTest, TicksWhileAStatementWaitsForTheOperatorRunNothing) {
    for (const char* statement : {"messagebox 'look'", "messagecancel 'look'", "keyinput 'look'"}) {
        SCOPED_TRACE(statement);
        link.sent.clear();
        shell.answers = {BoxAnswer::Ok};
        shell.inputs = {std::string("typed")};
        Start(std::string(statement) + "\nsendrepeat 'r'\nsendln 'next'\n");
        Tick();
        EXPECT_TRUE(engine->AwaitingOperator());
        Tick(3);  // e.g. the silence timer firing
        EXPECT_EQ(Sent(), "");
        shell.RunPosted();  // the operator answers
        EXPECT_FALSE(engine->AwaitingOperator());
        Tick(2);
        EXPECT_EQ(Sent(), "rnext\r");
        engine->StopMacro();

        // Stopped while the box is open: the late answer does nothing.
        shell.answers = {BoxAnswer::Cancel};
        Start(std::string(statement) + "\nsendln 'next'\n");
        Tick();
        engine->StopMacro();
        const int stopsBefore = static_cast<int>(stops.size());
        shell.RunPosted();
        EXPECT_FALSE(engine->AwaitingOperator());
        EXPECT_EQ(static_cast<int>(stops.size()), stopsBefore);
    }
}

}  // namespace
}  // namespace tavrin
