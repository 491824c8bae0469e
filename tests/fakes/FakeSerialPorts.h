#pragma once
#include <vector>

#include "platform/SerialPortEnumerator.h"

namespace tavrin::testing {

// A fixed list of serial devices, as the udev enumerator would report them.
class FakeSerialPorts : public SerialPortEnumerator {
public:
    std::vector<SerialPortInfo> ListPorts() override {
        ++listings;
        return ports;
    }
    std::vector<SerialPortInfo> ports;
    int listings = 0;
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
