#pragma once
// Test helpers around tavrin-sim: start it, learn where it serves, talk to it as a terminal
// would (the other end of its pty, or a loopback connection), read its byte log.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#ifndef TAVRIN_SIM_BIN
#define TAVRIN_SIM_BIN "tavrin-sim"
#endif

namespace tavrin::testing {

// Runs tavrin-sim with the given arguments; the constructor waits (up to 5 s) for its first
// line, "PTY /dev/pts/N" or "TCP <port>". The destructor stops it (SIGTERM, then SIGKILL).
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args, const std::string& program = TAVRIN_SIM_BIN) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        stdoutFd = out[0];
        if (pid < 0) return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{stdoutFd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char c;
            if (::read(stdoutFd, &c, 1) != 1) break;
            if (c == '\n') {
                started = true;
                break;
            }
            firstLine += c;
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() {
        Stop();
        if (stdoutFd >= 0) ::close(stdoutFd);
    }

    bool Started() const { return started; }
    const std::string& FirstLine() const { return firstLine; }
    std::string PtyPath() const { return firstLine.rfind("PTY ", 0) == 0 ? firstLine.substr(4) : ""; }
    int TcpPort() const { return firstLine.rfind("TCP ", 0) == 0 ? std::atoi(firstLine.c_str() + 4) : 0; }
    pid_t Pid() const { return pid; }

    // Waits for the simulator to end on its own. Returns its exit status, or -1 when it is
    // still running after timeoutMs.
    int WaitExit(int timeoutMs) {
        if (pid <= 0) return exitStatus;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exitStatus;
            }
            if (std::chrono::steady_clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    void Stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        if (WaitExit(2000) < 0) {
            ::kill(pid, SIGKILL);
            WaitExit(2000);
        }
    }

private:
    pid_t pid = -1;
    int stdoutFd = -1;
    bool started = false;
    int exitStatus = -1;
    std::string firstLine;
};

// The terminal's end of a link to the simulator.
class SimWire {
public:
    static constexpr int kTimeout = -1;
    static constexpr int kClosed = -2;

    SimWire() = default;
    explicit SimWire(int fd) : fd(fd) {}
    SimWire(SimWire&& other) noexcept { *this = std::move(other); }
    SimWire& operator=(SimWire&& other) noexcept {
        std::swap(fd, other.fd);
        std::swap(buffer, other.buffer);
        std::swap(position, other.position);
        return *this;
    }
    ~SimWire() { Close(); }

    // Opens the pty's slave side in raw mode, as a serial terminal would.
    static SimWire OpenPty(const std::string& path) {
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd >= 0) {
            termios raw{};
            ::tcgetattr(fd, &raw);
            ::cfmakeraw(&raw);
            ::tcsetattr(fd, TCSANOW, &raw);
        }
        return SimWire(fd);
    }

    static SimWire ConnectTcp(int port) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            fd = -1;
        }
        int on = 1;
        if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return SimWire(fd);
    }

    bool IsOpen() const { return fd >= 0; }

    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    bool Write(std::string_view bytes) {
        size_t done = 0;
        while (fd >= 0 && done < bytes.size()) {
            ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == ENOTSOCK) n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return fd >= 0;
    }

    // One byte (0..255), kTimeout or kClosed.
    int ReadByte(int timeoutMs) {
        if (position < buffer.size()) return static_cast<unsigned char>(buffer[position++]);
        if (fd < 0) return kClosed;
        pollfd p{fd, POLLIN, 0};
        int r;
        do r = ::poll(&p, 1, timeoutMs);
        while (r < 0 && errno == EINTR);
        if (r == 0) return kTimeout;
        char chunk[4096];
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) return kClosed;
        buffer.assign(chunk, static_cast<size_t>(n));
        position = 0;
        return static_cast<unsigned char>(buffer[position++]);
    }

    // Everything that arrives until nothing more has come for quietMs.
    std::string ReadFor(int quietMs) {
        std::string out;
        for (int b; (b = ReadByte(quietMs)) >= 0;) out += static_cast<char>(b);
        return out;
    }

    // Reads until what was read ends with text, or timeoutMs pass. Returns what was read.
    std::string ReadUntil(std::string_view text, int timeoutMs) {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < text.size() || out.compare(out.size() - text.size(), text.size(), text) != 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            int b = ReadByte(static_cast<int>(left.count()));
            if (b < 0) break;
            out += static_cast<char>(b);
        }
        return out;
    }

private:
    int fd = -1;
    std::string buffer;
    size_t position = 0;
};

// The bytes of a tavrin-sim log by direction: received = what the terminal sent, sent = what
// the simulator sent, each concatenated in order.
struct SimLogBytes {
    std::string received;
    std::string sent;
};

inline SimLogBytes ReadSimLog(const std::string& path) {
    SimLogBytes bytes;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::string* target = line.rfind("RX", 0) == 0   ? &bytes.received
                              : line.rfind("TX", 0) == 0 ? &bytes.sent
                                                         : nullptr;
        if (!target) continue;
        std::istringstream hex(line.substr(2));
        unsigned value;
        while (hex >> std::hex >> value) *target += static_cast<char>(value);
    }
    return bytes;
}

// The log is written just after the bytes pass, so a test that has just seen a reply waits for
// the log to catch up: until each direction holds at least the given number of bytes, or
// timeoutMs pass. Returns what the log holds then.
inline SimLogBytes ReadSimLogUntil(const std::string& path, size_t received, size_t sent,
                                   int timeoutMs = 2000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        SimLogBytes bytes = ReadSimLog(path);
        if ((bytes.received.size() >= received && bytes.sent.size() >= sent) ||
            std::chrono::steady_clock::now() >= deadline)
            return bytes;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace tavrin::testing
