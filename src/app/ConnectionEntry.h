#pragma once
#include <cstdint>
#include <string>

namespace tavrin {

// One saved connection. Item is "COM1:9600:8:2:none" (serial) or "192.168.0.2:23:Robot1"
// (TCP/IP); a text starting with "COM" is serial, any other text TCP/IP.
struct ConnectionEntry {
    int32_t IsTcp = 0;
    int32_t Order = 999;  // 0 most recently used, ...; 999 never used
    std::string Item;
    std::string TcpName;
    std::string Ip;
    int32_t TcpPort = 0;
    int32_t ComPort = 0;
    int32_t Baud = 0;
    uint8_t DataBits = 0;
    uint8_t StopBits = 0;  // 0 "1", 1 "1.5", 2 "2"
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
};

inline constexpr int kNeverUsed = 999;
inline constexpr int kRecencyEntries = 256;  // only the first 256 entries age and are stored

}  // namespace tavrin
