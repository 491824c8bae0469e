#pragma once
#include <termios.h>

#include <string>

#include "platform/SerialDevice.h"

namespace tavrin {

// The serial device on a POSIX tty (termios).
//
// Open configures the line as the controller expects it: raw bytes (no line discipline, no
// echo, no CR/LF translation), CLOCAL and CREAD, no hardware (CRTSCTS) and no software
// (IXON/IXOFF/IXANY) flow control, DTR and RTS raised, and the tty held exclusively (TIOCEXCL)
// so a second program cannot open it meanwhile. Besides, the descriptor holds flock(LOCK_EX |
// LOCK_NB) while open, the lock other serial programs take: it keeps out a second open by root
// (whom TIOCEXCL does not stop) and programs that lock without TIOCEXCL. A held lock fails the
// open with EBUSY and BusyHolder() names the program from /proc.
//
// A device that goes away (a USB adapter unplugged, the far end of a pty closed) is noticed
// by reads and writes failing with EIO, ENXIO or ENODEV and by poll() reporting a hang-up;
// LineError() then reports it, and Read and Write return 0 without touching the descriptor
// again. The descriptor is non-blocking and reads never
// wait (VMIN = VTIME = 0).
//
// Line settings:
//  - speed: any rate the kernel names (B50 ... B4000000); other positive rates (14400, 128000,
//    256000 of the connection dialog) are set as exact rates (BOTHER) where the driver takes them.
//    A rate of 0 or below is refused with EINVAL: B0 would hang the line up.
//  - data bits 5 to 8. A four-bit frame has no termios form, and sending it as five bits would
//    put wrong characters on the line, so 4 (and anything outside 5..8) is refused with EINVAL.
//  - parity 0 none, 1 odd, 2 even, 3 mark, 4 space (mark and space are stick parity, CMSPAR);
//    input parity checking (INPCK) is on exactly when a parity is set.
//  - stop bits: code 0 one stop bit, 1 (one and a half, which termios cannot do) and 2 two.
// When the driver does not take a setting (tcsetattr fails, or reading the settings back shows
// the frame was changed, as drivers without stick parity do) Open fails with that errno or EINVAL
// rather than running the line with a frame nobody asked for.
class CPosixSerialDevice : public SerialDevice {
public:
    CPosixSerialDevice() = default;
    ~CPosixSerialDevice() override;
    CPosixSerialDevice(const CPosixSerialDevice&) = delete;
    CPosixSerialDevice& operator=(const CPosixSerialDevice&) = delete;

    int Open(const std::string& path, const SerialParams& params) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    size_t Write(const uint8_t* bytes, size_t count) override;
    int LastWriteError() const override { return writeError_; }
    bool Writable() const override;
    size_t Queued() override;
    int WaitReadable(int ms) override;
    size_t Read(uint8_t* buffer, size_t count) override;
    void Purge() override;
    int Descriptor() const override { return fd_; }
    int LineError() override;
    std::string BusyHolder() const override { return holder_; }

    // How long Write keeps trying to hand bytes to the driver.
    static constexpr int kWriteLimitMs = 500;

private:
    // Closes the descriptor without touching the modem lines (used when reopening).
    void Release();
    // Notes err as the line's end when it says the device has gone.
    void NoteFailure(int err);
    int fd_ = -1;
    int gone_ = 0;
    int writeError_ = 0;
    bool lowLatencyAdded_ = false;  // the driver's low-latency flag is ours to take off
    std::string holder_;
};

// Who holds the character device at path open, other than this process: "name (pid N)" for
// the first such process /proc shows; empty when none is visible.
std::string DeviceHolder(const std::string& path);

// Fills settings (starting from the tty's current ones) with the raw line of params. 0, or EINVAL
// for a frame a tty cannot carry (rate <= 0, data bits outside 5..8, parity code outside 0..4).
// A rate without a B constant leaves the speed fields alone; ConfigureSerialLine sets it exactly.
int MakeLineSettings(const SerialParams& params, termios& settings);

// True when fd is a pty slave, whose driver keeps no frame (it reports CS8 without parity).
bool IsPtySlave(int fd);

// Applies the line settings of params to the tty fd (see CPosixSerialDevice). 0 or an errno.
int ConfigureSerialLine(int fd, const SerialParams& params);

// The output speed of the tty fd in bits per second as the kernel holds it (exact rates
// included), or -1 when it cannot be read.
int SerialLineSpeed(int fd);

// Sets an exact speed that has no B constant (BOTHER). 0 or an errno.
int SetExactSerialSpeed(int fd, int baud);

}  // namespace tavrin
