#include "SimNoise.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace tavrin::sim {

namespace {

enum Kind { kFlip, kDrop, kInsert, kStall };
const char* const kKindNames[] = {"flip", "drop", "insert", "stall"};

}  // namespace

bool ParseNoise(const std::string& text, NoiseOptions& options, std::string& error) {
    const size_t colon = text.find(':');
    const std::string rate = text.substr(0, colon);
    char* end = nullptr;
    const double perKilobyte = std::strtod(rate.c_str(), &end);
    if (rate.empty() || *end != 0 || !(perKilobyte >= 0) || perKilobyte > 1024) {
        error = "bad noise rate: " + rate;
        return false;
    }
    options.perKilobyte = perKilobyte;
    if (colon == std::string::npos) return true;
    const size_t colon2 = text.find(':', colon + 1);
    const std::string dir =
        text.substr(colon + 1, colon2 == std::string::npos ? std::string::npos : colon2 - colon - 1);
    if (dir == "tx") {
        options.toTerminal = true;
        options.fromTerminal = false;
    } else if (dir == "rx") {
        options.toTerminal = false;
        options.fromTerminal = true;
    } else if (dir == "both" || dir.empty()) {
        options.toTerminal = options.fromTerminal = true;
    } else {
        error = "bad noise direction: " + dir;
        return false;
    }
    if (colon2 == std::string::npos) return true;
    options.flip = options.drop = options.insert = options.stall = false;
    std::string kinds = text.substr(colon2 + 1) + ",";
    for (size_t at = 0; at < kinds.size();) {
        const size_t comma = kinds.find(',', at);
        const std::string kind = kinds.substr(at, comma - at);
        if (kind == "flip")
            options.flip = true;
        else if (kind == "drop")
            options.drop = true;
        else if (kind == "insert")
            options.insert = true;
        else if (kind == "stall")
            options.stall = true;
        else {
            error = "bad noise kind: " + kind;
            return false;
        }
        at = comma + 1;
    }
    return true;
}

CLineNoise::CLineNoise(const NoiseOptions& options, CSimLog* log)
    : options_(options), log_(log), rng_(options.seed) {}

bool CLineNoise::Active(bool sending) const {
    if (options_.perKilobyte <= 0) return false;
    if (options_.transfersOnly && !inTransfer_) return false;
    return sending ? options_.toTerminal : options_.fromTerminal;
}

std::vector<uint8_t> CLineNoise::Apply(const uint8_t* data, size_t count, bool sending,
                                       std::vector<Stall>& stalls) {
    std::vector<uint8_t> out;
    out.reserve(count + 8);
    if (!Active(sending)) {
        // Offsets in the notes count every byte of the direction, faulted or not.
        bytes_[sending] += count;
        out.assign(data, data + count);
        return out;
    }
    std::vector<int> kinds;
    if (options_.flip) kinds.push_back(kFlip);
    if (options_.drop) kinds.push_back(kDrop);
    if (options_.insert) kinds.push_back(kInsert);
    if (options_.stall) kinds.push_back(kStall);
    std::uniform_real_distribution<double> chance(0.0, 1024.0);
    for (size_t i = 0; i < count; ++i) {
        const uint64_t offset = bytes_[sending]++;
        const uint8_t byte = data[i];
        if (kinds.empty() || chance(rng_) >= options_.perKilobyte) {
            out.push_back(byte);
            continue;
        }
        const int kind = kinds[rng_() % kinds.size()];
        ++counts_[kind];
        char note[128];
        switch (kind) {
            case kFlip: {
                const uint8_t flipped = static_cast<uint8_t>(byte ^ (1u << (rng_() % 8)));
                out.push_back(flipped);
                std::snprintf(note, sizeof note, "noise %s flip byte %llu %02x -> %02x",
                              sending ? "tx" : "rx", static_cast<unsigned long long>(offset), byte, flipped);
                break;
            }
            case kDrop:
                std::snprintf(note, sizeof note, "noise %s drop byte %llu %02x", sending ? "tx" : "rx",
                              static_cast<unsigned long long>(offset), byte);
                break;
            case kInsert: {
                const auto extra = static_cast<uint8_t>(rng_());
                out.push_back(extra);
                out.push_back(byte);
                std::snprintf(note, sizeof note, "noise %s insert %02x before byte %llu",
                              sending ? "tx" : "rx", extra, static_cast<unsigned long long>(offset));
                break;
            }
            default: {
                const int ms = 20 + static_cast<int>(rng_() % static_cast<uint64_t>(options_.stallMaxMs));
                stalls.push_back({out.size(), ms});
                out.push_back(byte);
                std::snprintf(note, sizeof note, "noise %s stall %d ms before byte %llu",
                              sending ? "tx" : "rx", ms, static_cast<unsigned long long>(offset));
                break;
            }
        }
        if (log_) log_->Note(note);
    }
    return out;
}

}  // namespace tavrin::sim
