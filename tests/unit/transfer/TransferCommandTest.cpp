#include <gtest/gtest.h>

#include <string>

#include "FakeClock.h"
#include "ScriptedLink.h"
#include "transfer/TransferCommand.h"

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
    CTransferCommand command{doc, link, clock};
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
        EXPECT_EQ(h.command.SendTransferCommand(c.line, folder, c.fromMacro), c.result) << c.line;
        EXPECT_EQ(h.Sent(), c.sent) << c.line;
        EXPECT_EQ(folder, c.folder) << c.line;
    }
}

TEST(TransferCommandTest, ConsumesTheEchoUpToTheLineFeed) {
    struct Case {
        const char* name;
        std::string line;
        std::string input;
        std::string left;  // still unread afterwards
        int64_t waitedAtMost;
    } cases[] = {
        {"echo then prompt", "save /p/a.as", "save a.as\r\n>", ">", 100},
        {"prompt awaited for refused", "fdirectory", "\r\nfiles...\r\n>next", "next", 100},
        {"no echo: gives up after 2 s", "save a.as", "", "", 2100},
    };
    for (const auto& c : cases) {
        Harness h;
        h.link.Feed(c.input);
        std::string folder;
        const int64_t start = h.clock.now;
        h.command.SendTransferCommand(c.line, folder);
        EXPECT_EQ(std::string(h.link.input.begin(), h.link.input.end()), c.left) << c.name;
        EXPECT_LE(h.clock.now - start, c.waitedAtMost) << c.name;
    }
}

TEST(TransferCommandTest, WaitForByteGivesUpOnlyWhenNothingIsWaiting) {
    Harness h;
    // Bytes keep arriving for 3 s: the wait keeps reading past the 2-second mark.
    int fed = 0;
    h.link.onEmptyRead = [&] {
        h.clock.Advance(100);
        if (++fed < 30) h.link.Feed(std::string("x"));
        if (fed == 30) h.link.Feed(std::string("\n"));
    };
    h.link.Feed(std::string("y"));
    const int64_t start = h.clock.now;
    h.command.WaitForByte('\n');
    EXPECT_GE(h.clock.now - start, 2900);
    EXPECT_TRUE(h.link.input.empty());
    EXPECT_EQ(fed, 30);
}

}  // namespace
}  // namespace tavrin
