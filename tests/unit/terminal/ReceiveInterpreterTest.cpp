#include "terminal/ReceiveInterpreter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InterpreterRig.h"
#include "app/Language.h"
#include "app/MessageTable.h"

namespace tavrin {
namespace {

using testing::InterpreterRig;

const std::string k79(79, 'a');
const std::string k80(80, 'a');

struct ScreenCase {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> rows;  // rows 0.. as shown, trailing blanks removed
    int cursorRow;
    int cursorColumn;
};

// Chunks in, screen and cursor out: the printing, control bytes and cursor escapes.
TEST(ReceiveInterpreterTest, ChunksGiveScreenAndCursor) {
    const std::vector<ScreenCase> cases = {
        {"80th byte wraps", {k80}, {k80, ""}, 1, 0},
        {"81st byte lands on the next row", {k80 + "b"}, {k80, "b"}, 1, 1},
        {"wrap split over chunks", {k79, "a", "b"}, {k80, "b"}, 1, 1},
        {"lead byte at column 79 moves to the next row",
         {k79 + "\x82\xa0z"},
         {k79 + std::string(1, '\0'), "\x82\xa0z"},
         1,
         3},
        {"lead byte at column 78 stays",
         {std::string(78, 'a') + "\x82\xa0"},
         {std::string(78, 'a') + "\x82\xa0", ""},
         1,
         0},
        {"LF keeps the column", {"ab\ncd"}, {"ab", "  cd"}, 1, 4},
        {"CR keeps the row", {"abcd\rxy"}, {"xycd"}, 0, 2},
        {"BS never erases, stops at 0", {"\b\bab\b\bc"}, {"cb"}, 0, 1},
        {"BEL is not printed",
         {"a\x07"
          "b"},
         {"ab"},
         0,
         2},
        {"other C0 bytes are stored",
         {"a\x01"
          "b"},
         {"a\x01"
          "b"},
         0,
         3},
        {"cursor position 5;10", {"\x1b[5;10H*"}, {"", "", "", "", "         *"}, 4, 10},
        {"cursor home", {"abc\x1b[H*"}, {"*bc"}, 0, 1},
        {"f is cursor position too", {"\x1b[2;3f*"}, {"", "  *"}, 1, 3},
        {"row 0, column 200 is clamped", {"\x1b[0;200H"}, {""}, 0, 79},
        {"escape split over chunks", {"\x1b", "[3", ";4", "H*"}, {"", "", "   *"}, 2, 4},
        {"ESC [?25l keeps collecting until a final", {"ab\x1b[?25lxyQ", "H", "Z"}, {"Zb"}, 0, 1},
        {"ESC and another byte swallows only that byte", {"\x1bXab"}, {"ab"}, 0, 2},
        {"a second ESC keeps what was collected", {"\x1b[2\x1b;3H*"}, {"", "  *"}, 1, 3},
        {"control bytes act inside a sequence", {"ab\x1b[\r3C*"}, {"ab *"}, 0, 4},
        {"16 collected bytes: the 16th may still be a final",
         {"\x1b[" + std::string(14, '1') + "H*"},
         {""},  // the '*' went to row 49, column 0
         49,
         1},
        {"beyond 16 bytes the sequence ends and the byte is dropped",
         {"\x1b[" + std::string(15, '1') + "Hok"},
         {"ok"},
         0,
         2},
        {"cursor up stops at row 0", {"\x1b[A\x1b[9A*"}, {"*"}, 0, 1},
        {"cursor down by default and limited by maxRows", {"\x1b[B*\x1b[999B"}, {"", "*"}, 49, 1},
        {"cursor right is limited to 79", {"\x1b[5C*\x1b[999C"}, {"     *"}, 0, 79},
        {"cursor left stops at 0", {"abc\x1b[2D*\x1b[9D"}, {"a*c"}, 0, 0},
        {"negative counts stay inside", {"\x1b[-999A\x1b[-999D*"}, {"*"}, 0, 1},
        {"erase to end of screen", {"abcd\nefgh\x1b[1;3H\x1b[J"}, {"ab", ""}, 0, 2},
        {"erase from start of screen through the cursor",
         {"abcd\r\nefgh\x1b[2;2H\x1b[1J"},
         {"", "  gh"},
         1,
         1},
        {"erase all homes the cursor", {"abcd\r\nefgh\x1b[2J"}, {"", ""}, 0, 0},
        {"erase all also for larger counts", {"abcd\x1b[7J"}, {""}, 0, 0},
        {"erase to end of line", {"abcdef\x1b[3D\x1b[K"}, {"abc"}, 0, 3},
        {"erase start of line", {"abcdef\x1b[3D\x1b[1K"}, {"   def"}, 0, 3},
        {"erase whole line", {"abcdef\r\nxyz\x1b[A\x1b[2K"}, {"", "xyz"}, 0, 3},
        {"m is ignored", {"a\x1b[1;31mb"}, {"ab"}, 0, 2},
        {"non-numeric position reads as 0", {"ab\x1b[x;yH*"}, {"*b"}, 0, 1},
    };
    for (const ScreenCase& c : cases) {
        SCOPED_TRACE(c.name);
        InterpreterRig rig;
        rig.Feed(c.chunks);
        for (size_t r = 0; r < c.rows.size(); ++r)
            EXPECT_EQ(rig.Row(static_cast<int>(r)), c.rows[r]) << "row " << r;
        EXPECT_EQ(rig.doc.cursorRow, c.cursorRow);
        EXPECT_EQ(rig.doc.cursorColumn, c.cursorColumn);
        EXPECT_FALSE(rig.interpreter.Escaping());
    }
}

TEST(ReceiveInterpreterTest, PrintedBytesMirrorIntoTheHistoryLine) {
    InterpreterRig rig;
    rig.view.historyCount = 7;
    rig.Feed("one\r\ntwo");
    EXPECT_EQ(rig.History(7), "one");
    EXPECT_EQ(rig.History(8), "two");
    EXPECT_EQ(rig.view.historyCount, 8);
}

// A full history drops its oldest line; the count stays at maxRows - 1 and the scroll range
// follows it.
TEST(ReceiveInterpreterTest, FullHistoryDropsOldestLine) {
    struct Case {
        int maxRows;
        int visibleRows;
        int lines;
        int historyCount;
        const char* firstHistory;
        int vScrollMax;
    };
    const std::vector<Case> cases = {
        {50, 25, 51, 49, "L2", 25}, {50, 25, 49, 49, "L0", 25},      {50, 25, 10, 10, "L0", 0},
        {1, 1, 5, 0, "", 0},        {200, 30, 250, 199, "L51", 170},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxRows * 1000 + c.lines);
        InterpreterRig rig;
        rig.doc.maxRows = c.maxRows;
        rig.doc.visibleRows = c.visibleRows;
        for (int i = 0; i < c.lines; ++i) rig.Feed("L" + std::to_string(i) + "\r\n");
        EXPECT_EQ(rig.view.historyCount, c.historyCount);
        EXPECT_EQ(rig.History(0), c.firstHistory);
        EXPECT_EQ(rig.view.vScrollMax, c.vScrollMax);
        EXPECT_EQ(rig.view.vScrollPos, c.vScrollMax);
        const int lastVisible = std::min(c.lines, c.visibleRows - 1);
        EXPECT_EQ(rig.doc.cursorRow, lastVisible);
        if (lastVisible > 0) {
            EXPECT_EQ(rig.Row(lastVisible - 1), "L" + std::to_string(c.lines - 1));
        }
        if (c.historyCount > 0) {
            EXPECT_EQ(rig.History(c.historyCount - 1), "L" + std::to_string(c.lines - 1));
        }
    }
}

TEST(ReceiveInterpreterTest, LineFeedBelowVisibleRowsMovesOnButStaysInBuffer) {
    InterpreterRig rig;
    rig.doc.maxRows = 200;
    rig.doc.visibleRows = 10;
    rig.Feed("\x1b[150H");
    EXPECT_EQ(rig.doc.cursorRow, 149);
    rig.Feed("\n\n");
    EXPECT_EQ(rig.doc.cursorRow, 151);  // no scrolling below the visible rows
    for (int i = 0; i < 100; ++i) rig.Feed("x" + std::to_string(i) + "\r\n");
    EXPECT_EQ(rig.doc.cursorRow, 199);  // the last row of the buffer takes the new lines
    EXPECT_EQ(rig.Row(198), "x47");
    EXPECT_EQ(rig.Row(199), "x99");
    EXPECT_EQ(rig.History(rig.view.historyCount - 1), "x99");
}

TEST(ReceiveInterpreterTest, LogGetsEveryCompletedRowWithWraps) {
    InterpreterRig rig;
    rig.logIsOpen = true;
    rig.Feed("first\r\n" + k80 + "tail\n");
    ASSERT_EQ(rig.logRows.size(), 3u);
    EXPECT_EQ(rig.logRows[0], "first" + std::string(75, ' '));
    EXPECT_EQ(rig.logRows[1], k80);
    EXPECT_EQ(rig.logRows[2], "tail" + std::string(76, ' '));
    rig.logIsOpen = false;
    rig.Feed("\n");
    EXPECT_EQ(rig.logRows.size(), 3u);
}

TEST(ReceiveInterpreterTest, PromptBookkeeping) {
    InterpreterRig rig;
    rig.Feed("ab");
    EXPECT_EQ(rig.doc.promptSeen, 0);
    EXPECT_EQ(rig.view.hostBusy, 1);
    EXPECT_EQ(rig.hostReports, 0);  // not linked to a host editor
    rig.view.hostWindow = 42;
    rig.Feed(">");
    EXPECT_EQ(rig.doc.promptSeen, 1);
    EXPECT_EQ(rig.view.hostBusy, 0);
    EXPECT_EQ(rig.lastHostBusy, 0);
    EXPECT_EQ(rig.hostReports, 1);
    EXPECT_EQ(rig.view.autoexecRequested, 1);
    EXPECT_EQ(rig.macroTransferClears, 1);
    EXPECT_EQ(rig.Row(0), "ab>");
    rig.Feed("x");
    EXPECT_EQ(rig.lastHostBusy, 1);
    // Every byte of a long line reports, wrap included, whether or not it is written in a run.
    rig.Feed(std::string(170, 'y'));
    EXPECT_EQ(rig.hostReports, 2 + 170);
    EXPECT_EQ(rig.view.hostBusy, 1);
    EXPECT_EQ(rig.History(0), "ab>x" + std::string(76, 'y'));
    EXPECT_EQ(rig.History(2), std::string(14, 'y'));

    InterpreterRig done;
    done.view.autoexecDone = 1;
    done.Feed(">");
    EXPECT_EQ(done.view.autoexecRequested, 0);
}

TEST(ReceiveInterpreterTest, OutputSnapsDisplayBack) {
    InterpreterRig rig;
    rig.view.historyView = 1;
    rig.doc.horizontalOffset = 12;
    rig.view.hScrollPos = 12;
    rig.Feed("");
    EXPECT_EQ(rig.view.historyView, 0);
    EXPECT_EQ(rig.doc.horizontalOffset, 0);
    EXPECT_EQ(rig.view.hScrollPos, 0);
    rig.view.historyView = 1;
    rig.interpreter.PrintLocalText("");
    EXPECT_EQ(rig.view.historyView, 0);
}

struct TelnetCase {
    const char* name;
    int linuxTelnet;
    std::vector<std::string> chunks;
    std::string row0;
    std::string socket;
};

TEST(ReceiveInterpreterTest, TelnetFilters) {
    const std::string plainTT("\xff\xfa\x18\x00VT100\xff\xf0", 11);
    const std::string extTT("\xff\xfa\x18\x00vt100\xff\xf0", 11);
    const std::vector<TelnetCase> cases = {
        // The controller's own server.
        {"plain IAC WILL x prints WILL and x",
         0,
         {"\xff\xfb\x01"
          "A"},
         "\xfb\x01"
         "A",
         ""},
        {"plain IAC DO x is swallowed unanswered",
         0,
         {"\xff\xfd\x18"
          "B"},
         "B",
         ""},
        {"plain terminal type",
         0,
         {"\xff\xfa\x18\x01\xff\xf0"
          "C"},
         "C",
         plainTT},
        {"plain terminal type split", 0, {"\xff", "\xfa\x18", "\x01\xff", "\xf0", "D"}, "D", plainTT},
        {"plain IAC IAC stays in state 1",
         0,
         {"\xff\xff\xfd\x01"
          "E"},
         "E",
         ""},
        {"plain control byte ends the state",
         0,
         {"\xff\r\xfd"
          "F"},
         "\xfd"
         "F",
         ""},
        {"plain filter is on after the prompt too",
         0,
         {">\xff\xfd\x01"
          "G"},
         ">G",
         ""},
        // A standard telnet server.
        {"offers that need no answer",
         1,
         {"\xff\xfb\x01\xff\xfe\x01\xff\xfb\x03\xff\xfd\x03\xff\xfb\x18\xff\xfd\x18\xff\xfb\x1f!"},
         "!",
         ""},
        {"DO NAWS",
         1,
         {"\xff\xfd\x1f"
          "a"},
         "a",
         std::string("\xff\xfa\x1f\x00\x50\x00\x18\xff\xf0", 9)},
        {"TTYPE SEND",
         1,
         {"\xff\xfa\x18\x01\xff\xf0"
          "a"},
         "a",
         extTT},
        {"TTYPE SEND 7-byte form",
         1,
         {"\xff\xfa\x18\x01\x01\xff\xf0"
          "a"},
         "a",
         extTT},
        {"DO XDISPLOC",
         1,
         {"\xff\xfd\x23"
          "a"},
         "a",
         "\xff\xfc\x23"},
        {"DO NEW-ENVIRON",
         1,
         {"\xff\xfd\x27"
          "a"},
         "a",
         "\xff\xfc\x27"},
        {"DO ENVIRON",
         1,
         {"\xff\xfd\x24"
          "a"},
         "a",
         "\xff\xfc\x24"},
        {"DONT XDISPLOC",
         1,
         {"\xff\xfe\x23"
          "a"},
         "a",
         "\xff\xfc\x23"},
        {"DONT NEW-ENVIRON",
         1,
         {"\xff\xfe\x27"
          "a"},
         "a",
         "\xff\xfc\x27"},
        {"DONT ENVIRON",
         1,
         {"\xff\xfe\x24"
          "a"},
         "a",
         "\xff\xfc\x24"},
        {"DO ECHO",
         1,
         {"\xff\xfd\x01"
          "a"},
         "a",
         "\xff\xfc\x01"},
        {"WILL STATUS",
         1,
         {"\xff\xfb\x05"
          "a"},
         "a",
         "\xff\xfe\x05"},
        {"DO LFLOW",
         1,
         {"\xff\xfd\x21"
          "a"},
         "a",
         "\xff\xfc\x21"},
        {"DO TSPEED",
         1,
         {"\xff\xfd\x20"
          "a"},
         "a",
         "\xff\xfc\x20"},
        {"negotiation split over chunks", 1, {"x\xff", "\xfd", "\x20y"}, "xy", "\xff\xfc\x20"},
        {"several in one chunk",
         1,
         {"\xff\xfd\x18\xff\xfd\x20\xff\xfb\x01login: "},
         "login:",
         "\xff\xfc\x20"},
        {"unknown option ends and text prints", 1, {std::string("\xff\xfb\x00hello", 8)}, "hello", ""},
        {"unknown two-byte command", 1, {"\xff\xf1ok"}, "ok", ""},
        {"unknown subnegotiation ends at IAC SE", 1, {"\xff\xfa\x1f\x01\x02\xff\xf0hi"}, "hi", ""},
        {"overlong sequence ends at 16 bytes",
         1,
         {"\xff\xfa\x20" + std::string(20, 'x') + "!"},
         std::string(7, 'x') + "!",
         ""},
        {"0xFF after the first prompt is data", 1, {">", "\xff\xfb\x01"}, ">\xff\xfb\x01", ""},
        {"a prompt caught in a sequence does not mute the terminal", 1, {"\xff\xfb>ok"}, "ok", ""},
    };
    for (const TelnetCase& c : cases) {
        SCOPED_TRACE(c.name);
        InterpreterRig rig;
        rig.doc.isTcp = 1;
        rig.doc.isLinuxTelnet = c.linuxTelnet;
        rig.Feed(c.chunks);
        EXPECT_EQ(rig.Row(0), c.row0);
        EXPECT_EQ(rig.SocketBytes(), c.socket);
        EXPECT_TRUE(rig.shell.boxes.empty());
        EXPECT_LE(rig.interpreter.TelnetCollectLength(), 1);
    }
}

TEST(ReceiveInterpreterTest, ShortTelnetReplyShowsMessageAndGoesOn) {
    for (int linuxTelnet : {0, 1}) {
        for (size_t shortBy : {size_t{1}, size_t{1000}}) {  // 1000: no socket, nothing taken
            SCOPED_TRACE(linuxTelnet * 10 + (shortBy > 1));
            InterpreterRig rig;
            rig.doc.isLinuxTelnet = linuxTelnet;
            rig.link.socketShortBy = shortBy;
            rig.Feed("\xff\xfa\x18\x01\xff\xf0ok");
            ASSERT_EQ(rig.shell.boxes.size(), 1u);
            EXPECT_FALSE(rig.shell.boxes[0].waited) << "nothing waits in the middle of a chunk";
            EXPECT_EQ(rig.shell.boxes[0].text, GetMessageText(-200));
            EXPECT_EQ(rig.shell.boxes[0].buttons, BoxButtons::Ok);
            EXPECT_EQ(rig.Row(0), "ok");
        }
    }
}

TEST(ReceiveInterpreterTest, SerialEnqHandsOffAndDropsTheRest) {
    InterpreterRig rig;
    rig.doc.isAutoLogin = 1;
    rig.Feed(
        "ab\x05"
        "cd login: ");
    ASSERT_EQ(rig.handOffs.size(), 1u);
    EXPECT_EQ(rig.handOffs[0], "cd login: ");
    EXPECT_EQ(rig.Row(0), "ab");
    EXPECT_EQ(rig.doc.cursorColumn, 2);
    EXPECT_EQ(rig.posted, "");  // no login check after a serial hand-off
    rig.Feed("ef");
    EXPECT_EQ(rig.Row(0), "abef");
}

TEST(ReceiveInterpreterTest, TcpEnqContinuesAfterConsumedBytes) {
    InterpreterRig rig;
    rig.doc.isTcp = 1;
    rig.doc.isAutoLogin = 1;
    rig.transferConsumes = 6;  // STX 'E' "123" ETB
    rig.FeedShared(
        "ab\x05\x02"
        "E123\x17"
        "cd login: ");
    ASSERT_EQ(rig.handOffs.size(), 1u);
    EXPECT_EQ(rig.Row(0), "abcd login:");
    EXPECT_EQ(rig.posted, "zu\n");
}

TEST(ReceiveInterpreterTest, TcpEnqThatConsumesNothingStillPassesTheEnq) {
    InterpreterRig rig;
    rig.doc.isTcp = 1;
    rig.transferConsumes = 0;
    rig.FeedShared(
        "a\x05"
        "b");
    EXPECT_EQ(rig.handOffs.size(), 1u);
    EXPECT_EQ(rig.Row(0), "ab");
}

TEST(ReceiveInterpreterTest, AutomaticLoginOnlyWhenTheChunkEndsWithThePrompt) {
    struct Case {
        const char* name;
        int autoLogin;
        std::string prompt;
        std::vector<std::string> chunks;
        std::string posted;
    };
    const std::vector<Case> cases = {
        {"prompt at the end", 1, "login: ", {"Welcome\r\nlogin: "}, "zu\n"},
        {"prompt alone", 1, "login: ", {"login: "}, "zu\n"},
        {"prompt split over two chunks", 1, "login: ", {"log", "in: "}, ""},
        {"text after the prompt", 1, "login: ", {"login: x"}, ""},
        {"case matters", 1, "login: ", {"Login: "}, ""},
        {"switched off", 0, "login: ", {"login: "}, ""},
        {"other prompt", 1, "User:", {"User:"}, "zu\n"},
        {"NUL ends the chunk string", 1, "login: ", {std::string("login: \0x", 9)}, "zu\n"},
        {"empty prompt never logs in", 1, "", {"anything"}, ""},
        {"chunk shorter than the prompt", 1, "login: ", {": "}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InterpreterRig rig;
        rig.doc.isAutoLogin = c.autoLogin;
        rig.doc.loginPrompt = c.prompt;
        rig.Feed(c.chunks);
        EXPECT_EQ(rig.posted, c.posted);
    }
}

TEST(ReceiveInterpreterTest, AutomaticLoginClearsTelnetCollection) {
    InterpreterRig rig;
    rig.doc.isTcp = 1;
    rig.doc.isLinuxTelnet = 1;
    rig.doc.isAutoLogin = 1;
    rig.doc.loginPrompt = "\xff\xfa";  // a prompt that leaves a sequence open
    rig.Feed("\xff\xfa");
    EXPECT_EQ(rig.posted, "zu\n");
    EXPECT_EQ(rig.interpreter.TelnetCollectLength(), 0);
    rig.Feed("ok");
    EXPECT_EQ(rig.Row(0), "ok");
}

TEST(ReceiveInterpreterTest, OneRepaintPerChunk) {
    InterpreterRig rig;
    rig.Feed("hello\r\nworld");
    EXPECT_EQ(rig.shell.repaintRequests, 1);
    rig.Feed(
        "ab\x05"
        "cd");  // serial hand-off: the bytes before the ENQ are still shown
    EXPECT_EQ(rig.shell.repaintRequests, 2);
    rig.Feed("\x05");
    EXPECT_EQ(rig.shell.repaintRequests, 2);
    rig.Feed("\x07");
    EXPECT_EQ(rig.shell.beeps, 1);
}

// The caret follows the cursor once per chunk that moved it (CR, LF, BS), and is placed before
// a transfer takes the line over; text alone leaves it to the repaint.
TEST(ReceiveInterpreterTest, CaretFollowsOncePerChunk) {
    InterpreterRig rig;
    rig.Feed("one\r\ntwo\r\nthree\b\b");
    EXPECT_EQ(rig.caretMoves, 1);
    rig.Feed("plain text");
    EXPECT_EQ(rig.caretMoves, 1);
    rig.Feed("x\r\x05");  // serial ENQ: the caret is placed, then the transfer runs
    EXPECT_EQ(rig.caretMovesAtTransfer, 2);
    EXPECT_EQ(rig.caretMoves, 2);
    rig.interpreter.PrintLocalText("done\n\r");
    EXPECT_EQ(rig.caretMoves, 3);
}

TEST(ReceiveInterpreterTest, LocalTextUsesScreenLogicOnly) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> rows;
        int cursorRow;
        int cursorColumn;
    };
    const std::vector<Case> cases = {
        {"line ends", "COM device open error.\n\r", {"COM device open error.", ""}, 1, 0},
        {"no telnet handling", "\xff\xfb\x01", {"\xff\xfb\x01"}, 0, 3},
        {"no BEL, BS or ENQ handling", "a\x07\x08\x05", {"a\x07\x08\x05"}, 0, 4},
        {"prompt is plain text", ">x", {">x"}, 0, 2},
        {"escapes work", "ab\x1b[2;2H*", {"ab", " *"}, 1, 2},
        {"wrap after column 80", k80 + "z", {k80, "z"}, 1, 1},
        {"lead byte at column 79", k79 + "\x93\xfa", {k79 + std::string(1, '\0'), "\x93\xfa"}, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InterpreterRig rig;
        rig.doc.isLinuxTelnet = 1;
        rig.interpreter.PrintLocalText(c.text.c_str());
        for (size_t r = 0; r < c.rows.size(); ++r)
            EXPECT_EQ(rig.Row(static_cast<int>(r)), c.rows[r]) << "row " << r;
        EXPECT_EQ(rig.doc.cursorRow, c.cursorRow);
        EXPECT_EQ(rig.doc.cursorColumn, c.cursorColumn);
        EXPECT_EQ(rig.doc.promptSeen, 0);
        EXPECT_TRUE(rig.handOffs.empty());
        EXPECT_EQ(rig.shell.beeps, 0);
        EXPECT_EQ(rig.shell.repaintRequests, 1);
    }
}

// The two operations keep their own escape flags and pending lead bytes.
TEST(ReceiveInterpreterTest, LocalTextAndReceptionKeepSeparateEscapeState) {
    InterpreterRig rig;
    rig.Feed("\x1b[3");
    rig.interpreter.PrintLocalText("ab");
    EXPECT_EQ(rig.Row(0), "ab");
    rig.Feed("C*");
    EXPECT_EQ(rig.Row(0), "ab   *");
}

}  // namespace
}  // namespace tavrin
