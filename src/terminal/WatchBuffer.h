#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tavrin {

inline constexpr size_t kWatchBufferSize = 10000;  // terminating NUL included
inline constexpr size_t kWatchKeptOnTrim = 2500;   // newest characters kept when a chunk does not fit
inline constexpr int kWaitNotSeen = 0;
inline constexpr int kWaitPatternSeen = 2;
inline constexpr int kWaitErrorSeen = 5;

// The text received while a macro runs, searched by the macro's wait statement. Held as a
// NUL-terminated string in a fixed 10000-byte buffer: a NUL byte inside received text ends the
// searchable text there. Single-threaded.
class CWatchBuffer {
public:
    // macroRunning tells whether a macro runs; received text is kept only then. Empty: never.
    explicit CWatchBuffer(std::function<bool()> macroRunning = {});

    // Appends a received chunk. When it does not fit, the newest 2500 characters are kept (or
    // nothing, when fewer are held) before the append; a chunk that still does not fit pushes
    // out older text, and of a chunk larger than the whole buffer only its newest part stays.
    void CollectReceivedText(const uint8_t* text, size_t length);
    // 2 when the text holds awaited (an empty awaited text is always found), 5 when errorText
    // is not empty and the text holds it (5 wins), otherwise 0.
    int CheckWaitPatterns(const std::string& awaited, const std::string& errorText) const;
    // Empties all 10000 bytes.
    void Clear();

    size_t Length() const;
    std::string Text() const { return std::string(buffer_.data(), Length()); }
    void SetMacroRunning(std::function<bool()> macroRunning) { macroRunning_ = std::move(macroRunning); }

private:
    std::array<char, kWatchBufferSize> buffer_{};
    std::function<bool()> macroRunning_;
};

}  // namespace tavrin
