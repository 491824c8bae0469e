#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin::sim {

// The controller's telnet service: what it asks at connect, and the filter that keeps the
// terminal's option negotiation out of the console.
class CTelnetFilter {
public:
    static constexpr uint8_t kIac = 0xFF, kDont = 0xFE, kDo = 0xFD, kWont = 0xFC, kWill = 0xFB;
    static constexpr uint8_t kSb = 0xFA, kSe = 0xF0, kTerminalType = 0x18;
    static constexpr uint8_t kIs = 0x00, kSend = 0x01;
    static constexpr size_t kSubnegotiationMax = 64;

    // Sent at connect: IAC DO TERMINAL-TYPE, then IAC SB TERMINAL-TYPE SEND IAC SE.
    static std::string_view ConnectRequest();

    // Takes one received byte. Returns true when it is console data; option commands and
    // subnegotiations are swallowed (IAC IAC is the data byte 0xFF).
    bool Feed(uint8_t byte);

    // The terminal type named in the last IAC SB TERMINAL-TYPE IS ... IAC SE, or empty.
    const std::string& TerminalType() const { return terminalType; }
    // Every option command the terminal sent, as "WILL 24", "DO 3", ... in order (bounded).
    const std::string& OptionsSeen() const { return optionsSeen; }

private:
    enum class State { Data, Iac, Option, Sub, SubIac };

    void EndSubnegotiation();

    State state = State::Data;
    uint8_t command = 0;
    std::array<uint8_t, kSubnegotiationMax> sub{};
    size_t subLength = 0;
    std::string terminalType;
    std::string optionsSeen;
};

}  // namespace tavrin::sim
