#pragma once
#include "platform/SerialPortEnumerator.h"

namespace tavrin {

// The serial devices as udev knows them (subsystem "tty" with a parent device). The by-id name
// is the udev link under /dev/serial/by-id/; vendor, model and serial number come from the
// udev database (ID_VENDOR_FROM_DATABASE, ID_VENDOR, ID_MODEL, ID_SERIAL_SHORT), the driver from
// the parent device. A ttyS node counts only when its UART is real (serial8250 ports report
// type 0, "unknown", when nothing answers at the port address).
class CUdevSerialPorts : public SerialPortEnumerator {
public:
    std::vector<SerialPortInfo> ListPorts() override;
};

}  // namespace tavrin
