#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

#include "app/IniFile.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

TEST(WindowPlacementTest, ParsesTenNumbersOrNothing) {
    struct Case {
        const char* text;
        bool ok;
        int left = 0, top = 0, right = 0, bottom = 0;
    } cases[] = {
        {"0,1,-1,-1,-1,-1,32,148,593,827", true, 32, 148, 593, 827},
        {"2,3,-1,-1,-8,-8,10,20,650,500", true, 10, 20, 650, 500},
        {" 0, 1, -1, -1, -1, -1, 5, 6, 7, 8", true, 5, 6, 7, 8},
        {"0,1,-1,-1,-1,-1,5,6,7,8,99,junk", true, 5, 6, 7, 8},
        {"0,1,-1,-1,-1,-1,5,6,7,8junk", true, 5, 6, 7, 8},
        {"+0,1,-1,-1,-1,-1,5,6,7,+8", true, 5, 6, 7, 8},
        {"0,1,-1,-1,-1,-1,32,148,593", false},
        {"0,1,-1,-1,-1,-1,32,148,593,", false},
        {"0;1;-1;-1;-1;-1;32;148;593;827", false},
        {"0,1,-1,-1,-1,-1,32,148,x,827", false},
        {"0 ,1,-1,-1,-1,-1,32,148,593,827", false},
        {"0,1,-1,-1,-1,-1,32,148,593,9999999999", false},
        {"-1,1,-1,-1,-1,-1,32,148,593,827", false},
        {"0,1,-1,-1,-1,-1,-2147483648,0,2147483647,10", true, -2147483647 - 1, 0, 2147483647, 10},
        {"", false},
        {",,,,,,,,,", false},
    };
    for (const auto& c : cases) {
        const auto p = ParseWindowPlacement(c.text);
        ASSERT_EQ(p.has_value(), c.ok) << c.text;
        if (!p) continue;
        EXPECT_EQ(p->left, c.left) << c.text;
        EXPECT_EQ(p->top, c.top) << c.text;
        EXPECT_EQ(p->right, c.right) << c.text;
        EXPECT_EQ(p->bottom, c.bottom) << c.text;
    }
}

TEST(WindowPlacementTest, DefaultPlacementWhenAbsentOrEmpty) {
    CTempFolder folder;
    const std::string missing = folder.File("none.ini");
    folder.Write("empty.ini", "[Settings]\r\nWindowPos=\r\n");
    for (const std::string& path : {missing, folder.File("empty.ini")}) {
        const auto p = ReadWindowPlacement(path);
        ASSERT_TRUE(p.has_value()) << path;
        EXPECT_EQ(p->left, 32);
        EXPECT_EQ(p->top, 148);
        EXPECT_EQ(p->Width(), 561);
        EXPECT_EQ(p->Height(), 679);
    }
}

TEST(WindowPlacementTest, UnusablePlacementIsLeftToThePlatform) {
    CTempFolder folder;
    for (const char* value :
         {"0,1,-1,-1,-1,-1,32,148,593", "0,1,-1,-1,-1,-1,100,100,100,400", "0,1,-1,-1,-1,-1,100,400,500,300",
          "0,1,-1,-1,-1,-1,-2147483648,0,2147483647,10"}) {
        ASSERT_TRUE(WriteProfileString(folder.File("t.ini"), "Settings", "WindowPos", value));
        EXPECT_FALSE(ReadWindowPlacement(folder.File("t.ini")).has_value()) << value;
    }
}

TEST(WindowPlacementTest, MaximisedWindowRoundTripsToItsNormalRectangle) {
    CTempFolder folder;
    const std::string path = folder.File("t.ini");
    WindowPlacement saved;
    saved.flags = kPlacementMaximised;
    saved.showCmd = kShowMaximised;
    saved.maxX = saved.maxY = -8;
    saved.left = 100;
    saved.top = 50;
    saved.right = 740;
    saved.bottom = 530;
    ASSERT_TRUE(SaveWindowPlacement(path, saved));
    EXPECT_EQ(ReadProfileString(path, "Settings", "WindowPos", ""), "2,3,-1,-1,-8,-8,100,50,740,530");
    const auto read = ReadWindowPlacement(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(FormatWindowPlacement(*read), "2,3,-1,-1,-8,-8,100,50,740,530");
    EXPECT_EQ(read->Width(), 640);
    EXPECT_EQ(read->Height(), 480);
}

}  // namespace
}  // namespace tavrin
