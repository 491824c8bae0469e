#pragma once
#include <string>
#include <vector>

namespace tavrin {

// One serial device present on the machine.
struct SerialPortInfo {
    std::string device;      // the kernel device node, e.g. /dev/ttyUSB0
    std::string stableName;  // the /dev/serial/by-id name, empty where there is none
    std::string vendor;      // e.g. "FTDI"; empty when unknown
    std::string model;       // e.g. "FT232R USB UART"
    std::string serial;      // the adapter's serial number
    std::string driver;      // the kernel driver, e.g. "ftdi_sio"
};

// Lists the serial devices present: every tty with a driver behind it (USB serial, CDC ACM,
// UARTs, RFCOMM), without the legacy ttyS nodes that have no UART. Sorted by device name.
class SerialPortEnumerator {
public:
    virtual ~SerialPortEnumerator() = default;
    virtual std::vector<SerialPortInfo> ListPorts() = 0;
};

// A serial device that came or went.
struct SerialPortEvent {
    bool added = false;              // false: removed
    std::string device;              // the kernel device node
    std::vector<std::string> links;  // its symlinks (the by-id name among them); may be empty on removal
};

// Device events as they happen, where the system reports them.
class SerialPortMonitor {
public:
    virtual ~SerialPortMonitor() = default;
    // The descriptor that turns readable when events wait; -1 when there is no event source.
    virtual int EventDescriptor() = 0;
    // The events that have arrived; never waits.
    virtual std::vector<SerialPortEvent> TakeEvents() = 0;
};

}  // namespace tavrin
