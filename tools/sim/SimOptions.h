#pragma once
#include <string>

#include "SimNoise.h"

namespace tavrin::sim {

enum class SimMode { None, Pty, Tcp };

// Faults the simulated controller can inject, each once per transfer.
struct SimFaults {
    bool badChecksum = false;        // serial: one request record goes out with a wrong checksum
    bool badChecksumAlways = false;  // serial: ... every time it is sent, so the request fails
    bool badLength = false;          // serial: one request header has a length complement that does not match
    int nakReply = 0;                // serial: the next good reply record is refused this many times (1 or 2)
    bool silence = false;            // stop answering in the middle of the transfer
    bool nakEnq = false;             // serial: answer the terminal's reply ENQ with NAK
    bool closeMidSave = false;       // TCP/IP: drop the connection half-way through a save
    bool slowResult = false;         // a transfer's result line comes 500 ms after its last exchange
};

struct SimOptions {
    SimMode mode = SimMode::None;
    int port = 0;           // TCP/IP listening port, 0 = any free port
    bool once = false;      // end after the first session
    int baud = 0;           // 0 = no pacing
    int frameBits = 10;     // bits on the line per byte: start + 8 data + stop(s)
    bool compress = false;  // serial transfers ask for compressed blocks
    bool login = false;     // TCP/IP: ask for a user name before the banner
    int blockSize = 512;    // plain bytes per write block of a save
    std::string diskDir;    // empty = the built-in in-memory disk
    std::string logPath;    // empty = no byte log
    bool logTurns = false;  // the log also says how long each transfer turn waited for the terminal
    SimFaults faults;
    NoiseOptions noise;
};

// Reads the command line. Returns 0 when the simulator should run, 1 when only the usage was
// asked for, -2 on an error (with a one-line explanation in error).
int ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error);

const char* SimUsage();

}  // namespace tavrin::sim
