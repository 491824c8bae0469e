#pragma once
#include "platform/SerialPortEnumerator.h"

struct udev;
struct udev_monitor;

namespace tavrin {

// The serial devices as udev knows them (subsystem "tty" with a parent device). The by-id name
// is the udev link under /dev/serial/by-id/; vendor, model and serial number come from the
// udev database (ID_VENDOR_FROM_DATABASE, ID_VENDOR, ID_MODEL, ID_SERIAL_SHORT), the driver from
// the parent device. A ttyS node counts only when its UART is real (serial8250 ports report
// type 0, "unknown", when nothing answers at the port address).
//
// As a monitor it listens to udev's "tty" add and remove events (the events udevd passes on
// after it has made the device's links; with no udevd running none arrive).
class CUdevSerialPorts : public SerialPortEnumerator, public SerialPortMonitor {
public:
    CUdevSerialPorts() = default;
    ~CUdevSerialPorts() override;
    CUdevSerialPorts(const CUdevSerialPorts&) = delete;
    CUdevSerialPorts& operator=(const CUdevSerialPorts&) = delete;

    std::vector<SerialPortInfo> ListPorts() override;
    int EventDescriptor() override;
    std::vector<SerialPortEvent> TakeEvents() override;

private:
    ::udev* context_ = nullptr;
    ::udev_monitor* monitor_ = nullptr;
};

}  // namespace tavrin
