#pragma once
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "SimLog.h"

namespace tavrin::sim {

// Line noise on the serial line, for soak runs: at a chosen rate per 1024 bytes, a byte has one
// of its bits flipped, is dropped, gets a random byte inserted before it, or is held back for a
// while (a stall), in the direction(s) chosen. The same seed gives the same faults for the
// same bytes. Every fault is written to the byte log as a comment line.
struct NoiseOptions {
    double perKilobyte = 0;  // 0 = no noise
    uint64_t seed = 1;
    bool toTerminal = true;    // bytes the simulator sends
    bool fromTerminal = true;  // bytes the simulator receives
    bool flip = true, drop = true, insert = true, stall = true;
    bool transfersOnly = false;  // only while a transfer exchange runs
    int stallMaxMs = 1000;
};

// Parses "RATE[:DIR[:KINDS]]" as --noise takes it: DIR tx, rx or both; KINDS a comma list of
// flip, drop, insert, stall. False with a one-line reason in error.
bool ParseNoise(const std::string& text, NoiseOptions& options, std::string& error);

class CLineNoise {
public:
    CLineNoise(const NoiseOptions& options, CSimLog* log);

    bool Active(bool sending) const;
    void SetInTransfer(bool on) { inTransfer_ = on; }

    // What becomes of count bytes on the line: the bytes that arrive, and before which of them
    // (index into the result) the line stalls for how long. Every byte of the line passes
    // here, also while the noise is not active, so that the offsets in the notes count the
    // direction's bytes since the start.
    struct Stall {
        size_t at;
        int ms;
    };
    std::vector<uint8_t> Apply(const uint8_t* data, size_t count, bool sending, std::vector<Stall>& stalls);

    // How many faults of each kind so far.
    uint64_t Count(int kind) const { return counts_[kind]; }

private:
    NoiseOptions options_;
    CSimLog* log_;
    std::mt19937_64 rng_;
    bool inTransfer_ = false;
    uint64_t counts_[4] = {};
    uint64_t bytes_[2] = {};
};

}  // namespace tavrin::sim
