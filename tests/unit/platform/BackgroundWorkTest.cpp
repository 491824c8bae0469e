#include "platform/BackgroundWork.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "RecordingShell.h"

namespace tavrin {
namespace {

// A Shell whose Post may be called from any thread, as the real ones.
class PostingShell : public testing::RecordingShell {
public:
    void Post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
        posted_.notify_all();
    }
    // Waits at most ms for a posted task, then runs every one posted so far; false when none came.
    bool RunPostedWithin(int ms) {
        std::deque<std::function<void()>> due;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!posted_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !queue_.empty(); }))
                return false;
            due.swap(queue_);
        }
        for (auto& task : due) task();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

TEST(BackgroundWorkTest, WorkRunsOnAnotherThreadAndItsEndOnTheLoopsThread) {
    PostingShell shell;
    BackgroundWork background;
    const auto loopThread = std::this_thread::get_id();
    std::thread::id workThread, doneThread;
    bool done = false;
    background.Run(
        shell, [&] { workThread = std::this_thread::get_id(); },
        [&] {
            doneThread = std::this_thread::get_id();
            done = true;
        });
    ASSERT_TRUE(shell.RunPostedWithin(5000));
    EXPECT_TRUE(done);
    EXPECT_NE(workThread, loopThread);
    EXPECT_EQ(doneThread, loopThread);
}

// The owner goes while the work runs: the work finishes alone, nothing is posted or run after.
TEST(BackgroundWorkTest, WorkOutlivingItsOwnerEndsUntold) {
    PostingShell shell;
    std::mutex gate;
    std::unique_lock<std::mutex> held(gate);
    bool done = false;
    bool workEnded = false;
    std::mutex ended;
    {
        BackgroundWork background;
        background.Run(
            shell,
            [&] {
                std::lock_guard<std::mutex> wait(gate);
                std::lock_guard<std::mutex> mark(ended);
                workEnded = true;
            },
            [&] { done = true; });
    }
    held.unlock();
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> mark(ended);
            if (workEnded) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(shell.RunPostedWithin(100));
    EXPECT_FALSE(done);
}

}  // namespace
}  // namespace tavrin
