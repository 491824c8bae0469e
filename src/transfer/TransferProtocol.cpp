#include "transfer/TransferProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tavrin {

namespace {

void PutBe32(std::vector<uint8_t>& out, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

std::vector<uint8_t> BuildSerialRecord(uint8_t letter, const uint8_t* data, size_t length) {
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

std::vector<uint8_t> BuildSerialReply(uint8_t letter, const TransferReply& reply, const std::string& name) {
    std::vector<uint8_t> data;
    switch (letter) {
        case 'A':
        case 'B': {
            // The compact form carries the first 12 bytes of the name field.
            const size_t field = name.size() < kCompactNameField ? kCompactNameField : kNameField;
            data.insert(data.end(), reply.name.begin(),
                        reply.name.begin() + static_cast<std::ptrdiff_t>(field));
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
    return BuildSerialRecord(letter, data.data(), data.size());
}

std::vector<uint8_t> BuildTcpReply(uint8_t letter, int status, const uint8_t* data, size_t length) {
    char head[24];
    const int headLength = std::snprintf(head, sizeof head, "%c%c%5d", kStx, letter, status);
    // The data travels as text: it ends at a NUL (loads refuse such files before this).
    const uint8_t* dataEnd = data ? std::find(data, data + length, 0) : data;
    std::vector<uint8_t> text(static_cast<size_t>(headLength) + static_cast<size_t>(dataEnd - data) + 1);
    std::copy_n(head, headLength, text.begin());
    if (data) std::copy(data, dataEnd, text.begin() + headLength);
    text.back() = kEtb;
    return text;
}

// ---------------------------------------------------------------------------------------------

CSerialReceiver::CSerialReceiver(LinkOps& link) : CSerialMachine(link) {
    record_.data.assign(kSerialRecordMax + 1, 0);
}

void CSerialReceiver::Start(int64_t now) {
    record_.letter = 0;
    record_.length = 0;
    record_.complete = false;
    Purge();
    link_.SendLinkByte(kAck);
    deadline_ = now + kReceiveStepMs;
    state_ = 1;
    running_ = true;
}

int CSerialReceiver::OnByte(uint8_t byte, int64_t now) {
    if (!running_) return 0;
    switch (state_) {
        case 1:
            if (byte == kStx) {
                deadline_ = now + kReceiveStepMs;
                state_ = 2;
            } else if (byte == kEot) {
                return Finish(kRecordCutShort);
            }
            break;
        case 2:
            record_.letter = byte;
            record_.length = 0;
            sum_ = 0;
            headerCount_ = 0;
            state_ = 3;
            break;
        case 3:
            header_[headerCount_++] = byte;
            if (headerCount_ == header_.size()) {
                const unsigned length = header_[0] << 8 | header_[1];
                const unsigned complement = header_[2] << 8 | header_[3];
                if (length + complement != 0xFFFF) {
                    link_.SendLinkByte(kNak);
                    deadline_ = now + kReceiveStepMs;
                    state_ = 1;
                } else {
                    expected_ = length;
                    // An empty record goes straight to its checksum.
                    state_ = expected_ == 0 ? 5 : 4;
                }
            }
            break;
        case 4:
            record_.data[record_.length++] = byte;
            sum_ = static_cast<uint8_t>(sum_ + byte);
            if (record_.length >= expected_) state_ = 5;
            break;
        case 5:
            Purge();
            if (static_cast<uint8_t>(sum_ + byte) == 0xFF) {
                link_.SendLinkByte(kAck);
                state_ = 6;
            } else {
                link_.SendLinkByte(kNak);  // the controller sends the record again from STX
                state_ = 1;
            }
            deadline_ = now + kReceiveStepMs;
            break;
        case 6:
            if (byte == kEot) {
                record_.data[record_.length] = 0;
                record_.complete = true;
                return Finish(0);
            }
            break;
        default: break;
    }
    return kStillRunning;
}

int CSerialReceiver::OnDeadline(int64_t now) {
    if (!running_) return 0;
    if (now < deadline_) return kStillRunning;
    if (state_ == 5) {
        Purge();
        link_.SendLinkByte(kNak);
        deadline_ = now + kReceiveStepMs;
        state_ = 1;
        return kStillRunning;
    }
    if (state_ == 6) {
        Purge();
        record_.data[record_.length] = 0;
        record_.complete = true;
        return Finish(0);
    }
    link_.SendLinkByte(kEot);
    return Finish(kReceiveTimeout);
}

// ---------------------------------------------------------------------------------------------

void CSerialSender::Start(std::vector<uint8_t> record, int64_t now) {
    record_ = std::move(record);
    attemptsLeft_ = kEnqAttempts;
    sendsLeft_ = 0;
    waitingForRecordAnswer_ = false;
    running_ = true;
    link_.SendLinkByte(kEnqByte);
    deadline_ = now + kSendWaitMs;
}

void CSerialSender::SendRecord(int64_t now) {
    Purge();
    link_.SendLinkBytes(record_.data(), record_.size());
    --sendsLeft_;
    deadline_ = now + kSendWaitMs;
}

int CSerialSender::OnByte(uint8_t byte, int64_t now) {
    if (!running_) return 0;
    if (byte == kAck) {
        if (waitingForRecordAnswer_) {
            Purge();
            link_.SendLinkByte(kEot);
            return Finish(0);
        }
        // From here on time-outs may send ENQ three more times, the record goes twice at most.
        attemptsLeft_ = kEnqAttempts + 1;
        sendsLeft_ = 2;
        waitingForRecordAnswer_ = true;
        SendRecord(now);
    } else if (byte == kNak) {
        if (!waitingForRecordAnswer_) return Finish(kEnqRefused);
        if (sendsLeft_ <= 0) {
            link_.SendLinkByte(kEot);
            return Finish(kSendRejectedTwice);
        }
        SendRecord(now);
    }
    return kStillRunning;
}

int CSerialSender::OnDeadline(int64_t now) {
    if (!running_) return 0;
    if (now < deadline_) return kStillRunning;
    if (--attemptsLeft_ <= 0) return Finish(kNoAnswerToEnq);
    Purge();
    link_.SendLinkByte(kEnqByte);
    deadline_ = now + kSendWaitMs;
    return kStillRunning;
}

// ---------------------------------------------------------------------------------------------

void CTcpReceiver::Reset() {
    state_ = 0;
    overflow_ = false;
    record_.length = 0;
    record_.letter = 0;
    record_.complete = false;
}

int CTcpReceiver::Feed(const uint8_t* data, size_t count, size_t& consumed) {
    consumed = 0;
    record_.complete = false;
    auto fail = [&](int code) {
        state_ = 0;
        record_.length = 0;
        return code;
    };
    while (consumed < count) {
        const uint8_t byte = data[consumed++];
        switch (state_) {
            case 0:
                if (byte == kEnqByte) state_ = 1;
                break;
            case 1:
            case 2:
                if (byte == kEnqByte || byte == kStx) {
                    if (state_ == 1 && byte == kStx) state_ = 2;
                } else if (byte == kSub) {
                    return fail(kRecordCutShort);
                } else if (state_ == 1) {
                    return fail(kUnexpectedByte);
                } else {
                    record_.letter = byte;
                    record_.length = 0;
                    state_ = 4;
                }
                break;
            case 4:
                if (byte == kEtb) {
                    record_.data[record_.length] = 0;
                    record_.complete = true;
                    state_ = 0;
                    return 0;
                }
                if (record_.length < kTcpRecordMax)
                    record_.data[record_.length++] = byte;
                else
                    overflow_ = true;
                break;
            default: break;
        }
    }
    record_.data[record_.length] = 0;
    return kStillRunning;
}

}  // namespace tavrin
