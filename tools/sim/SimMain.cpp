// tavrin-sim: a robot controller's console and its side of the file transfers, served on a
// pty or on a loopback TCP port, for tests and for `tavrin --demo`.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "SimConsole.h"
#include "SimDisk.h"
#include "SimLine.h"
#include "SimLog.h"
#include "SimOptions.h"

using namespace tavrin::sim;

namespace {

void OnStopSignal(int) {
    _exit(0);
}

void InstallSignals() {
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void AnnounceFirstLine(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void RunSession(int fd, bool isSocket, const SimOptions& options, CSimDisk& disk, CSimLog& log, int number) {
    log.Note("session " + std::to_string(number) + (isSocket ? " tcp" : " pty"));
    CSimLine line(fd, isSocket, LinePacing{options.baud, options.frameBits}, &log);
    line.SetLogTurns(options.logTurns);
    // One noise source for the whole run, so that a seed gives the same faults run after run.
    static CLineNoise noise(options.noise, log.IsOpen() ? &log : nullptr);
    if (options.noise.perKilobyte > 0) line.SetNoise(&noise);
    CSimConsole console(line, disk, options);
    console.Run();
    log.Note("end of session " + std::to_string(number));
}

// No process holds the slave side while the master reports a hang-up.
bool SlaveOpen(int master) {
    pollfd p{master, 0, 0};
    return ::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) == 0;
}

int ServePty(const SimOptions& options, CSimDisk& disk, CSimLog& log) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("tavrin-sim: openpty");
        return 1;
    }
    // The terminal sets its own line settings, but a raw line from the start means no echo
    // or line editing can creep in before it does. The setting stays while the master lives.
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::close(slave);
    AnnounceFirstLine(std::string("PTY ") + name);
    for (int number = 1;; ++number) {
        while (!SlaveOpen(master)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // Give the terminal time to set up and purge its port before the banner comes.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        RunSession(master, false, options, disk, log, number);
        if (options.once) break;
        ::tcflush(master, TCIOFLUSH);
    }
    ::close(master);
    return 0;
}

int ServeTcp(const SimOptions& options, CSimDisk& disk, CSimLog& log) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) {
        std::perror("tavrin-sim: socket");
        return 1;
    }
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0) {
        std::perror("tavrin-sim: bind");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    AnnounceFirstLine("TCP " + std::to_string(ntohs(address.sin_port)));
    for (int number = 1;; ++number) {
        int connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0) {
            if (errno == EINTR) continue;
            std::perror("tavrin-sim: accept");
            return 1;
        }
        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        RunSession(connection, true, options, disk, log, number);
        ::close(connection);
        if (options.once) break;
    }
    ::close(listener);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    int parsed = ParseSimOptions(argc, argv, options, error);
    if (parsed == 1) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }
    if (parsed != 0) {
        std::fprintf(stderr, "tavrin-sim: %s\n%s", error.c_str(), SimUsage());
        return 2;
    }
    InstallSignals();
    CSimDisk disk;
    if (!options.diskDir.empty() && disk.UseFolder(options.diskDir) != 0) {
        std::fprintf(stderr, "tavrin-sim: not a folder: %s\n", options.diskDir.c_str());
        return 2;
    }
    CSimLog log;
    if (!options.logPath.empty() && log.Open(options.logPath) != 0) {
        std::fprintf(stderr, "tavrin-sim: cannot create the log %s\n", options.logPath.c_str());
        return 2;
    }
    return options.mode == SimMode::Pty ? ServePty(options, disk, log) : ServeTcp(options, disk, log);
}
