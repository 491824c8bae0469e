#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdio>

#include "TransferRig.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

// TCP/IP exchanges through the shared receive chunk, walked as the receive interpreter walks
// it: an ENQ (or a pending resume) hands the chunk to the protocol at the current position.
struct TcpSession : TransferRig {
    TcpSession() {
        doc.isTcp = 1;
        protocol.ResetTcpState();
    }
    void Deliver(const Bytes& bytes) {
        ASSERT_LE(bytes.size(), kTcpChunkSize);
        std::copy(bytes.begin(), bytes.end(), doc.tcpChunk.data.begin());
        doc.tcpChunk.length = static_cast<int>(bytes.size());
        doc.tcpChunk.position = 0;
        while (doc.tcpChunk.position < doc.tcpChunk.length) {
            if (protocol.ResumePending() || doc.tcpChunk.data[doc.tcpChunk.position] == kEnqByte)
                results.push_back(protocol.HandleTransferRequest(folder.path()));
            else
                ++doc.tcpChunk.position;
        }
    }
    // One whole request in one chunk; returns its result and the reply text.
    int Request(char letter, const std::string& data = "") {
        link.sent.clear();
        results.clear();
        Deliver(Frame(letter, data));
        return results.empty() ? 1 : results.back();
    }
    static Bytes Frame(char letter, const std::string& data) {
        const std::string text = std::string{char(kEnqByte), char(kStx), letter} + data + char(kEtb);
        return Bytes(text.begin(), text.end());
    }
    std::string Sent() const { return std::string(link.sent.begin(), link.sent.end()); }

    TempFolder folder;
    std::vector<int> results;
};

std::string Reply(char letter, int status, const std::string& data = "") {
    char number[16];
    std::snprintf(number, sizeof number, "%5d", status);
    return std::string(1, char(kStx)) + letter + number + data + char(kEtb);
}

TEST(TransferTcpTest, LoadEndsWithSubThenAlternates) {
    struct Case {
        size_t size;
        std::vector<size_t> blocks;  // data bytes of the replies before the first SUB
    } cases[] = {{100, {100}}, {1000, {512, 488}}, {512, {512}}, {0, {0}}};
    for (const auto& c : cases) {
        TcpSession s;
        std::string content(c.size, 'p');
        for (size_t i = 0; i < content.size(); ++i) content[i] = char('a' + i % 26);
        s.folder.Write("load.as", content);
        ASSERT_EQ(s.Request('A', "load.as"), 0);
        EXPECT_EQ(s.Sent(), Reply('A', 0));
        size_t at = 0;
        for (size_t n : c.blocks) {
            ASSERT_EQ(s.Request('C'), 0);
            EXPECT_EQ(s.Sent(), Reply('C', 0, content.substr(at, n))) << c.size;
            at += n;
        }
        const std::string sub(1, char(kSub));
        const std::string expected[] = {Reply('C', 0, sub), Reply('C', 0), Reply('C', 0, sub), Reply('C', 0)};
        for (const auto& e : expected) {
            ASSERT_EQ(s.Request('C'), 0);
            EXPECT_EQ(s.Sent(), e) << c.size;
        }
        ASSERT_EQ(s.Request('E'), 0);
        EXPECT_EQ(s.Sent(), Reply('E', 0));
    }
}

TEST(TransferTcpTest, RecordsSplitAnywhereGiveTheSameFile) {
    // B with its name, a D record, E: the stream cut into two chunks at every position.
    Bytes stream = TcpSession::Frame('B', "split.as");
    const std::string body = "  JMOVE #a\r\n  LMOVE b\r\n";
    for (const Bytes& frame : {TcpSession::Frame('D', body), TcpSession::Frame('E', "")})
        stream.insert(stream.end(), frame.begin(), frame.end());
    for (size_t cut = 1; cut < stream.size(); ++cut) {
        TcpSession s;
        s.Deliver(Bytes(stream.begin(), stream.begin() + cut));
        s.Deliver(Bytes(stream.begin() + cut, stream.end()));
        EXPECT_EQ(s.folder.Read("split.as"), body) << "cut at " << cut;
        EXPECT_EQ(s.folder.Count(), 1u) << "cut at " << cut;
        EXPECT_EQ(s.Sent(), Reply('B', 0) + Reply('E', 0)) << "cut at " << cut;
        EXPECT_FALSE(s.protocol.ResumePending());
        for (int r : s.results) EXPECT_EQ(r, 0) << "cut at " << cut;
    }
}

TEST(TransferTcpTest, LongWriteRecordIsWrittenPieceByPiece) {
    TcpSession s;
    ASSERT_EQ(s.Request('B', "long.as"), 0);
    std::string expected;
    Bytes first{kEnqByte, kStx, 'D'};
    first.resize(kTcpChunkSize, 'x');
    expected.append(kTcpChunkSize - 3, 'x');
    s.Deliver(first);
    EXPECT_TRUE(s.protocol.ResumePending());
    EXPECT_EQ(s.folder.ReadHidden(), expected) << "the first piece is on disk already";
    EXPECT_FALSE(s.folder.Exists("long.as")) << "not under its name before the save completes";
    Bytes second(kTcpChunkSize, 'y');
    expected.append(kTcpChunkSize, 'y');
    s.Deliver(second);
    Bytes third{'z', kEtb};
    expected += 'z';
    s.Deliver(third);
    EXPECT_FALSE(s.protocol.ResumePending());
    ASSERT_EQ(s.Request('E'), 0);
    EXPECT_EQ(s.folder.Read("long.as"), expected);
}

TEST(TransferTcpTest, StrayBytesEndTheRecord) {
    struct Case {
        const char* name;
        Bytes chunk;
        int result;
    } cases[] = {
        {"SUB after ENQ", {kEnqByte, kSub}, kRecordCutShort},
        {"SUB after STX", {kEnqByte, kStx, kSub}, kRecordCutShort},
        {"stray byte", {kEnqByte, 'x', kStx, 'A', kEtb}, kUnexpectedByte},
        {"repeated ENQ and STX", {kEnqByte, kEnqByte, kStx, kStx, 'F', 'n', 'o', kEtb}, kFileNotFound},
    };
    for (const auto& c : cases) {
        TcpSession s;
        s.Deliver(c.chunk);
        ASSERT_FALSE(s.results.empty()) << c.name;
        EXPECT_EQ(s.results.front(), c.result) << c.name;
        EXPECT_FALSE(s.protocol.ResumePending()) << c.name;
    }
}

TEST(TransferTcpTest, TextOnlyLoadsRefuseNulAndEtb) {
    struct Case {
        const char* name;
        std::string content;
        const char* said;
    } cases[] = {
        {"NUL", std::string("abc") + '\0' + "def", "NUL"},
        {"ETB", std::string("abc") + char(kEtb) + "def", "ETB"},
    };
    for (const auto& c : cases) {
        TcpSession s;
        s.folder.Write("t.as", c.content);
        ASSERT_EQ(s.Request('A', "t.as"), 0);
        EXPECT_EQ(s.Request('C'), kNotTextFile) << c.name;
        EXPECT_EQ(s.Sent(), Reply('C', kNotTextFile)) << "no data cut short: " << c.name;
        EXPECT_NE(s.printed.find(c.said), std::string::npos) << c.name;
        EXPECT_NE(s.printed.find("t.as"), std::string::npos) << c.name;
        EXPECT_EQ(s.Request('C'), kNotTextFile) << "and no SUB that would look like success";
    }
}

TEST(TransferTcpTest, WriteFailuresAreAnsweredAndRememberedForTheEnd) {
    TcpSession s;
    // Without an open file: the first failure is shown, the same one again is not.
    EXPECT_EQ(s.Request('D', "x"), kNoTransferFile);
    EXPECT_EQ(s.Sent(), Reply('D', kNoTransferFile));
    EXPECT_EQ(s.Request('D', "x"), 0);
    EXPECT_EQ(s.Sent(), Reply('D', kNoTransferFile));

    ASSERT_EQ(s.Request('B', "w.as"), 0);
    EXPECT_EQ(s.Request('D', "0123456789"), 0);
    EXPECT_EQ(s.Sent(), "") << "a good D is not answered";
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 10;
    setrlimit(RLIMIT_FSIZE, &small);
    const int first = s.Request('D', "more");
    const std::string firstReply = s.Sent();
    const int again = s.Request('D', "more");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(first, kFileOtherError);
    EXPECT_EQ(firstReply, Reply('D', kFileOtherError));
    EXPECT_EQ(again, 0) << "the same failure is not shown twice";
    EXPECT_EQ(s.Sent(), Reply('D', kFileOtherError));
    // The close itself succeeds; E still tells the controller the save failed.
    EXPECT_EQ(s.Request('E'), 0);
    EXPECT_EQ(s.Sent(), Reply('E', kFileOtherError));
    EXPECT_FALSE(s.folder.Exists("w.as")) << "a save with a hole is not kept";
    // A new save forgets the error.
    ASSERT_EQ(s.Request('B', "w2.as"), 0);
    ASSERT_EQ(s.Request('E'), 0);
    EXPECT_EQ(s.Sent(), Reply('E', 0));
}

TEST(TransferTcpTest, OpenAndDeleteReplyWithStatusOnly) {
    TcpSession s;
    s.folder.Write("old.as", "x");
    struct Case {
        char letter;
        std::string name;
        int status;
    } cases[] = {
        {'A', "none.as", kFileNotFound},
        {'B', "../up.as", kFileBadPath},
        {'B', "new.as", 0},
        {'F', "old.as", 0},
        {'F', "old.as", kFileNotFound},
        {'F', "/etc/passwd", kFileBadPath},
    };
    for (const auto& c : cases) {
        const int rc = s.Request(c.letter, c.name);
        EXPECT_EQ(s.Sent(), Reply(c.letter, c.status)) << c.letter << " " << c.name;
        EXPECT_EQ(rc, c.letter == 'F' ? c.status : 0) << "open failures are not shown: " << c.name;
    }
    EXPECT_FALSE(s.folder.Exists("old.as"));
}

}  // namespace
}  // namespace tavrin
