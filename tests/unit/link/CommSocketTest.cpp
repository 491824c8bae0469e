#include "link/CommSocket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <vector>

#include "FakeClock.h"
#include "FakeStreamSocket.h"
#include "RecordingShell.h"

namespace tavrin {
namespace {

using testing::FakeClock;
using testing::FakeStreamSocket;
using testing::ForwardingSocket;
using testing::RecordingShell;

class CommSocketTest : public ::testing::Test {
protected:
    FakeClock clock;
    RecordingShell shell;
    FakeStreamSocket fake{clock};
    CCommSocket socket{std::make_unique<ForwardingSocket>(fake), shell};

    struct Outcome {
        int result = -1;      // what the connect came to
        int64_t elapsed = 0;  // simulated time until then
        bool answeredLater = false;
    };

    // One connect, with the event loop simulated in 10 ms turns: the socket's write watch fires
    // once its answer is due, the time limit once its delay has passed.
    Outcome RunConnect(const std::string& host = "192.168.0.2") {
        Outcome out;
        bool ended = false;
        const int64_t start = clock.NowMs();
        const int rc = socket.BeginConnect(host, 23, [&](int error) {
            out.result = error;
            ended = true;
        });
        EXPECT_EQ(clock.NowMs(), start);  // nothing waited inside the call
        if (rc != EINPROGRESS) {
            out.result = rc;
            return out;
        }
        out.answeredLater = true;
        const int fd = socket.Descriptor();
        while (!ended && clock.NowMs() - start < 10000) {
            clock.Advance(10);
            const int64_t t = clock.NowMs() - start;
            if (fake.current.answerAfterMs >= 0 && t >= fake.current.answerAfterMs &&
                shell.writeWatches.count(fd))
                shell.writeWatches.at(fd)();
            for (auto it = shell.delayed.begin(); !ended && it != shell.delayed.end();) {
                if (it->first > t) {
                    ++it;
                    continue;
                }
                auto task = std::move(it->second);
                it = shell.delayed.erase(it);
                task();
            }
        }
        out.elapsed = clock.NowMs() - start;
        return out;
    }
};

TEST_F(CommSocketTest, ConnectRunsOnInTheEventLoopAndGivesUpAfterFiveSeconds) {
    struct Case {
        FakeStreamSocket::Attempt attempt;
        int result;
        bool later;
        int64_t minElapsed, maxElapsed;
    };
    const Case cases[] = {
        {{0, -1, 0}, 0, false, 0, 0},                        // connected at once
        {{ECONNREFUSED, -1, 0}, ECONNREFUSED, false, 0, 0},  // refused at once
        {{EHOSTUNREACH, -1, 0}, EHOSTUNREACH, false, 0, 0},  // name not resolved
        {{EINPROGRESS, 3000, 0}, 0, true, 3000, 3010},       // answered after 3 s
        {{EINPROGRESS, 2000, ECONNREFUSED}, ECONNREFUSED, true, 2000, 2010},
        {{EINPROGRESS, -1, 0}, ETIMEDOUT, true, 5000, 5010},    // nobody answers
        {{EINPROGRESS, 7000, 0}, ETIMEDOUT, true, 5000, 5010},  // the answer comes too late
    };
    for (const Case& c : cases) {
        fake.attempts.push_back(c.attempt);
        ASSERT_EQ(socket.Create(), 0);
        const Outcome out = RunConnect();
        EXPECT_EQ(out.result, c.result);
        EXPECT_EQ(out.answeredLater, c.later);
        EXPECT_GE(out.elapsed, c.minElapsed);
        EXPECT_LE(out.elapsed, c.maxElapsed);
        EXPECT_EQ(socket.LastError(), c.result);
        // Whatever the end, nothing of the attempt is left watching, and nothing was asked.
        EXPECT_TRUE(shell.writeWatches.empty());
        EXPECT_FALSE(socket.Connecting());
        EXPECT_TRUE(shell.boxes.empty());
    }
    EXPECT_EQ(fake.hosts.back(), "192.168.0.2");
    EXPECT_EQ(fake.ports.back(), 23);
}

TEST_F(CommSocketTest, ARetryStartsOnAFreshSocketAndAStaleTimeLimitIsIgnored) {
    fake.attempts = {{EINPROGRESS, 1000, ECONNREFUSED}, {EINPROGRESS, -1, 0}};
    ASSERT_EQ(socket.Create(), 0);
    EXPECT_EQ(RunConnect().result, ECONNREFUSED);
    ASSERT_EQ(shell.delayed.size(), 1u);  // the first attempt's time limit, still queued
    int second = -1;
    ASSERT_EQ(socket.BeginConnect("192.168.0.2", 23, [&](int error) { second = error; }), EINPROGRESS);
    auto stale = std::move(shell.delayed.front().second);
    shell.delayed.erase(shell.delayed.begin());
    stale();
    EXPECT_EQ(second, -1);  // the second attempt goes on
    EXPECT_TRUE(socket.Connecting());
    shell.RunDelayed();  // its own limit
    EXPECT_EQ(second, ETIMEDOUT);
    EXPECT_EQ(fake.creates, 2);
    EXPECT_EQ(fake.closes, 1);
}

TEST_F(CommSocketTest, OneAttemptAtATimeAndClosingGivesItUpWithoutAnAnswer) {
    fake.attempts = {{EINPROGRESS, -1, 0}};
    ASSERT_EQ(socket.Create(), 0);
    int answers = 0;
    ASSERT_EQ(socket.BeginConnect("10.0.0.1", 23, [&](int) { ++answers; }), EINPROGRESS);
    EXPECT_EQ(socket.BeginConnect("10.0.0.1", 23, [&](int) { ++answers; }), EALREADY);
    EXPECT_EQ(shell.writeWatches.size(), 1u);
    socket.Close();
    EXPECT_TRUE(shell.writeWatches.empty());
    shell.RunDelayed();  // the time limit comes and goes
    EXPECT_EQ(answers, 0);
}

// A peer that takes bytes slowly never holds the terminal: Send returns at once, and what the
// socket did not take goes out, in order, each time the socket is writable again.
TEST_F(CommSocketTest, SendNeverWaitsAndTheRestGoesOutWhenTheSocketIsWritable) {
    ASSERT_EQ(socket.Create(), 0);
    fake.acceptPattern = {0, 2, 0, 0, 1};  // the socket takes a little, now and then
    std::vector<uint8_t> first(11), second{'x', 'y'};
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<uint8_t>(240 + i);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(socket.Send(first.data(), first.size()), 11);
    EXPECT_EQ(socket.Send(second.data(), second.size()), 2);
    EXPECT_EQ(clock.NowMs(), start);
    ASSERT_EQ(shell.writeWatches.count(7), 1u);
    for (int turn = 0; turn < 40 && shell.writeWatches.count(7) != 0; ++turn) shell.writeWatches.at(7)();
    std::vector<uint8_t> all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(fake.sent, all);
    EXPECT_EQ(socket.Unsent(), 0u);
    EXPECT_TRUE(shell.writeWatches.empty());
    EXPECT_TRUE(shell.boxes.empty());
}

// A failure is news once: repeats of it are not, until a send goes through again.
TEST_F(CommSocketTest, SendFailuresAreNewOncePerEpisode) {
    ASSERT_EQ(socket.Create(), 0);
    const std::vector<uint8_t> fill(CCommSocket::kOutboxLimit, 'a');
    const uint8_t one = 'b';
    struct Step {
        const char* what;
        std::function<void()> before;
        const uint8_t* bytes;
        size_t count;
        ssize_t result;
        int error;
        bool news;
    };
    const Step steps[] = {
        {"peer stops reading", [&] { fake.acceptPattern = {0}; }, fill.data(), fill.size(),
         static_cast<ssize_t>(fill.size()), 0, false},
        {"outbox full", nullptr, &one, 1, -1, ENOBUFS, true},
        {"still full", nullptr, &one, 1, -1, ENOBUFS, false},
        {"and again", nullptr, &one, 1, -1, ENOBUFS, false},
        {"peer reads again", [&] { fake.acceptPattern = {}; }, &one, 1, 1, 0, false},
        {"connection broken", [&] { fake.sendError = EPIPE; }, &one, 1, -1, EPIPE, true},
        {"still broken", nullptr, &one, 1, -1, EPIPE, false},
    };
    for (const Step& step : steps) {
        if (step.before) step.before();
        EXPECT_EQ(socket.Send(step.bytes, step.count), step.result) << step.what;
        if (step.result < 0) {
            EXPECT_EQ(socket.LastError(), step.error) << step.what;
        }
        EXPECT_EQ(socket.SendFailureIsNew(), step.news) << step.what;
    }
    EXPECT_EQ(fake.sent.size(), fill.size() + 1);

    CCommSocket unconnected{std::make_unique<FakeStreamSocket>(clock), shell};
    EXPECT_EQ(unconnected.Send(&one, 1), -1);
}

// A read takes what has arrived in one go; it is handed out in the pieces asked for, in order.
// Closing drops what is held.
TEST_F(CommSocketTest, BytesReadAheadComeOutInOrder) {
    ASSERT_EQ(socket.Create(), 0);
    std::vector<uint8_t> arrived(10000);
    for (size_t i = 0; i < arrived.size(); ++i) arrived[i] = static_cast<uint8_t>(i * 7);
    fake.Feed(arrived);
    std::vector<uint8_t> out(4096);
    ASSERT_EQ(socket.ReceiveNow(out.data(), out.size()), 4096);
    EXPECT_TRUE(fake.input.empty());  // one read took it all
    EXPECT_EQ(socket.Held(), 10000u - 4096u);
    ASSERT_EQ(socket.ReceiveNow(out.data(), 1), 1);
    EXPECT_EQ(out.front(), arrived[4096]);
    ASSERT_EQ(socket.ReceiveNow(out.data(), out.size()), 4096);
    EXPECT_EQ(out.front(), arrived[4097]);
    ASSERT_EQ(socket.ReceiveNow(out.data(), out.size()), 10000 - 4097 - 4096);
    EXPECT_EQ(out.front(), arrived[4097 + 4096]);
    EXPECT_EQ(socket.Held(), 0u);
    EXPECT_EQ(socket.ReceiveNow(out.data(), out.size()), -1);
    EXPECT_EQ(socket.LastError(), EAGAIN);

    fake.Feed({'c', 'd', 'e'});
    ASSERT_EQ(socket.ReceiveNow(out.data(), 1), 1);
    EXPECT_EQ(socket.Held(), 2u);
    socket.Close();
    EXPECT_EQ(socket.Held(), 0u);
    EXPECT_EQ(socket.ReceiveNow(out.data(), out.size()), -1);
}

}  // namespace
}  // namespace tavrin
