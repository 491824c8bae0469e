#include "app/SettingsLocation.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "TempFolder.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

TEST(SettingsLocationTest, ExistingFileInTheWorkingFolderElseTheXdgFolder) {
    const struct {
        const char* name;
        const char* fileInWorkFolder;  // created before the lookup ("" none)
        bool folderNamedLikeTheFile;   // a folder "tavrin.ini" instead of a file
        const char* xdg;               // "@" stands for <tmp>/xdg
        const char* home;              // "@" stands for <tmp>/home
        const char* expected;          // "@" stands for <tmp>
    } cases[] = {
        {"exact name kept", "tavrin.ini", false, "@/xdg", "@/home", "@/work/tavrin.ini"},
        {"other case kept", "Tavrin.INI", false, "@/xdg", "@/home", "@/work/Tavrin.INI"},
        {"other program's file ignored", "other.ini", false, "@/xdg", "@/home", "@/xdg/tavrin/tavrin.ini"},
        {"a folder is no settings file", "", true, "@/xdg", "@/home", "@/xdg/tavrin/tavrin.ini"},
        {"XDG_CONFIG_HOME", "", false, "@/xdg", "@/home", "@/xdg/tavrin/tavrin.ini"},
        {"XDG_CONFIG_HOME with slash", "", false, "@/xdg/", "@/home", "@/xdg/tavrin/tavrin.ini"},
        {"empty XDG_CONFIG_HOME", "", false, "", "@/home", "@/home/.config/tavrin/tavrin.ini"},
        {"relative XDG_CONFIG_HOME ignored", "", false, "cfg", "@/home", "@/home/.config/tavrin/tavrin.ini"},
        {"no usable folder at all", "", false, "", "", "@/work/tavrin.ini"},
        {"relative HOME ignored", "", false, "", "home", "@/work/tavrin.ini"},
    };
    for (const auto& c : cases) {
        CTempFolder tmp;
        const auto at = [&](const std::string& text) {
            return text.empty() || text[0] != '@' ? text : tmp.Path() + text.substr(1);
        };
        std::filesystem::create_directory(tmp.File("work"));
        if (*c.fileInWorkFolder) tmp.Write(std::string("work/") + c.fileInWorkFolder, "[Settings]\r\n");
        if (c.folderNamedLikeTheFile) std::filesystem::create_directory(tmp.File("work/tavrin.ini"));
        const SettingsEnvironment env{at(c.xdg), at(c.home)};
        EXPECT_EQ(DefaultSettingsFile(tmp.File("work"), "tavrin", env), at(c.expected)) << c.name;
        // Looking creates nothing.
        EXPECT_FALSE(std::filesystem::exists(tmp.File("xdg"))) << c.name;
        EXPECT_FALSE(std::filesystem::exists(tmp.File("home"))) << c.name;
    }
}

TEST(SettingsLocationTest, FileIsNamedAfterTheProgram) {
    CTempFolder tmp;
    EXPECT_EQ(DefaultSettingsFile(tmp.Path(), "line2", {tmp.File("xdg"), ""}),
              tmp.File("xdg/tavrin/line2.ini"));
    tmp.Write("line2.ini", "");
    EXPECT_EQ(DefaultSettingsFile(tmp.Path(), "line2", {tmp.File("xdg"), ""}), tmp.File("line2.ini"));
}

TEST(SettingsLocationTest, PrepareMakesMissingFoldersForTheUserOnly) {
    CTempFolder tmp;
    const std::string file = tmp.File("a/b/tavrin/tavrin.ini");
    ASSERT_TRUE(PrepareSettingsFolder(file));
    for (const char* folder : {"a", "a/b", "a/b/tavrin"}) {
        struct stat info {};
        ASSERT_EQ(stat(tmp.File(folder).c_str(), &info), 0) << folder;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }
    EXPECT_FALSE(std::filesystem::exists(file));  // the file itself waits for the first save
    EXPECT_TRUE(PrepareSettingsFolder(file));     // again: already there
    // A file standing where a folder is needed cannot be replaced.
    tmp.Write("plain", "");
    EXPECT_FALSE(PrepareSettingsFolder(tmp.File("plain/tavrin/tavrin.ini")));
}

}  // namespace
}  // namespace tavrin
