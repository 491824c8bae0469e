// A misbehaving controller on the serial line: the test plays the controller on the master side
// of a pty and sends transfer requests naming files outside the transfer folder. The terminal
// must refuse them in the reply's status and touch nothing outside.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "e2e/HeadlessSerialSession.h"

namespace tavrin::testing {
namespace {

constexpr uint8_t kEnq = 0x05, kAck = 0x06, kNak = 0x15, kStx = 0x02, kEot = 0x04;
constexpr int kBadPath = -1028;
constexpr int kNoOpenFile = -1014;
using Bytes = std::string;

// The controller's half of the serial record exchange, one request and its reply at a time.
class ControllerPeer {
public:
    explicit ControllerPeer(int master) : fd(master) {}

    int ReadByte(int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return -1;
        uint8_t b;
        return ::read(fd, &b, 1) == 1 ? b : -1;
    }
    // Waits for the byte, skipping others (the console's echo traffic), for up to timeoutMs.
    bool Expect(uint8_t wanted, int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            int b = ReadByte(50);
            if (b == wanted) return true;
        }
        return false;
    }
    void Write(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    static Bytes Record(char letter, const Bytes& data) {
        const auto length = static_cast<uint16_t>(data.size());
        const auto complement = static_cast<uint16_t>(~length);
        Bytes r{static_cast<char>(kStx),
                letter,
                static_cast<char>(length >> 8),
                static_cast<char>(length),
                static_cast<char>(complement >> 8),
                static_cast<char>(complement)};
        uint8_t sum = 0;
        for (char c : data) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        return r + data + static_cast<char>(0xFF - sum);
    }

    // Sends one request and reads the terminal's reply record. False when the exchange broke.
    bool Exchange(char letter, const Bytes& data, Bytes& reply) {
        Write(Bytes(1, static_cast<char>(kEnq)));
        if (!Expect(kAck, 3000)) return false;
        Write(Record(letter, data));
        if (ReadByte(3000) != kAck) return false;
        Write(Bytes(1, static_cast<char>(kEot)));
        // The reply: ENQ, our ACK, the record, our ACK, EOT.
        if (!Expect(kEnq, 10000)) return false;
        Write(Bytes(1, static_cast<char>(kAck)));
        if (ReadByte(3000) != kStx || ReadByte(1000) != letter) return false;
        int header[4];
        for (int& h : header)
            if ((h = ReadByte(1000)) < 0) return false;
        const int length = header[0] << 8 | header[1];
        if (length + (header[2] << 8 | header[3]) != 0xFFFF) return false;
        reply.clear();
        uint8_t sum = 0;
        for (int i = 0; i < length; ++i) {
            int b = ReadByte(1000);
            if (b < 0) return false;
            reply += static_cast<char>(b);
            sum = static_cast<uint8_t>(sum + b);
        }
        int check = ReadByte(1000);
        if (check < 0 || static_cast<uint8_t>(sum + check) != 0xFF) {
            Write(Bytes(1, static_cast<char>(kNak)));
            return false;
        }
        Write(Bytes(1, static_cast<char>(kAck)));
        return ReadByte(3000) == kEot;
    }

private:
    int fd;
};

int32_t StatusAt(const Bytes& reply, size_t at) {
    if (reply.size() < at + 4) return 1;  // no status: never success
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(reply[at + i]);
    return static_cast<int32_t>(v);
}

// The status of an open reply: after the 12-byte name field of the compact form or the
// 128-byte one.
int32_t OpenStatus(const std::string& name, const Bytes& reply) {
    return StatusAt(reply, name.size() < 12 ? 12 : 128);
}

Bytes NameData(const std::string& name) {
    return name + '\0';
}

Bytes WriteBlock(uint32_t sequence, const Bytes& block) {
    Bytes r{0,
            static_cast<char>(sequence >> 16),
            static_cast<char>(sequence >> 8),
            static_cast<char>(sequence),
            0,
            0,
            static_cast<char>(block.size() >> 8),
            static_cast<char>(block.size())};
    return r + block;
}

Bytes CloseRequest(uint32_t sequence) {
    return Bytes{0, static_cast<char>(sequence >> 16), static_cast<char>(sequence >> 8),
                 static_cast<char>(sequence)};
}

class HeadlessSerialNamesE2E : public ::testing::Test {
protected:
    void SetUp() override {
        char name[128] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        // Only the terminal holds the slave open.
        ::close(slave);
        // The peer plays a controller that pushes programs on its own: the setting has its
        // requests served without a command, so what refuses them here is the name alone.
        s.StartTerminal(name, "COM3:115200:8:1:none", "[Settings]\r\nAcceptControllerTransfers=1\r\n");
        peer = std::make_unique<ControllerPeer>(master);
        // The terminal opens the port, purges it and greets the controller with a line feed.
        ASSERT_TRUE(peer->Expect(0x0A, 5000)) << s.tavrin->Output() << s.tavrin->Errors();
        peer->Write("peer controller\r\n>");
        ASSERT_TRUE(s.tavrin->WaitForOutput("peer controller\n", 3000)) << s.tavrin->Output();
        ::mkdir((s.Work() + "/sub").c_str(), 0755);
        WriteWholeFile(s.folder / "victim.as", "victim");
        WriteWholeFile(s.folder / "secret.txt", "secret");
    }
    void TearDown() override {
        if (s.tavrin) {
            EXPECT_EQ(s.Finish(), 0);
        }
        s.tavrin.reset();
        if (master >= 0) ::close(master);
    }

    HeadlessSerialSession s;
    int master = -1, slave = -1;
    std::unique_ptr<ControllerPeer> peer;
};

TEST_F(HeadlessSerialNamesE2E, NamesReachingOutsideTheFolderAreRefusedAndNothingOutsideChanges) {
    struct Case {
        char letter;  // A open for reading, B create, F delete
        std::string name;
        int32_t status;
    };
    const Case cases[] = {
        {'B', "good.as", 0},  // the control row: the exchange itself works
        {'B', "../escape.as", kBadPath},
        {'B', "sub/inner.as", kBadPath},
        {'B', "..\\escape.as", kBadPath},
        {'B', s.folder / "absolute.as", kBadPath},
        {'B', "..", kBadPath},
        {'B', ".profile", kBadPath},
        {'B', "two\r\nlines.as", kBadPath},
        {'A', "../secret.txt", kBadPath},
        {'A', s.folder / "secret.txt", kBadPath},
        {'F', "../victim.as", kBadPath},
        {'F', s.folder / "victim.as", kBadPath},
    };
    uint32_t sequence = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.letter) + " " + c.name);
        Bytes reply;
        ASSERT_TRUE(peer->Exchange(c.letter, NameData(c.name), reply)) << s.tavrin->Output();
        EXPECT_EQ(c.letter == 'F' ? StatusAt(reply, 0) : OpenStatus(c.name, reply), c.status);
        if (c.letter == 'F') continue;
        // A refused open leaves no file open: the next block is refused as well.
        const Bytes block = c.letter == 'B' ? WriteBlock(++sequence, "HOME\n") : CloseRequest(++sequence);
        ASSERT_TRUE(peer->Exchange(c.letter == 'B' ? 'D' : 'C', block, reply));
        EXPECT_EQ(StatusAt(reply, 0), c.status == 0 ? 0 : kNoOpenFile);
        if (c.letter == 'A') {
            EXPECT_EQ(reply.size(), 8u) << "no data from a refused file";
        }
        ASSERT_TRUE(peer->Exchange('E', CloseRequest(++sequence), reply));
        EXPECT_EQ(StatusAt(reply, 0), c.status == 0 ? 0 : kNoOpenFile);
    }

    EXPECT_EQ(ReadWholeFile(s.Work() + "/good.as"), "HOME\n");
    EXPECT_EQ(ReadWholeFile(s.folder / "victim.as"), "victim");
    EXPECT_EQ(ReadWholeFile(s.folder / "secret.txt"), "secret");
    // Nothing new appeared anywhere but the one good file.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(s.folder.Path()))
        if (entry.is_regular_file())
            files.push_back(entry.path().lexically_relative(s.folder.Path()).string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"secret.txt", "victim.as", "work/good.as", "work/tavrin.ini"}));
}

}  // namespace
}  // namespace tavrin::testing
