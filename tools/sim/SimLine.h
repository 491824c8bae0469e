#pragma once
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "SimLog.h"
#include "SimNoise.h"

namespace tavrin::sim {

// Line rate of a simulated serial line: each byte takes frameBits bit times at baud bits per
// second. baud 0 means no pacing.
struct LinePacing {
    int baud = 0;
    int frameBits = 10;
};

// The controller's end of one session's link: a pty master or a connected socket. Reads and
// writes are paced at the line rate when pacing is set, so that what the terminal sees (and how
// fast its bytes are taken in) is what a real line of that rate would give. Every byte passed
// is logged. The descriptor belongs to the caller.
class CSimLine {
public:
    static constexpr int kTimeout = -1;
    static constexpr int kClosed = -2;
    static constexpr size_t kReadChunk = 4096;

    CSimLine(int fd, bool isSocket, LinePacing pacing, CSimLog* log);

    bool IsSocket() const { return socket; }
    bool IsClosed() const { return closed; }

    // Writes all bytes (paced). Returns false when the link is gone.
    bool Send(const uint8_t* data, size_t count);
    bool Send(std::string_view text) {
        return Send(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }

    // Waits up to timeoutMs (negative: for ever) for one byte. Returns 0..255, kTimeout or
    // kClosed.
    int ReadByte(int timeoutMs);

    // Drops input until nothing has arrived for quietMs, or maxMs have passed in all.
    void WaitQuiet(int quietMs, int maxMs);

    // Ends the connection from this side (sockets: shutdown both directions).
    void Hangup();

    // In a transfer on a paced line, each wait for the terminal's answer (from the last byte
    // this side sent to the first that came back) is logged as "# turn MICROSECONDS".
    void SetLogTurns(bool on) { logTurns = on; }

    // Line noise on a serial line (ignored on sockets); the noise belongs to the caller.
    void SetNoise(CLineNoise* lineNoise) { noise = socket ? nullptr : lineNoise; }
    // A transfer exchange runs: noise limited to transfers applies.
    void SetInTransfer(bool on) {
        inTransfer = on;
        if (noise) noise->SetInTransfer(on);
    }

private:
    using Clock = std::chrono::steady_clock;

    Clock::duration ByteTime(size_t count) const;
    static void WaitUntil(Clock::time_point when);
    bool Fill(int timeoutMs);
    bool Write(const uint8_t* data, size_t count);

    int fd;
    bool socket;
    LinePacing pacing;
    CSimLog* log;
    CLineNoise* noise = nullptr;
    bool closed = false;
    bool inTransfer = false;
    bool logTurns = false;
    std::array<uint8_t, kReadChunk> input{};
    size_t inputLength = 0;
    size_t inputPosition = 0;
    Clock::time_point outputFreeAt{};  // the line to the terminal has sent what it was given
    Clock::time_point inputFreeAt{};   // the line from the terminal has carried what was read
    Clock::time_point delivered{};     // the last bytes went to the terminal
    Clock::time_point taken{};         // the last bytes were taken from the terminal
};

}  // namespace tavrin::sim
