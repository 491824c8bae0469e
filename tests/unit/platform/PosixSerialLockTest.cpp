// Port locking and a device that goes away, on ptys.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/PosixSerialDevice.h"

namespace tavrin {
namespace {

struct Pty {
    Pty() {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~Pty() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }
    int master = -1, slave = -1;
    std::string path;
};

// Another program holding the port with the usual lock, until the test ends it.
class LockingProcess {
public:
    explicit LockingProcess(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid = fork();
        if (pid == 0) {
            int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
            const char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
            (void)!write(ready[1], &ok, 1);
            for (;;) pause();
        }
        char ok = '0';
        if (pid > 0) (void)!read(ready[0], &ok, 1);
        close(ready[0]);
        close(ready[1]);
        locked = ok == '1';
    }
    ~LockingProcess() { End(); }
    void End() {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    pid_t pid = -1;
    bool locked = false;
};

SerialParams Line() {
    return SerialParams{};
}

TEST(PosixSerialLockTest, ALockedPortFailsBusyNamingItsHolder) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    LockingProcess other(pty.path);
    ASSERT_TRUE(other.locked);
    CPosixSerialDevice device;
    EXPECT_EQ(device.Open(pty.path, Line()), EBUSY);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_NE(device.BusyHolder().find("(pid " + std::to_string(other.pid) + ")"), std::string::npos)
        << device.BusyHolder();
    other.End();
    EXPECT_EQ(device.Open(pty.path, Line()), 0);
    EXPECT_TRUE(device.BusyHolder().empty());
}

TEST(PosixSerialLockTest, TwoDevicesNeverShareAPortEvenForRoot) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    CPosixSerialDevice first, second;
    ASSERT_EQ(first.Open(pty.path, Line()), 0);
    EXPECT_EQ(second.Open(pty.path, Line()), EBUSY);
    // The holder is this very process, which is not named as another program.
    EXPECT_TRUE(second.BusyHolder().empty());
    first.Close();
    EXPECT_EQ(second.Open(pty.path, Line()), 0);
    // The lock goes with the descriptor: another program may lock the port again afterwards.
    second.Close();
    int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

TEST(PosixSerialLockTest, AVanishedDeviceIsReportedAndNeverTouchedAgain) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    close(pty.slave);
    pty.slave = -1;
    CPosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.path, Line()), 0);
    // Bytes queued while the device works do not count as a hang-up.
    ASSERT_EQ(write(pty.master, "ab", 2), 2);
    usleep(50000);
    EXPECT_EQ(device.LineError(), 0);
    uint8_t buffer[8] = {};
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(device.LineError(), 0);
    close(pty.master);
    pty.master = -1;
    const int error = device.LineError();
    EXPECT_TRUE(error == EIO || error == EPIPE) << error;
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0u);
    const uint8_t lf = 0x0A;
    EXPECT_EQ(device.Write(&lf, 1), 0u);
    EXPECT_EQ(device.Queued(), 0u);
    EXPECT_EQ(device.LineError(), error);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.LineError(), 0);
}

}  // namespace
}  // namespace tavrin
