#include "terminal/WatchBuffer.h"

#include <cstring>
#include <string_view>

namespace tavrin {

namespace {
constexpr size_t kCapacity = kWatchBufferSize - 1;  // characters, leaving room for the NUL
}

CWatchBuffer::CWatchBuffer(std::function<bool()> macroRunning) : macroRunning_(std::move(macroRunning)) {}

size_t CWatchBuffer::Length() const {
    const void* end = std::memchr(buffer_.data(), '\0', buffer_.size());
    return end ? static_cast<size_t>(static_cast<const char*>(end) - buffer_.data()) : kCapacity;
}

void CWatchBuffer::Clear() {
    buffer_.fill('\0');
}

void CWatchBuffer::CollectReceivedText(const uint8_t* text, size_t length) {
    if (!macroRunning_ || !macroRunning_()) return;
    if (text == nullptr || length == 0) return;
    size_t current = Length();
    if (current + length > kCapacity) {
        if (current < kWatchKeptOnTrim) {
            current = 0;
        } else {
            std::memmove(buffer_.data(), buffer_.data() + current - kWatchKeptOnTrim, kWatchKeptOnTrim);
            current = kWatchKeptOnTrim;
        }
    }
    if (length > kCapacity) {  // only the newest part of an oversized chunk can stay
        text += length - kCapacity;
        length = kCapacity;
    }
    if (current + length > kCapacity) {  // push out the oldest characters still held
        const size_t drop = current + length - kCapacity;
        std::memmove(buffer_.data(), buffer_.data() + drop, current - drop);
        current -= drop;
    }
    std::memcpy(buffer_.data() + current, text, length);
    buffer_[current + length] = '\0';
}

int CWatchBuffer::CheckWaitPatterns(const std::string& awaited, const std::string& errorText) const {
    const std::string_view held(buffer_.data(), Length());
    int result = kWaitNotSeen;
    if (held.find(awaited) != std::string_view::npos) result = kWaitPatternSeen;
    if (!errorText.empty() && held.find(errorText) != std::string_view::npos) result = kWaitErrorSeen;
    return result;
}

}  // namespace tavrin
