#include "automation/LogReplay.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "platform/Clock.h"
#include "unit/automation/TempFolder.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::RecordingShell;
using testing::TempFolder;

class CLogReplayTest : public ::testing::Test {
protected:
    CLogReplayTest() : replay(shell, clock, [this](uint8_t c) { typed.push_back(static_cast<char>(c)); }) {}

    TempFolder folder;
    RecordingShell shell;
    FakeClock clock;
    std::string typed;
    CLogReplay replay;
};

TEST_F(CLogReplayTest, PostsOnlyThePromptLinesWithAPauseBeforeEach) {
    std::string path = folder.Write("run.log",
                                    ">save prog.as      \r\n"
                                    "Saving...\r\n"
                                    "   >not at the start\r\n"
                                    ">\r\n"
                                    ">here\t \r\n"
                                    "\r\n");
    std::vector<std::pair<int64_t, size_t>> postsAtSleep;  // (time slept, tasks posted before it)
    clock.onSleep = [&] { postsAtSleep.push_back({clock.sleptMs, shell.posted.size()}); };
    replay.MarkRunning();
    replay.ReplayLog(path);
    EXPECT_FALSE(replay.IsReplayRunning());
    // Three command lines: three pauses, each before its line's characters are posted.
    EXPECT_EQ(postsAtSleep, (std::vector<std::pair<int64_t, size_t>>{{100, 0}, {200, 13}, {300, 14}}));
    shell.RunPosted();
    EXPECT_EQ(typed, "save prog.as\n\nhere\n");
}

TEST_F(CLogReplayTest, StopEndsTheReplayAfterTheCurrentLine) {
    std::string path = folder.Write("run.log", ">one\n>two\n>three\n");
    replay.MarkRunning();
    clock.onSleep = [&] { replay.StopReplay(); };  // the operator stops during the first pause
    replay.ReplayLog(path);
    shell.RunPosted();
    EXPECT_EQ(typed, "one\n");
    EXPECT_FALSE(replay.IsReplayRunning());
}

TEST_F(CLogReplayTest, CancelOrAnUnreadableFileLeavesTheFlagSetUntilStop) {
    shell.files = {std::nullopt};
    replay.StartReplay();
    EXPECT_TRUE(replay.IsReplayRunning());
    EXPECT_EQ(shell.dialogTitles.back(), "Open logging file.");
    replay.StopReplay();
    EXPECT_FALSE(replay.IsReplayRunning());

    replay.MarkRunning();
    replay.ReplayLog(folder.File("missing.log"));
    EXPECT_TRUE(replay.IsReplayRunning());
    EXPECT_TRUE(shell.posted.empty());
}

// A Shell whose Post may be called from the worker while the test thread waits.
class ThreadSafePostShell : public RecordingShell {
public:
    void Post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(mutex);
        RecordingShell::Post(std::move(task));
    }
    std::mutex mutex;
};

class NoSleepClock : public Clock {
public:
    int64_t NowMs() const override { return 0; }
    void SleepMs(int) override {}
};

TEST(CLogReplayThreadTest, WorkerTypesTheFileThroughPostedTasks) {
    TempFolder folder;
    ThreadSafePostShell shell;
    NoSleepClock clock;
    std::string typed;
    {
        CLogReplay replay(shell, clock, [&](uint8_t c) { typed.push_back(static_cast<char>(c)); });
        shell.files = {folder.Write("a.log", ">ab\nout\n>c\n")};
        replay.StartReplay();
        replay.Join();
        EXPECT_FALSE(replay.IsReplayRunning());
        EXPECT_TRUE(typed.empty());  // nothing is typed on the worker itself
    }
    shell.RunPosted();
    EXPECT_EQ(typed, "ab\nc\n");
}

}  // namespace
}  // namespace tavrin
