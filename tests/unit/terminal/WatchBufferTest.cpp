#include "terminal/WatchBuffer.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "InterpreterRig.h"
#include "terminal/ReceivePoll.h"

namespace tavrin {
namespace {

using testing::InterpreterRig;

std::string DigitRun(char first, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += static_cast<char>(first + i % 10);
    return text;
}

void Collect(CWatchBuffer& watch, const std::string& text) {
    watch.CollectReceivedText(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Held, received -> held afterwards. Text is made of digit runs so that which part was kept
// shows in the result.
TEST(WatchBufferTest, KeepsTheNewestTextWithinItsSize) {
    struct Case {
        const char* name;
        size_t held;
        size_t received;
        size_t after;
        size_t keptOfHeld;  // how many of the newest held characters remain in front
    };
    const std::vector<Case> cases = {
        {"fits", 3000, 1500, 4500, 3000},
        {"9000 + 1500 keeps the last 2500 then appends", 9000, 1500, 4000, 2500},
        {"2000 + 8193 is cleared before the append", 2000, 8193, 8193, 0},
        {"exactly full", 9000, 999, 9999, 9000},
        {"one more than full trims, the NUL must fit", 9000, 1000, 3500, 2500},
        {"2600 + 8193 pushes out older text", 2600, 8193, 9999, 1806},
        {"a 20000-byte chunk keeps its newest part", 500, 20000, 9999, 0},
        {"empty chunk", 100, 0, 100, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CWatchBuffer watch([] { return true; });
        const std::string held = DigitRun('0', c.held);
        const std::string received = DigitRun('a', c.received);
        Collect(watch, held);
        Collect(watch, received);
        const std::string text = watch.Text();
        ASSERT_EQ(text.size(), c.after);
        const std::string expected = held.substr(held.size() - c.keptOfHeld) +
                                     received.substr(received.size() - (c.after - c.keptOfHeld));
        EXPECT_EQ(text, expected);
    }
}

TEST(WatchBufferTest, NothingIsKeptWithoutARunningMacro) {
    bool running = false;
    CWatchBuffer watch([&running] { return running; });
    Collect(watch, "ready>");
    EXPECT_EQ(watch.Length(), 0u);
    running = true;
    Collect(watch, "ready>");
    EXPECT_EQ(watch.Text(), "ready>");
    CWatchBuffer unset;
    Collect(unset, "x");
    EXPECT_EQ(unset.Length(), 0u);
}

TEST(WatchBufferTest, NulInReceivedTextEndsTheSearchableText) {
    CWatchBuffer watch([] { return true; });
    Collect(watch, std::string("abc\0def", 7));
    EXPECT_EQ(watch.Text(), "abc");
    Collect(watch, "xyz");
    EXPECT_EQ(watch.Text(), "abcxyz");
    watch.Clear();
    EXPECT_EQ(watch.Length(), 0u);
}

TEST(WatchBufferTest, CheckWaitPatterns) {
    struct Case {
        const char* held;
        const char* awaited;
        const char* error;
        int result;
    };
    const Case cases[] = {
        {"Program saved\r\n>", ">", "", kWaitPatternSeen},
        {"Program saved\r\n>", "loaded", "", kWaitNotSeen},
        {"Error: file\r\n>", ">", "Error", kWaitErrorSeen},
        {"Error: file", "nothing", "Error", kWaitErrorSeen},
        {"all fine", "", "", kWaitPatternSeen},
        {"", "", "", kWaitPatternSeen},
        {"", "x", "", kWaitNotSeen},
        {"all fine", "fine", "Error", kWaitPatternSeen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.awaited) + "|" + c.error);
        CWatchBuffer watch([] { return true; });
        Collect(watch, c.held);
        EXPECT_EQ(watch.CheckWaitPatterns(c.awaited, c.error), c.result);
    }
}

TEST(SerialPollTest, DrainsThePortInChunksUntilEmpty) {
    InterpreterRig rig;
    rig.doc.connected = 1;
    CWatchBuffer watch([] { return true; });
    std::deque<size_t> offers = {kSerialChunkSize, 100, 0, 50};
    std::vector<size_t> asked;
    size_t total =
        SerialPoll(rig.doc, rig.interpreter, watch, [&](uint8_t* buffer, size_t capacity) -> size_t {
            asked.push_back(capacity);
            const size_t n = offers.front();
            offers.pop_front();
            for (size_t i = 0; i < n; ++i) buffer[i] = 'a' + i % 26;
            return n;
        });
    EXPECT_EQ(total, kSerialChunkSize + 100);
    EXPECT_EQ(asked, (std::vector<size_t>{kSerialChunkSize, kSerialChunkSize, kSerialChunkSize}));
    EXPECT_EQ(offers.size(), 1u);  // stopped at the empty read
    EXPECT_EQ(watch.Length(), kSerialChunkSize + 100);
    EXPECT_GT(rig.view.historyCount, 0);
}

TEST(SerialPollTest, OnlyWhileConnectedAndStopsWhenTheLinkCloses) {
    InterpreterRig rig;
    CWatchBuffer watch;
    int reads = 0;
    auto read = [&](uint8_t* buffer, size_t) -> size_t {
        ++reads;
        rig.doc.connected = 0;  // the transfer inside the chunk ended the connection
        buffer[0] = 'x';
        return 1;
    };
    EXPECT_EQ(SerialPoll(rig.doc, rig.interpreter, watch, read), 0u);
    EXPECT_EQ(reads, 0);
    rig.doc.connected = 1;
    EXPECT_EQ(SerialPoll(rig.doc, rig.interpreter, watch, read), 1u);
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(rig.Row(0), "x");
}

TEST(SerialPollTest, ChunkEndsInNulForTheLoginCheck) {
    InterpreterRig rig;
    rig.doc.connected = 1;
    rig.doc.isAutoLogin = 1;
    CWatchBuffer watch;
    std::string first(kSerialChunkSize - 7, 'q');
    first += "login: ";
    bool given = false;
    SerialPoll(rig.doc, rig.interpreter, watch, [&](uint8_t* buffer, size_t capacity) -> size_t {
        if (given) return 0;
        given = true;
        std::copy(first.begin(), first.end(), buffer);
        return capacity;
    });
    EXPECT_EQ(rig.posted, "zu\n");
}

TEST(TcpReceiveTest, InterpretsTheSharedChunk) {
    struct Case {
        const char* name;
        int connected;
        int received;
        int result;
        std::string row0;
    };
    const std::vector<Case> cases = {
        {"data", 1, 5, 5, "hello"},
        {"peer closed", 1, 0, 0, ""},
        {"error", 1, -1, -1, ""},
        {"not connected", 0, 5, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InterpreterRig rig;
        rig.doc.isTcp = 1;
        rig.doc.connected = c.connected;
        CWatchBuffer watch([] { return true; });
        size_t asked = 0;
        const int result = TcpReceive(rig.doc, rig.interpreter, watch, [&](uint8_t* buffer, size_t capacity) {
            asked = capacity;
            std::copy_n("hello", 5, buffer);
            return c.received;
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(rig.Row(0), c.row0);
        EXPECT_EQ(watch.Text(), c.row0);
        if (c.connected) {
            EXPECT_EQ(asked, kTcpChunkSize);
        }
    }
}

TEST(TcpReceiveTest, TransferReadsTheSameChunk) {
    InterpreterRig rig;
    rig.doc.isTcp = 1;
    rig.doc.connected = 1;
    rig.transferConsumes = 3;
    CWatchBuffer watch([] { return true; });
    const std::string data =
        "a\x05\x02"
        "E\x17"
        "b";
    TcpReceive(rig.doc, rig.interpreter, watch, [&](uint8_t* buffer, size_t) {
        std::copy(data.begin(), data.end(), buffer);
        return static_cast<int>(data.size());
    });
    EXPECT_EQ(rig.handOffs.size(), 1u);
    EXPECT_EQ(rig.Row(0), "ab");
    EXPECT_EQ(rig.doc.tcpChunk.position, rig.doc.tcpChunk.length);
}

}  // namespace
}  // namespace tavrin
