#pragma once
#include <functional>

#include "platform/Shell.h"

namespace tavrin {

// One descriptor watched through the Shell, for reading or for writing; a step that waits for
// other readiness (a lookup's answer, then a connect) watches anew. No watch outlives the object.
class ReadinessWatch {
public:
    explicit ReadinessWatch(Shell& shell) : shell_(shell) {}
    ~ReadinessWatch() { Unwatch(); }
    ReadinessWatch(const ReadinessWatch&) = delete;
    ReadinessWatch& operator=(const ReadinessWatch&) = delete;

    // Replaces the watch before; a negative fd watches nothing.
    void Watch(int fd, bool forWrite, std::function<void()> onReady) {
        Unwatch();
        if (fd < 0) return;
        fd_ = fd;
        forWrite_ = forWrite;
        if (forWrite)
            shell_.WatchWritable(fd, std::move(onReady));
        else
            shell_.WatchDescriptor(fd, std::move(onReady));
    }
    void Unwatch() {
        if (fd_ < 0) return;
        if (forWrite_)
            shell_.UnwatchWritable(fd_);
        else
            shell_.UnwatchDescriptor(fd_);
        fd_ = -1;
    }
    // Whether this is the watch in place (the same descriptor, for the same readiness).
    bool Is(int fd, bool forWrite) const { return fd_ >= 0 && fd_ == fd && forWrite_ == forWrite; }

private:
    Shell& shell_;
    int fd_ = -1;
    bool forWrite_ = false;
};

}  // namespace tavrin
