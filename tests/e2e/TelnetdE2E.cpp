// The extended telnet mode (IsLinuxTelnet=1) against a standard telnet server: busybox telnetd
// on loopback, with a recording relay between it and `tavrin --headless`.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"

namespace tavrin::testing {
namespace {

bool TelnetdAvailable() {
    if (::geteuid() != 0) return false;
    return std::system("busybox telnetd --help >/dev/null 2>&1") == 0;
}

int ConnectLoopback(int port) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

// busybox telnetd in the foreground on a loopback port; ended (SIGTERM) with the object.
class Telnetd {
public:
    Telnetd(int port, const std::string& login) {
        const std::string portText = std::to_string(port);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl("/bin/busybox", "busybox", "telnetd", "-F", "-p", portText.c_str(), "-b", "127.0.0.1",
                    "-l", login.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Telnetd() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    Telnetd(const Telnetd&) = delete;
    Telnetd& operator=(const Telnetd&) = delete;

private:
    pid_t pid_ = -1;
};

// Listens on a loopback port; relays one connection to the server at serverPort and records
// what the client sent.
class RecordingRelay {
public:
    explicit RecordingRelay(int serverPort) : serverPort_(serverPort) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 1);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        worker_ = std::thread([this] { Serve(); });
    }
    ~RecordingRelay() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        worker_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }
    std::string FromClient() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return fromClient_;
    }

private:
    void Serve() {
        pollfd l{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&l, 1, 50) == 0) {
        }
        if (stop_) return;
        int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        int server = ConnectLoopback(serverPort_);
        while (!stop_ && server >= 0) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0) continue;
            char buffer[4096];
            if (p[0].revents) {
                ssize_t n = ::read(client, buffer, sizeof buffer);
                if (n <= 0) break;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    fromClient_.append(buffer, static_cast<size_t>(n));
                }
                if (::send(server, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
            }
            if (p[1].revents) {
                ssize_t n = ::read(server, buffer, sizeof buffer);
                if (n <= 0) break;
                if (::send(client, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) != n) break;
            }
        }
        if (server >= 0) ::close(server);
        ::close(client);
    }

    int serverPort_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::string fromClient_;
    std::thread worker_;
};

// The telnet commands in a byte stream (IAC ... up to the option byte, or a whole
// subnegotiation up to IAC SE), in order.
std::vector<std::string> TelnetCommands(const std::string& bytes) {
    std::vector<std::string> commands;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (static_cast<uint8_t>(bytes[i]) != 0xFF || i + 1 >= bytes.size()) continue;
        const uint8_t verb = static_cast<uint8_t>(bytes[i + 1]);
        size_t end = i + 3;
        if (verb == 0xFA) {
            const size_t se = bytes.find("\xFF\xF0", i);
            end = se == std::string::npos ? bytes.size() : se + 2;
        }
        commands.push_back(bytes.substr(i, end - i));
        i = end - 1;
    }
    return commands;
}

TEST(TelnetdE2E, NegotiatesWithAStandardTelnetServerAndShowsOnlyTheShellsOutput) {
    if (!TelnetdAvailable()) GTEST_SKIP() << "busybox telnetd is not available (or not running as root)";
    TempFolder folder;
    const std::string login = folder / "login.sh";
    // The "login program" needs no password: it shows the window size the server was told.
    WriteWholeFile(login,
                   "#!/bin/sh\nsleep 0.5\necho \"size $(stty size)\"\necho shell ready\n"
                   "read line\necho \"got $line\"\nsleep 1\n");
    ::chmod(login.c_str(), 0755);
    const int telnetPort = UnusedLoopbackPort();
    Telnetd telnetd(telnetPort, login);
    RecordingRelay relay(telnetPort);

    const std::string ini = folder / "t.ini";
    WriteSettings(ini, {"IsLinuxTelnet=1"});
    HeadlessProcess terminal({"-F" + ini, "-C=127.0.0.1:" + std::to_string(relay.Port()) + ":Linux"},
                             folder.Path());
    ASSERT_TRUE(terminal.WaitForOutput("shell ready\n", 8000)) << terminal.Output() << terminal.Errors();
    terminal.TypeLine("hello");
    ASSERT_TRUE(terminal.WaitForOutput("got hello\n", 5000)) << terminal.Output();

    // The server was told 80 columns and 24 rows.
    EXPECT_NE(terminal.Output().find("size 24 80\n"), std::string::npos) << terminal.Output();
    // No option byte reached the screen: every shown byte is plain text.
    for (char c : terminal.Output())
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F))
            << "stray byte " << static_cast<int>(static_cast<uint8_t>(c));

    // The terminal's side of the negotiation: its offers, then its answers to the server's
    // DO ECHO (WONT ECHO) and DO NAWS (the window size); WILL ECHO and WILL SGA need none.
    const std::vector<std::string> sent = TelnetCommands(relay.FromClient());
    const std::vector<std::string> expected = {
        "\xFF\xFB\x18",
        "\xFF\xFD\x03",
        "\xFF\xFB\x03",
        "\xFF\xFD\x01",
        "\xFF\xFB\x1F",
        "\xFF\xFC\x01",
        std::string("\xFF\xFA\x1F\x00\x50\x00\x18\xFF\xF0", 9),
    };
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(terminal.Errors(), "");
    terminal.Terminate();
    EXPECT_EQ(terminal.WaitExit(5000), 0);
}

}  // namespace
}  // namespace tavrin::testing
