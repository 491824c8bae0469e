#include "terminal/Keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeClock.h"
#include "InterpreterRig.h"
#include "app/Language.h"
#include "app/MessageTable.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::InterpreterRig;

struct KeyboardRig : InterpreterRig {
    std::vector<std::string> checkedLines;
    int checkResult = -1;
    FakeClock clock;
    CKeyboard keyboard{doc, view, link, shell, interpreter, clock, KeyboardHooks{}};

    KeyboardRig() {
        doc.connected = 1;
        keyboard.Hooks().sendTransferCommand = [this](const std::string& line) {
            checkedLines.push_back(line);
            return checkResult;
        };
    }
    std::string Sent() const { return std::string(link.sent.begin(), link.sent.end()); }
    // The controller never echoes: the held Enter goes on when its wait is over.
    void WaitOutEcho() {
        clock.Advance(kEnterEchoWaitMs);
        keyboard.Poll();
    }
};

struct CharCase {
    const char* name;
    int connected;
    int isTcp;
    int keys;
    std::string typed;
    std::string sent;
    size_t checks;  // transfer checks run
};

// Typed characters to bytes on the link, by medium, connection and the keys flag.
TEST(KeyboardTest, TypedCharactersGoToTheLink) {
    const std::vector<CharCase> cases = {
        {"serial Enter is CR", 1, 0, 1, "ab\r", "ab\r", 1},
        {"TCP/IP Enter is CR LF", 1, 1, 1, "ab\r", "ab\r\n", 1},
        {"LF stays one byte on TCP/IP", 1, 1, 1, "zu\n", "zu\n", 0},
        {"control and Japanese bytes unchanged", 1, 0, 1, "\x03\x08\x82\xa0", "\x03\x08\x82\xa0", 0},
        {"disconnected drops everything", 0, 0, 1, "ab\r", "", 0},
        {"keys disabled: nothing sent, the check still runs", 1, 0, 0, "ab\r", "", 1},
        {"keys disabled on TCP/IP", 1, 1, 0, "\r", "", 1},
    };
    for (const CharCase& c : cases) {
        SCOPED_TRACE(c.name);
        KeyboardRig rig;
        rig.view.keysEnabled = c.keys;
        rig.doc.connected = c.connected;
        rig.doc.isTcp = c.isTcp;
        for (char ch : c.typed) rig.keyboard.OnChar(static_cast<uint8_t>(ch));
        rig.WaitOutEcho();
        EXPECT_EQ(rig.Sent(), c.sent);
        EXPECT_EQ(rig.checkedLines.size(), c.checks);
    }
}

TEST(KeyboardTest, ArrowKeysSendEvenWhenDisconnectedOrDisabled) {
    struct Case {
        int key;
        uint8_t byte;
    };
    const Case cases[] = {{kVkLeft, 0x14}, {kVkUp, 0x0C}, {kVkRight, 0x12}, {kVkDown, 0x0E}};
    for (int connected : {0, 1}) {
        for (int keys : {0, 1}) {
            KeyboardRig rig;
            rig.view.keysEnabled = keys;
            rig.doc.connected = connected;
            for (const Case& c : cases) EXPECT_TRUE(rig.keyboard.OnKeyDown(c.key));
            EXPECT_FALSE(rig.keyboard.OnKeyDown(0x41));
            EXPECT_EQ(rig.link.sent, (std::vector<uint8_t>{0x14, 0x0C, 0x12, 0x0E}));
        }
    }
}

struct EnterCase {
    const char* name;
    int isTcp;
    std::string echo;  // what the controller echoed on the current row
    int result;
    std::string checked;
    std::string sent;
    int cursorRow;
};

// The echo is read as the screen holds it: 78 cells from column 1, blanks included.
std::string Cells(const std::string& text) {
    return text + std::string(kEchoedLineMax - text.size(), ' ');
}

TEST(KeyboardTest, EnterReadsTheEchoAndHandsItToTheTransferCheck) {
    // Column 79 holds a character too; the cursor goes back up to the echoed row.
    const std::string longEcho = ">" + std::string(78, 'w') + "Q\x1b[A";
    const std::vector<EnterCase> cases = {
        {"save command handed on from column 1", 0, ">save /home/op/prog.as", -1,
         Cells("save /home/op/prog.as"), "\r", 0},
        {"empty line sends CR", 0, ">", -1, Cells(""), "\r", 0},
        {"empty line on TCP/IP sends CR LF", 1, ">", -1, Cells(""), "\r\n", 0},
        {"at most 78 characters", 0, longEcho, -1, std::string(78, 'w'), "\r", 0},
        {"a NUL cell ends the line", 0, std::string(">ab\0cd", 6), -1, "ab", "\r", 0},
        {"accepted: no CR, line completed", 0, ">load /tmp/a.as", 0, Cells("load /tmp/a.as"), "", 1},
        {"accepted on TCP/IP", 1, ">save /tmp/b.as", 0, Cells("save /tmp/b.as"), "", 1},
        {"refused: message printed, CR still sent", 0, ">fdirectory", -110, Cells("fdirectory"), "\r", 1},
    };
    const int savedLanguage = CurrentLanguage();
    SetCurrentLanguage(1);
    for (const EnterCase& c : cases) {
        SCOPED_TRACE(c.name);
        KeyboardRig rig;
        rig.doc.isTcp = c.isTcp;
        rig.doc.isLinuxTelnet = 0;
        rig.checkResult = c.result;
        rig.Feed(c.echo);  // the controller's echo
        rig.keyboard.OnChar('\r');
        ASSERT_EQ(rig.checkedLines.size(), 1u);
        EXPECT_EQ(rig.checkedLines[0], c.checked);
        EXPECT_EQ(rig.Sent(), c.sent);
        EXPECT_EQ(rig.doc.cursorRow, c.cursorRow);
    }
    SetCurrentLanguage(savedLanguage);
}

TEST(KeyboardTest, AcceptedCommandLineIsLoggedAndKeptInHistory) {
    KeyboardRig rig;
    rig.logIsOpen = true;
    rig.checkResult = 0;
    rig.Feed(">save prog.as");
    rig.keyboard.OnChar('\r');
    ASSERT_EQ(rig.logRows.size(), 1u);
    EXPECT_EQ(rig.logRows[0], ">save prog.as" + std::string(67, ' '));
    EXPECT_EQ(rig.History(0), ">save prog.as");
    EXPECT_EQ(rig.Row(0), ">save prog.as");
    EXPECT_EQ(rig.doc.cursorRow, 1);
    EXPECT_EQ(rig.doc.cursorColumn, 0);
}

TEST(KeyboardTest, RefusedCommandPrintsItsMessage) {
    const int savedLanguage = CurrentLanguage();
    SetCurrentLanguage(1);
    KeyboardRig rig;
    rig.checkResult = -110;
    rig.Feed(">fdelete");
    rig.keyboard.OnChar('\r');
    // "\n\r" then the text: the message starts on the next row.
    EXPECT_EQ(rig.Row(0), ">fdelete");
    EXPECT_EQ(rig.Row(1), "Please operate file-maneger or explorer.");
    SetCurrentLanguage(savedLanguage);
}

TEST(KeyboardTest, WithoutTransferLayerEveryLineIsPlain) {
    KeyboardRig rig;
    rig.keyboard.Hooks().sendTransferCommand = nullptr;
    rig.Feed(">save a");
    rig.keyboard.OnChar('\r');
    EXPECT_EQ(rig.Sent(), "\r");
}

TEST(KeyboardTest, At38400SerialEveryKeyRebuildsTheScreen) {
    struct Case {
        int isTcp;
        const char* baud;
        bool rebuilt;
    };
    const Case cases[] = {{0, "38400", true}, {0, "9600", false}, {1, "38400", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.baud);
        KeyboardRig rig;
        rig.doc.isTcp = c.isTcp;
        rig.doc.baudRate = c.baud;
        rig.doc.visibleRows = 5;
        for (int i = 0; i < 3; ++i) rig.Feed("L" + std::to_string(i) + "\r\n");
        rig.Feed("cur");
        // Something else moved the screen (a scrolled-back view, a resize in between).
        rig.view.historyView = 1;
        for (int r = 0; r < 3; ++r) std::fill_n(rig.doc.screenBuffer.Row(r), kColumns, 'z');
        const int repaints = rig.shell.repaintRequests;
        rig.keyboard.OnChar('x');
        EXPECT_EQ(rig.Row(0), c.rebuilt ? "L0" : std::string(80, 'z'));
        EXPECT_EQ(rig.Row(3), "cur");
        EXPECT_EQ(rig.view.historyView, c.rebuilt ? 0 : 1);
        EXPECT_EQ(rig.shell.repaintRequests, repaints + (c.rebuilt ? 1 : 0));
        EXPECT_EQ(rig.Sent(), "x");
    }
}

// Keys faster than the echo: Enter waits for the controller's echo of the line on the current
// row (or for its time limit), and keys typed meanwhile follow it in order.
TEST(KeyboardTest, EnterWaitsForTheEchoOfWhatWasTyped) {
    struct Case {
        const char* name;
        std::string typed;      // at full speed, before any echo
        std::string echo;       // what the controller has echoed when the keyboard is polled
        int64_t waitedMs;       // time passed before that poll
        std::string sent;       // on the link after the poll
        size_t checks;          // Enter's transfer checks run
        std::string lastCheck;  // the line the last check saw (trimmed)
        bool pending;
    };
    const std::vector<Case> cases = {
        {"held until the echo arrives", "save /t/x.as\r", "", 0, "save /t/x.as", 0, "", true},
        {"released by the echo", "save /t/x.as\r", ">save /t/x.as", 0, "save /t/x.as\r", 1, "save /t/x.as",
         false},
        {"a partial echo keeps it held", "save /t/x.as\r", ">save /t/", 1999, "save /t/x.as", 0, "", true},
        {"the time limit releases it", "save /t/x.as\r", ">save /t/", 2000, "save /t/x.as\r", 1, "save /t/",
         false},
        {"keys behind it wait, in order", "ab\rcd", "", 0, "ab", 0, "", true},
        {"then follow the released Enter", "ab\rcd", ">ab", 0, "ab\rcd", 1, "ab", false},
        {"a second Enter waits for its own echo", "ab\rcd\r", ">ab", 0, "ab\rcd", 1, "ab", true},
        {"an erased character is not awaited", "abx\b\r", ">ab", 0, "abx\b\r", 1, "ab", false},
        {"a two-byte character is erased whole", "a\x82\xa0\b\r", ">a", 0, "a\x82\xa0\b\r", 1, "a", false},
        {"a control byte ends what is awaited", "ab\x03\r", "", 0, "ab\x03\r", 1, "", false},
        {"an empty line is not held", "\r", "", 0, "\r", 1, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeyboardRig rig;
        for (char ch : c.typed) rig.keyboard.OnChar(static_cast<uint8_t>(ch));
        if (!c.echo.empty()) rig.Feed(c.echo);
        rig.clock.Advance(c.waitedMs);
        rig.keyboard.Poll();
        EXPECT_EQ(rig.Sent(), c.sent);
        ASSERT_EQ(rig.checkedLines.size(), c.checks);
        if (c.checks > 0) {
            std::string line = rig.checkedLines.back();
            line.erase(line.find_last_not_of(' ') + 1);
            EXPECT_EQ(line, c.lastCheck);
        }
        EXPECT_EQ(rig.keyboard.KeysPending(), c.pending);
    }
}

TEST(KeyboardTest, HeldEnterKeepsArrowKeysInOrderAndDropsAllOnDisconnect) {
    KeyboardRig rig;
    for (char ch : std::string("ab\r")) rig.keyboard.OnChar(static_cast<uint8_t>(ch));
    EXPECT_TRUE(rig.keyboard.OnKeyDown(kVkUp));
    rig.keyboard.OnChar('z');
    EXPECT_EQ(rig.Sent(), "ab");
    rig.Feed(">ab");
    rig.keyboard.Poll();
    EXPECT_EQ(rig.Sent(), "ab\r\x0cz");

    KeyboardRig lost;
    for (char ch : std::string("ab\rcd")) lost.keyboard.OnChar(static_cast<uint8_t>(ch));
    lost.doc.connected = 0;
    lost.keyboard.Poll();
    EXPECT_FALSE(lost.keyboard.KeysPending());
    lost.doc.connected = 1;
    lost.WaitOutEcho();
    EXPECT_EQ(lost.Sent(), "ab");
}

// Keys typed ahead of a transfer command would be lost in the running transfer: they wait for
// the controller's prompt, or for the controller to fall silent.
TEST(KeyboardTest, KeysBehindATransferCommandWaitForThePrompt) {
    struct Case {
        const char* name;
        std::string afterTransfer;  // received once the command was rewritten
        int64_t silentMs;
        std::string sent;
        bool pending;
    };
    const std::vector<Case> cases = {
        {"still transferring", "\r\n", 0, "sa /t/x.as", true},
        {"back at the prompt", "\r\nSaved x.as\r\n>", 0,
         "sa /t/x.as"
         "ver",
         true},
        {"a '>' inside a line is no prompt", "\r\na>b", 0, "sa /t/x.as", true},
        {"the controller fell silent", "\r\n", kEnterEchoWaitMs,
         "sa /t/x.as"
         "ver",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeyboardRig rig;
        rig.checkResult = 0;
        for (char ch : std::string("sa /t/x.as\rver\r")) rig.keyboard.OnChar(static_cast<uint8_t>(ch));
        rig.Feed(">sa /t/x.as");
        rig.keyboard.Poll();
        rig.Feed(c.afterTransfer);
        rig.keyboard.NoteReceived();
        rig.clock.Advance(c.silentMs);
        rig.keyboard.Poll();
        EXPECT_EQ(rig.Sent(), c.sent);
        EXPECT_EQ(rig.keyboard.KeysPending(), c.pending) << "the last Enter waits for the echo of ver";
    }
}

TEST(KeyboardTest, AcceptedTransferLineHeldForItsEchoIsRewritten) {
    KeyboardRig rig;
    rig.checkResult = 0;
    for (char ch : std::string("sa /home/op/p.as\r")) rig.keyboard.OnChar(static_cast<uint8_t>(ch));
    EXPECT_TRUE(rig.checkedLines.empty());
    rig.Feed(">sa /home/op/p.as");
    rig.keyboard.Poll();
    ASSERT_EQ(rig.checkedLines.size(), 1u);
    EXPECT_EQ(rig.Sent(), "sa /home/op/p.as");  // no CR: the check sent the rewritten line
    EXPECT_EQ(rig.History(0), ">sa /home/op/p.as");
}

}  // namespace
}  // namespace tavrin
