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

// The options themselves are CommandLineTest's; here what the launch adds to them.
TEST(LaunchOptionsTest, TheCommandLineIsReadOnceWithTheProgramsName) {
    const LaunchOptions o = Parse({"--headless", "-F", "/home/op/a, b.ini", "--run=b.uas"});
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.profilePath, "/home/op/a, b.ini");
    EXPECT_EQ(o.runMacro, "b.uas");
    EXPECT_EQ(o.exeName, "tavrin");
    EXPECT_EQ(Parse({"-x"}).error, "unknown option '-x'");
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

// The demo's connection is the run's own only when no connection was named.
TEST(LaunchOptionsTest, OnlyTheDemosOwnConnectionIsTransient) {
    struct Case {
        std::vector<std::string> args;
        const char* opened;
        const char* transient;
    };
    const Case cases[] = {
        {{"--demo"}, "127.0.0.1:40123:Demo", "127.0.0.1:40123:Demo"},
        {{"--demo", "-FA.ini"}, "127.0.0.1:40123:Demo", "127.0.0.1:40123:Demo"},
        {{"--demo", "-C=10.0.0.2:23:cell"}, "10.0.0.2:23:cell", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        LaunchOptions options = Parse(c.args);
        UseDemoConnection(options, "127.0.0.1:40123:Demo");
        EXPECT_EQ(options.connection, c.opened);
        EXPECT_EQ(options.transientConnection, c.transient);
    }
}

}  // namespace
}  // namespace tavrin
