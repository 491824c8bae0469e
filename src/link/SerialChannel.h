#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Clock.h"
#include "platform/SerialDevice.h"
#include "platform/Status.h"

namespace tavrin {

// The device a COM name stands for. The settings file's section "Ports" maps a name to a
// device ("COM3=/dev/ttyUSB0"); a name without a mapping, COMn with n >= 1, means
// /dev/ttyS(n-1). A name that begins with '/' is a device path and a name "rfc2217://HOST:PORT" a
// network serial port; both stand for themselves. Any other name has no device: the result is
// empty.
std::string DeviceForPort(const std::string& comName, const std::string& profilePath);

// Why the last open failed, for the line the terminal prints after "COM device open error.".
struct SerialOpenFailure {
    std::string portName;  // the COM name asked for
    std::string device;    // the device it maps to; empty when the name has none
    int error = 0;         // errno of the failure, 0 after a successful open
    std::string holder;    // EBUSY: the program holding the device, where the system shows it
    std::string detail;    // the device's own words for the failure (a network serial port's), if any
};

// One line (UTF-8, no line end) in the current language saying which device failed and why:
// missing, no permission (naming the dialout group), busy, not a serial device, settings the
// device does not take, or the system's text for any other errno.
std::string DescribeSerialOpenFailure(const SerialOpenFailure& failure);

// "Serial send error: <unsent> of <count> bytes were not sent to <port (device)>: <reason>." in
// the current language (UTF-8).
std::string DescribeSerialWriteFailure(const Status& failure, size_t unsent, size_t count);

// The serial channel: the one serial port of the process. Reads never wait; writes give up
// after the device's 500 ms limit. Every call is made on the event-loop thread.
class CSerialChannel {
public:
    // profilePath returns the settings file in force (it can change at run time); without it
    // only the built-in COMn mapping applies.
    CSerialChannel(SerialDevice& device, Clock& clock, std::function<std::string()> profilePath = {});

    // Opens the device portName maps to with the given line settings. An open port is first
    // purged and closed. The port's stop bits follow stopBitsCode (0 one, 1 and 2 two);
    // stopCount is what every caller passes (2) and no longer decides the frame.
    // Returns 0, or -1 with no port open; LastOpenFailure() then says why. A network serial port
    // opens in steps: kOpenPending, and ContinueOpen() carries it on.
    int OpenComPort(const std::string& portName, int baudRate, int stopCount, int dataBits, int stopBitsCode,
                    int parityCode);
    // Purges, lowers DTR and closes; nothing when no port is open.
    void CloseComPort();
    // The count written (0 when no port is open or the write fails). A write that falls short
    // (the line took nothing more for 500 ms, or failed) is kept: LastWriteFailure().
    size_t WriteComPort(const uint8_t* bytes, size_t count);
    // The last write that fell short: the port and device, the reason, and how many of how
    // many bytes were not sent. Success after a whole write.
    const Status& LastWriteFailure() const { return writeFailure_; }
    size_t LastUnsent() const { return unsent_; }
    size_t LastWriteCount() const { return writeCount_; }
    // Whether the last write fell short after one that went out whole (or after the port was
    // opened): a run of short writes is told once, not once per byte typed into a stuck line.
    bool WriteFailureIsNew() const { return writeFailureIsNew_; }
    // At most atMost of the bytes waiting; 0 when none or no port is open. Never waits.
    int ReadComPort(uint8_t* buffer, int atMost);
    // Discards both queues; nothing when no port is open.
    void PurgeComPort();
    // The serial poll: reads chunks of at most kSerialChunk bytes, each into a cleared buffer,
    // and hands each to onChunk until a read returns nothing. Returns the bytes read in all.
    size_t DrainComPort(const std::function<void(const uint8_t* chunk, int length)>& onChunk);

    // Carries a pending open on (on readiness of Descriptor(), writable while OpenWaitsForWrite(),
    // and when OpenTimeLeftMs() has passed): 0 open, kOpenPending still going on, -1 failed (no
    // port open; LastOpenFailure() says why).
    int ContinueOpen();
    bool OpenPending() const { return pending_; }
    bool OpenWaitsForWrite() const { return device_.OpenWaitsForWrite(); }
    int OpenTimeLeftMs() const { return device_.OpenTimeLeftMs(); }
    // Why the open line was lost, in the device's own words (a network serial port's); else empty.
    std::string LineFailureText() const;

    static constexpr int kOpenPending = 1;
    static constexpr int kSerialChunk = 8193;
    // How long a write waits for the line to take its bytes (SerialDevice::Write).
    static constexpr int kWriteWaitMs = 500;

    // Open and usable: a pending open does not count.
    bool IsOpen() const { return device_.IsOpen() && !pending_; }
    // The open line takes no byte now (its output queue is full); never waits.
    bool Backlogged() const { return IsOpen() && !device_.Writable(); }
    int Descriptor() const { return device_.Descriptor(); }
    // True when the open line reports a hang-up (or an error) and has nothing to read.
    bool LineHungUp() { return IsOpen() && device_.WaitReadable(0) < 0; }
    const SerialOpenFailure& LastOpenFailure() const { return lastFailure_; }
    // The device the open port stands on (the mapped path as it was opened); empty when none.
    const std::string& OpenDevice() const { return openDevice_; }
    // The device node the open port's path led to when it was opened (symlinks followed).
    const std::string& OpenNode() const { return openNode_; }
    // Whether the open port's device has gone away (see SerialDevice::LineError): the errno, or 0.
    int LineError() { return IsOpen() ? device_.LineError() : 0; }
    // Opens device (a path) with the line settings of the last successful open, for a port that
    // came back. 0, kOpenPending (see ContinueOpen), or -1 with no port open.
    int ReopenDevice(const std::string& device);

private:
    // The result of an open (or of its last step) of device with params: 0, kOpenPending or -1.
    int Settle(int rc, const std::string& device, const SerialParams& params);

    SerialDevice& device_;
    Clock& clock_;
    std::function<std::string()> profilePath_;
    SerialOpenFailure lastFailure_;
    std::string openDevice_;
    std::string openNode_;
    SerialParams lastParams_;
    Status writeFailure_;
    size_t unsent_ = 0;
    size_t writeCount_ = 0;
    bool writeFailing_ = false;
    bool writeFailureIsNew_ = false;
    SerialParams pendingParams_;
    std::string pendingDevice_;
    bool pending_ = false;
    // One byte more than a chunk, so a NUL always follows the data.
    std::array<uint8_t, kSerialChunk + 1> chunk_{};
};

}  // namespace tavrin
