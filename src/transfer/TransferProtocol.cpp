#include "transfer/TransferProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tavrin {

namespace {

constexpr int kPaintIntervalMs = 100;

void PutBe32(std::vector<uint8_t>& out, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// The request's data as a NUL-terminated text: the file name of A, B and F.
std::string NameOf(const TransferRecord& record) {
    const char* text = reinterpret_cast<const char*>(record.data.data());
    return std::string(text, strnlen(text, record.length));
}

}  // namespace

CTransferProtocol::CTransferProtocol(CPelinDoc& doc, ViewState& view, LinkOps& link, Clock& clock,
                                     Shell& shell)
    : doc_(doc), link_(link), clock_(clock), shell_(shell), files_(view) {
    record_.data.assign(kSerialRecordMax + 1, 0);
}

void CTransferProtocol::ResetTcpState() {
    tcpState_ = 0;
    tcpOverflow_ = false;
    tcpSaveError_ = 0;
    record_.length = 0;
    record_.letter = 0;
}

void CTransferProtocol::PaintWhileWaiting() {
    const int64_t now = clock_.NowMs();
    if (now - lastPaintMs_ >= kPaintIntervalMs) {
        shell_.PaintNow();
        lastPaintMs_ = now;
    }
}

std::vector<uint8_t> CTransferProtocol::BuildSerialRecord(uint8_t letter, const uint8_t* data,
                                                          size_t length) {
    length = std::min(length, kSerialRecordMax);
    std::vector<uint8_t> record;
    record.reserve(length + 7);
    record.push_back(kStx);
    record.push_back(letter);
    const auto len = static_cast<uint16_t>(length);
    const auto complement = static_cast<uint16_t>(0xFFFF - len);
    record.push_back(static_cast<uint8_t>(len >> 8));
    record.push_back(static_cast<uint8_t>(len));
    record.push_back(static_cast<uint8_t>(complement >> 8));
    record.push_back(static_cast<uint8_t>(complement));
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) {
        record.push_back(data[i]);
        sum = static_cast<uint8_t>(sum + data[i]);
    }
    record.push_back(static_cast<uint8_t>(~sum));
    return record;
}

int CTransferProtocol::ReceiveTransferBlock(TransferRecord& record) {
    return doc_.isTcp ? ReceiveTcp(record) : ReceiveSerial(record);
}

// Serial receive. States: 0 waiting for ENQ, 1 waiting for STX, 2 letter, 3 length words,
// 4 data, 5 checksum, 6 waiting for EOT. Control bytes count only in states 0, 1 and 6; in the
// others every byte is part of the record.
int CTransferProtocol::ReceiveSerial(TransferRecord& record) {
    int state = 0;
    int64_t deadline = 0;
    std::array<uint8_t, 4> header{};
    size_t headerCount = 0;
    size_t expected = 0;
    uint8_t sum = 0;
    record.letter = 0;
    record.length = 0;
    record.complete = false;

    auto restartStep = [&] { deadline = clock_.NowMs() + kReceiveStepMs; };
    // The ENQ the interpreter has seen opens the exchange.
    link_.PurgeComPort();
    link_.SendLinkByte(kAck);
    restartStep();
    state = 1;

    for (;;) {
        const int next = link_.ReadLinkByte();
        if (next < 0) {
            PaintWhileWaiting();
            if (clock_.NowMs() < deadline) continue;
            if (state == 5) {
                link_.PurgeComPort();
                link_.SendLinkByte(kNak);
                restartStep();
                state = 1;
                continue;
            }
            if (state == 6) {
                link_.PurgeComPort();
                record.complete = true;
                return 0;
            }
            link_.SendLinkByte(kEot);
            return kReceiveTimeout;
        }
        const auto byte = static_cast<uint8_t>(next);
        switch (state) {
            case 1:
                if (byte == kStx) {
                    restartStep();
                    state = 2;
                } else if (byte == kEot) {
                    return kRecordCutShort;
                }
                break;
            case 2:
                record.letter = byte;
                record.length = 0;
                sum = 0;
                headerCount = 0;
                state = 3;
                break;
            case 3:
                header[headerCount++] = byte;
                if (headerCount == header.size()) {
                    const unsigned length = header[0] << 8 | header[1];
                    const unsigned complement = header[2] << 8 | header[3];
                    if (length + complement != 0xFFFF) {
                        link_.SendLinkByte(kNak);
                        restartStep();
                        state = 1;
                    } else {
                        expected = length;
                        // An empty record goes straight to its checksum.
                        state = expected == 0 ? 5 : 4;
                    }
                }
                break;
            case 4:
                record.data[record.length++] = byte;
                sum = static_cast<uint8_t>(sum + byte);
                if (record.length >= expected) state = 5;
                break;
            case 5:
                link_.PurgeComPort();
                if (static_cast<uint8_t>(sum + byte) == 0xFF) {
                    link_.SendLinkByte(kAck);
                    state = 6;
                } else {
                    link_.SendLinkByte(kNak);  // the controller sends the record again from STX
                    state = 1;
                }
                restartStep();
                break;
            case 6:
                if (byte == kEot) {
                    record.data[record.length] = 0;
                    record.complete = true;
                    return 0;
                }
                break;
            default: break;
        }
    }
}

// TCP/IP receive: works only on the bytes already in the shared chunk and never waits. States:
// 0 waiting for ENQ, 1 waiting for STX, 2 letter, 4 data up to ETB. When the chunk ends inside a
// record the state is kept and the next chunk resumes it.
int CTransferProtocol::ReceiveTcp(TransferRecord& record) {
    ReceiveChunk& chunk = doc_.tcpChunk;
    const int end = std::clamp(chunk.length, 0, static_cast<int>(kTcpChunkSize));
    chunk.position = std::max(chunk.position, 0);
    int state = tcpState_;
    if (state == 0) {
        record.letter = 0;
        record.length = 0;
        tcpOverflow_ = false;
    } else if (state == 4 && record.letter == 'D') {
        record.length = 0;  // a long D record is written one piece per chunk
    }
    record.complete = false;
    auto fail = [&](int code) {
        tcpState_ = 0;
        record.length = 0;
        return code;
    };
    while (chunk.position < end) {
        const uint8_t byte = chunk.data[chunk.position++];
        switch (state) {
            case 0:
                if (byte == kEnqByte) state = 1;
                break;
            case 1:
            case 2:
                if (byte == kEnqByte || byte == kStx) {
                    if (state == 1 && byte == kStx) state = 2;
                } else if (byte == kSub) {
                    return fail(kRecordCutShort);
                } else if (state == 1) {
                    return fail(kUnexpectedByte);
                } else {
                    record.letter = byte;
                    state = 4;
                }
                break;
            case 4:
                if (byte == kEtb) {
                    record.data[record.length] = 0;
                    record.complete = true;
                    tcpState_ = 0;
                    return 0;
                }
                if (record.length < kTcpRecordMax)
                    record.data[record.length++] = byte;
                else
                    tcpOverflow_ = true;
                break;
            default: break;
        }
    }
    record.data[record.length] = 0;
    tcpState_ = state;
    return 0;
}

int CTransferProtocol::SendTransferBlock(const uint8_t* record, size_t length) {
    if (doc_.isTcp) {
        link_.SendLinkBytes(record, length);
        return 0;
    }
    return SendSerial(record, length);
}

int CTransferProtocol::SendSerial(const uint8_t* record, size_t length) {
    int attemptsLeft = kEnqAttempts;
    int sendsLeft = 0;
    bool waitingForRecordAnswer = false;
    link_.SendLinkByte(kEnqByte);
    int64_t deadline = clock_.NowMs() + kSendWaitMs;
    auto sendRecord = [&] {
        link_.PurgeComPort();
        link_.SendLinkBytes(record, length);
        --sendsLeft;
        deadline = clock_.NowMs() + kSendWaitMs;
    };
    for (;;) {
        const int next = link_.ReadLinkByte();
        if (next < 0) {
            PaintWhileWaiting();
            if (clock_.NowMs() < deadline) continue;
            if (--attemptsLeft <= 0) return kNoAnswerToEnq;
            link_.PurgeComPort();
            link_.SendLinkByte(kEnqByte);
            deadline = clock_.NowMs() + kSendWaitMs;
            continue;
        }
        if (next == kAck) {
            if (waitingForRecordAnswer) {
                link_.PurgeComPort();
                link_.SendLinkByte(kEot);
                return 0;
            }
            // From here on timeouts may send ENQ three more times, the record goes twice at most.
            attemptsLeft = kEnqAttempts + 1;
            sendsLeft = 2;
            waitingForRecordAnswer = true;
            sendRecord();
        } else if (next == kNak) {
            if (!waitingForRecordAnswer) return kEnqRefused;
            if (sendsLeft <= 0) {
                link_.SendLinkByte(kEot);
                return kSendRejectedTwice;
            }
            sendRecord();
        }
    }
}

int CTransferProtocol::ReplySerial(uint8_t letter, const TransferReply& reply, const std::string& name) {
    std::vector<uint8_t> data;
    switch (letter) {
        case 'A':
        case 'B': {
            // The compact form carries the first 12 bytes of the name field.
            const size_t field = name.size() < kCompactNameField ? kCompactNameField : kNameField;
            data.insert(data.end(), reply.name.begin(), reply.name.begin() + field);
            PutBe32(data, reply.status);
            PutBe32(data, static_cast<int32_t>(reply.fileSize));
            PutBe32(data, static_cast<int32_t>(reply.fileTime));
            break;
        }
        case 'C':
        case 'D':
        case 'E':
            PutBe32(data, reply.status);
            data.insert(data.end(), reply.echo.begin(), reply.echo.end());
            if (letter == 'C' && reply.data)
                data.insert(data.end(), reply.data, reply.data + reply.dataLength);
            break;
        default: PutBe32(data, reply.status); break;
    }
    const std::vector<uint8_t> record = BuildSerialRecord(letter, data.data(), data.size());
    return SendTransferBlock(record.data(), record.size());
}

int CTransferProtocol::ReplyTcp(uint8_t letter, int status, const uint8_t* data, size_t length) {
    char number[16];
    std::snprintf(number, sizeof number, "%5d", status);
    std::vector<uint8_t> text;
    text.push_back(kStx);
    text.push_back(letter);
    text.insert(text.end(), number, number + std::strlen(number));
    // The data travels as text: it ends at a NUL (loads refuse such files before this).
    if (data) text.insert(text.end(), data, std::find(data, data + length, 0));
    text.push_back(kEtb);
    return SendTransferBlock(text.data(), text.size());
}

int CTransferProtocol::HandleTransferRequest(const std::string& folder) {
    const bool tcp = doc_.isTcp != 0;
    files_.SetTcp(tcp);
    const int rc = ReceiveTransferBlock(record_);
    if (rc < 0) {
        // A request of an open save was lost: that save cannot be trusted to be whole.
        files_.NoteFailedExchange();
        return rc;
    }
    return tcp ? HandleTcp(record_, folder) : HandleSerial(record_, folder);
}

int CTransferProtocol::HandleSerial(const TransferRecord& record, const std::string& folder) {
    TransferReply reply;
    const uint8_t* data = record.data.data();
    const size_t length = record.length;
    const std::string name = NameOf(record);
    int rc = 0;
    switch (record.letter) {
        case 'A':
        case 'B': rc = files_.OpenTransferFile(name, reply, folder, static_cast<char>(record.letter)); break;
        case 'C':
            rc = length > 0 && (data[0] & kCompressedBit)
                     ? files_.ReadFileBlockCompressed(data, length, reply)
                     : files_.ReadFileBlock(data, length, reply);
            break;
        case 'D': rc = files_.WriteFileBlock(data, length, reply); break;
        case 'E': rc = files_.CloseTransferFile(data, length, reply); break;
        case 'F': rc = files_.DeleteTransferFile(name, reply, folder); break;
        default: rc = reply.status = kUnknownRequest; break;
    }
    const int sent = ReplySerial(record.letter, reply, name);
    // The controller did not get this reply: it does not count the block as written.
    if (sent < 0 && record.letter != 'E') files_.NoteFailedExchange();
    return rc != 0 ? rc : sent;
}

// A TCP/IP save answers D only when it fails. The first failure is remembered and shown; the
// same failure again is answered but not shown again; another one is shown too.
int CTransferProtocol::TcpWriteResult(int rc) {
    if (rc == 0) return 0;
    ReplyTcp('D', rc, nullptr, 0);
    if (tcpSaveError_ == 0) {
        tcpSaveError_ = rc;
        return rc;
    }
    return rc == tcpSaveError_ ? 0 : rc;
}

int CTransferProtocol::HandleTcp(const TransferRecord& record, const std::string& folder) {
    TransferReply reply;
    const uint8_t* data = record.data.data();
    const size_t length = record.length;
    if (!record.complete) {
        // Only a D record is taken in pieces; the others wait for their ETB.
        if (record.letter == 'D' && tcpState_ == 4)
            return TcpWriteResult(files_.WriteFileBlock(data, length, reply));
        return 0;
    }
    if (tcpOverflow_ && record.letter != 'D') {
        tcpOverflow_ = false;
        ReplyTcp(record.letter, kBlockTooLong, nullptr, 0);
        return kBlockTooLong;
    }
    int rc = 0;
    switch (record.letter) {
        case 'A':
        case 'B':
            rc = files_.OpenTransferFile(NameOf(record), reply, folder, static_cast<char>(record.letter));
            tcpSaveError_ = 0;
            break;
        case 'C': rc = files_.ReadFileBlock(data, length, reply); break;
        case 'D': return TcpWriteResult(files_.WriteFileBlock(data, length, reply));
        case 'E':
            rc = files_.CloseTransferFile(data, length, reply);
            if (rc == 0 && files_.LastOpenWasSave()) reply.status = tcpSaveError_;
            break;
        case 'F': rc = files_.DeleteTransferFile(NameOf(record), reply, folder); break;
        default: rc = reply.status = kUnknownRequest; break;
    }
    const int sent = ReplyTcp(record.letter, reply.status, reply.data, reply.dataLength);
    return rc != 0 ? rc : sent;
}

}  // namespace tavrin
