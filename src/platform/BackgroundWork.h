#pragma once
#include <functional>
#include <memory>
#include <mutex>

#include "platform/Shell.h"

namespace tavrin {

// Blocking work (a save's flush to disk) run on a thread of its own, its end handed back to the
// event-loop thread through Shell::Post. Work still running when this object goes finishes
// alone and its `done` is dropped; so the object must go before the Shell it posts to.
class BackgroundWork {
public:
    BackgroundWork();
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // Starts work on a new thread; done runs on the event-loop thread after it has returned.
    // Where no thread can be started, work runs here and done is posted.
    void Run(Shell& shell, std::function<void()> work, std::function<void()> done);

private:
    struct Link {
        std::mutex mutex;
        bool open = true;  // false once the owner has gone
    };
    std::shared_ptr<Link> link_;
};

}  // namespace tavrin
