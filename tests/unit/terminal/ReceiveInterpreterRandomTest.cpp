#include <gtest/gtest.h>

#include <random>
#include <string>

#include "InterpreterRig.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin {
namespace {

using testing::InterpreterRig;

// Bytes a controller could plausibly send mixed with noise: text, line ends, Shift-JIS pairs,
// cursor escapes with wild parameters, telnet negotiation and ENQ.
std::string RandomStream(std::mt19937& rng, size_t size) {
    static const char* const kPieces[] = {
        "\r\n",
        "\n",
        "\r",
        "\b",
        "\x1b[",
        "\x1b[H",
        "\x1b[2J",
        "\x1b[K",
        "\x1b[1K",
        "\x1b[J",
        "\x1b[1J",
        "\x1b[999;999H",
        "\x1b[200B",
        "\x1b[-7A",
        "\x1b[99C",
        "\x1b[?25l",
        "\x1b[00000000000002K",   // the longest sequence that still runs
        "\x1b[000000000000002K",  // one parameter byte too many: dropped
        "\x1b[1\r;5H",
        "\x1b[2>J",
        "\x1b",
        "\xff\xfd\x1f",
        "\xff\xfa\x18\x01\xff\xf0",
        "\xff\xfb",
        "\xff",
        ">",
        "login: ",
        "\x82\xa0",
        "\x81",
        "\x05",
        "\x07",
    };
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> digit(0, 9);
    std::string out;
    while (out.size() < size) {
        const int k = kind(rng);
        if (k < 4) {
            out += static_cast<char>('a' + any(rng) % 26);
        } else if (k < 7) {
            out += kPieces[piece(rng)];
        } else if (k < 8) {
            out += "\x1b[" + std::to_string(digit(rng) * 37) + ";" + std::to_string(digit(rng) * 11) + "H";
        } else {
            out += static_cast<char>(any(rng));
        }
    }
    out.resize(size);
    return out;
}

void ExpectInBounds(const InterpreterRig& rig) {
    const CPelinDoc& doc = rig.doc;
    ASSERT_GE(doc.cursorRow, 0);
    ASSERT_LT(doc.cursorRow, kMaxRowsLimit);
    ASSERT_LT(doc.cursorRow, kBufferRows);
    ASSERT_GE(doc.cursorColumn, 0);
    ASSERT_LT(doc.cursorColumn, kColumns);
    ASSERT_GE(rig.view.historyCount, 0);
    ASSERT_LT(rig.view.historyCount, std::max(1, std::min(doc.maxRows, kMaxRowsLimit)));
    ASSERT_GE(rig.view.vScrollMax, 0);
    ASSERT_LT(rig.view.vScrollMax, kMaxRowsLimit);
    ASSERT_GE(rig.interpreter.ControlSequenceCount(), 0);
    ASSERT_LE(rig.interpreter.ControlSequenceCount(), kControlSequenceLimit);
    ASSERT_LT(rig.interpreter.TelnetCollectLength(), static_cast<int>(kTelnetCollectSize));
}

// Random streams in random chunkings, on both media and both telnet filters, with any geometry:
// every index stays inside the buffers (run under AddressSanitizer in CI) and every state
// within its limits.
TEST(ReceiveInterpreterTest, RandomStreamsStayInBounds) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> rows(1, kMaxRowsLimit);
    std::uniform_int_distribution<int> chunkSize(1, 300);
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> consume(0, 12);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        InterpreterRig rig;
        rig.doc.maxRows = rows(rng);
        rig.doc.visibleRows = rows(rng);
        rig.doc.isTcp = coin(rng);
        rig.doc.isLinuxTelnet = coin(rng);
        rig.doc.isAutoLogin = coin(rng);
        rig.logIsOpen = coin(rng) != 0;
        rig.transferConsumes = consume(rng);
        const std::string stream = RandomStream(rng, 6000);
        size_t at = 0;
        while (at < stream.size()) {
            const size_t n = std::min<size_t>(chunkSize(rng), stream.size() - at);
            if (rig.doc.isTcp) {
                rig.FeedShared(stream.substr(at, n));
                EXPECT_LE(rig.doc.tcpChunk.position, rig.doc.tcpChunk.length);
            } else {
                rig.Feed(stream.substr(at, n));
            }
            if (coin(rng)) rig.interpreter.PrintLocalText(stream.substr(at, n / 3).c_str());
            at += n;
            ExpectInBounds(rig);
            if (::testing::Test::HasFatalFailure()) return;
            // Other parts change the geometry between chunks (paint, terminal settings).
            if (consume(rng) == 0) rig.doc.visibleRows = rows(rng) - 1;  // 0 happens for a tiny window
            if (consume(rng) == 0) rig.doc.maxRows = rows(rng);
        }
    }
}

// Long runs of text bytes (Shift-JIS and 0x7F..0xFE included) broken by single bytes that
// need a decision of their own, at every distance from each other and from column 79.
std::string LongRuns(std::mt19937& rng, size_t size) {
    static const std::string kBreaks[] = {">",      "\xff",       "\r\n", "\x01", std::string(1, '\0'),
                                          "\x1b[K", "\x1b[5;70H", "\b",   "\x07"};
    std::uniform_int_distribution<int> length(0, 120), text(0x20, 0xfe);
    std::string out;
    while (out.size() < size) {
        for (int n = length(rng); n > 0; --n) {
            const int byte = text(rng);
            out += static_cast<char>(byte == '>' ? 'x' : byte);
        }
        out += kBreaks[rng() % std::size(kBreaks)];
    }
    return out;
}

std::string Snapshot(const InterpreterRig& rig) {
    std::string out;
    for (int r = 0; r < kBufferRows; ++r) out += rig.Row(r) + "|" + rig.History(r) + "\n";
    out += "cursor " + std::to_string(rig.doc.cursorRow) + "," + std::to_string(rig.doc.cursorColumn);
    out += " history " + std::to_string(rig.view.historyCount) + " busy " + std::to_string(rig.view.hostBusy);
    out += " reports " + std::to_string(rig.hostReports) + " prompt " + std::to_string(rig.doc.promptSeen);
    out += " telnet " + std::to_string(rig.interpreter.PlainTelnetState()) + " log " +
           std::to_string(rig.logRows.size());
    out += "\nhooks " + rig.events;
    for (const std::string& row : rig.logRows) out += "\n" + row;
    return out;
}

// Runs of text are written in one step where they can be; where a chunk ends, how long a run
// is, and whether a run starts at the wrap column must not change what is shown, logged or
// reported. The same serial stream (no ENQ, whose hand-off drops the rest of its chunk) is fed
// whole, a byte at a time and in random pieces.
TEST(ReceiveInterpreterTest, ChunkingNeverChangesTheResult) {
    std::mt19937 rng(1414);
    std::uniform_int_distribution<int> chunkSize(1, 200);
    std::uniform_int_distribution<int> coin(0, 1);
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        std::string stream = round % 2 ? LongRuns(rng, 8000) : RandomStream(rng, 5000);
        std::erase(stream, '\x05');
        const int maxRows = std::uniform_int_distribution<int>(1, kMaxRowsLimit)(rng);
        const int visible = std::uniform_int_distribution<int>(1, kMaxRowsLimit)(rng);
        const int linuxTelnet = coin(rng);
        auto make = [&](InterpreterRig& rig) {
            rig.doc.maxRows = maxRows;
            rig.doc.visibleRows = visible;
            rig.doc.isLinuxTelnet = linuxTelnet;
            rig.view.hostWindow = 7;
            rig.logIsOpen = true;
        };
        InterpreterRig whole, bytes, pieces;
        make(whole);
        make(bytes);
        make(pieces);
        whole.Feed(stream);
        for (char c : stream) bytes.Feed(std::string(1, c));
        for (size_t at = 0; at < stream.size();) {
            const size_t n = std::min<size_t>(chunkSize(rng), stream.size() - at);
            pieces.Feed(stream.substr(at, n));
            at += n;
        }
        const std::string expected = Snapshot(whole);
        EXPECT_EQ(Snapshot(bytes), expected);
        EXPECT_EQ(Snapshot(pieces), expected);
    }
}

// The cursor's neighbourhood when the geometry changes under it: a cursor and history index
// left beyond the new limits by another part are pulled back before anything is written.
TEST(ReceiveInterpreterTest, OutOfRangeCursorIsPulledIntoTheBuffer) {
    struct Case {
        int maxRows, visibleRows, cursorRow, cursorColumn, historyCount;
    };
    const Case cases[] = {
        {50, 25, 500, 300, 400},  {50, 0, 0, 0, 0},   {0, 0, -5, -5, -5},
        {300, 300, 250, 79, 260}, {10, 40, 39, 0, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cursorRow);
        InterpreterRig rig;
        rig.doc.maxRows = c.maxRows;
        rig.doc.visibleRows = c.visibleRows;
        rig.doc.cursorRow = c.cursorRow;
        rig.doc.cursorColumn = c.cursorColumn;
        rig.view.historyCount = c.historyCount;
        rig.Feed(std::string(200, 'x') + "\r\n\n\n\x1b[999B\x1b[999C" + "yy\n");
        ExpectInBounds(rig);
    }
}

}  // namespace
}  // namespace tavrin
