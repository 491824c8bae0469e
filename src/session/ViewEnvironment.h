#pragma once
#include <functional>
#include <memory>

#include "platform/BackgroundWork.h"
#include "platform/Clock.h"
#include "platform/HostChannel.h"
#include "platform/SerialDevice.h"
#include "platform/SerialPortEnumerator.h"
#include "platform/StreamSocket.h"

namespace tavrin {

// Everything the view reaches the machine through, apart from the Shell: the front ends hand it
// the real pieces (CPlatformEnvironment), tests hand it fakes. The referenced objects belong to
// whoever built the environment and must outlive the view.
struct ViewEnvironment {
    // The one serial device the serial channel opens, closes and reads.
    SerialDevice& serialDevice;
    // The serial devices present, for the port lists and for finding a port's by-id name.
    SerialPortEnumerator& serialPorts;
    // Device events (unplug, replug) where the system reports them; nullptr: none, the poll
    // timer's checks cover unplugs alone.
    SerialPortMonitor* serialPortEvents = nullptr;
    // A new, unconnected TCP socket for each connect.
    std::function<std::unique_ptr<StreamSocket>()> makeSocket;
    // The channel of the host editor link, asked for once when the view is built.
    std::function<std::unique_ptr<HostChannel>()> makeHostChannel;
    // The time source of every deadline and wait.
    Clock& clock;
    // Where blocking file work (a save's flush to disk) runs away from the event loop; nullptr:
    // in place, as the tests have it.
    BackgroundWork* background = nullptr;
};

}  // namespace tavrin
