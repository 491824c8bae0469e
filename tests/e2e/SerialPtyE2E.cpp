// The serial path end to end on a real pty: connection control opens the slave through the
// settings file's [Ports] mapping with the real termios device, and the test plays the
// controller on the master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "app/Language.h"
#include "link/ConnectionControl.h"
#include "link/LinkChannel.h"
#include "link/SerialChannel.h"
#include "platform/posix/PosixSerialDevice.h"
#include "platform/posix/SteadyClock.h"

namespace tavrin {
namespace {

using testing::RecordingShell;

class SerialPtyE2E : public ::testing::Test {
protected:
    void SetUp() override {
        SetCurrentLanguage(1);
        char name[128] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        slavePath = name;
        char pattern[] = "/tmp/tavrin-pty-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        profile = folder + "/tavrin.ini";
        std::ofstream(profile, std::ios::binary)
            << "[Ports]\r\nCOM5=" << slavePath << "\r\nCOM6=/dev/ttyTavrinMissing\r\n";
        ConnectionHooks hooks;
        hooks.printLocalText = [this](const std::string& t) { printed += t; };
        control.SetHooks(hooks);
    }
    void TearDown() override {
        control.DisconnectLink();
        close(slave);
        close(master);
        std::remove(profile.c_str());
        rmdir(folder.c_str());
    }
    std::vector<uint8_t> ReadMaster(size_t want) {
        std::vector<uint8_t> got;
        while (got.size() < want) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            uint8_t buffer[4096];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    // Waits (real time) until the slave has n bytes queued for us.
    bool WaitQueued(size_t n) {
        for (int i = 0; i < 400; ++i) {
            int q = 0;
            if (ioctl(slave, FIONREAD, &q) == 0 && static_cast<size_t>(q) >= n) return true;
            usleep(5000);
        }
        return false;
    }

    int master = -1, slave = -1;
    std::string slavePath, folder, profile;
    CPelinDoc doc;
    ViewState view;
    CSteadyClock clock;
    RecordingShell shell;
    CPosixSerialDevice device;
    CSerialChannel serial{device, clock, [this] { return profile; }};
    CLinkChannel link{doc, serial, shell};
    CConnectionControl control{doc, view, serial, link, shell, clock, nullptr};
    std::string printed;
};

TEST_F(SerialPtyE2E, ConnectingOpensTheMappedTtyWithTheConnectionsFrameAndSendsALineFeed) {
    struct Case {
        const char* text;
        int speed;
        tcflag_t parityKind;  // PARODD | CMSPAR as the pty keeps them
        bool twoStops;
    };
    const Case cases[] = {
        {"COM5:9600:8:1:none", 9600, 0, false},
        {"COM5:115200:7:2:mark", 115200, PARODD | CMSPAR, true},
        {"COM5:19200:8:1:space", 19200, CMSPAR, false},
        {"COM5:38400:7:1.5:odd", 38400, PARODD, true},
        {"COM5:256000:8:2:even", 256000, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        control.ConnectByItem(c.text);
        ASSERT_EQ(doc.connected, 1);
        EXPECT_TRUE(shell.boxes.empty());
        EXPECT_EQ(ReadMaster(1), std::vector<uint8_t>{0x0A});
        termios t{};
        ASSERT_EQ(tcgetattr(slave, &t), 0);
        EXPECT_EQ(SerialLineSpeed(slave), c.speed);
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), c.parityKind);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
        // Bytes with a parity or framing error are passed on as received: no input checking.
        EXPECT_EQ(t.c_iflag & INPCK, 0u);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        control.OnComCommand(kCmdDisconnect);
        EXPECT_EQ(doc.connected, 0);
        EXPECT_FALSE(serial.IsOpen());
    }
}

TEST_F(SerialPtyE2E, BytesTravelUnchangedBothWays) {
    control.ConnectByItem("COM5:9600:8:1:none");
    ASSERT_EQ(doc.connected, 1);
    ReadMaster(1);
    const std::vector<uint8_t> typed = {'s', 'a', 'v', 'e', 0x0D, 0x11, 0x13, 0x03, 0x00, 0xFF};
    link.SendLinkBytes(typed.data(), typed.size());
    EXPECT_EQ(ReadMaster(typed.size()), typed);

    const uint8_t reply[] = {0xFF, '>', 0x0D, 0x0A, 0x11};
    ASSERT_EQ(write(master, reply, sizeof reply), 5);
    ASSERT_TRUE(WaitQueued(sizeof reply));
    uint8_t got[8] = {};
    ASSERT_EQ(serial.ReadComPort(got, sizeof got), static_cast<int>(sizeof reply));
    EXPECT_EQ(std::vector<uint8_t>(got, got + sizeof reply),
              std::vector<uint8_t>(reply, reply + sizeof reply));
    EXPECT_EQ(serial.ReadComPort(got, sizeof got), 0);
}

TEST_F(SerialPtyE2E, ThePollDrainsMoreThanOneChunkInSeveralReads) {
    control.ConnectByItem("COM5:115200:8:1:none");
    ASSERT_EQ(doc.connected, 1);
    ReadMaster(1);
    std::vector<uint8_t> sent(20000);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i % 251);
    // The pty holds only a few kilobytes at a time, so the controller side writes while the
    // terminal side polls.
    std::thread controller([&] {
        size_t off = 0;
        while (off < sent.size()) {
            ssize_t n = write(master, sent.data() + off, sent.size() - off);
            if (n > 0) off += static_cast<size_t>(n);
        }
    });
    std::vector<uint8_t> got;
    int reads = 0;
    for (int polls = 0; polls < 4000 && got.size() < sent.size(); ++polls) {
        serial.DrainComPort([&](const uint8_t* chunk, int n) {
            ++reads;
            EXPECT_LE(n, CSerialChannel::kSerialChunk);
            got.insert(got.end(), chunk, chunk + n);
        });
        usleep(1000);
    }
    controller.join();
    EXPECT_EQ(got, sent);
    EXPECT_GT(reads, 1);
}

TEST_F(SerialPtyE2E, PurgeDiscardsWhatTheControllerSent) {
    control.ConnectByItem("COM5:9600:8:1:none");
    ASSERT_EQ(doc.connected, 1);
    ReadMaster(1);
    ASSERT_EQ(write(master, "stale output", 12), 12);
    ASSERT_TRUE(WaitQueued(12));
    link.PurgeComPort();
    EXPECT_EQ(serial.DrainComPort(nullptr), 0u);
}

TEST_F(SerialPtyE2E, WithoutAPortEveryOperationReturnsNothingQuietly) {
    uint8_t buffer[8];
    const uint8_t b = 'x';
    serial.CloseComPort();
    EXPECT_EQ(serial.WriteComPort(&b, 1), 0u);
    EXPECT_EQ(serial.ReadComPort(buffer, 8), 0);
    serial.PurgeComPort();
    link.SendLinkByte(b);
    control.DisconnectLink();
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_TRUE(printed.empty());
}

TEST_F(SerialPtyE2E, AMissingDeviceIsReportedByName) {
    control.ConnectByItem("COM6:9600:8:1:none");
    EXPECT_EQ(doc.connected, 0);
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "COM device open error.\n\r");
    EXPECT_NE(printed.find("/dev/ttyTavrinMissing does not exist."), std::string::npos) << printed;
}

}  // namespace
}  // namespace tavrin
