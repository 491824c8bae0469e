// The settings file as the user meets it across runs of `tavrin --headless`: a relative -F
// keeps naming one file whatever the "Folder" setting does, a read-only file is left alone, and
// a file that cannot be written is reported, never lost silently.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/HeadlessProcess.h"

namespace tavrin::testing {
namespace {

// Runs the terminal with no connection until it quits at the end of its (empty) input.
struct RunResult {
    int status = -1;
    std::string errors;
};

// awaited: text stderr should come to hold (its reader may lag behind the exit).
RunResult RunOnce(const std::vector<std::string>& args, const std::string& workDir,
                  const std::string& awaited = "") {
    HeadlessProcess terminal(args, workDir);
    terminal.CloseInput();
    RunResult run;
    run.status = terminal.WaitExit(10000);
    if (!awaited.empty()) terminal.WaitForErrors(awaited, 2000);
    run.errors = terminal.Errors();
    return run;
}

const char kConnectionList[] =
    "[Settings]\r\nLanguage=1\r\nFolder=%s\r\n"
    "[Connections]\r\nTotal=1\r\n"
    "[Connection0]\r\nIsTcp=1\r\nOrder=1\r\nItem=10.0.0.7:23:Cell7\r\nTcpName=Cell7\r\nIp=10.0.0.7\r\n"
    "TcpPort=23\r\n";

TEST(SettingsSafetyE2E, ARelativeSettingsPathKeepsItsFileWhenTheFolderSettingMovesAway) {
    TempFolder folder;
    const std::string work = folder / "work";
    const std::string elsewhere = folder / "elsewhere";
    std::filesystem::create_directory(work);
    std::filesystem::create_directory(elsewhere);
    std::string text = kConnectionList;
    text.replace(text.find("%s"), 2, elsewhere);
    WriteWholeFile(work + "/a.ini", text);

    // Two runs, the second with "-F" and the path as two arguments.
    const std::vector<std::vector<std::string>> runs = {{"-Fa.ini"}, {"-F", "a.ini"}};
    for (const auto& args : runs) {
        SCOPED_TRACE(args.size());
        const RunResult run = RunOnce(args, work);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.errors, "");
        const std::string kept = ReadWholeFile(work + "/a.ini");
        EXPECT_NE(kept.find("Item=10.0.0.7:23:Cell7"), std::string::npos) << kept;
        EXPECT_NE(kept.find("Folder=" + elsewhere), std::string::npos) << kept;
        EXPECT_FALSE(std::filesystem::exists(elsewhere + "/a.ini"));
    }
}

TEST(SettingsSafetyE2E, ASettingsFileThatCannotBeWrittenIsKeptAndReported) {
    TempFolder folder;
    const std::string readOnly = folder / "ro.ini";
    const std::string original = "[Settings]\r\nLanguage=1\r\nTimeoutSec=77\r\n";
    WriteWholeFile(readOnly, original);
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const std::string locked = folder / "locked";
    std::filesystem::create_directory(locked);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);

    struct Case {
        std::string file;
        std::string reason;
        bool applies;
    };
    const std::vector<Case> cases = {
        {readOnly, "Permission denied", true},
        {folder / "gone/t.ini", "No such file or directory", true},
        {locked + "/t.ini", "Permission denied", geteuid() != 0},  // the superuser may write there
    };
    for (const Case& c : cases) {
        if (!c.applies) continue;
        SCOPED_TRACE(c.file);
        const std::string told =
            "Tavrin: The settings could not be saved to " + c.file + ": " + c.reason + ". [OK]\n";
        const RunResult run = RunOnce({"-F" + c.file}, folder.Path(), told);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.errors, told);
    }
    EXPECT_EQ(ReadWholeFile(readOnly), original);
    struct stat info {};
    ASSERT_EQ(stat(readOnly.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_TRUE(std::filesystem::is_empty(locked));
    chmod(locked.c_str(), 0755);
}

}  // namespace
}  // namespace tavrin::testing
