#include <gtest/gtest.h>

#include "panel/CommandHistory.h"
#include "panel/PanelCommand.h"
#include "panel/PanelIni.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

TEST(PanelCommandTest, WordsAreRecognisedOnlyAtTheStartWithTheirBlank) {
    struct Case {
        std::string text;
        PanelCommandKind kind;
        std::string upper;
        std::string argument;
    };
    const Case cases[] = {
        {"", PanelCommandKind::End, "", ""},
        {"here 1", PanelCommandKind::Line, "HERE 1", ""},
        {"macro   prog.uas", PanelCommandKind::Macro, "MACRO   PROG.UAS", "PROG.UAS"},
        {"MessageBox Ready?", PanelCommandKind::MessageBox, "MESSAGEBOX READY?", "READY?"},
        {"MESSAGECANCEL go on", PanelCommandKind::MessageCancel, "MESSAGECANCEL GO ON", "GO ON"},
        {"sleep \t2", PanelCommandKind::Sleep, "SLEEP \t2", "2"},
        {"MESSAGEBOXhello", PanelCommandKind::Line, "MESSAGEBOXHELLO", ""},
        {" MACRO a", PanelCommandKind::Line, " MACRO A", ""},
        {"SLEEP", PanelCommandKind::Line, "SLEEP", ""},
        // The trail byte 0x61 of a two-byte character is not a letter to upper-case.
        {"do \x83\x61x", PanelCommandKind::Line, "DO \x83\x61X", ""},
    };
    for (const Case& c : cases) {
        const PanelCommand command = ParsePanelCommand(c.text);
        EXPECT_EQ(command.kind, c.kind) << c.text;
        EXPECT_EQ(command.text, c.upper) << c.text;
        EXPECT_EQ(command.argument, c.argument) << c.text;
    }
}

TEST(PanelCommandTest, ArgumentIsKeptAsWrittenForFileNames) {
    EXPECT_EQ(ParsePanelCommand("macro \t Cell/Prog.uas").writtenArgument, "Cell/Prog.uas");
}

TEST(PanelCommandTest, DecimalTakesTheLeadingNumberOnly) {
    const std::pair<std::string, int64_t> cases[] = {
        {"2", 2}, {"  15s", 15}, {"-3", -3}, {"+4", 4}, {"abc", 0}, {"", 0}, {"99999999999", 0x7FFFFFFF},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseDecimal(text), value) << text;
}

TEST(CommandHistoryTest, KeepsTenMostRecentFirstWithoutCaseDuplicates) {
    struct Case {
        std::vector<std::string> typed;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {{"a", "b", "c"}, {"c", "b", "a"}},
        {{"here", "where", "HeRe"}, {"HeRe", "where"}},
        {{"x", "", "y"}, {"y", "x"}},
        {{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
         {"11", "10", "9", "8", "7", "6", "5", "4", "3", "2"}},
        // A repeat of the oldest of ten entries moves it up without losing another.
        {{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "1"},
         {"1", "10", "9", "8", "7", "6", "5", "4", "3", "2"}},
    };
    for (const Case& c : cases) {
        CCommandHistory history;
        for (const std::string& text : c.typed) history.Add(text);
        EXPECT_EQ(history.Entries(), c.shown);
    }
}

TEST(PanelIniTest, ReadsWriteBackTheValueInUseOnlyWhereItDiffers) {
    struct Case {
        std::string before;
        std::string key;
        std::string defaultValue;
        bool limitToEight;
        std::string used;
        std::string after;
    };
    const Case cases[] = {
        // A missing key gains the default.
        {"[S]\r\nA=1\r\n", "B", "OFF", false, "OFF", "[S]\r\nA=1\r\nB=OFF\r\n"},
        // A key holding the value in use stays as written, quotes and spacing included.
        {"[S]\r\nB = \"  x \"\r\n", "B", "OFF", false, "  x ", "[S]\r\nB = \"  x \"\r\n"},
        // A value limited before use is written back limited.
        {"[S]\nPAGE=20\n", "PAGE", "1", true, "8", "[S]\r\nPAGE=8\r\n"},
        {"[S]\nPAGE=8\n", "PAGE", "1", true, "8", "[S]\nPAGE=8\n"},
    };
    for (const Case& c : cases) {
        CTempFolder folder;
        folder.Write("p.ini", c.before);
        CPanelIni ini(folder.File("p.ini"));
        std::function<std::string(const std::string&)> limit;
        if (c.limitToEight)
            limit = [](const std::string& v) {
                return std::to_string(std::min<int64_t>(8, ParseDecimal(v)));
            };
        EXPECT_EQ(ini.Read("s", c.key, c.defaultValue, limit), c.used) << c.before;
        EXPECT_TRUE(ini.Flush());
        EXPECT_EQ(folder.Read("p.ini"), c.after) << c.before;
    }
}

TEST(PanelIniTest, MissingFileIsNotCreated) {
    CTempFolder folder;
    CPanelIni ini(folder.File("none.ini"));
    EXPECT_EQ(ini.Read("START_UP", "SHOW", "OFF"), "OFF");
    ini.Flush();
    EXPECT_TRUE(folder.Entries().empty());
}

}  // namespace
}  // namespace tavrin
