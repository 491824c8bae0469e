#include "platform/posix/PosixSerialDevice.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace tavrin {
namespace {

// A pty pair: the device under test opens the slave by name, the test plays the peer on the
// master and inspects the slave's settings through its own slave descriptor.
class PtyPair {
public:
    PtyPair() {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
        if (master >= 0) fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
    bool Ok() const { return !path.empty(); }
    // Reads what the master has within about timeoutMs.
    std::vector<uint8_t> ReadMaster(size_t want, int timeoutMs = 2000) {
        std::vector<uint8_t> got;
        while (got.size() < want) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) break;
            uint8_t buffer[4096];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }
    int master = -1, slave = -1;
    std::string path;
};

SerialParams Params(int baud, int dataBits, int stopCode, int parity) {
    SerialParams p;
    p.baud = baud;
    p.dataBits = dataBits;
    p.stopBitsCode = stopCode;
    p.parityCode = parity;
    return p;
}

// Waits until the slave's input queue holds at least n bytes (the pty moves them asynchronously).
bool WaitQueued(CPosixSerialDevice& device, size_t n) {
    for (int i = 0; i < 200 && device.Queued() < n; ++i) usleep(5000);
    return device.Queued() >= n;
}

struct FrameCase {
    int baud, dataBits, stopCode, parity;
    tcflag_t size;
    tcflag_t parityFlags;  // of PARENB | PARODD | CMSPAR
    bool twoStops;
};

const FrameCase kFrames[] = {
    {9600, 8, 0, 0, CS8, 0, false},
    {110, 7, 2, 2, CS7, PARENB, true},
    {115200, 8, 1, 1, CS8, PARENB | PARODD, true},  // 1.5 stop bits run as two
    {19200, 7, 0, 3, CS7, PARENB | PARODD | CMSPAR, false},
    {38400, 6, 2, 4, CS6, PARENB | CMSPAR, true},
    {300, 5, 0, 2, CS5, PARENB, false},
    {14400, 8, 0, 0, CS8, 0, false},
    {128000, 8, 2, 0, CS8, 0, true},
    {256000, 7, 0, 2, CS7, PARENB, false},
    {4000000, 8, 0, 0, CS8, 0, false},
};

// With any parity: no input checking, so a byte with a parity or framing error is passed on as
// received rather than as 0x00 (or dropped, or marked).
void ExpectRawWithoutFlowControl(const termios& t, int parity) {
    EXPECT_EQ(t.c_iflag & INPCK, 0u) << "parity " << parity;
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | IGNPAR), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

// A pty keeps no frame (its driver reports CS8 without parity), so the frame is checked here as
// built; what a pty does keep is read back end to end in SerialPtyE2E.
TEST(PosixSerialDeviceTest, BuildsEveryFrameAsARawLineWithoutFlowControl) {
    for (const FrameCase& c : kFrames) {
        SCOPED_TRACE(testing::Message()
                     << c.baud << " " << c.dataBits << " " << c.stopCode << " " << c.parity);
        termios t{};
        t.c_iflag = IXON | IXOFF | ICRNL | IGNPAR;  // what a fresh tty may start with
        t.c_cflag = CRTSCTS | CS8 | PARENB | CSTOPB | HUPCL;
        t.c_lflag = ICANON | ECHO | ISIG;
        t.c_oflag = OPOST | ONLCR;
        ASSERT_EQ(MakeLineSettings(Params(c.baud, c.dataBits, c.stopCode, c.parity), t), 0);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
        ExpectRawWithoutFlowControl(t, c.parity);
    }
}

TEST(PosixSerialDeviceTest, RefusesFramesATtyCannotCarry) {
    struct Case {
        SerialParams params;
        const char* why;
    };
    const Case cases[] = {
        {Params(9600, 4, 0, 0), "four data bits"},    {Params(9600, 9, 0, 0), "nine data bits"},
        {Params(0, 8, 0, 0), "rate 0 would hang up"}, {Params(-9600, 8, 0, 0), "negative rate"},
        {Params(9600, 8, 0, 5), "unknown parity"},
    };
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CPosixSerialDevice device;
    for (const Case& c : cases) {
        EXPECT_EQ(device.Open(pty.path, c.params), EINVAL) << c.why;
        EXPECT_FALSE(device.IsOpen()) << c.why;
        EXPECT_EQ(device.Descriptor(), -1);
    }
    // The refused open left the tty free for the next one.
    EXPECT_EQ(device.Open(pty.path, Params(9600, 8, 0, 0)), 0);
}

TEST(PosixSerialDeviceTest, ReportsWhyAPathCannotBeOpened) {
    char file[] = "/tmp/tavrin-notatty-XXXXXX";
    int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    struct Case {
        std::string path;
        int error;
    };
    const Case cases[] = {{"/dev/ttyDoesNotExist9", ENOENT}, {"", ENOENT}, {file, ENOTTY}, {"/tmp", EISDIR}};
    CPosixSerialDevice device;
    for (const Case& c : cases) {
        EXPECT_EQ(device.Open(c.path, Params(9600, 8, 0, 0)), c.error) << c.path;
        EXPECT_FALSE(device.IsOpen());
    }
    std::remove(file);
}

TEST(PosixSerialDeviceTest, HoldsTheTtyExclusivelyWhileOpen) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens an exclusive tty all the same";
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CPosixSerialDevice first, second;
    ASSERT_EQ(first.Open(pty.path, Params(9600, 8, 0, 0)), 0);
    EXPECT_EQ(second.Open(pty.path, Params(9600, 8, 0, 0)), EBUSY);
    first.Close();
    EXPECT_EQ(second.Open(pty.path, Params(9600, 8, 0, 0)), 0);
}

TEST(PosixSerialDeviceTest, MarksTheTtyExclusiveOnlyWhileOpen) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    int exclusive = -1;
    if (ioctl(pty.slave, TIOCGEXCL, &exclusive) != 0) GTEST_SKIP() << "no TIOCGEXCL here";
    EXPECT_EQ(exclusive, 0);
    CPosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.path, Params(9600, 8, 0, 0)), 0);
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    device.Close();
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST(PosixSerialDeviceTest, RaisesDtrAndRtsWhereTheTtyHasModemLines) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CPosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.path, Params(9600, 8, 0, 0)), 0);
    int lines = 0;
    if (ioctl(device.Descriptor(), TIOCMGET, &lines) != 0) GTEST_SKIP() << "this tty has no modem lines";
    EXPECT_NE(lines & TIOCM_DTR, 0);
    EXPECT_NE(lines & TIOCM_RTS, 0);
}

TEST(PosixSerialDeviceTest, PassesEveryByteValueUnchangedBothWays) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CPosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.path, Params(9600, 8, 0, 0)), 0);
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);

    EXPECT_EQ(device.Write(all.data(), all.size()), all.size());
    EXPECT_EQ(pty.ReadMaster(all.size()), all);

    ASSERT_EQ(write(pty.master, all.data(), all.size()), 256);
    ASSERT_TRUE(WaitQueued(device, all.size()));
    std::vector<uint8_t> got(512);
    size_t n = device.Read(got.data(), got.size());
    got.resize(n);
    EXPECT_EQ(got, all);  // XON, XOFF, CR, ^C and 0xFF included
}

TEST(PosixSerialDeviceTest, ReadsNeverWaitAndPurgeDiscardsWhatIsQueued) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CPosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.path, Params(9600, 8, 0, 0)), 0);
    uint8_t buffer[64];
    EXPECT_EQ(device.Queued(), 0u);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0u);

    ASSERT_EQ(write(pty.master, "hello", 5), 5);
    ASSERT_TRUE(WaitQueued(device, 5));
    EXPECT_EQ(device.Queued(), 5u);
    device.Purge();
    EXPECT_EQ(device.Queued(), 0u);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0u);
}

TEST(PosixSerialDeviceTest, AWriteThePeerNeverTakesGivesUpWithWhatWasTaken) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CPosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.path, Params(9600, 8, 0, 0)), 0);
    std::vector<uint8_t> lots(1 << 20, 'z');  // far more than the pty buffers; nobody reads
    size_t taken = device.Write(lots.data(), lots.size());
    EXPECT_GT(taken, 0u);
    EXPECT_LT(taken, lots.size());
    EXPECT_EQ(device.LastWriteError(), ETIMEDOUT);
    EXPECT_EQ(device.Write(lots.data(), 0), 0u);
    EXPECT_EQ(device.LastWriteError(), 0);
}

TEST(PosixSerialDeviceTest, ClosedDeviceDoesNothingAndCanBeReopened) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    CPosixSerialDevice device;
    uint8_t b = 'x';
    device.Close();
    device.Purge();
    EXPECT_EQ(device.Write(&b, 1), 0u);
    EXPECT_EQ(device.Read(&b, 1), 0u);
    EXPECT_EQ(device.Queued(), 0u);
    ASSERT_EQ(device.Open(pty.path, Params(9600, 8, 0, 0)), 0);
    int firstFd = device.Descriptor();
    EXPECT_GE(firstFd, 0);
    ASSERT_EQ(device.Open(pty.path, Params(19200, 7, 2, 2)), 0);  // reopen while open
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(SerialLineSpeed(pty.slave), 19200);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(fcntl(firstFd, F_GETFD), -1);  // no descriptor leaked by the reopen
}

}  // namespace
}  // namespace tavrin
