#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin {

// Line parameters of one serial connection, in the connection's own codes.
struct SerialParams {
    int baud = 9600;
    int dataBits = 8;      // 4 .. 8
    int stopBitsCode = 0;  // 0 one, 1 one and a half, 2 two
    int parityCode = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
};

// One serial device. Single-threaded; owned by the serial channel.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    // Opens and configures the device at path (raw, no flow control, DTR and RTS raised,
    // exclusive). Returns 0, or the errno of the failure (ENOENT, EACCES, EBUSY, ...); on
    // failure the device is closed. Opening while open closes the old device first.
    virtual int Open(const std::string& path, const SerialParams& params) = 0;
    // Lowers DTR, discards both queues and closes. Nothing happens when not open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Writes up to count bytes, giving up after about 500 ms; returns how many were taken
    // (0 when not open or on error).
    virtual size_t Write(const uint8_t* bytes, size_t count) = 0;
    // Why the last Write took fewer bytes than it was given: the errno of the failed write, or
    // ETIMEDOUT when the line took nothing more within the time limit. 0 after a whole write.
    virtual int LastWriteError() const { return 0; }
    // Whether a Write would take a byte at once. Never waits; true when the device cannot tell.
    virtual bool Writable() const { return true; }
    // Number of received bytes waiting in the input queue (0 when not open).
    virtual size_t Queued() = 0;
    // Reads at most count bytes of what is queued; never waits; 0 when nothing is queued.
    virtual size_t Read(uint8_t* buffer, size_t count) = 0;
    // Waits at most ms for received bytes. Returns 1 when some are queued (at once if they
    // already are), 0 when the time passed without any, -1 when the device cannot wait (not
    // open, hung up, an error): the caller then must not count on time having passed.
    virtual int WaitReadable(int ms) = 0;
    // Discards both the input and the output queue.
    virtual void Purge() = 0;
    // The descriptor to watch for readiness, or -1 when not open.
    virtual int Descriptor() const = 0;
    // Whether the open device has gone away (unplugged, hung up): 0 while it works, else the
    // errno that says so (EIO, ENXIO, ENODEV; EPIPE for a hang-up seen without a failed call).
    // Never waits. 0 when not open.
    virtual int LineError() { return 0; }
    // After an Open that failed with EBUSY: who holds the device ("minicom (pid 4242)"), where
    // the system shows it; else empty.
    virtual std::string BusyHolder() const { return {}; }

    // A device reached over a network opens in steps so that nothing waits for it: Open then
    // returns EINPROGRESS with IsOpen() true and Descriptor() to be watched. ContinueOpen carries
    // the open on; call it when the descriptor is ready (writable while OpenWaitsForWrite(),
    // else readable) and once OpenTimeLeftMs() has passed. It returns 0 once the device is open
    // and configured, EINPROGRESS while it goes on, or the errno of the failure (the device is
    // then closed). A local device opens at once and never returns EINPROGRESS.
    virtual int ContinueOpen() { return 0; }
    virtual bool OpenWaitsForWrite() const { return false; }
    // Milliseconds until the open in progress times out (0 when it has); -1 when none is.
    virtual int OpenTimeLeftMs() const { return -1; }
    // After a failed open or a lost line: one line (UTF-8) saying why, where the errno alone
    // cannot ("the server does not take 7 data bits (it set 8)"); empty otherwise.
    virtual std::string FailureText(bool /*english*/) const { return {}; }
};

}  // namespace tavrin
