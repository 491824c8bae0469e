#include "platform/BackgroundWork.h"

#include <system_error>
#include <thread>

namespace tavrin {

BackgroundWork::BackgroundWork() : link_(std::make_shared<Link>()) {}

BackgroundWork::~BackgroundWork() {
    std::lock_guard<std::mutex> lock(link_->mutex);
    link_->open = false;
}

void BackgroundWork::Run(Shell& shell, std::function<void()> work, std::function<void()> done) {
    auto finish = [link = link_, &shell](std::function<void()> done) {
        // Posted under the lock: the owner cannot go (and the Shell with it) in between.
        std::lock_guard<std::mutex> lock(link->mutex);
        if (!link->open) return;
        shell.Post([link, done = std::move(done)] {
            if (link->open) done();  // read on the event-loop thread, the only one that writes it
        });
    };
    try {
        std::thread([work, done, finish]() mutable {
            work();
            finish(std::move(done));
        }).detach();
    } catch (const std::system_error&) {
        work();
        finish(std::move(done));
    }
}

}  // namespace tavrin
