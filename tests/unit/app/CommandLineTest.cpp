#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavrin {
namespace {

TEST(CommandLineTest, ParsesTheSystemOptions) {
    struct Case {
        const char* line;
        const char* connection;  // nullptr: no "-C="
        const char* profile;     // nullptr: no "-F"
        bool hostLink;
        const char* panelFile;
    };
    const Case cases[] = {
        {"", nullptr, nullptr, false, "MacroDlg.INI"},
        {"-C=192.168.0.2:23:Robot1,-Fd:\\cfg\\a.ini", "192.168.0.2:23:Robot1", "d:\\cfg\\a.ini", false,
         "MacroDlg.INI"},
        {"-C=192.168.0.2:23:Robot 1", "192.168.0.2:23:Robot", nullptr, false, "MacroDlg.INI"},
        {"-F/home/op/my settings/a b.ini", nullptr, "/home/op/my settings/a b.ini", false, "MacroDlg.INI"},
        {"-F/home/op/a b.ini,-N", nullptr, "/home/op/a b.ini", true, "MacroDlg.INI"},
        {"-N -C=COM2:9600:8:2:none", "COM2:9600:8:2:none", nullptr, true, "MacroDlg.INI"},
        {"-DFpanel2.ini", nullptr, nullptr, false, "panel2.ini"},  // "-DF" is not "-F"
        {"-DFpanel2.ini -Fx.ini", nullptr, "x.ini", false, "panel2.ini"},
        {"-DFp.ini,-C=COM1:9600:8:0:none", "COM1:9600:8:0:none", nullptr, false, "p.ini"},
        {"-DF", nullptr, nullptr, false, "MacroDlg.INI"},
        {"-DF,-N", nullptr, nullptr, true, "MacroDlg.INI"},
        {"-C=10.0.0.2:23:Cell-F2,-F/cfg/a.ini", "10.0.0.2:23:Cell-F2", "/cfg/a.ini", false, "MacroDlg.INI"},
        {"-C=Cell-N", "Cell-N", nullptr, false, "MacroDlg.INI"},  // "-N" inside a value is no option
        {"-F", nullptr, nullptr, false, "MacroDlg.INI"},          // empty "-F": default path stays
        {"-F  ,-N", nullptr, nullptr, true, "MacroDlg.INI"},
        {"-F  /x/a.ini  ", nullptr, "/x/a.ini", false, "MacroDlg.INI"},
        {"-C=", nullptr, nullptr, false, "MacroDlg.INI"},
        {"-C=,-Fx", nullptr, "x", false, "MacroDlg.INI"},
        {"-c=host -f/x -n", nullptr, nullptr, false, "MacroDlg.INI"},  // case-sensitive
        {"-C=a -C=b", "a", nullptr, false, "MacroDlg.INI"},            // the first one counts
    };
    for (const Case& c : cases) {
        CommandLineOptions options = ParseCommandLine(c.line);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(options.hasConnection, c.connection != nullptr);
        EXPECT_EQ(options.connection, c.connection != nullptr ? c.connection : "");
        EXPECT_EQ(options.hasProfile, c.profile != nullptr);
        EXPECT_EQ(options.profilePath, c.profile != nullptr ? c.profile : "");
        EXPECT_EQ(options.hostLink, c.hostLink);
        EXPECT_EQ(options.panelFile, c.panelFile);
    }
}

TEST(CommandLineTest, JoinsArgumentsWithoutFrontEndOptions) {
    struct Case {
        std::vector<std::string> args;  // without the program name
        const char* line;
    };
    const Case cases[] = {
        {{}, ""},
        {{"-C=COM1:9600:8:2:none"}, "-C=COM1:9600:8:2:none"},
        {{"--headless", "-F/home/op/a.ini", "-N"}, "-F/home/op/a.ini,-N"},
        {{"--run", "start.uas", "--demo", "-C=127.0.0.1:2323:Sim"}, "-C=127.0.0.1:2323:Sim"},
        {{"--run=start.uas", "-F/home/op/my cfg.ini"}, "-F/home/op/my cfg.ini"},
        {{"-N", "--run"}, "-N"},  // a trailing --run without its file
        {{"--report", "r.jsonl", "-N", "--report=s.jsonl"}, "-N"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> storage = {"tavrin"};
        storage.insert(storage.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& s : storage) argv.push_back(s.data());
        argv.push_back(nullptr);
        EXPECT_EQ(JoinArguments(static_cast<int>(storage.size()), argv.data()), c.line);
    }
}

// The settings path the program uses: the same "-F" rule as the parser, made absolute at start.
TEST(CommandLineTest, SettingsPathOptionIsAbsoluteAndFollowsTheParser) {
    struct Case {
        const char* line;
        const char* path;
    };
    const Case cases[] = {
        {"-Fa.ini", "/start/a.ini"},
        {"-Fcfg/a.ini,-N", "/start/cfg/a.ini"},
        {"-F/etc/a.ini", "/etc/a.ini"},
        {"-C=10.0.0.2:23:Cell-F2", ""},  // a "-F" inside another option's value
        {"-F ", ""},                     // blanks only: no settings file named " "
        {"", ""},
        {"-C=10.0.0.2:23:Cell-F2,-Fb.ini", "/start/b.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SettingsPathOption(c.line, "/start"), c.path);
        EXPECT_EQ(SettingsPathOption(c.line, "/start/"), c.path);
    }
}

}  // namespace
}  // namespace tavrin
