#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavrin {
namespace {

std::string Joined(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& a : args) text += "[" + a + "]";
    return text;
}

// The controller terminal's own options, as the shell passes them (one argument each).
TEST(CommandLineTest, ReadsTheTerminalsOptionsInEveryAcceptedForm) {
    struct Case {
        std::vector<std::string> args;
        std::string connection, profile;
        bool hostLink;
        std::string panelFile;
    };
    const Case cases[] = {
        {{}, "", "", false, "MacroDlg.INI"},
        {{"-F/home/op/line2.ini"}, "", "/home/op/line2.ini", false, "MacroDlg.INI"},
        {{"-F", "/home/op/line2.ini"}, "", "/home/op/line2.ini", false, "MacroDlg.INI"},
        // A path holds blanks and commas; only the argument's end ends it.
        {{"-F/home/op/my cfg/a, b.ini", "-N"}, "", "/home/op/my cfg/a, b.ini", true, "MacroDlg.INI"},
        {{"-F", " lead,trail "}, "", " lead,trail ", false, "MacroDlg.INI"},
        // The separate value is taken whole, dash or not.
        {{"-F", "-N"}, "", "-N", false, "MacroDlg.INI"},
        {{"-DFpanel2.ini"}, "", "", false, "panel2.ini"},  // "-DF" is not "-F"
        {{"-DF", "/home/op/cell 2,b.ini", "-Fx.ini"}, "", "x.ini", false, "/home/op/cell 2,b.ini"},
        {{"-C=COM1:9600:8:1:none", "-N"}, "COM1:9600:8:1:none", "", true, "MacroDlg.INI"},
        {{"-C=192.168.0.2:23:Robot 1,a"}, "192.168.0.2:23:Robot 1,a", "", false, "MacroDlg.INI"},
        // "-F" and "-N" inside another option's value are part of it.
        {{"-C=10.0.0.2:23:Cell-F2 -N", "-F/cfg/a.ini"},
         "10.0.0.2:23:Cell-F2 -N",
         "/cfg/a.ini",
         false,
         "MacroDlg.INI"},
        {{"-C=a", "-C=b", "-Fone", "-F", "two"}, "b", "two", false, "MacroDlg.INI"},  // the last counts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        const CommandLineOptions o = ParseCommandLine(c.args);
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.connection, c.connection);
        EXPECT_EQ(o.profilePath, c.profile);
        EXPECT_EQ(o.hostLink, c.hostLink);
        EXPECT_EQ(o.panelFile, c.panelFile);
    }
}

TEST(CommandLineTest, FrontEndOptionsAndMacroFiles) {
    struct Case {
        std::vector<std::string> args;
        bool headless, demo, help, version, listPorts;
        std::string runMacro, report;
    };
    const Case cases[] = {
        {{"--headless", "--demo"}, true, true, false, false, false, "", ""},
        {{"--help"}, false, false, true, false, false, "", ""},
        {{"-h"}, false, false, true, false, false, "", ""},
        {{"--version", "--list-ports"}, false, false, false, true, true, "", ""},
        {{"--run", "b.uas", "--report=/var/log/t.jsonl"},
         false,
         false,
         false,
         false,
         false,
         "b.uas",
         "/var/log/t.jsonl"},
        {{"--run=b c.uas", "--report", "-N"}, false, false, false, false, false, "b c.uas", "-N"},
        {{"--run", "--help"}, false, false, false, false, false, "--help", ""},  // taken whole
        // Macro files named on their own, as the desktop entry passes them: the first one runs.
        {{"/home/op/Backup.UAS", "second.uas"}, false, false, false, false, false, "/home/op/Backup.UAS", ""},
        {{"--run", "a.uas", "b.uas"}, false, false, false, false, false, "a.uas", ""},
        {{"b.uas", "--run", "a.uas"}, false, false, false, false, false, "a.uas", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        const CommandLineOptions o = ParseCommandLine(c.args);
        EXPECT_EQ(o.error, "");
        EXPECT_EQ(o.headless, c.headless);
        EXPECT_EQ(o.demo, c.demo);
        EXPECT_EQ(o.help, c.help);
        EXPECT_EQ(o.version, c.version);
        EXPECT_EQ(o.listPorts, c.listPorts);
        EXPECT_EQ(o.runMacro, c.runMacro);
        EXPECT_EQ(o.reportFile, c.report);
    }
}

TEST(CommandLineTest, RefusesWhatItCannotUseNamingTheArgument) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"-x"}, "unknown option '-x'"},
        {{"-"}, "unknown option '-'"},
        {{"-NF"}, "unknown option '-NF'"},
        {{"-c=host"}, "unknown option '-c=host'"},  // case-sensitive
        {{"-f/x.ini"}, "unknown option '-f/x.ini'"},
        {{"-CCOM1:9600:8:1:none"}, "unknown option '-CCOM1:9600:8:1:none'"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--HELP"}, "unknown option '--HELP'"},
        {{"--colour=red", "-N"}, "unknown option '--colour=red'"},
        {{"--headless=1"}, "option '--headless' takes no value"},
        {{"-F"}, "option '-F' needs a file"},
        {{"-N", "-F"}, "option '-F' needs a file"},
        {{"-F", ""}, "option '-F' needs a file"},
        {{"-DF"}, "option '-DF' needs a file"},
        {{"-C="}, "option '-C=' needs a connection"},
        {{"-C", "COM1:9600:8:1:none"}, "option '-C=' needs a connection"},
        {{"--run"}, "option '--run' needs a macro file"},
        {{"--run="}, "option '--run' needs a macro file"},
        {{"--report"}, "option '--report' needs a file"},
        {{"plain"}, "unexpected argument 'plain'"},
        {{"notes.uasx"}, "unexpected argument 'notes.uasx'"},
        {{"--first", "--second"}, "unknown option '--first'"},  // the first error counts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        EXPECT_EQ(ParseCommandLine(c.args).error, c.error);
    }
    // --help still answers after an error in the same line.
    const CommandLineOptions o = ParseCommandLine({"--bogus", "--help"});
    EXPECT_TRUE(o.help);
    EXPECT_EQ(o.error, "unknown option '--bogus'");
}

TEST(CommandLineTest, ReadsArgvSkippingTheProgramName) {
    const char* argv[] = {"/usr/bin/tavrin", "-F", "/home/op/a, b.ini", "-N", nullptr};
    const CommandLineOptions o = ParseCommandLine(4, argv);
    EXPECT_EQ(o.profilePath, "/home/op/a, b.ini");
    EXPECT_TRUE(o.hostLink);
    EXPECT_EQ(o.error, "");
}

// The settings path the program uses: made absolute in the folder the program started in.
TEST(CommandLineTest, SettingsPathIsMadeAbsoluteInTheStartFolder) {
    struct Case {
        std::vector<std::string> args;
        const char* path;
    };
    const Case cases[] = {
        {{"-Fa.ini"}, "/start/a.ini"},
        {{"-F", "cfg/a, b.ini"}, "/start/cfg/a, b.ini"},
        {{"-F/etc/a.ini"}, "/etc/a.ini"},
        {{"-C=10.0.0.2:23:Cell-F2"}, ""},
        {{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args));
        EXPECT_EQ(AbsoluteSettingsPath(ParseCommandLine(c.args), "/start"), c.path);
        EXPECT_EQ(AbsoluteSettingsPath(ParseCommandLine(c.args), "/start/"), c.path);
    }
}

}  // namespace
}  // namespace tavrin
