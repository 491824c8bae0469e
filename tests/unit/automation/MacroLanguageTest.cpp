#include "automation/MacroLanguage.h"

#include <gtest/gtest.h>

#include <vector>

#include "unit/automation/TempFolder.h"

namespace tavrin {
namespace {

using testing::TempFolder;

struct ParseCase {
    const char* line;
    int result;
    MacroCode code;
    int number;
    const char* text;
};

TEST(MacroLanguageTest, ParsesEveryKeywordAndRefusesMalformedLines) {
    const std::vector<ParseCase> cases = {
        {"sendln 'abc'", 0, kCodeSendLn, 0, "abc"},
        {"Sendln 'x'", -1, kCodeNone, 0, ""},     // keywords are case-sensitive
        {"sendlnx 'y'", 0, kCodeSendLn, 0, "y"},  // a prefix is enough
        {"  \tsendln 'indented'", 0, kCodeSendLn, 0, "indented"},
        {"sendln 'it''s'", 0, kCodeSendLn, 0, "it"},  // no escapes: the next quote ends it
        {"sendln ''", 0, kCodeSendLn, 0, ""},
        {"sendln 'open", -1, kCodeNone, 0, ""},
        {"sendln plain", -1, kCodeNone, 0, ""},
        {"; a comment", 1, kCodeNone, 0, ""},
        {" \t ;indented comment", 1, kCodeNone, 0, ""},
        {"   ", -1, kCodeNone, 0, ""},  // only blanks: no row matches
        {"unknown 'x'", -1, kCodeNone, 0, ""},
        {"timeout=5", 0, kCodeTimeout, 5, ""},
        {"timeout = \t12 s", 0, kCodeTimeout, 12, ""},
        {"timeout=-3", 0, kCodeTimeout, -3, ""},
        {"timeout 5", -1, kCodeNone, 0, ""},
        {"timeout=", -1, kCodeNone, 0, ""},
        {"timeout=x5", -1, kCodeNone, 0, ""},
        {"timeout=99999999999", -1, kCodeNone, 0, ""},  // does not fit an int
        {"sleep=2", 0, kCodeSleep, 2, ""},
        {"baudrate=19200", 0, kCodeBaudRate, 19200, ""},
        {"wait '>'", 0, kCodeWait, 0, ">"},
        {"errormessagebox 'Bad'", 0, kCodeErrorMessageBox, 0, "Bad"},
        {"errorcheck 'ERR'", 0, kCodeErrorCheck, 0, "ERR"},
        {"messagecancel 'Go on?'", 0, kCodeMessageCancel, 0, "Go on?"},
        {"messagebox 'Done'", 0, kCodeMessageBox, 0, "Done"},
        {"sendrepeat ' '", 0, kCodeSendRepeat, 0, " "},
        {"sendfile 'a.bin'", 0, kCodeSendFile, 0, "a.bin"},
        {"openlog 'run.log'", 0, kCodeOpenLog, 0, "run.log"},
        {"closelog", 0, kCodeCloseLog, 0, ""},
        {"keyinput 'Number?'", 0, kCodeKeyInput, 0, "Number?"},
        {"keyenable", 0, kCodeKeyEnable, 0, ""},
        {"keydisable", 0, kCodeKeyDisable, 0, ""},
        {"end of the macro", 0, kCodeEnd, 0, ""},
        {"continue", 0, kCodeContinue, 0, ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.line);
        MacroStatement statement;
        int result = ParseMacroLine(c.line, statement);
        ASSERT_EQ(result, c.result);
        if (result != 0) continue;
        EXPECT_EQ(statement.code, c.code);
        EXPECT_EQ(statement.number, c.number);
        EXPECT_EQ(statement.text, c.text);
    }
}

TEST(MacroLanguageTest, CutsALongArgumentWithoutSplittingATwoByteCharacter) {
    // 238 ASCII bytes, then a two-byte character that would straddle the 239-byte limit.
    std::string text(238, 'a');
    text += "\x82\xA0";
    text += "tail";
    MacroStatement statement;
    ASSERT_EQ(ParseMacroLine("sendln '" + text + "'", statement), 0);
    EXPECT_EQ(statement.text, std::string(238, 'a'));

    std::string fits(237, 'a');
    fits += "\x82\xA0";
    ASSERT_EQ(ParseMacroLine("sendln '" + fits + "zz'", statement), 0);
    EXPECT_EQ(statement.text, fits);
}

TEST(MacroLanguageTest, LowerCaseKeepsTwoByteCharacters) {
    // 0x83 0x41 is a katakana whose trail byte is the code of 'A'.
    EXPECT_EQ(LowerCp932("SAVE \x83\x41 B"), "save \x83\x41 b");
    EXPECT_EQ(LowerCp932("\x83"), "\x83");  // a lone lead byte at the end
}

std::vector<std::string> ReadAll(CMacroReader& reader, int& last) {
    std::vector<std::string> lines;
    std::string line;
    while ((last = reader.ReadMacroLine(line)) == 0) lines.push_back(line);
    return lines;
}

TEST(MacroLanguageTest, ReaderSplitsAtEveryLineEndAndSkipsEmptyLines) {
    TempFolder folder;
    struct Case {
        const char* bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"a\r\n\r\nb\x1a c\n", {"a", "b", " c"}},
        {"last line without end", {"last line without end"}},
        {"\r\n\n\r", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        CMacroReader reader;
        ASSERT_TRUE(reader.Open(folder.Write("m.uas", c.bytes)));
        int last = 0;
        EXPECT_EQ(ReadAll(reader, last), c.lines);
        EXPECT_EQ(last, 3);
    }
}

TEST(MacroLanguageTest, ReaderWithoutFileReportsReadError) {
    CMacroReader reader;
    std::string line;
    EXPECT_EQ(reader.ReadMacroLine(line), -1);
    EXPECT_FALSE(reader.Open("/nonexistent/folder/m.uas"));
    EXPECT_EQ(reader.ReadMacroLine(line), -1);
}

TEST(MacroLanguageTest, HereDocumentBecomesLowerCaseSendlnLines) {
    TempFolder folder;
    struct Case {
        const char* bytes;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"sendln << EOF\nLine ONE\nline two\neof\nend\n", {"sendln 'line one'", "sendln 'line two'", "end"}},
        // Quotes are removed from the terminator; a ";" line is text like any other.
        {"SENDLN << 'Stop'\n;not a comment\nSTOP\n", {"sendln ';not a comment'"}},
        // A quote inside a line ends the wrapped statement's text there.
        {"sendln << x\nit's here\nx\n", {"sendln 'it's here'"}},
        // The rule applies only at the line's very first character.
        {" sendln << x\nA\n", {" sendln << x", "A"}},
        // Without its terminator the here-document runs to the end of the file.
        {"sendln << \"E\"\nA\nB\n", {"sendln 'a'", "sendln 'b'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        CMacroReader reader;
        ASSERT_TRUE(reader.Open(folder.Write("h.uas", c.bytes)));
        int last = 0;
        EXPECT_EQ(ReadAll(reader, last), c.lines);
        EXPECT_EQ(last, 3);
    }
    MacroStatement statement;
    ASSERT_EQ(ParseMacroLine("sendln 'it's here'", statement), 0);
    EXPECT_EQ(statement.text, "it");
}

TEST(MacroLanguageTest, ReaderCutsAnOverlongLineAndGoesOnWithTheNext) {
    TempFolder folder;
    std::string bytes(kMacroLineMax + 500, 'x');
    bytes += "\nend\n";
    CMacroReader reader;
    ASSERT_TRUE(reader.Open(folder.Write("long.uas", bytes)));
    int last = 0;
    std::vector<std::string> lines = ReadAll(reader, last);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(kMacroLineMax, 'x'));
    EXPECT_EQ(lines[1], "end");
}

}  // namespace
}  // namespace tavrin
