#include <gtest/gtest.h>

#include <string>

#include "FakeClock.h"
#include "ScriptedLink.h"
#include "transfer/TransferCommand.h"
#include "transfer/TransferSession.h"

namespace tavrin {
namespace {

using tavrin::testing::FakeClock;
using tavrin::testing::ScriptedLink;

TEST(TransferCommandTest, LooksUpWordsByAbbreviation) {
    struct Case {
        const char* word;
        int code;
    } cases[] = {
        {"save", 0},   {"sa", 0},       {"SAVE", 0},   {"SaV", 0},      {"s", -1},     {"saves", -1},
        {"save/a", 0}, {"sa/q/x", 0},   {"vsave", 1},  {"vsav", -1},    {"vsavep", 2}, {"vsavepro", 2},
        {"vsavec", 3}, {"vsavecal", 3}, {"zbsave", 4}, {"zbsav", -1},   {"lo", 5},     {"l", -1},
        {"vload", 6},  {"vloadp", 7},   {"vloadc", 8}, {"zbload", 9},   {"fdi", 10},   {"fdirectory", 10},
        {"fd", -1},    {"fde", -1},     {"fdel", 11},  {"fdelete", 11}, {"forma", -1}, {"format", 12},
        {"zsrvd", 13}, {"zsrvdl", 13},  {"", -1},      {"/save", -1},   {"exec", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(LookupTransferWord(c.word), c.code) << c.word;
    EXPECT_EQ(GetTransferWords().back().code, -1);
}

struct Harness {
    Harness() {
        link.onEmptyRead = [this] { clock.Advance(10); };
    }
    std::string Sent() const { return std::string(link.sent.begin(), link.sent.end()); }
    CPelinDoc doc;
    ScriptedLink link;
    FakeClock clock;
    ViewState view;
    CTransferCommand command{doc, link};
    CTransferSession session{doc, link, clock, view};
};

const std::string kCan(1, '\x18');

TEST(TransferCommandTest, RewritesTransferLines) {
    const std::string longName = "save " + std::string(90, 'n');
    struct Case {
        std::string line;
        int isTcp;
        bool fromMacro;
        int result;
        std::string sent;
        std::string folder;  // "<untouched>" when the folder must not change
    } cases[] = {
        {"sa /home/op/work/prog.zu", 0, false, 0, kCan + "sa prog.zu\r", "/home/op/work/"},
        {"sa /home/op/work/prog.zu", 1, false, 0, kCan + "sa prog.zu\r\n", "/home/op/work/"},
        {"SAVE prog.zu", 0, false, 0, kCan + "SAVE prog.zu\r", ""},
        {"save work/prog.as", 0, false, 0, kCan + "save prog.as\r", "work/"},
        {"save   prog.as   ", 0, false, 0, kCan + "save prog.as\r", ""},
        // A leading switch, then the file; a switch after an absolute file.
        {"save/A /S prog.as", 0, false, 0, kCan + "save/A /S prog.as\r", ""},
        {"load /home/op/p.as /Q", 0, false, 0, kCan + "load p.as /Q\r", "/home/op/"},
        {"save prog.as=pg1", 0, false, 0, kCan + "save prog.as =pg1\r", ""},
        {"save /d/prog.as=pg1 pg2", 0, false, 0, kCan + "save prog.as =pg1 pg2\r", "/d/"},
        {"zbsave a b c", 0, false, 0, kCan + "zbsave a,b,c\r", ""},
        {"vsavecal a b c", 0, false, 0, kCan + "vsavecal a b c\r", ""},
        {"save a.as\nmore", 0, false, 0, kCan + "save a.as\r", ""},
        // A 100-character line is examined by its first 78 characters.
        {longName, 0, false, 0, kCan + "save " + std::string(73, 'n') + "\r", ""},
        // Macro lines end in their own CR: sent as they are on the serial line...
        {"save /x/y/a.as\r", 0, true, 0, "save a.as\r", "/x/y/"},
        // ...and with CAN and a line end on TCP/IP.
        {"save a.as\r", 1, true, 0, kCan + "save a.as\r\r\n", ""},
        // Not transfer commands: nothing sent, the caller sends the line itself.
        {"save /home/op/", 0, false, -1, "", "<untouched>"},
        {"save", 0, false, -1, "", "<untouched>"},
        {"save /A", 0, false, -1, "", "<untouched>"},
        {"s prog", 0, false, -1, "", "<untouched>"},
        {"", 0, false, -1, "", "<untouched>"},
        {"   ", 0, false, -1, "", "<untouched>"},
        {"exec prog", 0, false, -1, "", "<untouched>"},
        {"fdelete a b", 0, false, -1, "", "<untouched>"},
        {"fdelete =a", 0, false, -1, "", "<untouched>"},
        {"fdelete a=b", 0, false, -1, "", "<untouched>"},
        // Refused locally: only a line end goes out.
        {"fdirectory", 0, false, kRefusedTransferCommand, "\r", "<untouched>"},
        {"fdir", 1, false, kRefusedTransferCommand, "\r\n", "<untouched>"},
        {"fdelete a.as", 0, false, kRefusedTransferCommand, "\r", "<untouched>"},
        {"format", 0, false, kRefusedTransferCommand, "\r", "<untouched>"},
    };
    for (const auto& c : cases) {
        Harness h;
        h.doc.isTcp = c.isTcp;
        std::string folder = "<untouched>";
        int awaited = 0;
        EXPECT_EQ(h.command.SendTransferCommand(c.line, folder, c.fromMacro, awaited), c.result) << c.line;
        EXPECT_EQ(h.Sent(), c.sent) << c.line;
        EXPECT_EQ(folder, c.folder) << c.line;
    }
}

// The controller's answer to a rewritten line (its echo up to LF, or its prompt after a refused
// word) is dropped as it arrives; what follows belongs to the screen. With no answer the drop
// ends after 2 s, on the timer, without anything being read.
TEST(TransferCommandTest, TheAnswerToTheLineIsDroppedUpToItsLastByte) {
    struct Case {
        const char* name;
        std::string line;
        std::string input;
        std::string left;  // what the screen gets
    } cases[] = {
        {"echo then prompt", "save /p/a.as", "save a.as\r\n>", ">"},
        {"echo in pieces", "save /p/a.as", "sa|ve a.as\r|\n>x", ">x"},
        {"prompt awaited for refused", "fdirectory", "\r\nfiles...\r\n>next", "next"},
        {"a line that is no transfer command", "dir", "dir\r\n", "dir\r\n"},
    };
    for (const auto& c : cases) {
        Harness h;
        h.session.SendCommand(c.line, false);
        std::string left;
        size_t start = 0;
        while (start <= c.input.size()) {
            size_t end = c.input.find('|', start);
            if (end == std::string::npos) end = c.input.size();
            const std::string piece = c.input.substr(start, end - start);
            const auto* bytes = reinterpret_cast<const uint8_t*>(piece.data());
            const size_t used = h.session.WantsBytes() ? h.session.Feed(bytes, piece.size()) : 0;
            left += piece.substr(used);
            start = end + 1;
        }
        EXPECT_EQ(left, c.left) << c.name;
        EXPECT_FALSE(h.session.WantsBytes()) << c.name;
    }
}

TEST(TransferCommandTest, WithNoAnswerTheDropEndsAfterTwoSeconds) {
    Harness h;
    h.session.SendCommand("save a.as", false);
    ASSERT_TRUE(h.session.WantsBytes());
    EXPECT_EQ(h.session.NextDeadline(), h.clock.now + kEchoWaitMs);
    h.clock.Advance(kEchoWaitMs - 1);
    h.session.OnTimer();
    EXPECT_TRUE(h.session.WantsBytes()) << "not before its time";
    h.clock.Advance(1);
    h.session.OnTimer();
    EXPECT_FALSE(h.session.WantsBytes());
    EXPECT_EQ(h.session.NextDeadline(), kNoDeadline);
}

}  // namespace
}  // namespace tavrin
