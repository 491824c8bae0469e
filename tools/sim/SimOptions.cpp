#include "SimOptions.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace tavrin::sim {

namespace {

bool ParseInt(std::string_view text, int low, int high, int& value) {
    int v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return false;
    value = v;
    return true;
}

bool ApplyFault(std::string_view name, SimFaults& faults) {
    if (name == "bad-checksum")
        faults.badChecksum = true;
    else if (name == "bad-checksum-always")
        faults.badChecksumAlways = true;
    else if (name == "bad-length")
        faults.badLength = true;
    else if (name == "nak-reply-once")
        faults.nakReply = 1;
    else if (name == "nak-reply-twice")
        faults.nakReply = 2;
    else if (name == "silence")
        faults.silence = true;
    else if (name == "nak-enq")
        faults.nakEnq = true;
    else if (name == "close-mid-save")
        faults.closeMidSave = true;
    else if (name == "slow-result")
        faults.slowResult = true;
    else
        return false;
    return true;
}

}  // namespace

const char* SimUsage() {
    return "usage: tavrin-sim (--pty | --tcp PORT) [--once] [--baud N] [--frame-bits 10|11]\n"
           "                  [--compress] [--login] [--block N] [--disk DIR] [--log FILE]\n"
           "                  [--log-turns]\n"
           "                  [--fault NAME]... [--noise RATE[:tx|rx|both[:KINDS]]]\n"
           "                  [--noise-seed N] [--noise-transfers-only] [--noise-stall-max MS]\n"
           "faults: bad-checksum bad-checksum-always bad-length nak-reply-once nak-reply-twice silence "
           "nak-enq\n"
           "        close-mid-save slow-result\n"
           "noise: RATE faults per 1024 bytes; KINDS a comma list of flip, drop, insert, stall\n";
}

int ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error) {
    options = SimOptions{};
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto needValue = [&](std::string_view& value) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        std::string_view value;
        if (arg == "--help" || arg == "-h") return 1;
        if (arg == "--pty") {
            options.mode = SimMode::Pty;
        } else if (arg == "--tcp") {
            if (!needValue(value)) return -2;
            if (!ParseInt(value, 0, 65535, options.port)) {
                error = "bad port: " + std::string(value);
                return -2;
            }
            options.mode = SimMode::Tcp;
        } else if (arg == "--once") {
            options.once = true;
        } else if (arg == "--baud") {
            if (!needValue(value)) return -2;
            if (!ParseInt(value, 50, 4000000, options.baud)) {
                error = "bad baud rate: " + std::string(value);
                return -2;
            }
        } else if (arg == "--frame-bits") {
            if (!needValue(value)) return -2;
            if (!ParseInt(value, 7, 12, options.frameBits)) {
                error = "bad frame bits: " + std::string(value);
                return -2;
            }
        } else if (arg == "--block") {
            if (!needValue(value)) return -2;
            // A serial write block carries 8 header bytes before the data in at most 4096.
            if (!ParseInt(value, 1, 4088, options.blockSize)) {
                error = "bad block size: " + std::string(value);
                return -2;
            }
        } else if (arg == "--compress") {
            options.compress = true;
        } else if (arg == "--login") {
            options.login = true;
        } else if (arg == "--disk") {
            if (!needValue(value)) return -2;
            options.diskDir = value;
        } else if (arg == "--log") {
            if (!needValue(value)) return -2;
            options.logPath = value;
        } else if (arg == "--log-turns") {
            options.logTurns = true;
        } else if (arg == "--fault") {
            if (!needValue(value)) return -2;
            if (!ApplyFault(value, options.faults)) {
                error = "unknown fault: " + std::string(value);
                return -2;
            }
        } else if (arg == "--noise") {
            if (!needValue(value)) return -2;
            if (!ParseNoise(std::string(value), options.noise, error)) return -2;
        } else if (arg == "--noise-seed") {
            if (!needValue(value)) return -2;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), options.noise.seed);
            if (ec != std::errc() || end != value.data() + value.size()) {
                error = "bad noise seed: " + std::string(value);
                return -2;
            }
        } else if (arg == "--noise-transfers-only") {
            options.noise.transfersOnly = true;
        } else if (arg == "--noise-stall-max") {
            if (!needValue(value)) return -2;
            if (!ParseInt(value, 1, 60000, options.noise.stallMaxMs)) {
                error = "bad stall time: " + std::string(value);
                return -2;
            }
        } else {
            error = "unknown argument: " + std::string(arg);
            return -2;
        }
    }
    if (options.mode == SimMode::None) {
        error = "choose --pty or --tcp PORT";
        return -2;
    }
    return 0;
}

}  // namespace tavrin::sim
