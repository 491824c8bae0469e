#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/IniFile.h"
#include "app/PelinDoc.h"
#include "app/Settings.h"

namespace tavrin {
namespace {

TEST(SerialReopenSetting, OnByDefaultTurnedOffByTheUserAndKeptBySaving) {
    char pattern[] = "/tmp/tavrin-reopen-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string path = folder + "/tavrin.ini";
    const std::string start = std::filesystem::current_path().string();
    struct Case {
        const char* line;
        int expected;
    };
    for (const Case& c : {Case{"", 1}, Case{"IsSerialReopen=0\r\n", 0}, Case{"IsSerialReopen=x\r\n", 1}}) {
        SCOPED_TRACE(c.line);
        std::ofstream(path) << "[Settings]\r\n" << c.line;
        CPelinDoc doc;
        LoadSettings(doc, path);
        EXPECT_EQ(doc.isSerialReopen, c.expected);
    }
    CPelinDoc doc;
    LoadSettings(doc, path);
    std::ofstream(path) << "[Settings]\r\nIsSerialReopen=0\r\n";
    SaveSettings(doc, path);
    EXPECT_EQ(ReadProfileInt(path, "Settings", "IsSerialReopen", 1), 0);
    std::filesystem::current_path(start);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tavrin
