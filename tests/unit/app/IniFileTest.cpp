#include "app/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

TEST(IniFileTest, ReadsValuesByTheReadingRules) {
    CTempFolder dir;
    dir.Write("a.ini",
              "; a comment line\r\n"
              "[Settings]\r\n"
              "  Plain  =  value with blanks  \r\n"
              "Single='  kept blanks '\r\n"
              "Double=\"quoted\"\r\n"
              "Mismatched='half\"\r\n"
              "OnlyOneQuote='\r\n"
              "Inner=a 'b' c\r\n"
              "Empty=\r\n"
              "TwoQuotes=''\r\n"
              "this line is malformed\r\n"
              "[broken header\r\n"
              "Eq=a=b\r\n"
              "\tTabbed\t=\tx\t\r\n"
              "Percent=100%d\r\n"
              "First=1\r\n"
              "first=2\r\n"
              "[Other]\r\n"
              "Plain=other section\r\n");
    const std::string path = dir.File("a.ini");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"Settings", "Plain", "value with blanks"},
        {"SETTINGS", "pLaIn", "value with blanks"},
        {"  Settings ", "Plain", "value with blanks"},
        {"Settings", "Single", "  kept blanks "},
        {"Settings", "Double", "quoted"},
        {"Settings", "Mismatched", "'half\""},
        {"Settings", "OnlyOneQuote", "'"},
        {"Settings", "Inner", "a 'b' c"},
        {"Settings", "Empty", ""},
        {"Settings", "TwoQuotes", ""},
        {"Settings", "Eq", "a=b"},  // the malformed lines above did not end the section
        {"Settings", "Tabbed", "x"},
        {"Settings", "Percent", "100%d"},
        {"Settings", "First", "1"},
        {"Other", "Plain", "other section"},
        {"Settings", "Missing", "<default>"},
        {"NoSuchSection", "Plain", "<default>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadProfileString(path, c.section, c.key, "<default>"), c.expected)
            << c.section << "/" << c.key;
    }
    EXPECT_EQ(ReadProfileString(dir.File("missing.ini"), "Settings", "Plain", "dflt"), "dflt");
    EXPECT_EQ(ReadProfileString(dir.Path(), "Settings", "Plain", "dflt"), "dflt");  // a folder
}

TEST(IniFileTest, ReadsLfAndCrLfAlikeAndSkipsByteOrderMark) {
    CTempFolder dir;
    dir.Write("lf.ini", "[S]\nA=1\nB=two\n");
    dir.Write("crlf.ini", "[S]\r\nA=1\r\nB=two");  // no line end after the last line
    dir.Write("bom.ini", "\xEF\xBB\xBF[S]\r\nA=1\r\nB=two\r\n");
    for (const char* name : {"lf.ini", "crlf.ini", "bom.ini"}) {
        EXPECT_EQ(ReadProfileString(dir.File(name), "S", "B", ""), "two") << name;
        EXPECT_EQ(ReadProfileInt(dir.File(name), "S", "A", 9), 1) << name;
    }
}

TEST(IniFileTest, CutsOverLongValuesWithoutSplittingAPair) {
    CTempFolder dir;
    const std::string ascii(5000, 'x');
    // 4094 ASCII bytes then a two-byte character: cutting at 4095 would split the pair.
    const std::string pair = std::string(4094, 'y') + "\x83\x41" + "tail";
    dir.Write("long.ini", "[S]\r\nA=" + ascii + "\r\nB=" + pair + "\r\nC=" + std::string(4095, 'z') + "\r\n");
    EXPECT_EQ(ReadProfileString(dir.File("long.ini"), "S", "A", ""), std::string(4095, 'x'));
    EXPECT_EQ(ReadProfileString(dir.File("long.ini"), "S", "B", ""), std::string(4094, 'y'));
    EXPECT_EQ(ReadProfileString(dir.File("long.ini"), "S", "C", ""), std::string(4095, 'z'));
}

TEST(IniFileTest, ReadsIntegersLeniently) {
    CTempFolder dir;
    dir.Write(
        "n.ini",
        "[N]\r\nPlain=42\r\nNeg=-7\r\nPlus=+5\r\nTrailing=12abc\r\nLetters=abc\r\nEmpty=\r\n"
        "Quoted=\"15\"\r\nHuge=99999999999\r\nTiny=-99999999999\r\nHex=0x10\r\nBlank= 8 \r\nSign=-\r\n");
    struct Case {
        const char* key;
        int expected;
    };
    const Case cases[] = {
        {"Plain", 42}, {"Neg", -7},    {"Plus", 5},          {"Trailing", 12},          {"Letters", -3},
        {"Empty", -3}, {"Quoted", 15}, {"Huge", 2147483647}, {"Tiny", -2147483647 - 1}, {"Hex", 0},
        {"Blank", 8},  {"Sign", -3},   {"Missing", -3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadProfileInt(dir.File("n.ini"), "N", c.key, -3), c.expected) << c.key;
    }
}

TEST(IniFileTest, WriteCreatesFileSectionAndKeyWithCrLf) {
    CTempFolder dir;
    const std::string path = dir.File("new.ini");
    ASSERT_TRUE(WriteProfileString(path, "Settings", "IPAddress", "10.0.0.1"));
    ASSERT_TRUE(WriteProfileInt(path, "Settings", "TimeoutSec", -20));
    ASSERT_TRUE(WriteProfileString(path, "Term", "MaxRows", "200"));
    EXPECT_EQ(dir.Read("new.ini"),
              "[Settings]\r\nIPAddress=10.0.0.1\r\nTimeoutSec=-20\r\n\r\n[Term]\r\nMaxRows=200\r\n");
    EXPECT_EQ(ReadProfileInt(path, "settings", "timeoutsec", 0), -20);
}

// A NUL in a name or value is never written: the file would then be no settings text and every
// other key in it would stop reading.
TEST(IniFileTest, ANulIsNeverWrittenAndTheOtherKeysStillRead) {
    CTempFolder dir;
    const std::string path = dir.File("n.ini");
    ASSERT_TRUE(WriteProfileString(path, "Settings", "Folder", "/home/op"));
    const std::string nul(1, '\0');
    EXPECT_FALSE(WriteProfileString(path, "Settings", "Port", "COM1" + nul + "x"));
    EXPECT_FALSE(WriteProfileString(path, "Settings", "Po" + nul + "rt", "COM1"));
    EXPECT_FALSE(WriteProfileString(path, "Set" + nul, "Port", "COM1"));
    EXPECT_EQ(dir.Read("n.ini").find('\0'), std::string::npos);
    EXPECT_EQ(ReadProfileString(path, "Settings", "Folder", "<default>"), "/home/op");
}

TEST(IniFileTest, WriteReplacesValueAndKeepsEveryOtherLine) {
    CTempFolder dir;
    dir.Write("k.ini",
              "; comment kept\n"
              "[Settings]\n"
              "  language = 0\n"
              "odd line without equals\n"
              "Folder=/home/op\n"
              "\n"
              "[Term]\n"
              "MaxRows=50\n");
    const std::string path = dir.File("k.ini");
    ASSERT_TRUE(WriteProfileString(path, "SETTINGS", "Language", "1"));
    ASSERT_TRUE(WriteProfileString(path, "Settings", "Port", "COM2"));  // new key, existing section
    ASSERT_TRUE(WriteProfileString(path, "Term", "maxrows", "\x83\x41\x83\x43"));  // CP932 bytes
    EXPECT_EQ(dir.Read("k.ini"),
              "; comment kept\r\n"
              "[Settings]\r\n"
              "language=1\r\n"
              "odd line without equals\r\n"
              "Folder=/home/op\r\n"
              "Port=COM2\r\n"
              "\r\n"
              "[Term]\r\n"
              "MaxRows=\x83\x41\x83\x43\r\n");
}

TEST(IniFileTest, DuplicateSectionsReadAndWriteAsOne) {
    CTempFolder dir;
    dir.Write("d.ini", "[S]\r\nA=1\r\n[T]\r\nX=0\r\n[s]\r\nB=2\r\nA=3\r\n");
    const std::string path = dir.File("d.ini");
    EXPECT_EQ(ReadProfileString(path, "S", "B", ""), "2");
    EXPECT_EQ(ReadProfileString(path, "S", "A", ""), "1");
    EXPECT_EQ(ReadProfileKeys(path, "S"), (std::vector<std::string>{"A", "B"}));
    ASSERT_TRUE(WriteProfileString(path, "S", "B", "22"));
    ASSERT_TRUE(WriteProfileString(path, "S", "C", "4"));
    EXPECT_EQ(dir.Read("d.ini"), "[S]\r\nA=1\r\nC=4\r\n[T]\r\nX=0\r\n[s]\r\nB=22\r\nA=3\r\n");
}

TEST(IniFileTest, RefusesEntriesThatCannotBeStoredInOneLine) {
    CTempFolder dir;
    dir.Write("r.ini", "[S]\r\nA=1\r\n");
    const std::string path = dir.File("r.ini");
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"S", "A", "1\r\n[Evil]\r\nB=2"},
        {"S", "A", "line\nbreak"},
        {"S", "", "v"},
        {"", "A", "v"},
        {"S", "K=ey", "v"},
        {"S]x", "A", "v"},
        {"S\n", "A", "v"},
        {"S", "[A", "v"},
        {"S", "  ", "v"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(WriteProfileString(path, c.section, c.key, c.value)) << c.section << "/" << c.key;
    }
    EXPECT_EQ(dir.Read("r.ini"), "[S]\r\nA=1\r\n");
    EXPECT_FALSE(WriteProfileString("", "S", "A", "v"));
    EXPECT_FALSE(WriteProfileString(dir.File("no/such/folder/x.ini"), "S", "A", "v"));
}

TEST(IniFileTest, AtomicReplaceLeavesNoTempFileAndKeepsMode) {
    CTempFolder dir;
    dir.Write("m.ini", "[S]\r\nA=1\r\n");
    const std::string path = dir.File("m.ini");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(WriteProfileInt(path, "S", "A", i));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"m.ini"});
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadProfileInt(path, "S", "A", -1), 4);
}

TEST(IniFileTest, WritingThroughASymlinkUpdatesTheTarget) {
    CTempFolder dir;
    dir.Write("real.ini", "[S]\r\nA=1\r\n");
    ASSERT_EQ(symlink(dir.File("real.ini").c_str(), dir.File("link.ini").c_str()), 0);
    ASSERT_TRUE(WriteProfileString(dir.File("link.ini"), "S", "A", "2"));
    struct stat info {};
    ASSERT_EQ(lstat(dir.File("link.ini").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(dir.Read("real.ini"), "[S]\r\nA=2\r\n");
}

TEST(IniFileTest, PathThatIsAFolderIsRefused) {
    CTempFolder dir;
    ASSERT_EQ(mkdir(dir.File("sub.ini").c_str(), 0700), 0);
    EXPECT_FALSE(WriteProfileString(dir.File("sub.ini"), "S", "A", "1"));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"sub.ini"});
}

// A write that cannot be made leaves the file as it was and is remembered, with its file and
// reason, until it is taken (once).
TEST(IniFileTest, FailedWritesAreRememberedAndReadOnlyFilesKept) {
    CTempFolder dir;
    std::string path;
    TakeProfileWriteError(path);
    dir.Write("ro.ini", "[S]\r\nA=1\r\n");
    ASSERT_EQ(chmod(dir.File("ro.ini").c_str(), 0444), 0);
    struct Case {
        std::string file;
        int error;
    };
    const Case cases[] = {
        {dir.File("ro.ini"), EACCES},              // made read-only by its user
        {dir.File("missing/a.ini"), ENOENT},       // its folder is gone
        {dir.File("ro.ini") + "/a.ini", ENOTDIR},  // a file where a folder should be
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_FALSE(WriteProfileString(c.file, "S", "A", "2"));
        EXPECT_FALSE(WriteProfileString(c.file, "S", "B", "3"));
        EXPECT_EQ(TakeProfileWriteError(path), c.error);
        EXPECT_EQ(path, c.file) << "the first failure is the one told";
        EXPECT_EQ(TakeProfileWriteError(path), 0) << "told once";
    }
    EXPECT_EQ(dir.Read("ro.ini"), "[S]\r\nA=1\r\n");
    struct stat info {};
    ASSERT_EQ(stat(dir.File("ro.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    ASSERT_TRUE(WriteProfileString(dir.File("ok.ini"), "S", "A", "1"));
    EXPECT_EQ(TakeProfileWriteError(path), 0);
}

TEST(IniFileTest, WritesSeveralKeysInOneReplace) {
    CTempFolder dir;
    dir.Write("b.ini", "[Font]\r\nWeight=700\r\n");
    const std::string path = dir.File("b.ini");
    EXPECT_TRUE(
        WriteProfileStrings(path, "Font", {{"Height", "14"}, {"Weight", "0"}, {"FaceName", "Fixedsys"}}));
    EXPECT_EQ(dir.Read("b.ini"), "[Font]\r\nWeight=0\r\nHeight=14\r\nFaceName=Fixedsys\r\n");
    // One entry that cannot be stored is left out; the others are written and the failure shows.
    EXPECT_FALSE(WriteProfileStrings(path, "Font", {{"Height", "1\n2"}, {"Weight", "400"}}));
    EXPECT_EQ(ReadProfileString(path, "Font", "Height", ""), "14");
    EXPECT_EQ(ReadProfileString(path, "Font", "Weight", ""), "400");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"b.ini"});
}

TEST(IniFileTest, ListsKeysOfASection) {
    CTempFolder dir;
    dir.Write("l.ini", "[Connections]\r\nTotal=2\r\nbad line\r\nItem = x\r\nTOTAL=3\r\n[Other]\r\nZ=1\r\n");
    EXPECT_EQ(ReadProfileKeys(dir.File("l.ini"), "connections"), (std::vector<std::string>{"Total", "Item"}));
    EXPECT_TRUE(ReadProfileKeys(dir.File("l.ini"), "Nothing").empty());
    EXPECT_TRUE(ReadProfileKeys(dir.File("none.ini"), "Other").empty());
}

}  // namespace
}  // namespace tavrin
