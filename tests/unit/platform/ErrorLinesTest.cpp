// The error stream's folding of repeated lines and its view of control bytes.
#include "platform/ErrorLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

struct Event {
    enum Kind { Line, Flush, Quiet } kind;
    std::string text;  // the line (Line)
    int64_t atMs;
};

TEST(ErrorLineFolderTest, RunsOfOneLineBecomeTheLineAndACount) {
    struct Case {
        const char* what;
        std::vector<Event> events;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"different lines pass as they come",
         {{Event::Line, "a", 0}, {Event::Line, "b", 1}, {Event::Line, "a", 2}},
         {"a", "b", "a"}},
        {"a flood is told when another line comes",
         {{Event::Line, "Send error", 0},
          {Event::Line, "Send error", 1},
          {Event::Line, "Send error", 2},
          {Event::Line, "Send error", 3},
          {Event::Line, "done", 4}},
         {"Send error", "last message repeated 3 times", "done"}},
        {"one repeat",
         {{Event::Line, "x", 0}, {Event::Line, "x", 5}, {Event::Flush, "", 6}},
         {"x", "last message repeated once"}},
        {"at exit",
         {{Event::Line, "x", 0}, {Event::Line, "x", 1}, {Event::Line, "x", 2}, {Event::Flush, "", 3}},
         {"x", "last message repeated 2 times"}},
        {"nothing to tell at exit", {{Event::Line, "x", 0}, {Event::Flush, "", 1}}, {"x"}},
        {"not yet quiet", {{Event::Line, "x", 0}, {Event::Line, "x", 500}, {Event::Quiet, "", 1499}}, {"x"}},
        {"a quiet second, then the same line is news again",
         {{Event::Line, "x", 0},
          {Event::Line, "x", 500},
          {Event::Quiet, "", 1500},
          {Event::Line, "x", 1600},
          {Event::Line, "x", 1700},
          {Event::Flush, "", 1800}},
         {"x", "last message repeated once", "x", "last message repeated once"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> written;
        CErrorLineFolder folder([&](const std::string& line) { written.push_back(line); });
        for (const Event& e : c.events) {
            switch (e.kind) {
                case Event::Line: folder.Line(e.text, e.atMs); break;
                case Event::Flush: folder.Flush(); break;
                case Event::Quiet: folder.FlushIfQuiet(e.atMs); break;
            }
        }
        EXPECT_EQ(written, c.written) << c.what;
    }
}

TEST(ErrorLineFolderTest, ControlBytesNeverReachTheStream) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain text", "plain text"},
        {"bell\a\a", "bell^G^G"},
        {"\x1b[2J cleared", "^[[2J cleared"},
        {"cr\rlf\n", "cr^Mlf^J"},
        {"del\x7f tab\t", "del^? tab\t"},
        {"\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac"},  // UTF-8 text stays
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableErrorLine(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace tavrin
