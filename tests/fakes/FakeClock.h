#pragma once
#include <functional>

#include "platform/Clock.h"

namespace tavrin::testing {

// A clock that jumps: SleepMs advances the time at once, so long time-outs cost nothing.
class FakeClock : public Clock {
public:
    int64_t NowMs() const override { return now; }
    void SleepMs(int ms) override {
        now += ms;
        sleptMs += ms;
        if (onSleep) onSleep();
    }
    void Advance(int64_t ms) { now += ms; }

    int64_t now = 1000000;
    int64_t sleptMs = 0;
    // Called after every sleep; a test can feed input at a given time this way.
    std::function<void()> onSleep;
};

}  // namespace tavrin::testing
