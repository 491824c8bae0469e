// Termination signals end the terminal within a second whatever it is doing, and a batch run
// stopped from outside (SIGTERM, SIGINT, or the console's quit key Ctrl+] typed on a terminal)
// ends with status 2 ("stopped").
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// The macro waits for text the simulator never prints, long past every limit of the test.
constexpr const char* kWaitingMacro = "timeout=60\r\nsendln 'ver'\r\nwait 'never printed'\r\nend\r\n";

bool WaitForFile(const std::string& path, const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = Steady::now() + limit;
    while (Steady::now() < deadline) {
        if (ReadWholeFile(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(BatchStopE2E, ASignalStopsTheRunWithStatusTwoWithinASecond) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        TcpScene scene;
        auto sim = scene.StartSim();
        ASSERT_TRUE(sim->Started());
        WriteWholeFile(scene.folder / "macro.uas", kWaitingMacro);
        auto terminal = scene.StartTerminal(sim->TcpPort(), {}, {"--run", "macro.uas"});
        // The macro has typed its command: it is waiting now.
        ASSERT_TRUE(terminal->WaitForOutput("ver", 10000)) << terminal->Output() << terminal->Errors();
        std::this_thread::sleep_for(200ms);
        const auto sent = Steady::now();
        ::kill(terminal->Pid(), signal);
        EXPECT_EQ(terminal->WaitExit(1000), 2) << terminal->Errors();
        EXPECT_LT(Steady::now() - sent, 1500ms);
    }
}

// The console on a terminal (a pty here): Ctrl+] quits, and a batch run so ended was stopped.
TEST(BatchStopE2E, TheQuitKeyStopsTheRunWithStatusTwo) {
    TcpScene scene;
    auto sim = scene.StartSim();
    ASSERT_TRUE(sim->Started());
    WriteWholeFile(scene.folder / "macro.uas", kWaitingMacro);
    WriteSettings(scene.ini, {});
    const std::string out = scene.folder / "out.txt";

    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string bin = TAVRIN_BIN;
    const std::string ini = "-F" + scene.ini;
    const std::string connection = Connection(sim->TcpPort());
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::dup2(slave, STDIN_FILENO);
        const int file = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(file, STDOUT_FILENO);
        ::dup2(file, STDERR_FILENO);
        for (int fd = 3; fd < 1024; ++fd) ::close(fd);
        if (::chdir(scene.folder.Path().c_str()) != 0) ::_exit(126);
        ::execl(bin.c_str(), bin.c_str(), "--headless", ini.c_str(), connection.c_str(), "--run", "macro.uas",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(slave);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitForFile(out, "ver", 10s)) << ReadWholeFile(out);
    std::this_thread::sleep_for(200ms);
    const char quit = 0x1D;
    ASSERT_EQ(::write(master, &quit, 1), 1);
    int status = -1;
    const auto deadline = Steady::now() + 3s;
    while (::waitpid(pid, &status, WNOHANG) != pid) {
        if (Steady::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            FAIL() << "still running after Ctrl+]\n" << ReadWholeFile(out);
        }
        std::this_thread::sleep_for(10ms);
    }
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status)) << ReadWholeFile(out);
    EXPECT_EQ(WEXITSTATUS(status), 2) << ReadWholeFile(out);
}

// A connect the peer never answers holds the event loop for up to five seconds; a signal in
// the middle of it still ends the terminal within a second.
TEST(SignalE2E, ASignalEndsTheTerminalInsideAConnectThatWaits) {
    // A listener whose one-place backlog is taken: the kernel drops the terminal's SYNs.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(100ms);

    TcpScene scene;
    auto terminal = scene.StartTerminal(ntohs(address.sin_port), {});
    std::this_thread::sleep_for(1500ms);  // started, and well inside the connect's wait
    ASSERT_TRUE(terminal->Errors().empty()) << terminal->Errors();
    const auto sent = Steady::now();
    ::kill(terminal->Pid(), SIGTERM);
    EXPECT_GE(terminal->WaitExit(1500), 0) << terminal->Errors();
    EXPECT_LT(Steady::now() - sent, 1200ms);
    for (int fd : fillers) ::close(fd);
    ::close(listener);
}

}  // namespace
}  // namespace tavrin::testing
