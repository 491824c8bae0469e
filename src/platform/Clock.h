#pragma once
#include <cstdint>

namespace tavrin {

// "No deadline": what waits for nothing.
inline constexpr int64_t kNoDeadline = INT64_MAX;

// The time source of every wait in the core. Tests use a clock that jumps instead of sleeping,
// so an 8-second protocol time-out costs no real time.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale; only differences are meaningful.
    virtual int64_t NowMs() const = 0;
    // Blocks the calling thread for about ms milliseconds (a fake advances NowMs by ms instead).
    virtual void SleepMs(int ms) = 0;
};

}  // namespace tavrin
