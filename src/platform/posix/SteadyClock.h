#pragma once
#include "platform/Clock.h"

namespace tavrin {

// The real clock: std::chrono::steady_clock and a thread sleep.
class CSteadyClock : public Clock {
public:
    int64_t NowMs() const override;
    void SleepMs(int ms) override;
};

}  // namespace tavrin
