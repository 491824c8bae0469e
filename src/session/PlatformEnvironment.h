#pragma once
#include "platform/linux/UdevSerialPorts.h"
#include "platform/posix/SelectingSerialDevice.h"
#include "platform/posix/SteadyClock.h"
#include "session/ViewEnvironment.h"

namespace tavrin {

// The view's environment on this machine: a local tty or a network serial port, the udev list
// of serial devices with its events, POSIX TCP sockets, the host editor's Unix socket, the
// steady clock and threads for a save's flush to disk. It owns the pieces and must outlive every
// view built on it, and go before the Shell the views post to.
class CPlatformEnvironment {
public:
    CPlatformEnvironment() = default;
    CPlatformEnvironment(const CPlatformEnvironment&) = delete;
    CPlatformEnvironment& operator=(const CPlatformEnvironment&) = delete;

    // The environment with the steady clock.
    ViewEnvironment Environment() { return Environment(clock_); }
    // The same pieces with another clock (a test that drives time itself).
    ViewEnvironment Environment(Clock& clock);

private:
    CSteadyClock clock_;
    CSelectingSerialDevice serialDevice_;
    CUdevSerialPorts serialPorts_;
    // Threads for a save's flush to disk; they post to the views' Shell.
    BackgroundWork background_;
};

}  // namespace tavrin
