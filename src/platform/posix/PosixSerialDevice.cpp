#include "platform/posix/PosixSerialDevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>

namespace tavrin {

namespace {

// Asks the driver to pass received bytes on at once. USB adapters otherwise hold a short
// reply (an ENQ, an ACK) for their latency timer before handing it over (16 ms by default on
// the common FTDI chips), once per turn of every transfer exchange. True when the flag was
// added here, to be taken off at close; ptys and drivers without the call are left alone.
bool AddLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY) != 0) return false;
    info.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &info) == 0;
}

void RemoveLowLatency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    info.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);
}

// Character-device majors of the Unix98 pty slaves (/dev/pts/N).
constexpr unsigned int kPtySlaveMajorFirst = 136;
constexpr unsigned int kPtySlaveMajorLast = 143;

struct SpeedName {
    int baud;
    speed_t constant;
};

// Every rate termios names on Linux.
constexpr std::array<SpeedName, 31> kSpeeds{{
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
    {0, B0},
}};

// The B constant of baud, or B0 when termios has none for it.
speed_t SpeedConstant(int baud) {
    for (const SpeedName& s : kSpeeds) {
        if (s.baud == baud && baud > 0) return s.constant;
    }
    return B0;
}

tcflag_t SizeFlag(int dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

// Raises or lowers modem lines. Ptys and some adapters have none (ENOTTY, EINVAL); a line
// works without them, so no failure here stops the port.
void SetModemLines(int fd, unsigned long request, int lines) {
    int bits = lines;
    (void)ioctl(fd, request, &bits);
}

}  // namespace

int MakeLineSettings(const SerialParams& params, termios& settings) {
    if (params.baud <= 0) return EINVAL;
    if (params.dataBits < 5 || params.dataBits > 8) return EINVAL;
    if (params.parityCode < 0 || params.parityCode > 4) return EINVAL;
    cfmakeraw(&settings);
    // No input parity checking: a byte received with a parity or framing error is passed on as
    // it came (with INPCK the line discipline would turn it into 0x00).
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | SizeFlag(params.dataBits);
    switch (params.parityCode) {
        case 1: settings.c_cflag |= PARENB | PARODD; break;
        case 2: settings.c_cflag |= PARENB; break;
        case 3: settings.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 4: settings.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }
    // One and a half stop bits cannot be set on a tty; two is the nearer frame for a receiver.
    if (params.stopBitsCode != 0) settings.c_cflag |= CSTOPB;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t named = SpeedConstant(params.baud);
    if (named != B0) {
        cfsetispeed(&settings, named);
        cfsetospeed(&settings, named);
    }
    return 0;
}

bool IsPtySlave(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned int m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

int ConfigureSerialLine(int fd, const SerialParams& params) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return errno;
    int rc = MakeLineSettings(params, settings);
    if (rc != 0) return rc;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return errno;
    if (SpeedConstant(params.baud) == B0) {
        rc = SetExactSerialSpeed(fd, params.baud);
        if (rc != 0) return rc;
    }

    // tcsetattr succeeds when any part was taken; check that the frame is what was asked for.
    // A pty carries bytes, not frames: its driver always reports CS8 without parity.
    termios applied{};
    if (tcgetattr(fd, &applied) != 0) return errno;
    tcflag_t frameBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    if (IsPtySlave(fd)) frameBits &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    if ((applied.c_cflag & frameBits) != (settings.c_cflag & frameBits)) return EINVAL;
    if ((applied.c_iflag & (IXON | IXOFF | IXANY)) != 0) return EINVAL;
    if (SerialLineSpeed(fd) != params.baud) return EINVAL;
    return 0;
}

CPosixSerialDevice::~CPosixSerialDevice() {
    Close();
}

int CPosixSerialDevice::Open(const std::string& path, const SerialParams& params) {
    if (fd_ >= 0) {
        // Reopening: discard what is queued and let go of the old device; its modem lines are
        // left as they are.
        tcflush(fd_, TCIOFLUSH);
        Release();
    }
    holder_.clear();
    gone_ = 0;
    if (path.empty()) return ENOENT;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == EBUSY) holder_ = DeviceHolder(path);
        return err;
    }
    if (!isatty(fd)) {
        ::close(fd);
        return ENOTTY;
    }
    // Not shared: a second open of the tty fails with EBUSY while we hold it.
    if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
        int err = errno;
        ::close(fd);
        return err;
    }
    // The lock other serial programs take; held until the descriptor closes.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        if (err == EBUSY) holder_ = DeviceHolder(path);
        return err;
    }
    int rc = ConfigureSerialLine(fd, params);
    if (rc != 0) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return rc;
    }
    tcflush(fd, TCIOFLUSH);
    SetModemLines(fd, TIOCMBIS, TIOCM_DTR | TIOCM_RTS);
    lowLatencyAdded_ = AddLowLatency(fd);
    fd_ = fd;
    return 0;
}

void CPosixSerialDevice::Release() {
    if (fd_ >= 0 && lowLatencyAdded_ && gone_ == 0) RemoveLowLatency(fd_);
    lowLatencyAdded_ = false;
    gone_ = 0;
    if (fd_ < 0) return;
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

void CPosixSerialDevice::Close() {
    if (fd_ < 0) return;
    if (gone_ == 0) {
        tcflush(fd_, TCIOFLUSH);
        SetModemLines(fd_, TIOCMBIC, TIOCM_DTR);
    }
    Release();
}

void CPosixSerialDevice::NoteFailure(int err) {
    if (err == EIO || err == ENXIO || err == ENODEV) gone_ = err;
}

int CPosixSerialDevice::LineError() {
    if (fd_ < 0) return 0;
    if (gone_ != 0) return gone_;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return 0;
    if ((p.revents & POLLNVAL) != 0) {
        gone_ = ENODEV;
    } else if ((p.revents & (POLLHUP | POLLERR)) != 0) {
        // A hang-up with bytes still queued lets the reads take them first.
        if (Queued() > 0) return 0;
        uint8_t byte = 0;
        const ssize_t n = ::read(fd_, &byte, 1);
        if (n < 0) NoteFailure(errno);
        if (gone_ == 0) gone_ = EPIPE;
    }
    return gone_;
}

size_t CPosixSerialDevice::Write(const uint8_t* bytes, size_t count) {
    writeError_ = 0;
    if (bytes == nullptr || count == 0) return 0;
    if (fd_ < 0 || gone_ != 0) {
        writeError_ = fd_ < 0 ? EBADF : gone_;
        return 0;
    }
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::milliseconds(kWriteLimitMs);
    size_t written = 0;
    while (written < count) {
        ssize_t n = ::write(fd_, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            writeError_ = errno;
            NoteFailure(errno);
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        if (left <= 0) {
            writeError_ = ETIMEDOUT;
            break;
        }
        pollfd p{fd_, POLLOUT, 0};
        int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno != EINTR) {
            writeError_ = errno;
            break;
        }
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (p.revents & POLLOUT) == 0) {
            writeError_ = (p.revents & POLLHUP) != 0 ? EPIPE : EIO;
            break;
        }
    }
    return written;
}

bool CPosixSerialDevice::Writable() const {
    if (fd_ < 0 || gone_ != 0) return true;
    pollfd p{fd_, POLLOUT, 0};
    return ::poll(&p, 1, 0) != 0;  // an error or hang-up shows too: Write then says so at once
}

size_t CPosixSerialDevice::Queued() {
    if (fd_ < 0 || gone_ != 0) return 0;
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
    return static_cast<size_t>(waiting);
}

int CPosixSerialDevice::WaitReadable(int ms) {
    if (fd_ < 0) return -1;
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, std::max(ms, 0));
    if (r < 0) return -1;  // EINTR included: the caller reads again soon anyway
    if (r == 0) return 0;
    if ((p.revents & POLLIN) != 0) return 1;
    return -1;  // POLLHUP or POLLERR without data
}

size_t CPosixSerialDevice::Read(uint8_t* buffer, size_t count) {
    if (fd_ < 0 || gone_ != 0 || buffer == nullptr || count == 0) return 0;
    for (;;) {
        ssize_t n = ::read(fd_, buffer, count);
        if (n > 0) return static_cast<size_t>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) NoteFailure(errno);
        return 0;
    }
}

void CPosixSerialDevice::Purge() {
    if (fd_ >= 0) tcflush(fd_, TCIOFLUSH);
}

}  // namespace tavrin
