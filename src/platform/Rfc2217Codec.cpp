#include "platform/Rfc2217Codec.h"

#include <array>

namespace tavrin {

namespace {

// Order of the frame parts in confirmed_.
constexpr int kBaudPart = 0, kDataPart = 1, kParityPart = 2, kStopPart = 3;

// The notifications asked for: break, framing, parity and overrun; the carrier.
constexpr uint8_t kLineStateMask = CRfc2217Codec::kLineBreak | CRfc2217Codec::kLineFraming |
                                   CRfc2217Codec::kLineParity | CRfc2217Codec::kLineOverrun;
constexpr uint8_t kModemStateMask = CRfc2217Codec::kModemCarrier;

constexpr std::array<const char*, 6> kParityNames{"?", "none", "odd", "even", "mark", "space"};
constexpr std::array<const char*, 6> kParityNamesJapanese{"?", "なし", "奇数", "偶数", "マーク", "スペース"};

std::string ParityName(uint32_t value, bool japanese) {
    if (value < kParityNames.size()) return japanese ? kParityNamesJapanese[value] : kParityNames[value];
    return std::to_string(value);
}

std::string StopName(uint32_t value) {
    switch (value) {
        case 1: return "1";
        case 2: return "2";
        case 3: return "1.5";
        default: return std::to_string(value);
    }
}

void Put(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
    out.insert(out.end(), bytes);
}

}  // namespace

uint8_t Rfc2217Parity(int parityCode) {
    // none 1, odd 2, even 3, mark 4, space 5
    return parityCode >= 0 && parityCode <= 4 ? static_cast<uint8_t>(parityCode + 1) : 1;
}

uint8_t Rfc2217StopSize(int stopBitsCode) {
    // one 1, two 2, one and a half 3
    return stopBitsCode == 1 ? 3 : stopBitsCode == 2 ? 2 : 1;
}

std::vector<uint8_t> CRfc2217Codec::Start(const SerialParams& params) {
    *this = CRfc2217Codec();
    params_ = params;
    std::vector<uint8_t> out;
    Put(out, {kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kSga, kIac, kDo, kSga, kIac, kWill,
              kComPort});
    localBinary_.weAsked = remoteBinary_.weAsked = localSga_.weAsked = remoteSga_.weAsked = comPort_.weAsked =
        true;
    return out;
}

void CRfc2217Codec::Escape(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
    out.reserve(out.size() + count + count / 64 + 1);
    for (size_t i = 0; i < count; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == kIac) out.push_back(kIac);
    }
}

void CRfc2217Codec::Command(uint8_t command, const std::vector<uint8_t>& value, std::vector<uint8_t>& out) {
    Put(out, {kIac, kSb, kComPort, command});
    Escape(value.data(), value.size(), out);
    Put(out, {kIac, kSe});
}

std::vector<uint8_t> CRfc2217Codec::PurgeBoth() {
    std::vector<uint8_t> out;
    Command(kPurgeData, {3}, out);
    return out;
}

std::vector<uint8_t> CRfc2217Codec::LowerDtr() {
    std::vector<uint8_t> out;
    Command(kSetControl, {kDtrOff}, out);
    return out;
}

void CRfc2217Codec::Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
                         std::vector<uint8_t>& reply) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (parse_) {
            case Parse::Data:
                if (b == kIac) {
                    parse_ = Parse::Iac;
                } else {
                    data.push_back(b);
                }
                break;
            case Parse::Iac:
                if (b == kIac) {
                    data.push_back(kIac);
                    parse_ = Parse::Data;
                } else if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    parse_ = Parse::Option;
                } else if (b == kSb) {
                    sub_.clear();
                    subTooLong_ = false;
                    parse_ = Parse::Sub;
                } else {
                    parse_ = Parse::Data;  // NOP, GA, AYT ...: nothing for a serial line
                }
                break;
            case Parse::Option:
                parse_ = Parse::Data;
                OnOption(verb_, b, reply);
                break;
            case Parse::Sub:
                if (b == kIac) {
                    parse_ = Parse::SubIac;
                } else if (sub_.size() < kMaxSubnegotiation) {
                    sub_.push_back(b);
                } else {
                    subTooLong_ = true;
                }
                break;
            case Parse::SubIac:
                if (b == kIac) {
                    if (sub_.size() < kMaxSubnegotiation) sub_.push_back(kIac);
                    parse_ = Parse::Sub;
                } else if (b == kSe) {
                    parse_ = Parse::Data;
                    if (!subTooLong_) OnSubnegotiation(data);
                } else {
                    // A sub-negotiation cut short by another command: drop it, take the command.
                    parse_ = Parse::Iac;
                    --i;
                }
                break;
        }
    }
    UpdatePhase();
}

void CRfc2217Codec::OnOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& reply) {
    OptionState* local = option == kBinary    ? &localBinary_
                         : option == kSga     ? &localSga_
                         : option == kComPort ? &comPort_
                                              : nullptr;
    OptionState* remote = option == kBinary ? &remoteBinary_ : option == kSga ? &remoteSga_ : nullptr;
    switch (verb) {
        case kDo:
            if (local == nullptr) {
                Put(reply, {kIac, kWont, option});
            } else if (!local->on) {
                if (!local->weAsked) Put(reply, {kIac, kWill, option});
                local->on = true;
                local->weAsked = false;
                if (option == kComPort) {
                    comPortAgreed_ = true;
                    AskFrame(reply);
                }
            }
            break;
        case kDont:
            if (local == nullptr || (!local->on && !local->weAsked)) break;
            if (local->on) Put(reply, {kIac, kWont, option});
            local->on = local->weAsked = false;
            local->refused = true;
            if (option == kComPort)
                Fail("the server does not offer COM-PORT-OPTION (RFC 2217); set it to telnet(rfc2217)",
                     "サーバーが COM-PORT-OPTION (RFC 2217) に対応していません。telnet(rfc2217) "
                     "に設定して下さい");
            if (option == kBinary)
                Fail("the server refuses binary transmission (telnet BINARY)",
                     "サーバーがバイナリ転送 (telnet BINARY) を拒否しました");
            break;
        case kWill:
            if (remote == nullptr) {
                Put(reply, {kIac, kDont, option});
            } else if (!remote->on) {
                if (!remote->weAsked) Put(reply, {kIac, kDo, option});
                remote->on = true;
                remote->weAsked = false;
            }
            break;
        case kWont:
            if (remote == nullptr || (!remote->on && !remote->weAsked)) break;
            if (remote->on) Put(reply, {kIac, kDont, option});
            remote->on = remote->weAsked = false;
            remote->refused = true;
            if (option == kBinary)
                Fail("the server refuses binary transmission (telnet BINARY)",
                     "サーバーがバイナリ転送 (telnet BINARY) を拒否しました");
            break;
        default: break;
    }
}

void CRfc2217Codec::AskFrame(std::vector<uint8_t>& reply) {
    if (frameAsked_) return;
    frameAsked_ = true;
    const uint32_t baud = params_.baud > 0 ? static_cast<uint32_t>(params_.baud) : 0;
    Command(kSetBaud,
            {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
             static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)},
            reply);
    Command(kSetDataSize, {static_cast<uint8_t>(params_.dataBits)}, reply);
    Command(kSetParity, {Rfc2217Parity(params_.parityCode)}, reply);
    Command(kSetStopSize, {Rfc2217StopSize(params_.stopBitsCode)}, reply);
    Command(kSetControl, {kNoFlowControl}, reply);
    Command(kSetControl, {kDtrOn}, reply);
    Command(kSetControl, {kRtsOn}, reply);
    Command(kSetLineStateMask, {kLineStateMask}, reply);
    Command(kSetModemStateMask, {kModemStateMask}, reply);
    Command(kPurgeData, {3}, reply);
}

void CRfc2217Codec::OnSubnegotiation(std::vector<uint8_t>& data) {
    if (sub_.size() < 2 || sub_[0] != kComPort) return;
    const uint8_t command = sub_[1];
    const std::vector<uint8_t> value(sub_.begin() + 2, sub_.end());
    switch (command) {
        case kServerOffset + kSetBaud:
            if (value.size() == 4)
                Confirm(kSetBaud, (uint32_t{value[0]} << 24) | (uint32_t{value[1]} << 16) |
                                      (uint32_t{value[2]} << 8) | value[3]);
            break;
        case kServerOffset + kSetDataSize:
        case kServerOffset + kSetParity:
        case kServerOffset + kSetStopSize:
            if (value.size() == 1) Confirm(static_cast<uint8_t>(command - kServerOffset), value[0]);
            break;
        case kServerOffset + kNotifyLineState:
            if (value.size() == 1) {
                const uint8_t state = value[0];
                if ((state & kLineBreak) != 0) {
                    ++events_.breaks;
                    // A raw local line without BRKINT reads a break as one 0x00 byte.
                    data.push_back(0);
                }
                if ((state & kLineFraming) != 0) ++events_.framingErrors;
                if ((state & kLineParity) != 0) ++events_.parityErrors;
                if ((state & kLineOverrun) != 0) ++events_.overruns;
            }
            break;
        case kServerOffset + kNotifyModemState:
            if (value.size() == 1) events_.lastModemState = value[0];
            break;
        default: break;  // control, flow suspend/resume, masks and purge answers carry nothing needed
    }
}

void CRfc2217Codec::Confirm(uint8_t command, uint32_t answered) {
    if (!frameAsked_ || phase_ == Phase::Failed) return;
    switch (command) {
        case kSetBaud:
            confirmed_[kBaudPart] = true;
            if (answered != static_cast<uint32_t>(params_.baud))
                Fail("the server does not take " + std::to_string(params_.baud) + " baud (it set " +
                         std::to_string(answered) + ")",
                     "サーバーがボーレート " + std::to_string(params_.baud) + " を受け付けません(" +
                         std::to_string(answered) + " に設定されました)");
            break;
        case kSetDataSize:
            confirmed_[kDataPart] = true;
            if (answered != static_cast<uint32_t>(params_.dataBits))
                Fail("the server does not take " + std::to_string(params_.dataBits) + " data bits (it set " +
                         std::to_string(answered) + ")",
                     "サーバーがデータビット " + std::to_string(params_.dataBits) + " を受け付けません(" +
                         std::to_string(answered) + " に設定されました)");
            break;
        case kSetParity: {
            confirmed_[kParityPart] = true;
            const uint8_t asked = Rfc2217Parity(params_.parityCode);
            if (answered != asked)
                Fail("the server does not take parity " + ParityName(asked, false) + " (it set " +
                         ParityName(answered, false) + ")",
                     "サーバーがパリティ「" + ParityName(asked, true) + "」を受け付けません(「" +
                         ParityName(answered, true) + "」に設定されました)");
            break;
        }
        case kSetStopSize: {
            confirmed_[kStopPart] = true;
            const uint8_t asked = Rfc2217StopSize(params_.stopBitsCode);
            if (answered != asked)
                Fail("the server does not take " + StopName(asked) + " stop bits (it set " +
                         StopName(answered) + ")",
                     "サーバーがストップビット " + StopName(asked) + " を受け付けません(" +
                         StopName(answered) + " に設定されました)");
            break;
        }
        default: break;
    }
}

void CRfc2217Codec::Fail(const std::string& english, const std::string& japanese) {
    if (phase_ == Phase::Failed) return;
    phase_ = Phase::Failed;
    failure_ = english;
    failureJapanese_ = japanese;
}

void CRfc2217Codec::UpdatePhase() {
    if (phase_ != Phase::Negotiating) return;
    if (!comPortAgreed_ || !localBinary_.on || !remoteBinary_.on) return;
    for (bool c : confirmed_)
        if (!c) return;
    phase_ = Phase::Ready;
}

}  // namespace tavrin
