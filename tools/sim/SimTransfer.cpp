#include "SimTransfer.h"

#include <cstdio>

namespace tavrin::sim {

namespace {

int32_t BigEndian32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                                static_cast<uint32_t>(p[2]) << 8 | p[3]);
}

// The echo field a block reply must carry: the first four request bytes, or, for a compressed
// block, those bytes read as a little-endian number plus 56, stored the same way.
Bytes ExpectedEcho(const Bytes& request) {
    Bytes echo(request.begin(), request.begin() + 4);
    if (request[0] & 0x08) {
        uint32_t v = echo[0] | echo[1] << 8 | echo[2] << 16 | static_cast<uint32_t>(echo[3]) << 24;
        v += 56;
        for (int i = 0; i < 4; ++i) echo[i] = static_cast<uint8_t>(v >> (8 * i));
    }
    return echo;
}

Bytes NameBytes(const std::string& name, bool terminated) {
    Bytes bytes(name.begin(), name.end());
    if (terminated) bytes.push_back(0);
    return bytes;
}

}  // namespace

CSimTransfer::CSimTransfer(CSimLine& line, const SimOptions& options)
    : line(line), options(options), serial(line), tcp(line) {}

std::string CSimTransfer::ResultText(int result, int pcStatus) {
    switch (result) {
        case kSimOk: return "";
        case kSimNoAnswer: return "(E6101) No answer from the PC.";
        case kSimRejected: return "(E6102) The PC refused the record.";
        case kSimBadReply: return "(E6103) Bad reply from the PC.";
        case kSimAborted: return "(E6104) Transfer aborted.";
        case kSimClosed: return "(E6105) Link lost.";
        case kSimPcGaveUp: return "(E6106) The PC gave up its reply.";
        case kSimPcStatus: return "(E6107) PC file error " + std::to_string(pcStatus) + ".";
        case kSimNotText: return "(E6108) The file holds bytes the TCP/IP transfer cannot carry.";
        case kSimTooLong: return "(E6109) The file is too long.";
        default: return "(E6199) Transfer failed.";
    }
}

ExchangeFaults CSimTransfer::FaultsForNext() {
    ExchangeFaults f;
    if (++exchangeIndex != kFaultExchange) return f;
    const SimFaults& o = options.faults;
    f.badChecksum = o.badChecksum;
    f.badChecksumAlways = o.badChecksumAlways;
    f.badLength = o.badLength;
    f.nakReply = o.nakReply;
    f.nakEnq = o.nakEnq;
    f.silence = o.silence;
    if (f.silence) silenced = true;
    return f;
}

Bytes CSimTransfer::BlockHeader(bool compress) {
    ++sequence;
    return Bytes{static_cast<uint8_t>(compress ? 0x08 : 0x00), static_cast<uint8_t>(sequence >> 16),
                 static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence)};
}

int CSimTransfer::SerialExchange(uint8_t letter, const Bytes& request, Bytes& reply) {
    return serial.Exchange(letter, request, reply, FaultsForNext());
}

// A and B: the reply is the 140-byte file status (name, status, size, time), or its 24-byte
// compact form when the name is shorter than 12 characters.
int CSimTransfer::SerialOpen(uint8_t letter, const std::string& name, uint32_t* size) {
    Bytes reply;
    int r = SerialExchange(letter, NameBytes(name, true), reply);
    if (r != 0) return r;
    const size_t nameField = name.size() < 12 ? 12 : 128;
    if (reply.size() != nameField + 12) return kSimBadReply;
    for (size_t i = 0; i < nameField; ++i)
        if (reply[i] != (i < name.size() ? static_cast<uint8_t>(name[i]) : 0)) return kSimBadReply;
    pcStatus = BigEndian32(reply.data() + nameField);
    if (pcStatus != 0) return kSimPcStatus;
    if (size) *size = static_cast<uint32_t>(BigEndian32(reply.data() + nameField + 4));
    return 0;
}

int CSimTransfer::SerialBlockStatus(const Bytes& request, const Bytes& reply, size_t minLength) {
    if (reply.size() < minLength) return kSimBadReply;
    const Bytes echo = ExpectedEcho(request);
    if (!std::equal(echo.begin(), echo.end(), reply.begin() + 4)) return kSimBadReply;
    pcStatus = BigEndian32(reply.data());
    return pcStatus == 0 ? 0 : kSimPcStatus;
}

void CSimTransfer::CloseAfterFailure(int result) {
    // A controller that can still talk closes the PC's file, so the terminal is not left with
    // it open; after silence or a lost link there is nobody to tell.
    if (result == kSimNoAnswer || result == kSimClosed || silenced || line.IsClosed()) return;
    if (line.IsSocket()) {
        TcpExchange('E', Bytes{}, nullptr);
    } else {
        Bytes reply;
        serial.Exchange('E', BlockHeader(false), reply, ExchangeFaults{});
    }
}

namespace {

// Marks the line as carrying a transfer while a request series runs (noise limited to
// transfers applies then).
struct TransferScope {
    explicit TransferScope(CSimLine& l) : line(l) { line.SetInTransfer(true); }
    ~TransferScope() { line.SetInTransfer(false); }
    CSimLine& line;
};

}  // namespace

int CSimTransfer::Save(const std::string& pcName, const std::string& data, bool compress) {
    TransferScope scope(line);
    exchangeIndex = 0;
    pcStatus = 0;
    silenced = false;
    compressed = false;
    return line.IsSocket() ? TcpSave(pcName, data) : SerialSave(pcName, data, compress);
}

int CSimTransfer::Load(const std::string& pcName, bool compress, std::string& data) {
    TransferScope scope(line);
    exchangeIndex = 0;
    pcStatus = 0;
    silenced = false;
    compressed = false;
    data.clear();
    return line.IsSocket() ? TcpLoad(pcName, data) : SerialLoad(pcName, compress, data);
}

int CSimTransfer::Delete(const std::string& pcName) {
    TransferScope scope(line);
    exchangeIndex = 0;
    pcStatus = 0;
    silenced = false;
    if (line.IsSocket()) return TcpExchange('F', NameBytes(pcName, false), nullptr);
    Bytes reply;
    int r = SerialExchange('F', NameBytes(pcName, true), reply);
    if (r != 0) return r;
    if (reply.size() != 4) return kSimBadReply;
    pcStatus = BigEndian32(reply.data());
    return pcStatus == 0 ? 0 : kSimPcStatus;
}

int CSimTransfer::SerialSave(const std::string& name, const std::string& data, bool compress) {
    // The coder works on text: a program holding a NUL byte goes out in plain blocks.
    compressed = compress && data.find('\0') == std::string::npos;
    coder.ResetCompression();
    int r = SerialOpen('B', name, nullptr);
    if (r != 0) return r;

    auto sendBlock = [&](const uint8_t* bytes, size_t count) -> int {
        Bytes request = BlockHeader(compressed);
        request.insert(request.end(), {0, 0, static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)});
        request.insert(request.end(), bytes, bytes + count);
        Bytes reply;
        int result = SerialExchange('D', request, reply);
        if (result != 0) return result;
        if (reply.size() != 8) return kSimBadReply;
        return SerialBlockStatus(request, reply, 8);
    };

    if (compressed) {
        Bytes codes(CLzssCoder::CompressedBound(kCompressPiece) + 1);
        for (size_t at = 0; at <= data.size() && r == 0; at += kCompressPiece) {
            const bool last = at + kCompressPiece >= data.size();
            const std::string piece = data.substr(at, kCompressPiece);
            size_t n = coder.CompressText(reinterpret_cast<const uint8_t*>(piece.c_str()), codes.data(), 0);
            if (n > 0) r = sendBlock(codes.data(), n);
            if (r == 0 && last) {
                static const uint8_t kEmpty[1] = {0};
                n = coder.CompressText(kEmpty, codes.data(), 1);
                if (n > 0) r = sendBlock(codes.data(), n);
                break;
            }
        }
    } else {
        const size_t block = static_cast<size_t>(options.blockSize);
        for (size_t at = 0; at < data.size() && r == 0; at += block)
            r = sendBlock(reinterpret_cast<const uint8_t*>(data.data()) + at,
                          std::min(block, data.size() - at));
    }
    return SerialClose(r);
}

// Ends a serial transfer: after a failure the PC is told to close its file (keeping the status
// of the failure); otherwise E closes it and its status is the transfer's result.
int CSimTransfer::SerialClose(int r) {
    if (r != 0) {
        const int status = pcStatus;
        CloseAfterFailure(r);
        pcStatus = status;
        return r;
    }
    Bytes request = BlockHeader(false), reply;
    r = SerialExchange('E', request, reply);
    if (r != 0) return r;
    if (reply.size() != 8) return kSimBadReply;
    return SerialBlockStatus(request, reply, 8);
}

int CSimTransfer::SerialLoad(const std::string& name, bool compress, std::string& data) {
    compressed = compress;
    coder.ResetCompression();
    uint32_t size = 0;
    int r = SerialOpen('A', name, &size);
    if (r != 0) return r;
    Bytes plain(4096);
    for (;;) {
        Bytes request = BlockHeader(compressed), reply;
        r = SerialExchange('C', request, reply);
        if (r == 0) r = SerialBlockStatus(request, reply, 8);
        if (r != 0) break;
        if (reply.size() == 8) break;  // a block without data: end of file
        const size_t count = reply.size() - 8;
        if (compressed) {
            size_t n = coder.DecompressBlock(reply.data() + 8, count, plain.data(), plain.size());
            if (n == CLzssCoder::kDecodeRefused) {
                r = kSimBadReply;
                break;
            }
            data.append(reinterpret_cast<const char*>(plain.data()), n);
        } else {
            data.append(reinterpret_cast<const char*>(reply.data()) + 8, count);
        }
        if (data.size() > kLoadMax) {
            r = kSimTooLong;
            break;
        }
    }
    return SerialClose(r);
}

// Sends one TCP/IP request and waits for its reply. Replies to write blocks (sent only when a
// block failed) met on the way are taken as the save's first error.
int CSimTransfer::TcpExchange(uint8_t letter, const Bytes& request, Bytes* data) {
    const ExchangeFaults f = FaultsForNext();
    int r = tcp.SendRequest(letter, request);
    if (r != 0) return r;
    if (f.silence) {  // the request is out; its reply is left unread
        line.WaitQuiet(CSerialExchange::kQuietMs, CSerialExchange::kQuietMs);
        return kSimAborted;
    }
    for (;;) {
        uint8_t got = 0;
        int status = 0;
        Bytes payload;
        r = tcp.ReadReply(CTcpExchange::kReplyWaitMs, got, status, payload);
        if (r != 0) return r;
        if (got == 'D' && letter != 'D') {
            if (pcStatus == 0) pcStatus = status;
            continue;
        }
        if (got != letter) return kSimBadReply;
        if (data) *data = std::move(payload);
        if (status != 0) {
            pcStatus = status;
            return kSimPcStatus;
        }
        return pcStatus == 0 ? 0 : kSimPcStatus;
    }
}

int CSimTransfer::TcpSave(const std::string& name, const std::string& data) {
    // A record ends at ETB, and the terminal reads its data as text.
    if (data.find('\x17') != std::string::npos || data.find('\0') != std::string::npos) return kSimNotText;
    int r = TcpExchange('B', NameBytes(name, false), nullptr);
    if (r != 0) return r;
    const size_t block = static_cast<size_t>(options.blockSize);
    const size_t blocks = (data.size() + block - 1) / block;
    for (size_t i = 0; i < blocks; ++i) {
        if (options.faults.closeMidSave && i == blocks / 2) {
            line.Hangup();
            return kSimClosed;
        }
        const ExchangeFaults f = FaultsForNext();
        const auto* begin = reinterpret_cast<const uint8_t*>(data.data()) + i * block;
        r = tcp.SendRequest('D', Bytes(begin, begin + std::min(block, data.size() - i * block)));
        if (r != 0) return r;
        if (f.silence) {
            line.WaitQuiet(CSerialExchange::kQuietMs, CSerialExchange::kQuietMs);
            return kSimAborted;
        }
        uint8_t got = 0;
        int status = 0;
        Bytes payload;
        r = tcp.ReadReply(0, got, status, payload);
        if (r == kSimClosed || r == kSimBadReply) return r;
        if (r == 0 && got == 'D' && status != 0) {
            pcStatus = status;
            break;
        }
    }
    const int firstError = pcStatus;
    r = TcpExchange('E', Bytes{}, nullptr);
    if (r == 0 && firstError != 0) {
        pcStatus = firstError;
        return kSimPcStatus;
    }
    return r;
}

int CSimTransfer::TcpLoad(const std::string& name, std::string& data) {
    int r = TcpExchange('A', NameBytes(name, false), nullptr);
    if (r != 0) return r;
    int empties = 0;
    for (;;) {
        Bytes chunk;
        r = TcpExchange('C', Bytes{}, &chunk);
        if (r != 0) break;
        if (chunk.size() == 1 && chunk[0] == kSub) break;  // end of file
        if (chunk.empty()) {
            // An empty block comes just before the end mark; never more than a couple.
            if (++empties > 2) break;
            continue;
        }
        empties = 0;
        data.append(chunk.begin(), chunk.end());
        if (data.size() > kLoadMax) {
            r = kSimTooLong;
            break;
        }
    }
    if (r != 0) {
        const int status = pcStatus;
        CloseAfterFailure(r);
        pcStatus = status;
        return r;
    }
    return TcpExchange('E', Bytes{}, nullptr);
}

}  // namespace tavrin::sim
