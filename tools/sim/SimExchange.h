#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "SimLine.h"

namespace tavrin::sim {

using Bytes = std::vector<uint8_t>;

// Control bytes of the transfer protocol.
inline constexpr uint8_t kEnq = 0x05, kAck = 0x06, kNak = 0x15, kStx = 0x02, kEot = 0x04, kEtb = 0x17,
                         kSub = 0x1A;

// Results of the controller's side of a transfer (0 = success).
enum SimResult : int {
    kSimOk = 0,
    kSimNoAnswer = -2,  // the terminal did not answer, or its reply did not come
    kSimRejected = -3,  // the terminal refused the request record three times
    kSimBadReply = -4,  // a reply with the wrong letter, length or echo field
    kSimAborted = -5,   // the controller stopped the transfer itself (an injected fault)
    kSimClosed = -6,    // the link is gone
    kSimPcGaveUp = -7,  // the terminal ended its reply with EOT before it was taken
    kSimPcStatus = -8,  // the terminal reported a file error in the reply's status
    kSimNotText = -9,   // the file holds a byte the TCP/IP record form cannot carry
    kSimTooLong = -10,  // the file sent by the terminal exceeds what the controller keeps
};

// Faults to inject into one exchange.
struct ExchangeFaults {
    bool badChecksum = false;
    bool badChecksumAlways = false;
    bool badLength = false;
    int nakReply = 0;
    bool nakEnq = false;
    bool silence = false;
};

// One request and its reply on the serial line, from the controller's side:
//   controller ENQ, terminal ACK, controller STX letter len ~len data checksum, terminal ACK
//   (NAK: resend from STX), controller EOT; then the reply the other way round: terminal ENQ,
//   controller ACK, terminal record, controller ACK (or NAK to have it resent), terminal EOT.
class CSerialExchange {
public:
    static constexpr int kEnqAttempts = 3;
    static constexpr int kRecordSends = 3;
    static constexpr int kAnswerMs = 2000;  // for the ACK to an ENQ
    static constexpr int kRecordAnswerMs = 3000;
    static constexpr int kReplyWaitMs = 10000;  // from our EOT to the terminal's ENQ
    static constexpr int kByteMs = 3000;        // between bytes of a reply record
    static constexpr int kQuietMs = 3000;       // silence that ends an abandoned exchange
    static constexpr size_t kMaxData = 4096 + 8;

    explicit CSerialExchange(CSimLine& line) : line(line) {}

    // STX, letter, length and its complement (big-endian), data, one's-complement checksum.
    static Bytes BuildRecord(uint8_t letter, const Bytes& data);

    // Sends the request and takes the reply's data. Returns 0 or a SimResult.
    int Exchange(uint8_t letter, const Bytes& request, Bytes& reply, const ExchangeFaults& faults);

private:
    int SendRequest(uint8_t letter, const Bytes& request, const ExchangeFaults& faults);
    int ReceiveReply(uint8_t letter, Bytes& reply, const ExchangeFaults& faults);
    int Read(int timeoutMs) { return line.ReadByte(timeoutMs); }

    CSimLine& line;
};

// The TCP/IP record form: requests ENQ STX letter data ETB, replies STX letter status (five
// characters, "%5d") data ETB. Nothing is acknowledged; a write block is answered only when it
// failed.
class CTcpExchange {
public:
    static constexpr int kReplyWaitMs = 10000;
    static constexpr int kByteMs = 3000;
    static constexpr size_t kMaxData = 65536;

    explicit CTcpExchange(CSimLine& line) : line(line) {}

    int SendRequest(uint8_t letter, const Bytes& data);
    // Reads one reply, skipping bytes before its STX. firstMs bounds the wait for the STX
    // (0: only what has already arrived). Returns 0, kSimNoAnswer (nothing came), kSimClosed
    // or kSimBadReply.
    int ReadReply(int firstMs, uint8_t& letter, int& status, Bytes& data);

private:
    CSimLine& line;
};

}  // namespace tavrin::sim
