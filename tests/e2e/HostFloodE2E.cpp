// A host that floods the terminal with typed text: the test itself is the host on a private
// socket, `tavrin --headless -N` links to it, and records go out as fast as the socket takes
// them, against a controller that reads (tavrin-sim) and one that reads nothing.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"
#include "platform/HostRecord.h"

namespace tavrin::testing {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

// Resident memory of pid in kB (0 when gone).
long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// CPU time pid has used, in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = all.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(all.substr(close + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // state .. cmajflt
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

// A listening Unix socket at path, its folder 0700 and itself 0600, as a host makes them.
int ListenHost(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ::chmod(std::filesystem::path(path).parent_path().c_str(), 0700);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const mode_t old = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(old);
    if (bound != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A TCP/IP "controller" that accepts and never reads a byte.
struct SilentPeer {
    int listener = -1, peer = -1;
    int port = 0;
    SilentPeer() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener, 1) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port = ntohs(address.sin_port);
    }
    ~SilentPeer() {
        if (peer >= 0) ::close(peer);
        if (listener >= 0) ::close(listener);
    }
};

struct FloodResult {
    long maxRssKb = 0;
    size_t recordsSent = 0;
    double cpuWhileHeld = 0;  // share of one core used over the last second of the flood
    int exitStatus = -1;
    long exitMs = -1;
};

// Links the terminal started with args to a host socket of the test, numbers it, floods it
// with `records` type records of `text` for at most floodFor, then ends it with SIGTERM.
FloodResult Flood(TempFolder& folder, const std::vector<std::string>& args, const std::string& text,
                  size_t records, std::chrono::milliseconds floodFor, SilentPeer* silent = nullptr) {
    FloodResult result;
    const std::string socketPath = folder / "h/host.sock";
    const int listener = ListenHost(socketPath);
    EXPECT_GE(listener, 0);
    HeadlessProcess terminal(args, folder.Path(), {"TAVRIN_HOST_SOCKET=" + socketPath});
    pollfd p{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 10000), 1) << terminal.Errors();
    const int host = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    EXPECT_GE(host, 0);
    if (silent) {
        pollfd q{silent->listener, POLLIN, 0};
        EXPECT_EQ(::poll(&q, 1, 10000), 1);
        silent->peer = ::accept4(silent->listener, nullptr, nullptr, SOCK_CLOEXEC);
    }

    // The terminal's reports are read all along: a host that reads nothing is dropped.
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char sink[4096];
        while (!stop) {
            pollfd r{host, POLLIN, 0};
            if (::poll(&r, 1, 50) > 0 && ::recv(host, sink, sizeof sink, 0) == 0) break;
        }
    });
    auto sendAll = [&](const std::string& bytes, Steady::time_point deadline) {
        size_t at = 0;
        while (at < bytes.size() && Steady::now() < deadline) {
            const ssize_t n = ::send(host, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n > 0) {
                at += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN) return false;
            pollfd w{host, POLLOUT, 0};
            ::poll(&w, 1, 20);
        }
        return at == bytes.size();
    };
    EXPECT_TRUE(sendAll(EncodeHostRecord({kHostMsgNumber, 1, 0, ""}), Steady::now() + 5s));
    EXPECT_TRUE(terminal.WaitForErrors("Tavrin: title: Tavrin #01", 10000)) << terminal.Errors();

    const std::string record = EncodeHostRecord({kHostMsgCopyData, 4242, 0, text});
    std::string batch;
    for (int i = 0; i < 64; ++i) batch += record;
    const auto start = Steady::now();
    const auto end = start + floodFor;
    long cpuMark = -1;
    auto cpuMarkTime = start;
    while (result.recordsSent < records && Steady::now() < end) {
        if (!sendAll(batch, std::min(end, Steady::now() + 100ms))) {
            // The host's sends block: the terminal has stopped reading it.
            if (cpuMark < 0 && Steady::now() > start + floodFor / 2) {
                cpuMark = CpuTicks(terminal.Pid());
                cpuMarkTime = Steady::now();
            }
        } else {
            result.recordsSent += 64;
        }
        result.maxRssKb = std::max(result.maxRssKb, ResidentKb(terminal.Pid()));
    }
    if (cpuMark >= 0) {
        const double seconds = std::chrono::duration<double>(Steady::now() - cpuMarkTime).count();
        result.cpuWhileHeld = (CpuTicks(terminal.Pid()) - cpuMark) / double(::sysconf(_SC_CLK_TCK)) / seconds;
    }
    result.maxRssKb = std::max(result.maxRssKb, ResidentKb(terminal.Pid()));

    const auto killedAt = Steady::now();
    ::kill(terminal.Pid(), SIGTERM);
    result.exitStatus = terminal.WaitExit(3000);
    result.exitMs = std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - killedAt).count();
    stop = true;
    reader.join();
    ::close(host);
    ::close(listener);
    EXPECT_LT(terminal.Errors().size(), 4096u) << "stderr stays short";
    return result;
}

TEST(HostFloodE2E, AFloodingHostCannotGrowTheTerminalOrHoldItPastASignal) {
    {
        SCOPED_TRACE("the controller reads what is typed");
        TcpScene scene;
        auto sim = scene.StartSim();
        ASSERT_TRUE(sim->Started());
        WriteSettings(scene.ini, {});
        const FloodResult r = Flood(scene.folder, {"-F" + scene.ini, Connection(sim->TcpPort()), "-N"},
                                    std::string(200, 'x'), 100000, 6s);
        EXPECT_LT(r.maxRssKb, 100 * 1024);
        EXPECT_GE(r.exitStatus, 0) << "still running " << r.exitMs << " ms after SIGTERM";
        EXPECT_LT(r.exitMs, 1000);
    }
    {
        // Every line's Enter waits for an echo that never comes: the terminal takes a line per
        // two seconds, the rest is held back.
        SCOPED_TRACE("the controller reads nothing and echoes nothing");
        TempFolder folder;
        SilentPeer silent;
        ASSERT_GT(silent.port, 0);
        const std::string ini = folder / "t.ini";
        WriteSettings(ini, {});
        const FloodResult r = Flood(folder, {"-F" + ini, Connection(silent.port), "-N"},
                                    std::string(199, 'x') + "\r", 100000, 5s, &silent);
        EXPECT_LT(r.maxRssKb, 100 * 1024);
        EXPECT_LT(r.recordsSent, 100000u) << "the host's sends were held back";
        EXPECT_LT(r.cpuWhileHeld, 0.3) << "held back without spinning";
        EXPECT_GE(r.exitStatus, 0) << "still running " << r.exitMs << " ms after SIGTERM";
        EXPECT_LT(r.exitMs, 1000);
    }
}

}  // namespace
}  // namespace tavrin::testing
