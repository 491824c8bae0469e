#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "link/LinkOps.h"
#include "platform/Clock.h"
#include "platform/Shell.h"
#include "transfer/TransferFiles.h"

namespace tavrin {

inline constexpr int kReceiveStepMs = 8000;  // serial receive: each step waits at most 8 s
inline constexpr int kSendWaitMs = 2000;     // serial send: each wait for an answer
inline constexpr int kEnqAttempts = 3;
inline constexpr size_t kSerialRecordMax = 0xFFFF;
inline constexpr size_t kTcpRecordMax = kTcpChunkSize;

// One request as received. On TCP/IP a D record can arrive in pieces, one per received chunk;
// complete tells whether its ETB has been seen.
struct TransferRecord {
    uint8_t letter = 0;
    std::vector<uint8_t> data;  // data bytes, followed by a NUL (not counted)
    size_t length = 0;
    bool complete = false;
};

// The terminal's side of the controller's file transfer. The controller drives it: each ENQ it
// sends becomes one call of HandleTransferRequest, which receives one request, runs its handler
// and sends the reply.
//
// Serial record, both directions: STX, letter, length and its complement (16-bit big-endian
// each, summing to 0xFFFF), the data, and a checksum byte making the 8-bit sum of the data and
// itself 0xFF. TCP/IP: the controller sends ENQ STX letter data ETB; the terminal answers STX
// letter, a 5-character status, the data of C as text, and ETB.
class CTransferProtocol {
public:
    CTransferProtocol(CPelinDoc& doc, ViewState& view, LinkOps& link, Clock& clock, Shell& shell);

    // One request and its reply. On TCP/IP the bytes come from doc.tcpChunk: on the call its
    // position indexes the ENQ of a new request, or, when ResumePending(), the first byte of a
    // newly received chunk; on return it indexes the first byte not consumed. On the serial
    // line the ENQ has been read by the caller and the rest is read from the link. Returns 0
    // or a negative code (failed receive: its code, no reply sent; otherwise the handler's
    // code, else the reply's send result).
    int HandleTransferRequest(const std::string& folder);

    // Receives one request into record. 0 or a negative protocol code.
    int ReceiveTransferBlock(TransferRecord& record);
    // Sends a built reply. Serial: ENQ handshake, the record sent at most twice, EOT. TCP/IP:
    // the text at once. 0 or a negative protocol code.
    int SendTransferBlock(const uint8_t* record, size_t length);

    // TCP/IP: a record is half received and resumes with the next chunk.
    bool ResumePending() const { return tcpState_ != 0; }
    // A TCP/IP connection was made: forget the half-received record and the save's error.
    void ResetTcpState();

    // The serial reply record for letter and data: STX letter length complement data checksum.
    static std::vector<uint8_t> BuildSerialRecord(uint8_t letter, const uint8_t* data, size_t length);

    CTransferFiles& Files() { return files_; }

private:
    int ReceiveSerial(TransferRecord& record);
    int ReceiveTcp(TransferRecord& record);
    int SendSerial(const uint8_t* record, size_t length);
    int ReplySerial(uint8_t letter, const TransferReply& reply, const std::string& name);
    int ReplyTcp(uint8_t letter, int status, const uint8_t* data, size_t length);
    int HandleSerial(const TransferRecord& record, const std::string& folder);
    int HandleTcp(const TransferRecord& record, const std::string& folder);
    int TcpWriteResult(int rc);
    void PaintWhileWaiting();

    CPelinDoc& doc_;
    LinkOps& link_;
    Clock& clock_;
    Shell& shell_;
    CTransferFiles files_;
    TransferRecord record_;
    int64_t lastPaintMs_ = 0;

    // TCP/IP receive state kept across chunks: 0 none, 1 after ENQ, 2 after STX, 4 data.
    int tcpState_ = 0;
    bool tcpOverflow_ = false;
    // TCP/IP save: the first write error, reported again by E.
    int tcpSaveError_ = 0;
};

}  // namespace tavrin
