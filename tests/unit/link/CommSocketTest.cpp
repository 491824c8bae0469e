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
    CCommSocket socket{std::make_unique<ForwardingSocket>(fake), shell, clock};

    // Nothing but PaintNow may have reached the shell.
    void ExpectOnlyPaints() {
        EXPECT_TRUE(shell.boxes.empty());
        EXPECT_EQ(shell.repaintRequests, 0);
        EXPECT_TRUE(shell.posted.empty());
        EXPECT_TRUE(shell.timers.empty());
        EXPECT_TRUE(shell.watches.empty());
        EXPECT_EQ(shell.caretUpdates, 0);
        EXPECT_EQ(shell.menuRefreshes, 0);
    }
};

TEST_F(CommSocketTest, ConnectGivesUpAfterFiveSecondsAndOnlyRepaintsMeanwhile) {
    struct Case {
        FakeStreamSocket::Attempt attempt;
        int result;
        int64_t minElapsed, maxElapsed;
        bool paints;
    };
    const Case cases[] = {
        {{0, -1, 0}, 0, 0, 0, false},                        // connected at once
        {{ECONNREFUSED, -1, 0}, ECONNREFUSED, 0, 0, false},  // refused: no wait
        {{EHOSTUNREACH, -1, 0}, EHOSTUNREACH, 0, 0, false},  // name not resolved
        {{EINPROGRESS, 3000, 0}, 0, 3000, 3000, true},       // answered after 3 s
        {{EINPROGRESS, 2000, ECONNREFUSED}, ECONNREFUSED, 2000, 2000, true},
        {{EINPROGRESS, -1, 0}, ETIMEDOUT, 5000, 5999, true},    // nobody answers
        {{EINPROGRESS, 7000, 0}, ETIMEDOUT, 5000, 5999, true},  // the answer comes too late
    };
    for (const Case& c : cases) {
        shell.paintsNow = 0;
        fake.attempts.push_back(c.attempt);
        ASSERT_EQ(socket.Create(), 0);
        const int64_t start = clock.NowMs();
        EXPECT_EQ(socket.Connect("192.168.0.2", 23), c.result);
        const int64_t elapsed = clock.NowMs() - start;
        EXPECT_GE(elapsed, c.minElapsed);
        EXPECT_LE(elapsed, c.maxElapsed);
        EXPECT_EQ(shell.paintsNow > 0, c.paints) << elapsed;
        ExpectOnlyPaints();
    }
    EXPECT_EQ(fake.hosts.back(), "192.168.0.2");
    EXPECT_EQ(fake.ports.back(), 23);
}

TEST_F(CommSocketTest, ARetryAfterAFailedConnectStartsOnAFreshSocket) {
    fake.attempts = {{ECONNREFUSED, -1, 0}, {0, -1, 0}};
    ASSERT_EQ(socket.Create(), 0);
    EXPECT_EQ(socket.Connect("10.0.0.1", 23), ECONNREFUSED);
    EXPECT_EQ(socket.Connect("10.0.0.1", 23), 0);
    EXPECT_EQ(fake.creates, 2);
    EXPECT_EQ(fake.closes, 1);
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
    EXPECT_EQ(shell.paintsNow, 0);
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

    CCommSocket unconnected{std::make_unique<FakeStreamSocket>(clock), shell, clock};
    EXPECT_EQ(unconnected.Send(&one, 1), -1);
}

// The one-byte receive that waits for an answer first lets out what the outbox still holds.
TEST_F(CommSocketTest, ReceiveByteSendsTheOutboxWhileItWaits) {
    ASSERT_EQ(socket.Create(), 0);
    fake.acceptPattern = {0, 3};
    const uint8_t record[] = {5, 6, 7};
    EXPECT_EQ(socket.Send(record, 3), 3);
    EXPECT_TRUE(fake.sent.empty());
    fake.onWaitReadable = [&] {
        if (fake.sent.size() == 3) fake.Feed({0x06});
    };
    EXPECT_EQ(socket.ReceiveByte(), 0x06);
    EXPECT_EQ(fake.sent, std::vector<uint8_t>(record, record + 3));
    EXPECT_TRUE(shell.writeWatches.empty());
}

TEST_F(CommSocketTest, ReceiveByteWaitsForAByteAndTellsClosedFromBroken) {
    ASSERT_EQ(socket.Create(), 0);
    fake.Feed({0xFF, 0x00});
    EXPECT_EQ(socket.ReceiveByte(), 255);
    EXPECT_EQ(socket.ReceiveByte(), 0);

    // A byte that arrives after a while is waited for, repainting only.
    int waits = 0;
    fake.onWaitReadable = [&] {
        if (++waits == 40) fake.Feed({'>'});
    };
    EXPECT_EQ(socket.ReceiveByte(), '>');
    EXPECT_GT(shell.paintsNow, 0);
    ExpectOnlyPaints();
    fake.onWaitReadable = nullptr;

    const int64_t start = clock.NowMs();
    EXPECT_EQ(socket.ReceiveByte(), CCommSocket::kWaitedOut);
    EXPECT_GE(clock.NowMs() - start, CCommSocket::kReceiveWaitLimitMs);

    fake.peerClosed = true;
    EXPECT_EQ(socket.ReceiveByte(), CCommSocket::kPeerClosed);
    fake.receiveError = ECONNRESET;
    EXPECT_EQ(socket.ReceiveByte(), CCommSocket::kError);
    EXPECT_EQ(socket.LastError(), ECONNRESET);
    socket.Close();
    EXPECT_EQ(socket.ReceiveByte(), CCommSocket::kPeerClosed);
}

// A read takes what has arrived in one go; it is handed out in the pieces asked for, and the
// one-byte receive takes the held bytes first, so the order is kept; only then does it go to
// the socket, a byte at a time, holding nothing back. Closing or creating anew drops what is held.
TEST_F(CommSocketTest, BytesReadAheadComeOutInOrderWhoeverAsks) {
    ASSERT_EQ(socket.Create(), 0);
    std::vector<uint8_t> arrived(10000);
    for (size_t i = 0; i < arrived.size(); ++i) arrived[i] = static_cast<uint8_t>(i * 7);
    fake.Feed(arrived);
    std::vector<uint8_t> out(4096);
    ASSERT_EQ(socket.ReceiveNow(out.data(), out.size()), 4096);
    EXPECT_TRUE(fake.input.empty());  // one read took it all
    EXPECT_EQ(socket.Held(), 10000u - 4096u);
    EXPECT_EQ(socket.ReceiveByte(), arrived[4096]);
    ASSERT_EQ(socket.ReceiveNow(out.data(), out.size()), 4096);
    EXPECT_EQ(out.front(), arrived[4097]);
    ASSERT_EQ(socket.ReceiveNow(out.data(), out.size()), 10000 - 4097 - 4096);
    EXPECT_EQ(out.front(), arrived[4097 + 4096]);
    EXPECT_EQ(socket.Held(), 0u);
    EXPECT_EQ(socket.ReceiveNow(out.data(), out.size()), -1);
    EXPECT_EQ(socket.LastError(), EAGAIN);

    fake.Feed({'a', 'b'});
    EXPECT_EQ(socket.ReceiveByte(), 'a');
    EXPECT_EQ(socket.Held(), 0u);
    EXPECT_EQ(fake.input.size(), 1u);  // still in the socket, where its readiness tells of it

    fake.Feed({'c', 'd', 'e'});
    ASSERT_EQ(socket.ReceiveNow(out.data(), 1), 1);
    EXPECT_EQ(socket.Held(), 3u);
    socket.Close();
    EXPECT_EQ(socket.Held(), 0u);
    EXPECT_EQ(socket.ReceiveNow(out.data(), out.size()), -1);
}

TEST_F(CommSocketTest, ABlockingOperationInsideAnotherFailsAtOnce) {
    ASSERT_EQ(socket.Create(), 0);
    int inner = 1;
    fake.onWaitReadable = [&] {
        inner = socket.ReceiveByte();
        const uint8_t b = 'x';
        EXPECT_EQ(socket.Send(&b, 1), -1);
        fake.Feed({'a'});
    };
    EXPECT_EQ(socket.ReceiveByte(), 'a');
    EXPECT_EQ(inner, CCommSocket::kBusy);
    EXPECT_TRUE(fake.sent.empty());
}

}  // namespace
}  // namespace tavrin
