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
    ASSERT_LT(static_cast<size_t>(doc.cursorRow) * kColumns + kColumns - 1, kScreenBytes);
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
        rig.transferResult = coin(rng) ? 0 : -510 - coin(rng) * 542;
        rig.transferConsumes = consume(rng);
        const std::string stream = RandomStream(rng, 6000);
        size_t at = 0;
        while (at < stream.size()) {
            const size_t n = std::min<size_t>(chunkSize(rng), stream.size() - at);
            rig.resumePending = rig.doc.isTcp && consume(rng) == 0;
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
