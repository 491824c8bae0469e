// The installed program as a user starts it: --help and --version answer at once and touch no
// file, an unknown option is refused, and the settings file lands where the location rule says
// (an existing tavrin.ini in the working folder, -F, otherwise the XDG configuration folder).
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/HeadlessProcess.h"

namespace tavrin::testing {
namespace {

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs TAVRIN_BIN with args in workDir with exactly the environment env; stdin is /dev/null.
Finished RunToEnd(const std::vector<std::string>& args, const std::string& workDir,
                  const std::vector<std::string>& env) {
    Finished result;
    TempFolder capture("tavrin-launch-out");
    const std::string script =
        "cd \"$0\" && exec \"$@\" </dev/null >" + capture / "out" + " 2>" + capture / "err";
    std::vector<std::string> argStrings{"/bin/sh", "-c", script, workDir, TAVRIN_BIN};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = env;
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), envp.data()) != 0) return result;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadWholeFile(capture / "out");
    result.err = ReadWholeFile(capture / "err");
    return result;
}

// Every regular file under folder, as paths relative to it.
std::vector<std::string> FilesUnder(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (!entry.is_directory()) files.push_back(std::filesystem::relative(entry.path(), folder).string());
    return files;
}

TEST(LaunchE2E, HelpVersionAndBadOptionsAnswerAtOnceAndWriteNothing) {
    TempFolder home("tavrin-launch-home");
    TempFolder work("tavrin-launch-work");
    // A display is offered: --help must not open a window or fall back to the console front end.
    const std::vector<std::string> env{"HOME=" + home.Path(), "PATH=/usr/bin:/bin",
                                       "QT_QPA_PLATFORM=offscreen"};
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;  // text stdout must hold ("" = stdout empty)
        std::string err;  // text stderr must hold ("" = stderr empty)
    } cases[] = {
        {{"--help"}, 0, "Usage: tavrin", ""},
        {{"-h"}, 0, "--list-ports", ""},
        {{"--help"}, 0, "-C=CONNECTION", ""},
        {{"--help"}, 0, "guide/en/index.html", ""},
        {{"--help"}, 0, home / ".config/tavrin/tavrin.ini", ""},
        {{"-F" + (work / "line 2.ini"), "--help"}, 0, work / "line 2.ini", ""},
        {{"--version"}, 0, "tavrin 1.2.8 (", ""},
        {{"--headless", "--demo", "--version"}, 0, "tavrin 1.2.8 (", ""},
        {{"--bogus"}, 2, "", "tavrin: unknown option '--bogus' (try 'tavrin --help')\n"},
        {{"--headless", "--colour=red", "-N"}, 2, "", "unknown option '--colour=red'"},
        {{"--run"}, 2, "", "tavrin: option '--run' needs a macro file (try 'tavrin --help')\n"},
        {{"--headless", "-x"}, 2, "", "tavrin: unknown option '-x' (try 'tavrin --help')\n"},
        {{"--headless", "-N", "-F"}, 2, "", "tavrin: option '-F' needs a file (try 'tavrin --help')\n"},
        {{"--headless", "-DF"}, 2, "", "option '-DF' needs a file"},
        {{"--headless", "-C="}, 2, "", "option '-C=' needs a connection"},
        {{"--headless", "line2.ini"}, 2, "", "unexpected argument 'line2.ini'"},
    };
    for (const auto& c : cases) {
        const std::string label = c.args.back();
        const Finished run = RunToEnd(c.args, work.Path(), env);
        EXPECT_EQ(run.status, c.status) << label << "\n" << run.err;
        if (!c.out.empty()) {
            EXPECT_NE(run.out.find(c.out), std::string::npos) << label << ": " << run.out;
        } else {
            EXPECT_EQ(run.out, "") << label;
        }
        if (!c.err.empty()) {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << label << ": " << run.err;
        } else {
            EXPECT_EQ(run.err, "") << label;
        }
        if (c.status == 2) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << label;
        }
        EXPECT_TRUE(FilesUnder(home.Path()).empty()) << label;
        EXPECT_TRUE(FilesUnder(work.Path()).empty()) << label;
        EXPECT_FALSE(std::filesystem::exists(home / ".config")) << label;
    }
}

// Starts the console front end without a connection and lets it end with its input; it saves
// its settings on the way out.
void RunSessionAndQuit(const std::vector<std::string>& args, const std::string& workDir,
                       const std::vector<std::string>& env) {
    HeadlessProcess tavrin(args, workDir, env);
    tavrin.CloseInput();
    EXPECT_EQ(tavrin.WaitExit(10000), 0) << tavrin.Errors();
}

TEST(LaunchE2E, SettingsFileIsTheWorkingFoldersOrNamedOrInTheXdgFolder) {
    const struct {
        const char* name;
        bool existingInWorkFolder;  // a tavrin.ini is there before the start
        const char* existingName;   // under that name
        const char* fForm;          // "-FPATH" or "-F PATH": -F names <tmp>/named/my cfg, 2.ini
        bool xdgSet;                // XDG_CONFIG_HOME=<tmp>/xdg
        const char* expected;       // the file written, relative to the temporary root
    } cases[] = {
        {"fresh start", false, "", "", false, "home/.config/tavrin/tavrin.ini"},
        {"XDG_CONFIG_HOME set", false, "", "", true, "xdg/tavrin/tavrin.ini"},
        {"file in the working folder", true, "tavrin.ini", "", true, "work/tavrin.ini"},
        {"file copied from Windows", true, "TAVRIN.INI", "", false, "work/TAVRIN.INI"},
        {"-FPATH", false, "", "-FPATH", true, "named/my cfg, 2.ini"},
        {"-F PATH", false, "", "-F PATH", false, "named/my cfg, 2.ini"},
        {"-F beats the working folder", true, "tavrin.ini", "-F PATH", false, "named/my cfg, 2.ini"},
    };
    for (const auto& c : cases) {
        TempFolder root("tavrin-launch-settings");
        for (const char* folder : {"home", "work", "named", "xdg"})
            std::filesystem::create_directory(root / folder);
        if (c.existingInWorkFolder)
            WriteWholeFile(root / (std::string("work/") + c.existingName), "[Settings]\r\n");
        std::vector<std::string> env{"HOME=" + (root / "home"),
                                     "XDG_CONFIG_HOME=" + (c.xdgSet ? root / "xdg" : "")};
        std::vector<std::string> args;
        const std::string named = root / "named/my cfg, 2.ini";
        if (std::string(c.fForm) == "-FPATH") args = {"-F" + named};
        if (std::string(c.fForm) == "-F PATH") args = {"-F", named};
        RunSessionAndQuit(args, root / "work", env);

        const std::string written = ReadWholeFile(root / c.expected);
        EXPECT_NE(written.find("TimeoutSec="), std::string::npos)
            << c.name << ": " << c.expected << " not written";
        // Nothing else was written anywhere (the file found in the working folder stays).
        std::vector<std::string> expectedFiles{c.expected};
        const std::string existing = std::string("work/") + c.existingName;
        if (c.existingInWorkFolder && existing != c.expected) expectedFiles.push_back(existing);
        std::vector<std::string> files = FilesUnder(root.Path());
        std::sort(files.begin(), files.end());
        std::sort(expectedFiles.begin(), expectedFiles.end());
        EXPECT_EQ(files, expectedFiles) << c.name;
    }
}

TEST(LaunchE2E, XdgSettingsFolderIsPrivateToTheUser) {
    TempFolder root("tavrin-launch-mode");
    std::filesystem::create_directory(root / "work");
    RunSessionAndQuit({}, root / "work", {"HOME=" + root.Path(), "XDG_CONFIG_HOME="});
    struct stat info {};
    ASSERT_EQ(::stat((root / ".config/tavrin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace tavrin::testing
