#pragma once
// A small terminal side of the file-transfer protocol, written for the simulator's tests from
// the protocol's description alone (it shares no code with the terminal's own transfer
// module, so the two implementations check each other). The PC's folder is a map in memory.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "e2e/SimProcess.h"

namespace tavrin::testing {

constexpr char kEnq = 0x05, kAck = 0x06, kNak = 0x15, kStx = 0x02, kEot = 0x04, kEtb = 0x17, kSub = 0x1A;

// LZSS decoding of the serial blocks, one byte at a time so that a block may end anywhere.
class TestLzssDecoder {
public:
    void Reset() { *this = TestLzssDecoder(); }
    std::string Decode(const std::string& codes) {
        std::string out;
        for (unsigned char b : codes) {
            if (bitsLeft == 0) {
                flags = b;
                bitsLeft = 8;
                continue;
            }
            if (flags & 1) {
                Put(static_cast<char>(b), out);
            } else if (!haveFirst) {
                first = b;
                haveFirst = true;
                continue;
            } else {
                const int position = first | (b & 0xF0) << 4;
                for (int k = 0; k < (b & 0x0F) + 3; ++k)
                    Put(static_cast<char>(ring[(position + k) & 4095]), out);
                haveFirst = false;
            }
            flags >>= 1;
            --bitsLeft;
        }
        return out;
    }

private:
    void Put(char c, std::string& out) {
        out += c;
        ring[r] = static_cast<uint8_t>(c);
        r = (r + 1) & 4095;
    }
    std::array<uint8_t, 4096> ring{};
    int r = 4078;
    unsigned flags = 0;
    int bitsLeft = 0;
    bool haveFirst = false;
    int first = 0;
};

// A plain greedy LZSS encoder (the last 1024 ring positions searched): valid codes, made
// differently from the terminal's tree coder.
inline std::string TestLzssEncode(const std::string& text) {
    std::array<uint8_t, 4096> ring{};
    int r = 4078;
    std::string out, group;
    uint8_t flags = 0;
    int items = 0;
    auto flush = [&] {
        out += static_cast<char>(flags);
        out += group;
        group.clear();
        flags = 0;
        items = 0;
    };
    for (size_t i = 0; i < text.size();) {
        const int remaining = static_cast<int>(std::min<size_t>(18, text.size() - i));
        int bestLength = 0, bestPosition = 0;
        for (int d = 1; d <= 1024; ++d) {
            const int p = (r - d) & 4095;
            int k = 0;
            for (; k < remaining; ++k) {
                const int written = ((p + k) - r) & 4095;  // ring bytes this match writes itself
                const char c = written < k ? text[i + written] : static_cast<char>(ring[(p + k) & 4095]);
                if (c != text[i + k]) break;
            }
            if (k > bestLength) {
                bestLength = k;
                bestPosition = p;
            }
        }
        int length = 1;
        if (bestLength >= 3) {
            length = bestLength;
            group += static_cast<char>(bestPosition & 0xFF);
            group += static_cast<char>((bestPosition >> 4 & 0xF0) | (length - 3));
        } else {
            flags |= static_cast<uint8_t>(1 << items);
            group += text[i];
        }
        for (int k = 0; k < length; ++k) {
            ring[r] = static_cast<uint8_t>(text[i + k]);
            r = (r + 1) & 4095;
        }
        i += static_cast<size_t>(length);
        if (++items == 8) flush();
    }
    if (items > 0) flush();
    return out;
}

// The PC's side: its files and what happened on the line.
struct TestPc {
    std::map<std::string, std::string> files;
    std::vector<std::string> requests;  // "B pick.as", "D 512", "D 300 z", "E", ...
    int headerNaks = 0;                 // request headers refused
    int checksumNaks = 0;               // request records refused for their checksum
    int replyResends = 0;               // reply records sent again after a NAK
    int gaveUp = 0;                     // replies given up after the second NAK
    int enqRefused = 0;                 // reply ENQs answered with NAK
    int enqUnanswered = 0;              // replies given up for want of an answer to ENQ
    int failWritesWith = 0;             // when set, every write block fails with this status

    std::string Requests() const {
        std::string all;
        for (const std::string& r : requests) all += (all.empty() ? "" : ", ") + r;
        return all;
    }
};

class TestTransferTerminal {
public:
    TestTransferTerminal(SimWire& wire, TestPc& pc, bool tcp) : wire(wire), pc(pc), tcp(tcp) {}

    // Sends a command line the way the terminal does for a transfer word: CAN, the line and
    // its line end, then takes the console's echo off the line up to its LF. Then serves
    // every request until the console's prompt; returns what the console printed.
    std::string RunTransferCommand(const std::string& line, int timeoutMs = 20000) {
        wire.Write("\x18" + line + (tcp ? "\r\n" : "\r"));
        wire.ReadUntil("\n", 3000);
        return ServeUntilPrompt(timeoutMs);
    }

    std::string ServeUntilPrompt(int timeoutMs) {
        std::string console;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            int b = wire.ReadByte(200);
            if (b == SimWire::kClosed) {
                closed = true;
                break;
            }
            if (b < 0) continue;
            if (b == kEnq) {
                tcp ? ServeTcp() : ServeSerial();
                continue;
            }
            console += static_cast<char>(b);
            if (console.size() >= 3 && console.compare(console.size() - 3, 3, "\r\n>") == 0) break;
        }
        return console;
    }

    bool closed = false;

private:
    int Read(int ms) { return wire.ReadByte(ms); }
    void Send(char c) { wire.Write(std::string(1, c)); }

    static std::string Be32(int32_t v) {
        const auto u = static_cast<uint32_t>(v);
        return {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
                static_cast<char>(u)};
    }

    // The reply's echo field: the request's first four bytes, plus 56 (little-endian) when
    // the request asked for compression.
    static std::string Echo(const std::string& request) {
        std::string echo = request.substr(0, 4);
        if (request[0] & 0x08) {
            uint32_t v = 0;
            for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(echo[i]);
            v += 56;
            for (int i = 0; i < 4; ++i) echo[i] = static_cast<char>(v >> (8 * i));
        }
        return echo;
    }

    std::string Handle(char letter, const std::string& data, int32_t& status) {
        status = 0;
        std::string name = data.substr(0, data.find('\0'));
        switch (letter) {
            case 'A': {
                pc.requests.push_back("A " + name);
                openName.clear();
                auto it = pc.files.find(name);
                if (it == pc.files.end())
                    status = -1052;
                else
                    openName = name, readPosition = 0, writing = false, codes.clear(), eofPending = false;
                return OpenReply(name, status, it == pc.files.end() ? 0 : it->second.size());
            }
            case 'B':
                pc.requests.push_back("B " + name);
                pc.files[name].clear();
                openName = name;
                writing = true;
                decoder.Reset();
                return OpenReply(name, 0, 0);
            case 'C': {
                const bool compressed = !tcp && !data.empty() && (data[0] & 8);
                pc.requests.push_back(std::string("C") + (compressed ? " z" : ""));
                if (openName.empty()) return tcp ? "" : Be32(-1014) + Echo(data);
                const std::string& file = pc.files[openName];
                std::string block;
                if (tcp) {
                    if (eofPending) {
                        eofPending = false;
                        return std::string(1, kSub);
                    }
                    block = file.substr(std::min(readPosition, file.size()), 512);
                    if (block.size() < 512) eofPending = true;
                    readPosition += block.size();
                    return block;
                }
                if (compressed) {
                    if (codes.empty() && readPosition == 0) codes = TestLzssEncode(file);
                    block = codes.substr(std::min(readPosition, codes.size()), 128);
                } else {
                    block = file.substr(std::min(readPosition, file.size()), 128);
                }
                readPosition += block.size();
                return Be32(status) + Echo(data) + block;
            }
            case 'D': {
                std::string block = data;
                bool compressed = false;
                if (!tcp) {
                    const size_t length = static_cast<uint8_t>(data[6]) << 8 | static_cast<uint8_t>(data[7]);
                    compressed = data[0] & 8;
                    block = data.substr(8, length);
                    if (compressed) block = decoder.Decode(block);
                }
                pc.requests.push_back("D " + std::to_string(block.size()) + (compressed ? " z" : ""));
                if (openName.empty())
                    status = -1014;
                else if (pc.failWritesWith)
                    status = pc.failWritesWith;
                else
                    pc.files[openName] += block;
                if (status != 0 && firstWriteError == 0) firstWriteError = status;
                return tcp ? "" : Be32(status) + Echo(data);
            }
            case 'E':
                pc.requests.push_back("E");
                if (openName.empty()) status = -1014;
                openName.clear();
                if (tcp && status == 0) status = firstWriteError;
                firstWriteError = 0;
                return tcp ? "" : Be32(status) + data.substr(0, 4);
            case 'F':
                pc.requests.push_back("F " + name);
                if (pc.files.erase(name) == 0) status = -1052;
                return tcp ? "" : Be32(status);
        }
        pc.requests.push_back(std::string("? ") + letter);
        status = -9999;
        return tcp ? "" : Be32(status);
    }

    std::string OpenReply(const std::string& name, int32_t status, size_t size) {
        if (tcp) return "";
        const size_t field = name.size() < 12 ? 12 : 128;
        std::string reply = name.substr(0, field);
        reply.resize(field, '\0');
        return reply + Be32(status) + Be32(static_cast<int32_t>(size)) + Be32(0);
    }

    static std::string Record(char letter, const std::string& data) {
        const auto length = static_cast<uint16_t>(data.size());
        const auto complement = static_cast<uint16_t>(~length);
        std::string record{kStx,
                           letter,
                           static_cast<char>(length >> 8),
                           static_cast<char>(length),
                           static_cast<char>(complement >> 8),
                           static_cast<char>(complement)};
        uint8_t sum = 0;
        for (char c : data) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        return record + data + static_cast<char>(~sum);
    }

    void ServeSerial() {
        Send(kAck);
        char letter = 0;
        std::string data;
        for (;;) {
            int b = Read(4000);
            if (b < 0) {
                Send(kEot);
                return;
            }
            if (b == kEot) return;
            if (b != kStx) continue;
            letter = static_cast<char>(Read(1000));
            int h[4];
            for (int& x : h) x = Read(1000);
            const int length = h[0] << 8 | h[1];
            if (length + (h[2] << 8 | h[3]) != 0xFFFF) {
                ++pc.headerNaks;
                Send(kNak);
                continue;
            }
            data.clear();
            unsigned sum = 0;
            for (int i = 0; i < length; ++i) {
                int d = Read(1000);
                data += static_cast<char>(d);
                sum += static_cast<unsigned>(d);
            }
            const int checksum = Read(1000);
            if (((sum + static_cast<unsigned>(checksum)) & 0xFF) != 0xFF) {
                ++pc.checksumNaks;
                Send(kNak);
                continue;
            }
            Send(kAck);
            if (Read(4000) == kEot) break;
        }
        int32_t status = 0;
        const std::string record = Record(letter, Handle(letter, data, status));
        bool answered = false;
        for (int attempt = 0; attempt < 3 && !answered; ++attempt) {
            Send(kEnq);
            int b;
            do b = Read(2000);
            while (b >= 0 && b != kAck && b != kNak);
            if (b == kNak) {
                ++pc.enqRefused;
                return;
            }
            answered = b == kAck;
        }
        if (!answered) {
            ++pc.enqUnanswered;
            return;
        }
        for (int sends = 1;; ++sends) {
            wire.Write(record);
            int b;
            do b = Read(2000);
            while (b >= 0 && b != kAck && b != kNak);
            if (b == kAck) break;
            if (b == kNak && sends < 2) {
                ++pc.replyResends;
                continue;
            }
            ++pc.gaveUp;
            break;
        }
        Send(kEot);
    }

    void ServeTcp() {
        int b = Read(1000);
        if (b != kStx) return;
        const char letter = static_cast<char>(Read(1000));
        std::string data;
        while ((b = Read(1000)) >= 0 && b != kEtb) data += static_cast<char>(b);
        int32_t status = 0;
        std::string text = Handle(letter, data, status);
        if (letter == 'D' && status == 0) return;  // a good write block is not answered
        char head[16];
        std::snprintf(head, sizeof head, "%c%c%5d", kStx, letter, status);
        wire.Write(head + text + std::string(1, kEtb));
    }

    SimWire& wire;
    TestPc& pc;
    bool tcp;
    std::string openName;
    bool writing = false;
    size_t readPosition = 0;
    bool eofPending = false;
    std::string codes;
    int32_t firstWriteError = 0;
    TestLzssDecoder decoder;
};

}  // namespace tavrin::testing
