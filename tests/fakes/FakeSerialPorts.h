#pragma once
#include <utility>
#include <vector>

#include "platform/SerialPortEnumerator.h"

namespace tavrin::testing {

// A fixed list of serial devices, as the udev enumerator would report them, and the device
// events a test queues (none, and no descriptor, unless it sets eventFd).
class FakeSerialPorts : public SerialPortEnumerator, public SerialPortMonitor {
public:
    std::vector<SerialPortInfo> ListPorts() override {
        ++listings;
        return ports;
    }
    int EventDescriptor() override { return eventFd; }
    std::vector<SerialPortEvent> TakeEvents() override { return std::exchange(events, {}); }

    std::vector<SerialPortInfo> ports;
    int listings = 0;
    int eventFd = -1;
    std::vector<SerialPortEvent> events;
};

// An FTDI adapter and a CDC ACM board, the usual pair on an operator's laptop.
inline SerialPortInfo FtdiAdapter() {
    return {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
            "FTDI",         "FT232R USB UART",
            "A50285BI",     "ftdi_sio"};
}
inline SerialPortInfo AcmBoard() {
    return {"/dev/ttyACM0", "/dev/serial/by-id/usb-Arduino_Uno_7563331-if00",
            "Arduino SA",   "Uno R3",
            "7563331",      "cdc_acm"};
}
inline SerialPortInfo Uart(int n) {
    return {"/dev/ttyS" + std::to_string(n), "", "", "", "", "serial8250"};
}

}  // namespace tavrin::testing
