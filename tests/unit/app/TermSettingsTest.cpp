#include "app/TermSettings.h"

#include <gtest/gtest.h>

#include "app/IniFile.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

TEST(TermSettingsTest, ReadsMaxRowsAndColours) {
    struct Case {
        const char* section;  // text of the "Term" section, or nullptr for no file
        int maxRows;
        uint32_t bg;
        uint32_t text;
    };
    const Case cases[] = {
        {nullptr, 200, 0xFFFFFF, 0},
        {"", 200, 0xFFFFFF, 0},
        {"MaxRows=350\r\n", 200, 0xFFFFFF, 0},
        {"MaxRows=20\r\n", 20, 0xFFFFFF, 0},
        {"MaxRows=200\r\nBgColor=255\r\nTxtColor=65280\r\n", 200, 0x0000FF, 0x00FF00},
        {"MaxRows=0\r\n", 1, 0xFFFFFF, 0},  // no rows would leave no current line
        {"MaxRows=-40\r\n", 1, 0xFFFFFF, 0},
        {"MaxRows=rows\r\n", 200, 0xFFFFFF, 0},  // not a number: as if missing
        {"MaxRows=99999999999999\r\n", 200, 0xFFFFFF, 0},
        {"BgColor=-1\r\nTxtColor=16777216\r\n", 200, 0xFFFFFF, 0},  // only 24 bits
        {"BgColor=blue\r\nTxtColor=x\r\n", 200, 0xFFFFFF, 0},
    };
    for (const Case& c : cases) {
        CTempFolder dir;
        if (c.section != nullptr) dir.Write("t.ini", std::string("[Term]\r\n") + c.section);
        CPelinDoc doc;
        doc.maxRows = 77;
        doc.bgColor = 0x123456;
        doc.textColor = 0x654321;
        ReadTermSettings(doc, dir.File("t.ini"));
        SCOPED_TRACE(c.section != nullptr ? c.section : "(no file)");
        EXPECT_EQ(doc.maxRows, c.maxRows);
        EXPECT_EQ(doc.bgColor, c.bg);
        EXPECT_EQ(doc.textColor, c.text);
    }
}

TEST(TermSettingsTest, WriteThenReadRoundTrips) {
    CTempFolder dir;
    CPelinDoc doc;
    doc.maxRows = 120;
    doc.bgColor = 0x102030;
    doc.textColor = 0xFFFFFF;
    ASSERT_TRUE(WriteTermSettings(doc, dir.File("r.ini")));
    EXPECT_EQ(dir.Read("r.ini"), "[Term]\r\nMaxRows=120\r\nBgColor=1056816\r\nTxtColor=16777215\r\n");
    CPelinDoc loaded;
    ReadTermSettings(loaded, dir.File("r.ini"));
    EXPECT_EQ(loaded.maxRows, 120);
    EXPECT_EQ(loaded.bgColor, 0x102030u);
    EXPECT_EQ(loaded.textColor, 0xFFFFFFu);
}

TEST(TermSettingsTest, FontHeightZeroEndsTheRead) {
    CTempFolder dir;
    dir.Write("f.ini", "[Font]\r\nHeight=0\r\nWeight=700\r\nFaceName=Other\r\n");
    LogFont font;  // start-up description: height 14, character set 128
    EXPECT_EQ(ReadFontSetting(dir.File("f.ini"), "Font", font), 0);
    EXPECT_EQ(font.height, 0);
    EXPECT_EQ(font.weight, 0);
    EXPECT_EQ(font.faceName, "Fixedsys");
    EXPECT_EQ(font.charSet, 128);

    LogFont missing;
    EXPECT_EQ(ReadFontSetting(dir.File("none.ini"), "Font", missing), 0);
    EXPECT_EQ(missing.height, 0);
}

TEST(TermSettingsTest, ReadsAStoredFont) {
    CTempFolder dir;
    const std::string longFace = std::string(30, 'F') + "\x83\x53" + "tail";  // pair at 30..31
    dir.Write("f.ini",
              "[Font]\r\nHeight=-16\r\nWeight=700\r\nItalic=1\r\nUnderline=257\r\nPitchAndFamily=49\r\n"
              "FaceName=" +
                  longFace +
                  "\r\nCharSet=128\r\n"
                  "[Other]\r\nHeight=9\r\n");
    LogFont font;
    EXPECT_EQ(ReadFontSetting(dir.File("f.ini"), "Font", font), 1);
    EXPECT_EQ(font.height, -16);
    EXPECT_EQ(font.weight, 700);
    EXPECT_EQ(font.italic, 1);
    EXPECT_EQ(font.underline, 1);  // one byte
    EXPECT_EQ(font.pitchAndFamily, 49);
    EXPECT_EQ(font.faceName, std::string(30, 'F'));
    EXPECT_EQ(font.charSet, 128);

    LogFont other;
    EXPECT_EQ(ReadFontSetting(dir.File("f.ini"), "Other", other), 1);
    EXPECT_EQ(other.height, 9);
    EXPECT_EQ(other.faceName, "Fixedsys");  // missing face name
    EXPECT_EQ(other.charSet, 0);
}

TEST(TermSettingsTest, FirstRunWritesDefaultsAndNextRunReadsThem) {
    CTempFolder dir;
    const std::string path = dir.File("first.ini");
    LogFont font;
    ASSERT_EQ(ReadFontSetting(path, "Font", font), 0);  // no section: height becomes 0
    ASSERT_TRUE(WriteFontSetting(path, "Font", font));
    EXPECT_EQ(dir.Read("first.ini"),
              "[Font]\r\nHeight=14\r\nWeight=0\r\nItalic=0\r\nUnderline=0\r\nPitchAndFamily=49\r\n"
              "FaceName=Fixedsys\r\nCharSet=0\r\n");
    LogFont next;
    EXPECT_EQ(ReadFontSetting(path, "Font", next), 1);
    EXPECT_EQ(next.height, 14);
    EXPECT_EQ(next.charSet, 0);
    EXPECT_EQ(next.pitchAndFamily, 49);
}

}  // namespace
}  // namespace tavrin
