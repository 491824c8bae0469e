#include "SimExchange.h"

namespace tavrin::sim {

Bytes CSerialExchange::BuildRecord(uint8_t letter, const Bytes& data) {
    const auto length = static_cast<uint16_t>(data.size());
    const auto complement = static_cast<uint16_t>(0xFFFF - length);
    Bytes record{kStx,
                 letter,
                 static_cast<uint8_t>(length >> 8),
                 static_cast<uint8_t>(length & 0xFF),
                 static_cast<uint8_t>(complement >> 8),
                 static_cast<uint8_t>(complement & 0xFF)};
    uint8_t sum = 0;
    for (uint8_t b : data) sum = static_cast<uint8_t>(sum + b);
    record.insert(record.end(), data.begin(), data.end());
    record.push_back(static_cast<uint8_t>(~sum));
    return record;
}

int CSerialExchange::Exchange(uint8_t letter, const Bytes& request, Bytes& reply,
                              const ExchangeFaults& faults) {
    int result = SendRequest(letter, request, faults);
    if (result != 0) return result;
    return ReceiveReply(letter, reply, faults);
}

int CSerialExchange::SendRequest(uint8_t letter, const Bytes& request, const ExchangeFaults& faults) {
    bool answered = false;
    for (int attempt = 0; attempt < kEnqAttempts && !answered; ++attempt) {
        if (!line.Send(Bytes{kEnq}.data(), 1)) return kSimClosed;
        for (;;) {
            int b = Read(kAnswerMs);
            if (b == CSimLine::kClosed) return kSimClosed;
            if (b == CSimLine::kTimeout || b == kNak) break;
            if (b == kAck) {
                answered = true;
                break;
            }
        }
    }
    if (!answered) return kSimNoAnswer;

    const Bytes record = BuildRecord(letter, request);
    bool corruptLength = faults.badLength;
    bool corruptChecksum = faults.badChecksum || faults.badChecksumAlways;
    for (int sends = 1;; ++sends) {
        if (corruptLength) {
            // The header alone, its complement off by one: the terminal refuses it as soon as
            // the four length bytes are in, so the data is not sent after it.
            Bytes header(record.begin(), record.begin() + 6);
            header[5] ^= 0x01;
            if (!line.Send(header.data(), header.size())) return kSimClosed;
            corruptLength = false;
        } else if (corruptChecksum) {
            Bytes bad = record;
            bad.back() = static_cast<uint8_t>(bad.back() + 1);
            if (!line.Send(bad.data(), bad.size())) return kSimClosed;
            corruptChecksum = faults.badChecksumAlways;
        } else if (!line.Send(record.data(), record.size())) {
            return kSimClosed;
        }
        int b;
        do b = Read(kRecordAnswerMs);
        while (b >= 0 && b != kAck && b != kNak);
        if (b == CSimLine::kClosed) return kSimClosed;
        if (b == CSimLine::kTimeout) return kSimNoAnswer;
        if (b == kAck) return line.Send(Bytes{kEot}.data(), 1) ? 0 : kSimClosed;
        if (sends >= kRecordSends) {
            line.Send(Bytes{kEot}.data(), 1);
            return kSimRejected;
        }
    }
}

int CSerialExchange::ReceiveReply(uint8_t letter, Bytes& reply, const ExchangeFaults& faults) {
    for (;;) {
        int b = Read(kReplyWaitMs);
        if (b == CSimLine::kClosed) return kSimClosed;
        if (b == CSimLine::kTimeout) return kSimNoAnswer;
        if (b == kEnq) break;
    }
    if (faults.silence) {
        // Play dead: let the terminal's ENQ retries run out before the console speaks again.
        line.WaitQuiet(kQuietMs, 30000);
        return kSimAborted;
    }
    if (faults.nakEnq) {
        line.Send(Bytes{kNak}.data(), 1);
        line.WaitQuiet(500, 5000);
        return kSimAborted;
    }
    if (!line.Send(Bytes{kAck}.data(), 1)) return kSimClosed;

    int refusals = faults.nakReply;
    auto fail = [](int b) { return b == CSimLine::kClosed ? kSimClosed : kSimNoAnswer; };
    for (;;) {
        int b = Read(kByteMs);
        if (b < 0) return fail(b);
        if (b == kEnq) {  // our ACK went astray: the terminal asks again
            if (!line.Send(Bytes{kAck}.data(), 1)) return kSimClosed;
            continue;
        }
        if (b == kEot) return kSimPcGaveUp;
        if (b != kStx) continue;

        int gotLetter = Read(kByteMs);
        if (gotLetter < 0) return fail(gotLetter);
        int header[4];
        for (int& h : header) {
            h = Read(kByteMs);
            if (h < 0) return fail(h);
        }
        const int length = header[0] << 8 | header[1];
        const int complement = header[2] << 8 | header[3];
        if (length + complement != 0xFFFF || static_cast<size_t>(length) > kMaxData) {
            line.WaitQuiet(200, 2000);
            if (!line.Send(Bytes{kNak}.data(), 1)) return kSimClosed;
            continue;
        }
        Bytes data;
        data.reserve(static_cast<size_t>(length));
        unsigned sum = 0;
        for (int i = 0; i < length; ++i) {
            int d = Read(kByteMs);
            if (d < 0) return fail(d);
            data.push_back(static_cast<uint8_t>(d));
            sum += static_cast<unsigned>(d);
        }
        int checksum = Read(kByteMs);
        if (checksum < 0) return fail(checksum);
        if (((sum + static_cast<unsigned>(checksum)) & 0xFF) != 0xFF || refusals > 0) {
            if (refusals > 0 && ((sum + static_cast<unsigned>(checksum)) & 0xFF) == 0xFF) --refusals;
            if (!line.Send(Bytes{kNak}.data(), 1)) return kSimClosed;
            continue;
        }
        if (!line.Send(Bytes{kAck}.data(), 1)) return kSimClosed;
        do b = Read(kByteMs);
        while (b >= 0 && b != kEot);
        if (b == CSimLine::kClosed) return kSimClosed;
        if (gotLetter != letter) return kSimBadReply;
        reply = std::move(data);
        return 0;
    }
}

int CTcpExchange::SendRequest(uint8_t letter, const Bytes& data) {
    Bytes record{kEnq, kStx, letter};
    record.insert(record.end(), data.begin(), data.end());
    record.push_back(kEtb);
    return line.Send(record.data(), record.size()) ? 0 : kSimClosed;
}

int CTcpExchange::ReadReply(int firstMs, uint8_t& letter, int& status, Bytes& data) {
    auto fail = [](int b) { return b == CSimLine::kClosed ? kSimClosed : kSimBadReply; };
    int b;
    do b = line.ReadByte(firstMs);
    while (b >= 0 && b != kStx);
    if (b == CSimLine::kClosed) return kSimClosed;
    if (b == CSimLine::kTimeout) return kSimNoAnswer;
    b = line.ReadByte(kByteMs);
    if (b < 0) return fail(b);
    letter = static_cast<uint8_t>(b);
    // The status is printed with "%5d": blanks, an optional minus sign, digits.
    int value = 0;
    bool negative = false, digits = false;
    for (int i = 0; i < 5; ++i) {
        b = line.ReadByte(kByteMs);
        if (b < 0) return fail(b);
        if (b == ' ' && !digits && !negative) continue;
        if (b == '-' && !digits && !negative) {
            negative = true;
            continue;
        }
        if (b < '0' || b > '9') return kSimBadReply;
        digits = true;
        value = value * 10 + (b - '0');
    }
    if (!digits) return kSimBadReply;
    status = negative ? -value : value;
    data.clear();
    for (;;) {
        b = line.ReadByte(kByteMs);
        if (b < 0) return fail(b);
        if (b == kEtb) return 0;
        if (data.size() >= kMaxData) return kSimBadReply;
        data.push_back(static_cast<uint8_t>(b));
    }
}

}  // namespace tavrin::sim
