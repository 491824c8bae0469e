#include "SimTelnet.h"

namespace tavrin::sim {

std::string_view CTelnetFilter::ConnectRequest() {
    static constexpr char kRequest[] = "\xFF\xFD\x18\xFF\xFA\x18\x01\xFF\xF0";
    return std::string_view(kRequest, sizeof kRequest - 1);
}

bool CTelnetFilter::Feed(uint8_t byte) {
    switch (state) {
        case State::Data:
            if (byte == kIac) {
                state = State::Iac;
                return false;
            }
            return true;
        case State::Iac:
            if (byte == kIac) {
                state = State::Data;
                return true;
            }
            if (byte >= kWill && byte <= kDont) {
                command = byte;
                state = State::Option;
            } else if (byte == kSb) {
                subLength = 0;
                state = State::Sub;
            } else {
                state = State::Data;  // a two-byte command (NOP, GA, ...)
            }
            return false;
        case State::Option: {
            static constexpr const char* kNames[] = {"WILL", "WONT", "DO", "DONT"};
            if (optionsSeen.size() < 512) {
                if (!optionsSeen.empty()) optionsSeen += ' ';
                optionsSeen += kNames[command - kWill];
                optionsSeen += ' ';
                optionsSeen += std::to_string(byte);
            }
            state = State::Data;
            return false;
        }
        case State::Sub:
            if (byte == kIac)
                state = State::SubIac;
            else if (subLength < sub.size())
                sub[subLength++] = byte;
            return false;
        case State::SubIac:
            if (byte == kSe) {
                EndSubnegotiation();
                state = State::Data;
            } else {
                // IAC IAC inside a subnegotiation is a data byte; anything else is kept as it came.
                if (subLength < sub.size()) sub[subLength++] = byte;
                state = State::Sub;
            }
            return false;
    }
    return false;
}

void CTelnetFilter::EndSubnegotiation() {
    if (subLength >= 2 && sub[0] == kTerminalType && sub[1] == kIs)
        terminalType.assign(reinterpret_cast<const char*>(sub.data()) + 2, subLength - 2);
    subLength = 0;
}

}  // namespace tavrin::sim
