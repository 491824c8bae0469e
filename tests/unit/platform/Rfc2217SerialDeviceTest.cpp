#include "platform/posix/Rfc2217SerialDevice.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tavrin {
namespace {

using Bytes = std::vector<uint8_t>;
using C = CRfc2217Codec;

// A serial device server played by a thread: accepts one client, waits for its COM-PORT offer,
// sends answer, then keeps what the client sends until the client closes or closeAfterMs passes.
class FakeServer {
public:
    FakeServer(Bytes answer, int closeAfterMs) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 1);
        socklen_t len = sizeof a;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, answer, closeAfterMs] { Run(answer, closeAfterMs); });
    }
    ~FakeServer() {
        if (thread_.joinable()) thread_.join();
        close(listener_);
    }
    std::string Path() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    // What the client sent, once the server has ended.
    const Bytes& Received() {
        if (thread_.joinable()) thread_.join();
        return received_;
    }

private:
    void Run(const Bytes& answer, int closeAfterMs) {
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(closeAfterMs);
        bool answered = false;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                uint8_t buffer[4096];
                const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                received_.insert(received_.end(), buffer, buffer + n);
            }
            if (!answered && received_.size() >= 15) {  // the client's five offers
                send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
                answered = true;
            }
        }
        close(fd);
    }

    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    Bytes received_;
};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes Sub(uint8_t command, Bytes value) {
    return Cat({{C::kIac, C::kSb, C::kComPort, command}, value, {C::kIac, C::kSe}});
}
// A server that agrees to everything and confirms 9600 8N1.
Bytes Agreeing() {
    return Cat({{C::kIac, C::kDo, C::kComPort, C::kIac, C::kDo, C::kBinary, C::kIac, C::kWill, C::kBinary},
                Sub(101, {0, 0, 0x25, 0x80}),
                Sub(102, {8}),
                Sub(103, {1}),
                Sub(104, {1})});
}

// Carries the open on at readiness, as the event loop would, until it ends (at most 3 s).
int FinishOpen(CRfc2217SerialDevice& device, int rc) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (rc == EINPROGRESS && std::chrono::steady_clock::now() < end) {
        pollfd p{device.Descriptor(), static_cast<short>(device.OpenWaitsForWrite() ? POLLOUT : POLLIN), 0};
        poll(&p, 1, std::min(device.OpenTimeLeftMs(), 100));
        rc = device.ContinueOpen();
    }
    return rc;
}

SerialParams N81() {
    SerialParams p;
    p.baud = 9600;
    p.dataBits = 8;
    return p;
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST(Rfc2217SerialDeviceTest, OpensAfterTheServerConfirmsAndCarriesEveryByte) {
    // After the negotiation the server sends data with an escaped 0xFF, then closes.
    FakeServer server(Cat({Agreeing(), {'o', 'k', C::kIac, C::kIac, '\r'}}), 500);
    CRfc2217SerialDevice device;
    ASSERT_EQ(FinishOpen(device, device.Open(server.Path(), N81())), 0) << device.FailureText(true);
    Bytes got;
    uint8_t buffer[64];
    while (got.size() < 4 && device.WaitReadable(1000) == 1) {
        const size_t n = device.Read(buffer, sizeof buffer);
        got.insert(got.end(), buffer, buffer + n);
    }
    EXPECT_EQ(got, Bytes({'o', 'k', 0xFF, '\r'}));
    const uint8_t out[] = {0x02, 0xFF, 0x0D, 0x00, 0xFF};
    EXPECT_EQ(device.Write(out, sizeof out), sizeof out);
    device.Purge();
    EXPECT_EQ(device.WaitReadable(1000), -1);
    // The server closed: the line's end.
    EXPECT_EQ(device.LineError(), EPIPE);
    EXPECT_FALSE(device.FailureText(true).empty());
    device.Close();
    const Bytes& sent = server.Received();
    EXPECT_TRUE(Contains(sent, {0x02, 0xFF, 0xFF, 0x0D, 0x00, 0xFF, 0xFF}));
    EXPECT_TRUE(Contains(sent, Sub(C::kSetControl, {C::kDtrOn})));
    EXPECT_TRUE(Contains(sent, Sub(C::kPurgeData, {3})));
}

// A server given by name: the lookup runs on a thread of its own, the open watching its
// descriptor for reading.
TEST(Rfc2217SerialDeviceTest, OpensAServerGivenByName) {
    FakeServer server(Agreeing(), 500);
    const std::string byName =
        "rfc2217://localhost:" + server.Path().substr(std::string("rfc2217://127.0.0.1:").size());
    CRfc2217SerialDevice device;
    const int started = device.Open(byName, N81());
    ASSERT_EQ(started, EINPROGRESS);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_FALSE(device.OpenWaitsForWrite());
    EXPECT_GE(device.Descriptor(), 0);
    EXPECT_EQ(FinishOpen(device, started), 0) << device.FailureText(true);
    // Closed while the name is looked up: nothing is left open.
    CRfc2217SerialDevice given;
    ASSERT_EQ(given.Open(byName, N81()), EINPROGRESS);
    given.Close();
    EXPECT_FALSE(given.IsOpen());
    EXPECT_EQ(given.Descriptor(), -1);
}

TEST(Rfc2217SerialDeviceTest, OpenFailuresSayWhy) {
    const struct {
        const char* name;
        Bytes answer;
        int error;
        const char* words;  // in BusyHolder() for EBUSY, else in FailureText()
    } cases[] = {
        {"port in use",
         {'P', 'o', 'r', 't', ' ', 'a', 'l', 'r', 'e',  'a', 'd',
          'y', ' ', 'i', 'n', ' ', 'u', 's', 'e', '\r', '\n'},
         EBUSY,
         "Port already in use"},
        {"option refused", {C::kIac, C::kDont, C::kComPort}, EINVAL, "COM-PORT-OPTION"},
        {"another rate", Cat({{C::kIac, C::kDo, C::kComPort}, Sub(101, {0, 0, 0x4B, 0})}), EINVAL,
         "9600 baud"},
        {"closed without a word", {}, EPIPE, "before agreeing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server(c.answer, 200);
        CRfc2217SerialDevice device;
        EXPECT_EQ(FinishOpen(device, device.Open(server.Path(), N81())), c.error);
        EXPECT_FALSE(device.IsOpen());
        const std::string text = c.error == EBUSY ? device.BusyHolder() : device.FailureText(true);
        EXPECT_NE(text.find(c.words), std::string::npos) << text;
    }
}

TEST(Rfc2217SerialDeviceTest, AddressesThatCannotBeReached) {
    CRfc2217SerialDevice device;
    EXPECT_EQ(device.Open("rfc2217://127.0.0.1", N81()), EINVAL);
    EXPECT_EQ(device.Open("rfc2217://[::1:4001", N81()), EINVAL);
    // Nobody listens on the port of a listener just closed.
    int port = 0;
    {
        FakeServer probe({}, 0);
        port = std::stoi(probe.Path().substr(std::string("rfc2217://127.0.0.1:").size()));
        CRfc2217SerialDevice client;
        FinishOpen(client, client.Open(probe.Path(), N81()));
    }
    EXPECT_EQ(FinishOpen(device, device.Open("rfc2217://127.0.0.1:" + std::to_string(port), N81())),
              ECONNREFUSED);
}

}  // namespace
}  // namespace tavrin
