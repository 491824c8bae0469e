// Neither front end ends while a save's last steps run: the console at the end of its piped
// input or on SIGTERM, the window on SIGTERM. The real program runs under strace, which holds
// each link() call for two seconds; the save's last steps make one (the earlier file's second
// name, on its way to NAME.B<ext>) and nothing else in the program does. A run that ended
// meanwhile would leave the new program under its temporary name and the earlier one without
// a backup.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHeldCalls = "link,linkat";
constexpr const char* kCloseRecord = "\x05\x02\x45";  // the controller's ENQ STX 'E'
constexpr int kHoldMicroseconds = 2000000;  // longer than the console's quiet second before it quits

std::string StraceLine() {
    return std::string("strace -D -f -qq --seccomp-bpf -o /dev/null -e trace=") + kHeldCalls +
           " -e inject=" + kHeldCalls + ":delay_enter=" + std::to_string(kHoldMicroseconds);
}

// Why strace cannot hold the calls here (not installed, ptrace not permitted); empty when it can.
std::string StraceUnusable() {
    if (std::system("command -v strace >/dev/null 2>&1") != 0)
        return "strace is not installed (scripts/install-deps test installs it)";
    const std::string probe = StraceLine() + " true >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0) return "strace cannot trace here (ptrace not permitted?)";
    return {};
}

// The entries of folder whose names start with prefix.
std::vector<std::string> EntriesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
}

bool WaitForSimToSend(const std::string& log, const std::string& bytes, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (ReadSimLog(log).sent.find(bytes) != std::string::npos) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// The console ends at the end of its piped input or on SIGTERM; the window (offscreen, its save
// typed by a --run macro) on SIGTERM, a batch run so stopped with status 2.
TEST(ExitDuringSaveE2E, TheProgramEndsOnlyAfterTheSavesLastSteps) {
    const std::string unusable = StraceUnusable();
    if (!unusable.empty()) GTEST_SKIP() << unusable;
    enum class End { EndOfInput, Signal };
    struct Case {
        const char* name;
        bool window;
        End end;
        int status;
    };
    const Case cases[] = {
        {"console, end of piped input", false, End::EndOfInput, 0},
        {"console, SIGTERM", false, End::Signal, 0},
        {"window, SIGTERM", true, End::Signal, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TcpScene scene;
        const std::string earlier = ProgramText(2000, "cell");
        const std::string newer = ProgramText(3000, "cell");
        WriteWholeFile(scene.pc + "/cell.as", earlier);
        WriteWholeFile(scene.disk + "/cell.as", newer);
        // The result line comes after the run's quiet second would have passed in the held steps.
        auto sim = scene.StartSim({"--fault", "slow-result"});
        ASSERT_TRUE(sim->Started());
        // HeadlessProcess starts its program with --headless; for the window it is dropped here.
        const std::string wrapper = scene.folder / "held-links.sh";
        WriteWholeFile(wrapper, std::string("#!/bin/sh\n") + (c.window ? "shift\n" : "") + "exec " +
                                    StraceLine() + " " + TAVRIN_BIN + " \"$@\"\n");
        std::filesystem::permissions(wrapper, std::filesystem::perms::owner_all);
        WriteSettings(scene.ini, {});
        std::vector<std::string> args{"-F" + scene.ini, Connection(sim->TcpPort())};
        if (c.window) {
            WriteWholeFile(scene.folder / "save.uas", "timeout=60\r\nsendln 'save " + scene.pc +
                                                          "/cell.as'\r\nwait 'never printed'\r\nend\r\n");
            args.insert(args.end(), {"--run", "save.uas"});
        }
        // strace -D: the program keeps the process the test started, so its signal and exit
        // status are the program's own.
        HeadlessProcess terminal(args, scene.folder.Path(), {"QT_QPA_PLATFORM=offscreen"}, wrapper);
        if (!c.window) {
            ASSERT_TRUE(terminal.WaitForOutput("Type help for the commands.", 10000)) << terminal.Errors();
            terminal.TypeLine("save " + scene.pc + "/cell.as");
        }
        if (c.end == End::EndOfInput) {
            terminal.CloseInput();
        } else {
            // The controller has closed the file: the last steps run, held in their link().
            ASSERT_TRUE(WaitForSimToSend(scene.log, kCloseRecord, 10s)) << terminal.Errors();
            std::this_thread::sleep_for(300ms);
            ::kill(terminal.Pid(), SIGTERM);
        }
        EXPECT_EQ(terminal.WaitExit(15000), c.status) << terminal.Errors();

        EXPECT_EQ(ReadWholeFile(scene.pc + "/cell.as"), newer);
        EXPECT_EQ(ReadWholeFile(scene.pc + "/cell.Bas"), earlier);
        EXPECT_EQ(EntriesStartingWith(scene.pc, "."), std::vector<std::string>{});
        // Ended by its input, the run tells the save first (a signal ends it once the file is in place).
        if (c.end == End::EndOfInput) {
            EXPECT_NE(terminal.Output().find("Saved cell.as, 3000 bytes."), std::string::npos)
                << terminal.Output();
        }
    }
}

}  // namespace
}  // namespace tavrin::testing
