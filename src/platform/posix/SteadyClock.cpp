#include "platform/posix/SteadyClock.h"

#include <chrono>
#include <thread>

namespace tavrin {

int64_t CSteadyClock::NowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CSteadyClock::SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace tavrin
