#include "session/RunReport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/Cp932.h"
#include "app/PelinDoc.h"
#include "link/ConnectionPages.h"
#include "transfer/TransferSession.h"

namespace tavrin {

namespace {

// The length of the valid UTF-8 sequence at text[at], 0 when there is none (a stray
// continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or cut short).
size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::string ConnectionText(const CPelinDoc& doc) {
    if (doc.isTcp != 0) return doc.ipAddress + ":" + doc.telnetPort + ":" + doc.tcpName;
    const char* stopBits = doc.stopBits == 0 ? "1" : doc.stopBits == 1 ? "1.5" : "2";
    const char* parity = doc.parity < kParityChoices.size() ? kParityChoices[doc.parity] : "space";
    return doc.comPort + ":" + doc.baudRate + ":" + std::to_string(doc.dataBits) + ":" + stopBits + ":" +
           parity;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t at = 0; at < text.size();) {
        const auto c = static_cast<uint8_t>(text[at]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++at;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++at;
        } else if (const size_t length = Utf8SequenceLength(text, at); length > 0) {
            out.append(text.substr(at, length));
            at += length;
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++at;
        }
    }
    out += '"';
    return out;
}

std::string IsoTimeUtc(int64_t unixMs) {
    int64_t seconds = unixMs / 1000;
    int64_t ms = unixMs % 1000;
    if (ms < 0) ms += 1000, --seconds;
    const time_t t = static_cast<time_t>(seconds);
    tm utc{};
    gmtime_r(&t, &utc);
    char text[64];  // room for any year gmtime gives
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
    return text;
}

std::string TransferLine(const TransferReportLine& r) {
    return "{\"type\":\"transfer\",\"time\":\"" + IsoTimeUtc(r.endUnixMs) +
           "\",\"connection\":" + JsonString(r.connection) + ",\"direction\":\"" +
           (r.save ? "save" : "load") + "\",\"controller\":" + JsonString(r.controller) +
           ",\"file\":" + JsonString(r.file) + ",\"bytes\":" + std::to_string(r.bytes) +
           ",\"duration_ms\":" + std::to_string(r.durationMs) + ",\"result\":\"" +
           (r.code == 0 ? "ok" : "failed") + "\",\"code\":" + std::to_string(r.code) +
           ",\"message\":" + JsonString(r.message) + "}\n";
}

std::string EndLine(int64_t unixMs, int exitStatus) {
    return "{\"type\":\"end\",\"time\":\"" + IsoTimeUtc(unixMs) +
           "\",\"exit_status\":" + std::to_string(exitStatus) + "}\n";
}

TransferReportLine MakeTransferReportLine(const TransferOutcome& outcome, const CPelinDoc& doc,
                                          int64_t endUnixMs, const std::string& workingFolder) {
    TransferReportLine r;
    r.endUnixMs = endUnixMs;
    r.connection = Cp932ToUtf8(ConnectionText(doc));
    r.save = outcome.save;
    r.controller = Cp932ToUtf8(doc.isTcp != 0 ? doc.tcpName : doc.comPort);
    std::string path = outcome.path;
    if (!path.empty() && path[0] != '/' && !workingFolder.empty())
        path = workingFolder + (workingFolder.back() == '/' ? "" : "/") + path;
    r.file = Cp932ToUtf8(path);
    r.bytes = outcome.bytes;
    r.durationMs = outcome.durationMs;
    r.code = outcome.result;
    // A failure always says why, even when the transfer gave no text.
    r.message = outcome.result == 0 ? std::string() : outcome.reason;
    if (outcome.result != 0 && r.message.empty()) r.message = "error " + std::to_string(outcome.result);
    return r;
}

int64_t WallClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

CRunReport::~CRunReport() {
    if (fd_ >= 0) ::close(fd_);
}

bool CRunReport::Open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open report file '" + path + "': " + std::strerror(errno);
        return false;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    ended_ = false;
    return true;
}

void CRunReport::End(int exitStatus) {
    if (ended_) return;
    ended_ = true;
    Write(EndLine(WallClockMs(), exitStatus));
}

bool CRunReport::Write(const std::string& line) {
    if (fd_ < 0) return false;
    size_t done = 0;
    // One write(2) carries the line; only an interrupted or short write (a full disk) needs more.
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace tavrin
