#include "platform/posix/PosixStreamSocket.h"

#include <arpa/inet.h>
#include <poll.h>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tavrin {
namespace {

// A listener on 127.0.0.1 with an ephemeral port.
struct Listener {
    Listener() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd, 4);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { close(fd); }
    int fd = -1;
    int port = 0;
};

// The connect's end, carried on as the event loop would: a host name's lookup is watched for
// reading, the connect itself for writing.
int ConnectEnd(CPosixStreamSocket& s, const std::string& host, int port, bool* lookedUp = nullptr) {
    int rc = s.StartConnect(host, port);
    for (int turns = 0; rc == EINPROGRESS && turns < 100; ++turns) {
        if (lookedUp != nullptr && !s.ConnectWaitsForWrite()) *lookedUp = true;
        pollfd p{s.Descriptor(), static_cast<short>(s.ConnectWaitsForWrite() ? POLLOUT : POLLIN), 0};
        poll(&p, 1, 100);
        rc = s.WaitConnected(0);
    }
    return rc;
}

int Connected(CPosixStreamSocket& s, int port) {
    return ConnectEnd(s, "127.0.0.1", port);
}

TEST(PosixStreamSocketTest, RefusesWhatCannotBeConnected) {
    struct Case {
        bool create;
        const char* host;
        int port;
        int result;
    };
    const Case cases[] = {
        {false, "127.0.0.1", 23, EBADF}, {true, "127.0.0.1", 0, EINVAL}, {true, "127.0.0.1", 65536, EINVAL},
        {true, "127.0.0.1", -1, EINVAL}, {true, "", 23, EHOSTUNREACH},
    };
    for (const Case& c : cases) {
        CPosixStreamSocket s;
        if (c.create) {
            ASSERT_EQ(s.Create(), 0);
        }
        EXPECT_EQ(ConnectEnd(s, c.host, c.port), c.result) << c.host << ":" << c.port;
        // Only a name that could not be looked up carries the resolver's text.
        EXPECT_EQ(s.LookupFailure().empty(), c.host[0] != '\0') << c.host << ":" << c.port;
    }
    CPosixStreamSocket closed;
    uint8_t b = 0;
    EXPECT_EQ(closed.Send(&b, 1), -1);
    EXPECT_EQ(closed.Receive(&b, 1), -1);
    EXPECT_FALSE(closed.WaitReadable(0));
    EXPECT_EQ(closed.Descriptor(), -1);
}

// A host name is looked up on a thread of its own: the connect is under way at once, its
// descriptor the lookup's until the answer is in, then the socket's.
TEST(PosixStreamSocketTest, AHostNameIsLookedUpWithoutWaiting) {
    Listener listener;
    CPosixStreamSocket s;
    ASSERT_EQ(s.Create(), 0);
    const int socketFd = s.Descriptor();
    bool lookedUp = false;
    EXPECT_EQ(ConnectEnd(s, "localhost", listener.port, &lookedUp), 0);
    EXPECT_TRUE(lookedUp);
    EXPECT_EQ(s.Descriptor(), socketFd);
    EXPECT_TRUE(s.ConnectWaitsForWrite());
    // Closed during a lookup: nothing is left watched or pending.
    CPosixStreamSocket given;
    ASSERT_EQ(given.Create(), 0);
    EXPECT_EQ(given.StartConnect("localhost", listener.port), EINPROGRESS);
    given.Close();
    EXPECT_EQ(given.Descriptor(), -1);
}

TEST(PosixStreamSocketTest, KeepAliveIsOnAndTheSocketNeverBlocks) {
    CPosixStreamSocket s;
    ASSERT_EQ(s.Create(), 0);
    int on = 0;
    socklen_t len = sizeof on;
    ASSERT_EQ(getsockopt(s.Descriptor(), SOL_SOCKET, SO_KEEPALIVE, &on, &len), 0);
    EXPECT_EQ(on, 1);
    Listener l;
    ASSERT_EQ(Connected(s, l.port), 0);
    uint8_t b = 0;
    EXPECT_EQ(s.Receive(&b, 1), -1);  // nothing waiting: at once
    EXPECT_EQ(s.LastError(), EAGAIN);
    EXPECT_FALSE(s.WaitReadable(10));
}

TEST(PosixStreamSocketTest, CarriesBytesAndReportsThePeerClosingWithoutASignal) {
    Listener l;
    CPosixStreamSocket s;
    ASSERT_EQ(s.Create(), 0);
    ASSERT_EQ(Connected(s, l.port), 0);
    int peer = accept(l.fd, nullptr, nullptr);
    ASSERT_GE(peer, 0);

    const uint8_t out[] = {0xFF, 0xFB, 0x18};
    EXPECT_EQ(s.Send(out, 3), 3);
    uint8_t in[8] = {};
    ASSERT_EQ(read(peer, in, sizeof in), 3);
    EXPECT_EQ(in[0], 0xFF);

    ASSERT_EQ(write(peer, "ok", 2), 2);
    ASSERT_TRUE(s.WaitReadable(2000));
    EXPECT_EQ(s.Receive(in, sizeof in), 2);

    close(peer);
    ASSERT_TRUE(s.WaitReadable(2000));
    EXPECT_EQ(s.Receive(in, sizeof in), 0);
    // Writing to a peer that has gone must fail with an error, not kill the process.
    std::vector<uint8_t> lots(1 << 16, 'x');
    ssize_t r = 0;
    for (int i = 0; i < 50 && r >= 0; ++i) r = s.Send(lots.data(), lots.size());
    EXPECT_EQ(r, -1);
    EXPECT_TRUE(s.LastError() == EPIPE || s.LastError() == ECONNRESET) << s.LastError();
}

}  // namespace
}  // namespace tavrin
