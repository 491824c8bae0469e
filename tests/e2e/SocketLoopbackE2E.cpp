// The TCP/IP path end to end on loopback: connection control with the real socket against a
// small controller stand-in served from a thread of the test.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RecordingShell.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "link/CommSocket.h"
#include "link/ConnectionControl.h"
#include "link/LinkChannel.h"
#include "platform/posix/PosixSerialDevice.h"
#include "platform/posix/PosixStreamSocket.h"
#include "platform/posix/SteadyClock.h"

namespace tavrin {
namespace {

using testing::RecordingShell;

// Listens on 127.0.0.1 and serves one connection with `session` on its own thread.
class LoopbackServer {
public:
    explicit LoopbackServer(int backlog = 4) {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener, backlog);
        socklen_t len = sizeof a;
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~LoopbackServer() {
        if (worker.joinable()) worker.join();
        close(listener);
    }
    void Serve(std::function<void(int fd)> session) {
        worker = std::thread([this, session] {
            int fd = accept(listener, nullptr, nullptr);
            if (fd < 0) return;
            session(fd);
            close(fd);
        });
    }
    void Join() {
        if (worker.joinable()) worker.join();
    }
    static std::vector<uint8_t> ReadExactly(int fd, size_t n) {
        std::vector<uint8_t> got;
        while (got.size() < n) {
            uint8_t buffer[65536];
            ssize_t r = read(fd, buffer, std::min(sizeof buffer, n - got.size()));
            if (r <= 0) break;
            got.insert(got.end(), buffer, buffer + r);
        }
        return got;
    }
    static void WriteAll(int fd, const std::vector<uint8_t>& bytes) {
        size_t off = 0;
        while (off < bytes.size()) {
            ssize_t w = write(fd, bytes.data() + off, bytes.size() - off);
            if (w <= 0) return;
            off += static_cast<size_t>(w);
        }
    }
    int listener = -1;
    int port = 0;
    std::thread worker;
};

class SocketLoopbackE2E : public ::testing::Test {
protected:
    void SetUp() override {
        SetCurrentLanguage(1);
        ConnectionHooks hooks;
        hooks.printLocalText = [this](const std::string& t) { printed += t; };
        hooks.onTcpChunk = [this](const uint8_t* data, size_t count) {
            received.insert(received.end(), data, data + count);
        };
        control.SetHooks(hooks);
    }
    std::string Text(int port, const char* host = "127.0.0.1") {
        return std::string(host) + ":" + std::to_string(port) + ":Cell";
    }
    // Chooses the connection and serves the connect's watches (a host name's lookup, then the
    // connect itself) as the event loop does, until the connect has ended one way or the other.
    void Connect(const std::string& text) {
        control.ConnectByItem(text);
        while (control.Connecting()) {
            if (!shell.posted.empty()) {
                shell.RunPosted();  // the answer to a Retry question
            } else if (!shell.ServeWatches(3000)) {
                break;
            }
        }
        shell.RunPosted();
    }
    // Waits for the socket to become readable and runs its handler, as the event loop does.
    bool Dispatch(int timeoutMs = 3000) {
        if (shell.watches.empty()) return false;
        const int fd = shell.watches.begin()->first;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return false;
        auto handler = shell.watches.begin()->second;
        handler();
        return true;
    }

    CPelinDoc doc;
    ViewState view;
    CSteadyClock clock;
    RecordingShell shell;
    CPosixSerialDevice device;
    CSerialChannel serial{device, clock};
    CLinkChannel link{doc, serial, shell};
    CConnectionControl control{
        doc, view, serial, link, shell, clock, [] { return std::make_unique<CPosixStreamSocket>(); }};
    std::string printed;
    std::vector<uint8_t> received;
};

TEST_F(SocketLoopbackE2E, OffersTheTelnetOptionsOfEachModeOnConnecting) {
    struct Case {
        int linuxTelnet;
        const char* host;
        size_t length;
    };
    const Case cases[] = {{0, "127.0.0.1", 3}, {1, "localhost", 15}};
    for (const Case& c : cases) {
        LoopbackServer server;
        std::vector<uint8_t> offer;
        server.Serve([&](int fd) { offer = LoopbackServer::ReadExactly(fd, c.length); });
        doc.isLinuxTelnet = c.linuxTelnet;
        Connect(Text(server.port, c.host));
        ASSERT_EQ(doc.connected, 1) << c.host;
        server.Join();
        const std::vector<uint8_t> expected =
            c.linuxTelnet ? std::vector<uint8_t>(std::begin(kLinuxTelnetOffer), std::end(kLinuxTelnetOffer))
                          : std::vector<uint8_t>(std::begin(kPlainTelnetOffer), std::end(kPlainTelnetOffer));
        EXPECT_EQ(offer, expected);
        EXPECT_TRUE(shell.boxes.empty());
        control.DisconnectLink();
    }
}

TEST_F(SocketLoopbackE2E, ChunksTypedBytesAndWaitedForBytesAllArrive) {
    LoopbackServer server;
    std::vector<uint8_t> typed;
    server.Serve([&](int fd) {
        LoopbackServer::ReadExactly(fd, 3);
        std::vector<uint8_t> greeting(6000, 'g');
        greeting.back() = 0xFF;
        LoopbackServer::WriteAll(fd, greeting);
        typed = LoopbackServer::ReadExactly(fd, 4);
        usleep(200000);  // the terminal waits for this one
        LoopbackServer::WriteAll(fd, {0xFF, '>'});
        LoopbackServer::ReadExactly(fd, 1);  // until the terminal hangs up
    });
    Connect(Text(server.port));
    ASSERT_EQ(doc.connected, 1);
    while (received.size() < 6000 && Dispatch()) {
    }
    ASSERT_EQ(received.size(), 6000u);
    EXPECT_EQ(received.back(), 0xFF);
    EXPECT_EQ(shell.timers.count(kSilenceTimerId), 1u);

    const uint8_t zu[] = {'z', 'u', 0x0D, 0x0A};
    link.SendLinkBytes(zu, sizeof zu);
    received.clear();
    while (received.size() < 2 && Dispatch()) {
    }
    EXPECT_EQ(received, (std::vector<uint8_t>{0xFF, '>'}));
    EXPECT_EQ(typed, std::vector<uint8_t>(zu, zu + 4));
    control.DisconnectLink();
    server.Join();
}

TEST_F(SocketLoopbackE2E, ALargeSendIsHandedOverWholeToASlowReader) {
    LoopbackServer server;
    std::vector<uint8_t> got;
    const size_t size = 4 << 20;
    server.Serve([&](int fd) {
        LoopbackServer::ReadExactly(fd, 3);
        usleep(100000);
        got = LoopbackServer::ReadExactly(fd, size);
    });
    Connect(Text(server.port));
    ASSERT_EQ(doc.connected, 1);
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
    // The send does not wait for the reader: what the socket does not take goes out each time
    // it is writable again, as the event loop finds it.
    link.SendLinkBytes(bytes.data(), bytes.size());
    while (!shell.writeWatches.empty()) {
        const int fd = shell.writeWatches.begin()->first;
        pollfd p{fd, POLLOUT, 0};
        ASSERT_GT(poll(&p, 1, 5000), 0);
        auto handler = shell.writeWatches.begin()->second;
        handler();
    }
    server.Join();
    EXPECT_EQ(got, bytes);
    EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(SocketLoopbackE2E, TheControllerHangingUpEndsTheLinkWithTheCloseLines) {
    LoopbackServer server;
    server.Serve([&](int fd) {
        LoopbackServer::ReadExactly(fd, 3);
        LoopbackServer::WriteAll(fd, {'b', 'y', 'e'});
    });
    Connect(Text(server.port));
    ASSERT_EQ(doc.connected, 1);
    server.Join();
    for (int i = 0; i < 5 && doc.connected == 1 && Dispatch(); ++i) {
    }
    EXPECT_EQ(doc.connected, 0);
    EXPECT_EQ(received, (std::vector<uint8_t>{'b', 'y', 'e'}));
    EXPECT_EQ(printed,
              "\r\n" + GetMessageTextCp932(-100) + GetMessageTextCp932(kControllerClosedCode) + "\r\n");
    EXPECT_EQ(doc.socket, nullptr);
    EXPECT_TRUE(shell.watches.empty());
    EXPECT_TRUE(shell.boxes.empty());
    link.SendLinkByte('x');  // no socket: nothing, no error
    EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(SocketLoopbackE2E, ARefusedConnectionAsksAtOnce) {
    int port = 0;
    {
        LoopbackServer closed;
        port = closed.port;
    }  // nothing listens there any more
    shell.answers = {BoxAnswer::No};
    Connect(Text(port));
    EXPECT_EQ(doc.connected, 0);
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "Cannot connect to 127.0.0.1:" + std::to_string(port) +
                                       ": Connection refused.\nConnection failed. Retry ?");
    EXPECT_EQ(doc.socket, nullptr);
}

TEST_F(SocketLoopbackE2E, AConnectNobodyAnswersGivesUpAfterTheTimeLimit) {
    // A listener whose accept queue is full drops further connection requests unanswered.
    LoopbackServer server(0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(server.port));
        connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(fd);
    }
    usleep(100000);
    CCommSocket socket(std::make_unique<CPosixStreamSocket>(), shell);
    ASSERT_EQ(socket.Create(), 0);
    int result = -1;
    const int64_t start = clock.NowMs();
    int rc = socket.BeginConnect("127.0.0.1", server.port, [&](int error) { result = error; });
    EXPECT_LT(clock.NowMs() - start, 100);  // the call itself does not wait
    if (rc == EINPROGRESS) {
        // The event loop: the socket's writability ends the attempt; nothing comes within the
        // time limit, whose task then ends it.
        const int fd = socket.Descriptor();
        while (result == -1 && clock.NowMs() - start < CCommSocket::kConnectTimeoutSec * 1000) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, 100) > 0 && shell.writeWatches.count(fd)) shell.writeWatches.at(fd)();
        }
        if (result == -1) shell.RunDelayed();
        rc = result;
    }
    for (int fd : fillers) close(fd);
    if (rc == 0) GTEST_SKIP() << "this kernel accepted the connection after all";
    EXPECT_EQ(rc, ETIMEDOUT);
    EXPECT_TRUE(shell.boxes.empty());
}

}  // namespace
}  // namespace tavrin
