// tavrin --headless on a serial line as a new user meets it: a settings file that maps COM3 to
// the controller's pty, commands typed on stdin, the controller's echo and replies as rows on
// stdout, a clean end when the input ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/IniFile.h"
#include "e2e/HeadlessSerialSession.h"

namespace tavrin::testing {
namespace {

TEST(HeadlessSerialE2E, TypedCommandsShowTheirEchoAndRepliesAndTheRunEndsCleanly) {
    HeadlessSerialSession s;
    WriteWholeFile(s.Disk() + "/pick.as", ".PROGRAM pick()\n  JMOVE #p1\n.END\n");
    ASSERT_TRUE(s.Start()) << s.tavrin->Output() << s.tavrin->Errors();
    // The Japanese greeting arrives as CP932 and is printed as UTF-8.
    EXPECT_NE(s.tavrin->Output().find("ロボット制御シミュレータ"), std::string::npos) << s.tavrin->Output();

    struct Step {
        const char* typed;
        const char* shown;  // the reply, up to its last row
    };
    const Step steps[] = {
        {"ver", "Tavrin controller simulator 1.0"},
        {"dir", "1 programs, 33 bytes"},
        {"type pick.as", "  JMOVE #p1\n.END\n"},
        {"bogus", "(E0101) Unknown command: bogus"},
        {"", ">\n"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.typed);
        const size_t mark = s.tavrin->OutputMark();
        ASSERT_TRUE(s.Command(step.typed, step.shown)) << s.OutputSince(mark);
        // The echo is a row of its own after the prompt, shown once, before the reply.
        const std::string rows = "\n" + s.OutputSince(mark);
        const std::string echo = std::string("\n>") + step.typed + "\n";
        const size_t at = rows.find(echo);
        ASSERT_NE(at, std::string::npos) << rows;
        EXPECT_EQ(rows.find(echo, at + 1), std::string::npos) << rows;
        EXPECT_LT(at, rows.find(step.shown, at + echo.size() - 1)) << rows;
    }

    EXPECT_EQ(s.Finish(), 0) << s.tavrin->Errors();
    EXPECT_EQ(s.tavrin->Errors().find("Tavrin:"), std::string::npos) << "no message box expected";
    // The settings were saved at exit beside the mapping the user wrote.
    EXPECT_EQ(ReadProfileString(s.Settings(), "Ports", "COM3", ""), s.sim->PtyPath());
    EXPECT_EQ(ReadProfileString(s.Settings(), "Settings", "Port", ""), "COM3");
    EXPECT_EQ(ReadProfileString(s.Settings(), "Settings", "Folder", ""), s.Work());
}

TEST(HeadlessSerialE2E, AnUnusableDeviceIsNamedAndTheRunEndsAsFailed) {
    struct Case {
        const char* name;
        std::string device;  // under the session folder when relative
        const char* reason;
    };
    const Case cases[] = {
        {"missing", "ttyMissing", " does not exist."},
        {"a folder", "work", ": Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessSerialSession s;
        const std::string device = s.folder / c.device;
        s.StartTerminal(device);
        ASSERT_TRUE(s.tavrin->WaitForOutput("COM device open error.", 5000))
            << s.tavrin->Output() << s.tavrin->Errors();
        ASSERT_TRUE(s.tavrin->WaitForOutput(device + c.reason, 2000)) << s.tavrin->Output();
        EXPECT_TRUE(s.tavrin->WaitForErrors("Tavrin: COM device open error. [OK]", 2000))
            << s.tavrin->Errors();
        // Nobody at a terminal can go on: the run ends by itself, as failed, saving its settings.
        EXPECT_EQ(s.tavrin->WaitExit(10000), 1) << s.tavrin->Errors();
        EXPECT_EQ(ReadProfileString(s.Settings(), "Ports", "COM3", ""), device);
        EXPECT_EQ(ReadProfileString(s.Settings(), "Settings", "Port", ""), "COM3");
    }
}

}  // namespace
}  // namespace tavrin::testing
