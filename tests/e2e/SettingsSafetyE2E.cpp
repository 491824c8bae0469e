// The settings file as the user meets it across runs of `tavrin --headless`: a relative -F
// keeps naming one file whatever the "Folder" setting does, a read-only file is left alone, and
// a file that cannot be written is reported, never lost silently.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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
                  const std::string& awaited = "", const std::vector<std::string>& env = {}) {
    HeadlessProcess terminal(args, workDir, env);
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
    const std::string home = folder / "home";
    std::filesystem::create_directory(home);

    // "-F" with the path in the same argument and as the next one; the file holds no setting
    // the program writes of its own (TimeoutSec), so finding it there shows the program wrote
    // this file and no other.
    const std::vector<std::vector<std::string>> runs = {{"-Fa, b.ini"}, {"-F", "a, b.ini"}};
    for (const auto& args : runs) {
        SCOPED_TRACE(args.size());
        WriteWholeFile(work + "/a, b.ini", text);
        const RunResult run = RunOnce(args, work, "", {"HOME=" + home, "XDG_CONFIG_HOME="});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.errors, "");
        const std::string kept = ReadWholeFile(work + "/a, b.ini");
        EXPECT_NE(kept.find("TimeoutSec="), std::string::npos) << kept;
        EXPECT_NE(kept.find("Item=10.0.0.7:23:Cell7"), std::string::npos) << kept;
        EXPECT_NE(kept.find("Folder=" + elsewhere), std::string::npos) << kept;
        EXPECT_FALSE(std::filesystem::exists(elsewhere + "/a, b.ini"));
        EXPECT_TRUE(std::filesystem::is_empty(home));
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
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

// A settings file named with -F that is no file of the user's stops the start at once, with
// status 1 and a line naming the file and why; the file is left as it was.
TEST(SettingsSafetyE2E, ASettingsFileThatIsNoFileOfTheUsersStopsTheStart) {
    TempFolder folder;
    ASSERT_EQ(mkfifo((folder / "pipe.ini").c_str(), 0600), 0);
    std::filesystem::create_directory(folder / "dir.ini");
    WriteWholeFile(folder / "binary.ini", std::string("[Settings]\r\n\0\x01\x02", 15));
    {
        // A large binary file costs no memory: it is refused from its size.
        WriteWholeFile(folder / "huge.ini", "");
        ASSERT_EQ(truncate((folder / "huge.ini").c_str(), off_t{100} << 20), 0);
    }
    struct Case {
        std::string file;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {folder / "pipe.ini", "it is a FIFO (named pipe), not a regular file"},
        {folder / "dir.ini", "it is a folder, not a regular file"},
        {folder / "binary.ini", "it holds NUL bytes, so it is not a text file"},
        {folder / "huge.ini", "it is larger than 1 MiB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string before = std::filesystem::is_regular_file(c.file) ? ReadWholeFile(c.file) : "";
        const auto start = std::chrono::steady_clock::now();
        HeadlessProcess terminal({"-F" + c.file}, folder.Path());
        // SIGTERM is not needed: the program ends by itself, before reading any input.
        const int status = terminal.WaitExit(5000);
        EXPECT_EQ(status, 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(terminal.Errors(),
                  "tavrin: the settings file " + c.file + " cannot be used: " + c.reason + ".\n");
        if (!before.empty()) {
            EXPECT_EQ(ReadWholeFile(c.file), before);
        }
    }
    struct stat info {};
    ASSERT_EQ(stat((folder / "huge.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_size, off_t{100} << 20);
    EXPECT_EQ(info.st_blocks, 0) << "written to";
}

// In a folder another user may write to, a tavrin.ini link that user planted (here to a file
// only root may read) is not followed: the start says so and the settings go to the user's own
// folder; the file behind the link keeps its text.
TEST(SettingsSafetyE2E, ALinkPlantedByAnotherUserIsPassedOverAndNotWrittenThrough) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a link owned by another user (uid 65534)";
    TempFolder folder;
    const std::string shared = folder / "shared";
    std::filesystem::create_directory(shared);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string secret = folder / "secret";
    const std::string secretText = "root:only\n";
    WriteWholeFile(secret, secretText);
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
    const std::string planted = shared + "/tavrin.ini";
    ASSERT_EQ(symlink(secret.c_str(), planted.c_str()), 0);
    ASSERT_EQ(lchown(planted.c_str(), 65534, 65534), 0);
    const std::string xdg = folder / "xdg";

    HeadlessProcess terminal({}, shared, {"XDG_CONFIG_HOME=" + xdg});
    terminal.CloseInput();
    EXPECT_EQ(terminal.WaitExit(10000), 0);
    const std::string own = xdg + "/tavrin/tavrin.ini";
    EXPECT_EQ(terminal.Errors(), "tavrin: ignoring " + planted +
                                     ": it is a symbolic link made by another user (uid 65534); the settings "
                                     "file is " +
                                     own + ".\n");
    EXPECT_EQ(ReadWholeFile(secret), secretText);
    EXPECT_NE(ReadWholeFile(own).find("[Settings]"), std::string::npos) << "saved to the user's own file";
    struct stat info {};
    ASSERT_EQ(lstat(planted.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link itself was replaced";
}

}  // namespace
}  // namespace tavrin::testing
