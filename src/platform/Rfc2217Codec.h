#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

namespace tavrin {

// The client side of a telnet connection with the COM-PORT-OPTION (RFC 2217), as a serial device
// server speaks it. A pure state machine: bytes from the server go in; the serial data they carry,
// the bytes to send back and the state of the negotiation come out. No I/O, no clock.
//
// Start() offers BINARY both ways, SUPPRESS-GO-AHEAD and COM-PORT-OPTION. When the server agrees
// to COM-PORT-OPTION (DO 44) the codec asks for the frame (baud, data size, parity, stop size), no
// flow control, DTR and RTS raised, the line- and modem-state notifications it cares for, and a
// purge of both of the server's buffers. The link is Ready when the server has agreed to BINARY
// both ways and has confirmed each part of the frame with the value asked for. A refusal, or a
// confirmation with another value, makes it Failed, with a text that names the value.
class CRfc2217Codec {
public:
    enum class Phase { Negotiating, Ready, Failed };

    // Telnet bytes and options used here.
    static constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                             kSe = 240;
    static constexpr uint8_t kBinary = 0, kEcho = 1, kSga = 3, kComPort = 44;
    // COM-PORT-OPTION commands, client to server; the server answers with the command + 100.
    static constexpr uint8_t kSetBaud = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                             kSetControl = 5, kNotifyLineState = 6, kNotifyModemState = 7, kFlowSuspend = 8,
                             kFlowResume = 9, kSetLineStateMask = 10, kSetModemStateMask = 11,
                             kPurgeData = 12;
    static constexpr uint8_t kServerOffset = 100;
    // SET-CONTROL values.
    static constexpr uint8_t kNoFlowControl = 1, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12;
    // Line-state bits of NOTIFY-LINESTATE.
    static constexpr uint8_t kLineBreak = 0x10, kLineFraming = 0x08, kLineParity = 0x04, kLineOverrun = 0x02;
    // Modem-state bit of the carrier (DCD).
    static constexpr uint8_t kModemCarrier = 0x80;
    // The longest sub-negotiation kept; longer ones are dropped (none of ours is near it).
    static constexpr size_t kMaxSubnegotiation = 64;

    // What the server has told about the line since the codec started.
    struct LineEvents {
        int breaks = 0;           // breaks received (each also put into the data as a 0x00 byte)
        int framingErrors = 0;    // bytes received with a framing error
        int parityErrors = 0;     // bytes received with a parity error
        int overruns = 0;         // bytes lost to an overrun on the server's port
        int lastModemState = -1;  // the last modem state reported, -1 none yet
    };

    // The bytes that open the negotiation; the frame to ask for once COM-PORT-OPTION is agreed.
    std::vector<uint8_t> Start(const SerialParams& params);
    // Takes bytes from the server: the serial data they carry is appended to data, what must be
    // sent back to reply. Bytes may come split anywhere, even inside a command.
    void Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data, std::vector<uint8_t>& reply);
    // Serial data to send, with every 0xFF doubled; appended to out.
    static void Escape(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out);
    // A COM-PORT-OPTION command with its value bytes (0xFF doubled), appended to out.
    static void Command(uint8_t command, const std::vector<uint8_t>& value, std::vector<uint8_t>& out);
    // The commands that discard both of the server's buffers, and that lower DTR.
    static std::vector<uint8_t> PurgeBoth();
    static std::vector<uint8_t> LowerDtr();

    Phase State() const { return phase_; }
    // Why the negotiation failed (English, one line, names the value); empty while it has not.
    const std::string& FailureText() const { return failure_; }
    // The same in Japanese.
    const std::string& FailureTextJapanese() const { return failureJapanese_; }
    const LineEvents& Events() const { return events_; }
    // Whether the server has agreed to COM-PORT-OPTION.
    bool ComPortAgreed() const { return comPortAgreed_; }

private:
    enum class Parse { Data, Iac, Option, Sub, SubIac };
    // Where each side stands on one option: asked (we sent WILL/DO and wait), on, or off.
    struct OptionState {
        bool weAsked = false;
        bool on = false;
        bool refused = false;
    };

    void OnOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& reply);
    void OnSubnegotiation(std::vector<uint8_t>& data);
    void AskFrame(std::vector<uint8_t>& reply);
    void Confirm(uint8_t command, uint32_t answered);
    void Fail(const std::string& english, const std::string& japanese);
    void UpdatePhase();

    SerialParams params_;
    Phase phase_ = Phase::Negotiating;
    Parse parse_ = Parse::Data;
    uint8_t verb_ = 0;
    std::vector<uint8_t> sub_;
    bool subTooLong_ = false;
    // Our side (WILL) and the server's side (DO) of each option we use.
    OptionState localBinary_, remoteBinary_, localSga_, remoteSga_, comPort_;
    bool comPortAgreed_ = false;
    bool frameAsked_ = false;
    // Which of baud, data size, parity, stop size the server has confirmed.
    bool confirmed_[4] = {false, false, false, false};
    std::string failure_;
    std::string failureJapanese_;
    LineEvents events_;
};

// The RFC 2217 value of a connection's parity code (0 none ... 4 space) and stop-bit code
// (0 one, 1 one and a half, 2 two).
uint8_t Rfc2217Parity(int parityCode);
uint8_t Rfc2217StopSize(int stopBitsCode);

}  // namespace tavrin
