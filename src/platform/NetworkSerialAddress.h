#pragma once
#include <string>

namespace tavrin {

// A serial port behind a serial device server, reached over TCP with the telnet COM-PORT-OPTION
// (RFC 2217): "rfc2217://HOST:PORT", HOST a name, a dotted IPv4 address or an IPv6 address in
// brackets ("rfc2217://[fd00::17]:4001"). It stands where a device path does: in a connection
// text before the frame fields, and as the value of a [Ports] mapping.
inline constexpr const char* kNetworkSerialScheme = "rfc2217://";

// Whether text begins with the scheme (in any case).
bool IsNetworkSerialPath(const std::string& text);

struct NetworkSerialAddress {
    std::string host;  // without brackets
    int port = 0;      // 1 ... 65535
};

// Splits "rfc2217://HOST:PORT". False for any other text, an empty host, an unclosed bracket
// or a port that is not a number from 1 to 65535.
bool ParseNetworkSerialPath(const std::string& path, NetworkSerialAddress& address);

// Splits a serial connection text whose port is a network address
// ("rfc2217://HOST:PORT:BAUD:DATA:STOP:PARITY") into the address and the four frame fields
// joined by ':' ("BAUD:DATA:STOP:PARITY"). False when the text is not one.
bool SplitNetworkSerialText(const std::string& text, std::string& path, std::string& frame);

}  // namespace tavrin
