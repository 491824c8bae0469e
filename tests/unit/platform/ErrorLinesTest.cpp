// The error stream's folding of repeated lines and its view of control bytes.
#include "platform/ErrorLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrin {
namespace {

struct Event {
    enum Kind { Line, Flush } kind;
    std::string text;  // the line (Line)
};

TEST(ErrorLineFolderTest, RunsOfOneLineBecomeTheLineAndACount) {
    struct Case {
        const char* what;
        std::vector<Event> events;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {"different lines pass as they come",
         {{Event::Line, "a"}, {Event::Line, "b"}, {Event::Line, "a"}},
         {"a", "b", "a"}},
        {"a flood is told when another line comes",
         {{Event::Line, "Send error"},
          {Event::Line, "Send error"},
          {Event::Line, "Send error"},
          {Event::Line, "Send error"},
          {Event::Line, "done"}},
         {"Send error", "last message repeated 3 times", "done"}},
        {"one repeat",
         {{Event::Line, "x"}, {Event::Line, "x"}, {Event::Flush, ""}},
         {"x", "last message repeated once"}},
        {"at exit",
         {{Event::Line, "x"}, {Event::Line, "x"}, {Event::Line, "x"}, {Event::Flush, ""}},
         {"x", "last message repeated 2 times"}},
        {"nothing to tell at exit", {{Event::Line, "x"}, {Event::Flush, ""}}, {"x"}},
        {"after a told count the same line is news again",
         {{Event::Line, "x"},
          {Event::Line, "x"},
          {Event::Flush, ""},
          {Event::Line, "x"},
          {Event::Line, "x"},
          {Event::Flush, ""}},
         {"x", "last message repeated once", "x", "last message repeated once"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> written;
        CErrorLineFolder folder([&](const std::string& line) { written.push_back(line); });
        for (const Event& e : c.events) {
            switch (e.kind) {
                case Event::Line: folder.Line(e.text); break;
                case Event::Flush: folder.Flush(); break;
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
