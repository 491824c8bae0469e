#include "session/LaunchOptions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "session/DemoController.h"
#include "session/GuideLocation.h"
#include "session/Usage.h"

namespace tavrin {
namespace {

LaunchOptions Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/tavrin");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return ParseLaunchOptions(static_cast<int>(args.size()), argv.data());
}

TEST(LaunchOptionsTest, FrontEndOptionsAreTakenTheSystemsOwnPassedOnUnknownRefused) {
    const struct {
        std::vector<std::string> args;
        bool help, version, headless;
        std::string runMacro, raw, error;
    } cases[] = {
        {{"--help"}, true, false, false, "", "", ""},
        {{"-h"}, true, false, false, "", "", ""},
        {{"--version"}, false, true, false, "", "", ""},
        {{"--headless", "--run=b.uas", "-C=COM1:9600:8:1:none"},
         false,
         false,
         true,
         "b.uas",
         "-C=COM1:9600:8:1:none",
         ""},
        {{"--run", "--help"}, false, false, false, "--help", "", ""},  // --run takes the next argument whole
        // The system's own options keep their lenient rules: anything with one dash is theirs.
        {{"-F/home/op/my cfg.ini", "-N", "-x", "-DFpanel.ini"},
         false,
         false,
         false,
         "",
         "-F/home/op/my cfg.ini,-N,-x,-DFpanel.ini",
         ""},
        {{"-", "plain"}, false, false, false, "", "-,plain", ""},
        // Macro files named on their own, as the desktop entry passes them: the first one runs.
        {{"/home/op/Backup.UAS", "-N", "second.uas"}, false, false, false, "/home/op/Backup.UAS", "-N", ""},
        {{"--run", "a.uas", "b.uas"}, false, false, false, "a.uas", "", ""},
        {{".uas", "notes.uasx", "-DFpanel.uas"}, false, false, false, "", ".uas,notes.uasx,-DFpanel.uas", ""},
        {{"--bogus"}, false, false, false, "", "", "unknown option '--bogus'"},
        {{"--HELP"}, false, false, false, "", "", "unknown option '--HELP'"},
        {{"--headless=1"}, false, false, false, "", "", "unknown option '--headless=1'"},
        {{"--first", "--second"}, false, false, false, "", "", "unknown option '--first'"},
        {{"--run"}, false, false, false, "", "", "--run needs a macro file"},
        // Help wins over an error in the same line (main() looks at help first).
        {{"--bogus", "--help"}, true, false, false, "", "", "unknown option '--bogus'"},
    };
    for (const auto& c : cases) {
        const LaunchOptions o = Parse(c.args);
        const std::string label = c.args.front();
        EXPECT_EQ(o.help, c.help) << label;
        EXPECT_EQ(o.version, c.version) << label;
        EXPECT_EQ(o.headless, c.headless) << label;
        EXPECT_EQ(o.runMacro, c.runMacro) << label;
        EXPECT_EQ(o.rawCommandLine, c.raw) << label;
        EXPECT_EQ(o.error, c.error) << label;
        EXPECT_EQ(o.exeName, "tavrin") << label;
    }
}

TEST(LaunchOptionsTest, ReportFileIsTakenInBothFormsAndNeverPassedOn) {
    const struct {
        std::vector<std::string> args;
        std::string report, runMacro, raw, error;
    } cases[] = {
        {{"--report", "r.jsonl", "--run", "b.uas", "-N"}, "r.jsonl", "b.uas", "-N", ""},
        {{"--report=/var/log/t.jsonl", "-N"}, "/var/log/t.jsonl", "", "-N", ""},
        {{"--report", "-N"}, "-N", "", "", ""},  // takes the next argument whole, as --run does
        {{"--report"}, "", "", "", "--report needs a file"},
        {{"--report="}, "", "", "", "--report needs a file"},
    };
    for (const auto& c : cases) {
        const LaunchOptions o = Parse(c.args);
        EXPECT_EQ(o.reportFile, c.report) << c.args.front();
        EXPECT_EQ(o.runMacro, c.runMacro) << c.args.front();
        EXPECT_EQ(o.rawCommandLine, c.raw) << c.args.front();
        EXPECT_EQ(o.error, c.error) << c.args.front();
    }
}

TEST(LaunchOptionsTest, ProgramPathIsTheRunningProgramNotTheWorkingFolder) {
    // A bare "tavrin" found on PATH: the folder looked in for tavrin-sim must be the program's
    // own, never ".".
    std::string bare = "tavrin";
    char* argv[] = {bare.data(), nullptr};
    const LaunchOptions o = ParseLaunchOptions(1, argv);
    EXPECT_EQ(o.exeName, "tavrin");
    ASSERT_FALSE(o.exePath.empty());
    EXPECT_EQ(o.exePath.front(), '/');
    EXPECT_EQ(o.exePath, RunningProgramPath());
}

TEST(LaunchOptionsTest, UsageNamesEveryOptionAndWhereThingsAre) {
    const std::string usage =
        UsageText("tavrin", "/home/op/.config/tavrin/tavrin.ini", "/g/en/index.html", "/g/ja/index.html");
    for (const char* option : {"--headless", "--demo", "--run FILE", "--list-ports", "--help", "--version",
                               "-C=", "-FFILE", "-N ", "-DFFILE", "XDG_CONFIG_HOME",
                               "/home/op/.config/tavrin/tavrin.ini", "/g/en/index.html", "/g/ja/index.html"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    const std::string version = VersionText("tavrin");
    EXPECT_EQ(version.rfind("tavrin 1.2.8 (", 0), 0u) << version;
    EXPECT_EQ(version.back(), '\n');
    EXPECT_EQ(version.find("()"), std::string::npos) << "an empty git description";
}

TEST(LaunchOptionsTest, GuideIsTheInstalledOneBesideTheProgramElseTheBuildTreesOne) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("tavrin-guide-" + std::to_string(::getpid()));
    const auto touch = [&](const std::string& relative) {
        std::filesystem::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << "<html>";
    };
    touch("build/guide/en/index.html");
    touch("build/guide/ja/index.html");
    const std::string exe = (root / "usr/bin/tavrin").string();
    const std::string build = (root / "build/guide").string();
    const std::string installed = (root / "usr/share/doc/tavrin/guide").string();

    EXPECT_EQ(GuideFileFor(1, exe, build), build + "/en/index.html");
    EXPECT_EQ(GuideFileFor(0, exe, build), build + "/ja/index.html");
    // Nothing anywhere: the installed path, so the browser names what is missing.
    EXPECT_EQ(GuideFileFor(0, exe, ""), installed + "/ja/index.html");
    touch("usr/share/doc/tavrin/guide/en/index.html");
    EXPECT_EQ(GuideFileFor(1, exe, build), installed + "/en/index.html");
    EXPECT_EQ(GuideFileFor(0, exe, build), build + "/ja/index.html");  // per page, not per folder
    std::filesystem::remove_all(root);
}

TEST(LaunchOptionsTest, DemoFindsTheSimulatorBesideTheProgramOrOnPathButNeverInTheWorkingFolder) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("tavrin-sim-" + std::to_string(::getpid()));
    const auto executable = [&](const std::string& relative) {
        std::filesystem::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << "#!/bin/sh\n";
        std::filesystem::permissions(root / relative, std::filesystem::perms::owner_all);
        return (root / relative).string();
    };
    const std::string inWorkFolder = executable("work/tavrin-sim");
    const std::string onPath = executable("opt/bin/tavrin-sim");
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::filesystem::path savedCwd = std::filesystem::current_path();
    std::filesystem::current_path(root / "work");

    setenv("PATH", ("::.:work:" + (root / "opt/bin").string()).c_str(), 1);
    EXPECT_EQ(CDemoController::FindSimulator((root / "usr/bin/tavrin").string()), onPath);
    const std::string beside = executable("usr/bin/tavrin-sim");
    EXPECT_EQ(CDemoController::FindSimulator((root / "usr/bin/tavrin").string()), beside);
    setenv("PATH", ":.", 1);
    EXPECT_EQ(CDemoController::FindSimulator((root / "nowhere/tavrin").string()), "");

    setenv("PATH", savedPath.c_str(), 1);
    std::filesystem::current_path(savedCwd);
    std::filesystem::remove_all(root);
    (void)inWorkFolder;
}

// The demo's connection is the run's own only when the demo put it on the command line.
TEST(LaunchOptionsTest, OnlyTheDemosOwnConnectionIsTransient) {
    struct Case {
        std::vector<std::string> args;
        const char* commandLine;
        const char* transient;
    };
    const Case cases[] = {
        {{"--demo"}, "-C=127.0.0.1:40123:Demo", "127.0.0.1:40123:Demo"},
        {{"--demo", "-FA.ini"}, "-C=127.0.0.1:40123:Demo,-FA.ini", "127.0.0.1:40123:Demo"},
        {{"--demo", "-C=10.0.0.2:23:cell"}, "-C=10.0.0.2:23:cell", ""},
        {{"-C=127.0.0.1:40123:Demo"}, "-C=127.0.0.1:40123:Demo", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_EQ(TransientConnection(Parse(c.args), c.commandLine), c.transient);
    }
}

}  // namespace
}  // namespace tavrin
