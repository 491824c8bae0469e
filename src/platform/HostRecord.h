#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// The messages between the terminal and its host editor.
inline constexpr uint32_t kHostMsgAttached = 0x8001;      // terminal -> host: wParam = terminal id
inline constexpr uint32_t kHostMsgNumber = 0x8002;        // host -> terminal: wParam = number (0 unlinks)
inline constexpr uint32_t kHostMsgConnection = 0x8003;    // terminal -> host: lParam = 1 open, 0 closed
inline constexpr uint32_t kHostMsgBusy = 0x8004;          // terminal -> host: lParam = 1 busy, 0 at prompt
inline constexpr uint32_t kHostMsgDetached = 0x8005;      // terminal -> host: lParam = terminal number
inline constexpr uint32_t kHostMsgCloseRequest = 0x8063;  // host -> terminal
inline constexpr uint32_t kHostMsgCopyData = 0x004A;      // either way: lParam = kind, data = bytes

// Copy-data kinds.
inline constexpr int64_t kHostKindProgramName = 1;  // host -> terminal: program of the next save
inline constexpr int64_t kHostKindMove = 2;         // host -> terminal: four int32 left, top, right, bottom
inline constexpr int64_t kHostKindDeleteAfter = 3;  // host -> terminal: file deleted after the typed transfer
inline constexpr int64_t kHostKindAddress = 5;      // terminal -> host: the controller's IP address
inline constexpr int64_t kHostKindSaved = 6;        // terminal -> host: full path of the saved file
// Any other kind, host -> terminal: text typed into the terminal.

// The largest data a record may carry; a longer one is a broken stream.
inline constexpr size_t kHostRecordMaxData = 65536;
// Header: message (u32), wParam (i64), lParam (i64), data length (u32), all little-endian.
inline constexpr size_t kHostRecordHeader = 24;

// One message of the link: the message number, its two parameters and, for copy data, the
// bytes (the kind travels in lParam, the sender's id in wParam).
struct HostRecord {
    uint32_t message = 0;
    int64_t wParam = 0;
    int64_t lParam = 0;
    std::string data;

    bool operator==(const HostRecord&) const = default;
};

// The record's bytes on the wire.
std::string EncodeHostRecord(const HostRecord& record);

// Collects stream bytes and hands out whole records. A header that announces more than
// kHostRecordMaxData bytes makes the decoder fail for good: the stream cannot be trusted after it.
class CHostRecordDecoder {
public:
    // Adds received bytes. 0, or -1 once the stream is broken.
    int Feed(const uint8_t* bytes, size_t count);
    // Takes the next complete record into out; false when none is complete yet.
    bool Next(HostRecord& out);
    bool Broken() const { return broken_; }

private:
    std::string pending_;
    size_t readPos_ = 0;
    bool broken_ = false;
};

}  // namespace tavrin
