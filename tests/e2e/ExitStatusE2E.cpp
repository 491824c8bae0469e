// The console front end's exit status as a script sees it: 0 for a session that ran, 1 when
// the start-up connection could not be made (said on stderr first), whether or not its input has
// ended. (Status 2, a command line that cannot be used, is LaunchE2E's.)
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/SimProcess.h"

#include "e2e/HeadlessTcpSupport.h"

namespace tavrin::testing {
namespace {

// A settings file whose current connection is the given TCP/IP one, opened at start.
std::string AutoConnectSettings(int port) {
    const std::string p = std::to_string(port);
    return "[Settings]\r\nLanguage=1\r\nIsAutoConnect=1\r\n[Connections]\r\nTotal=1\r\n[Connection0]\r\n"
           "IsTcp=1\r\nOrder=0\r\nItem=127.0.0.1:" +
           p + ":Cell\r\nTcpName=Cell\r\nIp=127.0.0.1\r\nTcpPort=" + p + "\r\n";
}

TEST(ExitStatusE2E, ZeroForASessionThatRanOneWhenTheStartupConnectionCannotBeMade) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_GT(sim.TcpPort(), 0);
    const std::string simConnection = "-C=127.0.0.1:" + std::to_string(sim.TcpPort()) + ":Sim";
    const std::string refused = "-C=127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + ":Nobody";
    const std::string missingDevice = "/tmp/tavrin-e2e-no-such-tty-" + std::to_string(::getpid());
    struct Case {
        const char* name;
        std::vector<std::string> args;  // "@ini" stands for -F and the case's settings file
        std::string settings;           // the settings file's text ("": none written)
        bool inputEnded;                // stdin closed at once, else held open
        int status;
    };
    const std::vector<Case> cases = {
        {"no connection asked for", {"@ini"}, "", true, 0},
        {"connected to the controller", {"@ini", simConnection}, "", true, 0},
        {"serial device missing", {"@ini", "-C=" + missingDevice + ":9600:8:1:none"}, "", true, 1},
        {"serial device missing, input open",
         {"@ini", "-C=" + missingDevice + ":9600:8:1:none"},
         "",
         false,
         1},
        {"TCP/IP refused", {"@ini", refused}, "", true, 1},
        {"TCP/IP refused, input open", {"@ini", refused}, "", false, 1},
        {"automatic connection refused", {"@ini"}, AutoConnectSettings(UnusedLoopbackPort()), true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string ini = folder / "t.ini";
        if (!c.settings.empty()) WriteWholeFile(ini, c.settings);
        std::vector<std::string> args;
        for (const std::string& a : c.args) args.push_back(a == "@ini" ? "-F" + ini : a);
        HeadlessProcess tavrin(args, folder.Path(), {"HOME=" + folder.Path(), "XDG_CONFIG_HOME="});
        if (c.inputEnded) tavrin.CloseInput();
        const int status = tavrin.WaitExit(10000);
        EXPECT_EQ(status, c.status) << tavrin.Errors();
        // A failure is told before the program ends; a session that ran tells nothing.
        EXPECT_EQ(tavrin.Errors().empty(), c.status == 0) << tavrin.Errors();
    }
}

}  // namespace
}  // namespace tavrin::testing
