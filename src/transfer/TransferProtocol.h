#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/LinkOps.h"
#include "platform/Clock.h"
#include "transfer/TransferFiles.h"

namespace tavrin {

inline constexpr int kReceiveStepMs = 8000;  // serial receive: each step waits at most 8 s
inline constexpr int kSendWaitMs = 2000;     // serial send: each wait for an answer
inline constexpr int kEnqAttempts = 3;
inline constexpr size_t kSerialRecordMax = 0xFFFF;
inline constexpr size_t kTcpRecordMax = 4096;

// A machine's answer to a byte or a time-out: still under way, or finished with 0 or a
// negative protocol code.
inline constexpr int kStillRunning = 1;

// One request as received. On TCP/IP a D record can arrive in pieces, one per received chunk;
// complete tells whether its ETB has been seen.
struct TransferRecord {
    uint8_t letter = 0;
    std::vector<uint8_t> data;  // data bytes, followed by a NUL (not counted)
    size_t length = 0;
    bool complete = false;
};

// Serial record, both directions: STX, letter, length and its complement (16-bit big-endian
// each, summing to 0xFFFF), the data, and a checksum byte making the 8-bit sum of the data and
// itself 0xFF.
std::vector<uint8_t> BuildSerialRecord(uint8_t letter, const uint8_t* data, size_t length);
// The serial reply record of a request: the file status of A and B (the compact 24-byte form
// when the received name is shorter than 12 characters), status and echo of C, D and E (C with
// its data), the status alone otherwise.
std::vector<uint8_t> BuildSerialReply(uint8_t letter, const TransferReply& reply, const std::string& name);
// TCP/IP reply: STX, letter, the status as "%5d", the data of C as text (it ends at a NUL), ETB.
std::vector<uint8_t> BuildTcpReply(uint8_t letter, int status, const uint8_t* data, size_t length);

// What the serial receive and send have in common: they run from Start until a byte or a
// deadline finishes them, never waiting; the owner feeds received bytes and reports deadlines.
class CSerialMachine {
public:
    int64_t Deadline() const { return running_ ? deadline_ : kNoDeadline; }
    bool Running() const { return running_; }
    // The owner gives up: EOT tells the controller the exchange is over.
    void Abandon() {
        if (!running_) return;
        link_.SendLinkByte(kEot);
        Finish(0);
    }
    // The link is gone: the exchange just stops.
    void Stop() { Finish(0); }
    // True once after the port's queue was discarded: bytes read before it go with it.
    bool TakePurged() {
        const bool purged = purged_;
        purged_ = false;
        return purged;
    }

protected:
    explicit CSerialMachine(LinkOps& link) : link_(link) {}
    void Purge() {
        link_.PurgeComPort();
        purged_ = true;
    }
    int Finish(int rc) {
        running_ = false;
        return rc;
    }

    LinkOps& link_;
    bool running_ = false;
    bool purged_ = false;
    int64_t deadline_ = 0;
};

// The serial receive of one request, from the ENQ the interpreter has met to the controller's
// EOT. States: 1 waiting for STX, 2 letter, 3 length words, 4 data, 5 checksum, 6 waiting for
// EOT. Control bytes count only in states 1 and 6; in the others every byte is part of the
// record.
class CSerialReceiver : public CSerialMachine {
public:
    explicit CSerialReceiver(LinkOps& link);

    // The ENQ: discards what is queued, answers ACK and waits for STX.
    void Start(int64_t now);
    // One received byte: kStillRunning, 0 (the request is complete) or a negative code.
    int OnByte(uint8_t byte, int64_t now);
    // The deadline has passed with nothing received: kStillRunning (NAK sent, waiting for the
    // resend), 0 (the EOT after a good record never came: the record counts) or -509.
    int OnDeadline(int64_t now);
    const TransferRecord& Record() const { return record_; }

private:
    TransferRecord record_;
    int state_ = 0;
    std::array<uint8_t, 4> header_{};
    size_t headerCount_ = 0;
    size_t expected_ = 0;
    uint8_t sum_ = 0;
};

// The serial send of one reply: ENQ, the record once it is ACKed (at most twice), EOT.
class CSerialSender : public CSerialMachine {
public:
    explicit CSerialSender(LinkOps& link) : CSerialMachine(link) {}

    void Start(std::vector<uint8_t> record, int64_t now);
    int OnByte(uint8_t byte, int64_t now);
    // No answer in time: ENQ again while attempts remain, else -508.
    int OnDeadline(int64_t now);

private:
    void SendRecord(int64_t now);

    std::vector<uint8_t> record_;
    bool waitingForRecordAnswer_ = false;
    int attemptsLeft_ = 0;
    int sendsLeft_ = 0;
};

// The TCP/IP receive of requests. It never waits and has no time-outs: it takes the bytes it is
// given and remembers where a record stopped. States: 0 waiting for ENQ, 1 waiting for STX,
// 2 letter, 4 data up to ETB.
class CTcpReceiver {
public:
    CTcpReceiver() { record_.data.assign(kTcpRecordMax + 1, 0); }

    // The interpreter met ENQ.
    void Start() {
        Reset();
        state_ = 1;
    }
    // Takes bytes up to the end of a record; consumed tells how many. Returns kStillRunning when
    // the bytes ended inside a record (a D record's data so far is in Record(), to be written
    // and then dropped with TakePiece), 0 when a record is complete, or -507/-510.
    int Feed(const uint8_t* data, size_t count, size_t& consumed);
    // A record is half received and goes on with the next bytes.
    bool Pending() const { return state_ != 0; }
    bool Overflowed() const { return overflow_; }
    void ClearOverflow() { overflow_ = false; }
    // A D record's data so far has been written: the next piece starts empty.
    void TakePiece() { record_.length = 0; }
    bool InData() const { return state_ == 4; }
    void Reset();
    const TransferRecord& Record() const { return record_; }

private:
    TransferRecord record_;
    int state_ = 0;
    bool overflow_ = false;
};

}  // namespace tavrin
