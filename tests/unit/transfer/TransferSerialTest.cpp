#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>

#include "TransferRig.h"
#include "transfer/Lzss.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

TEST(TransferProtocolTest, BuildsSerialRecords) {
    struct Case {
        uint8_t letter;
        Bytes data;
        Bytes record;
    } cases[] = {
        {'F', {0x61, 0x62, 0x63}, {0x02, 0x46, 0x00, 0x03, 0xFF, 0xFC, 0x61, 0x62, 0x63, 0xD9}},
        {'E', {}, {0x02, 0x45, 0x00, 0x00, 0xFF, 0xFF, 0xFF}},
        {'C', {0xFF, 0x01}, {0x02, 0x43, 0x00, 0x02, 0xFF, 0xFD, 0xFF, 0x01, 0xFF}},
    };
    for (const auto& c : cases) EXPECT_EQ(Record(c.letter, c.data), c.record) << char(c.letter);
}

TEST(TransferProtocolTest, SerialReceiveAnswersEachStep) {
    const Bytes good = Record('F', B("abc"));
    Bytes badHeader = good;
    badHeader[5] ^= 0x01;  // length + complement != 0xFFFF
    Bytes badSum = good;
    badSum.back() ^= 0x40;
    struct Case {
        const char* name;
        std::deque<Bytes> records;  // the record, then what the controller resends after NAK
        Bytes sent;                 // what the terminal sends
        int result;
    } cases[] = {
        {"good record", {good}, {kAck, kAck}, 0},
        {"bad header, resent", {badHeader, good}, {kAck, kNak, kAck}, 0},
        {"bad checksum, resent", {badSum, good}, {kAck, kNak, kAck}, 0},
        {"two bad, then good", {badSum, badHeader, good}, {kAck, kNak, kNak, kAck}, 0},
        // Control bytes inside the data are data.
        {"transparent data", {Record('D', {kEot, kStx, kEnqByte, kNak})}, {kAck, kAck}, 0},
        {"empty record", {Record('E', {})}, {kAck, kAck}, 0},
    };
    for (const auto& c : cases) {
        TransferRig rig;
        SerialController controller(rig.link);
        controller.Request(c.records);
        TransferRecord record;
        record.data.assign(kSerialRecordMax + 1, 0);
        EXPECT_EQ(rig.protocol.ReceiveTransferBlock(record), c.result) << c.name;
        EXPECT_EQ(rig.link.sent, c.sent) << c.name;
        EXPECT_TRUE(record.complete) << c.name;
        const Bytes& last = c.records.back();
        EXPECT_EQ(record.letter, last[1]) << c.name;
        EXPECT_EQ(Bytes(record.data.begin(), record.data.begin() + record.length), RecordData(last))
            << c.name;
    }
}

TEST(TransferProtocolTest, SerialReceiveEndsOnEotAndSilence) {
    const Bytes good = Record('A', B("prog.as"));
    struct Case {
        const char* name;
        Bytes input;  // fed after the terminal's ACK of the ENQ, nothing more
        Bytes sent;
        int result;
        int64_t elapsedMs;  // at least
    } cases[] = {
        {"EOT before STX", {kEot}, {kAck}, kRecordCutShort, 0},
        {"silence after ACK of ENQ", {}, {kAck, kEot}, kReceiveTimeout, 8000},
        {"silence after a good record", good, {kAck, kAck}, 0, 8000},
        {"silence in the data", Bytes(good.begin(), good.begin() + 8), {kAck, kEot}, kReceiveTimeout, 8000},
        // No checksum: NAK after 8 s, then 8 s more waiting for a resend.
        {"silence before the checksum",
         Bytes(good.begin(), good.end() - 1),
         {kAck, kNak, kEot},
         kReceiveTimeout,
         16000},
    };
    for (const auto& c : cases) {
        TransferRig rig;
        bool fed = false;
        rig.link.onSend = [&](const uint8_t* bytes, size_t) {
            if (!fed && bytes[0] == kAck) rig.link.Feed(c.input), fed = true;
        };
        const int64_t start = rig.clock.now;
        TransferRecord record;
        record.data.assign(kSerialRecordMax + 1, 0);
        EXPECT_EQ(rig.protocol.ReceiveTransferBlock(record), c.result) << c.name;
        EXPECT_EQ(rig.link.sent, c.sent) << c.name;
        EXPECT_GE(rig.clock.now - start, c.elapsedMs) << c.name;
        EXPECT_LT(rig.clock.now - start, c.elapsedMs + 1000) << c.name;
    }
}

TEST(TransferProtocolTest, SerialSendHandshakes) {
    const Bytes reply = Record('E', Bytes(8, 0));
    struct Case {
        const char* name;
        int enqAnswer;  // -1: silence
        std::deque<int> recordAnswers;
        int enqs;     // ENQs sent
        int records;  // records sent
        bool eot;
        int result;
        int64_t elapsedMs;
    } cases[] = {
        {"accepted", kAck, {kAck}, 1, 1, true, 0, 0},
        {"ENQ never answered", -1, {}, 3, 0, false, kNoAnswerToEnq, 6000},
        {"ENQ refused", kNak, {}, 1, 0, false, kEnqRefused, 0},
        {"one NAK, resent", kAck, {kNak, kAck}, 1, 2, true, 0, 0},
        {"two NAKs", kAck, {kNak, kNak}, 1, 2, true, kSendRejectedTwice, 0},
        // The record goes unanswered: three more ENQs (each ACKed, which ends it).
        {"record unanswered, ENQ answered", kAck, {-1}, 2, 1, true, 0, 2000},
    };
    for (const auto& c : cases) {
        TransferRig rig;
        SerialController controller(rig.link);
        controller.enqAnswer = c.enqAnswer;
        controller.recordAnswers = c.recordAnswers;
        const int64_t start = rig.clock.now;
        EXPECT_EQ(rig.protocol.SendTransferBlock(reply.data(), reply.size()), c.result) << c.name;
        EXPECT_EQ(std::count(rig.link.sent.begin(), rig.link.sent.end(), kEnqByte), c.enqs) << c.name;
        EXPECT_EQ(controller.replies.size(), size_t(c.records)) << c.name;
        for (const auto& r : controller.replies) EXPECT_EQ(r, reply) << c.name;
        EXPECT_EQ(!rig.link.sent.empty() && rig.link.sent.back() == kEot, c.eot) << c.name;
        EXPECT_GE(rig.clock.now - start, c.elapsedMs) << c.name;
        EXPECT_LT(rig.clock.now - start, c.elapsedMs + 500) << c.name;
    }
}

TEST(TransferProtocolTest, SerialSendTriesThreeMoreEnqsAfterTheRecord) {
    TransferRig rig;
    SerialController controller(rig.link);
    controller.recordAnswers = {-1};
    int enqs = 0;
    // Only the first ENQ is answered.
    rig.link.onSend = [&](const uint8_t* bytes, size_t count) {
        if (count == 1 && bytes[0] == kEnqByte && ++enqs > 1) return;
        controller.OnSend(bytes, count);
    };
    const Bytes reply = Record('D', Bytes(8, 0));
    EXPECT_EQ(rig.protocol.SendTransferBlock(reply.data(), reply.size()), kNoAnswerToEnq);
    EXPECT_EQ(enqs, 4);
    EXPECT_EQ(controller.replies.size(), 1u);
}

// One request and its reply on the serial line against real files.
TEST(TransferProtocolTest, OpenReplyIsCompactForNamesUnderTwelve) {
    struct Case {
        std::string name;
        size_t replyLength;
        size_t nameField;
    } cases[] = {
        {"abcdefg.xyz", 24, 12},     // 11 characters
        {"abcdefgh.xyz", 140, 128},  // 12 characters
        {"a", 24, 12},
    };
    for (const auto& c : cases) {
        SerialSession s;
        s.folder.Write(c.name, "12345");
        ASSERT_EQ(s.Request('A', B(c.name)), 0) << c.name;
        const Bytes data = s.ReplyData();
        ASSERT_EQ(data.size(), c.replyLength) << c.name;
        Bytes field(c.nameField, 0);
        std::copy_n(c.name.begin(), std::min(c.name.size(), c.nameField), field.begin());
        EXPECT_EQ(Bytes(data.begin(), data.begin() + c.nameField), field) << c.name;
        EXPECT_EQ(Be32(data, c.nameField), 0) << "status " << c.name;
        EXPECT_EQ(Be32(data, c.nameField + 4), 5) << "size " << c.name;
        struct stat st {};
        stat((s.folder.path() + c.name).c_str(), &st);
        EXPECT_EQ(Be32(data, c.nameField + 8), int32_t(st.st_mtime)) << "time " << c.name;
    }
}

TEST(TransferProtocolTest, OpenFailuresReachTheControllerOnlyInTheStatus) {
    struct Case {
        uint8_t letter;
        std::string name;
        int status;
    } cases[] = {
        {'A', "missing.as", kFileNotFound},
        {'B', "nofolder.as", kFileBadPath},  // run with a folder that does not exist
        // Names that would leave the transfer folder are refused before anything is opened.
        {'B', "../escape.as", kFileBadPath},
        {'B', "sub/x.as", kFileBadPath},
        {'B', "/tmp/abs.as", kFileBadPath},
        {'A', "..", kFileBadPath},
        {'B', "a\\b.as", kFileBadPath},
        {'B', "", kFileBadPath},
    };
    for (const auto& c : cases) {
        SerialSession s;
        std::string folder = s.folder.path();
        if (c.name == "nofolder.as") folder += "absent/";
        s.controller.Request({Record(c.letter, B(c.name))});
        EXPECT_EQ(s.protocol.HandleTransferRequest(folder), 0) << c.name;
        const Bytes data = s.ReplyData();
        const size_t field = c.name.size() < 12 ? 12 : 128;
        ASSERT_EQ(data.size(), field + 12) << c.name;
        EXPECT_EQ(Be32(data, field), c.status) << c.name;
        EXPECT_EQ(s.folder.CountAll(), 0u) << "nothing created for " << c.name;
        EXPECT_FALSE(s.protocol.Files().FileOpen()) << c.name;
    }
    struct stat st {};
    EXPECT_NE(stat("/tmp/abs.as", &st), 0);
}

TEST(TransferProtocolTest, SaveBacksUpAndWritesExactBytes) {
    SerialSession s;
    s.folder.Write("prog.as", "old program");
    s.folder.Write("prog.Bas", "older backup");
    ASSERT_EQ(s.Request('B', B("prog.as")), 0);
    EXPECT_EQ(Be32(s.ReplyData(), 12), 0);
    // Until the save completes, the earlier file and its backup stay as they are.
    EXPECT_EQ(s.folder.Read("prog.as"), "old program");
    EXPECT_EQ(s.folder.Read("prog.Bas"), "older backup");
    Bytes expected;
    for (int block = 0; block < 3; ++block) {
        Bytes data(block == 2 ? 7 : 4096);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(i * 7 + block);  // NUL, ETB...
        ASSERT_EQ(s.Request('D', WriteRequest(data)), 0);
        const Bytes reply = s.ReplyData();
        EXPECT_EQ(reply, (Bytes{0, 0, 0, 0, 0x00, 0x11, 0x22, 0x33})) << "status and echo";
        expected.insert(expected.end(), data.begin(), data.end());
    }
    ASSERT_EQ(s.Request('E', Bytes{1, 2, 3, 4}), 0);
    EXPECT_EQ(s.ReplyData(), (Bytes{0, 0, 0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(B(s.folder.Read("prog.as")), expected);
    EXPECT_EQ(s.folder.Read("prog.Bas"), "old program");
    EXPECT_EQ(s.folder.CountAll(), 2u);
}

TEST(TransferProtocolTest, BackupNamesFollowTheExtension) {
    struct Case {
        std::string name;
        std::string backup;  // empty: none
        bool linkedAndNumbered;
    } cases[] = {
        {"prog.as", "prog.Bas", false}, {"prog.zu", "prog.Bzu", false}, {"prog.long", "prog.Blo", false},
        {"prog.a", "prog.Ba", false},   {"noext", "", false},           {"prog.as", "", true},
    };
    for (const auto& c : cases) {
        SerialSession s;
        s.view.hostWindow = c.linkedAndNumbered ? 77 : 0;
        s.view.terminalNumber = c.linkedAndNumbered ? 1 : 0;
        s.folder.Write(c.name, "old");
        ASSERT_EQ(s.Request('B', B(c.name)), 0);
        ASSERT_EQ(s.Request('E', Bytes(4, 0)), 0);
        EXPECT_EQ(s.folder.Read(c.name), "") << c.name;
        if (c.backup.empty()) {
            EXPECT_EQ(s.folder.Count(), 1u) << c.name;
        } else {
            EXPECT_EQ(s.folder.Read(c.backup), "old") << c.name;
        }
    }
}

TEST(TransferProtocolTest, BlockRequestsNeedAnOpenFile) {
    struct Case {
        uint8_t letter;
        Bytes data;
        size_t replyLength;
    } cases[] = {
        {'C', Bytes(4, 0), 8},
        {'C', Bytes{8, 0, 0, 0}, 8},
        {'D', WriteRequest(B("x")), 8},
        {'E', Bytes(4, 0), 8},
    };
    for (const auto& c : cases) {
        SerialSession s;
        EXPECT_EQ(s.Request(c.letter, c.data), kNoTransferFile) << char(c.letter);
        const Bytes reply = s.ReplyData();
        ASSERT_EQ(reply.size(), c.replyLength) << char(c.letter);
        EXPECT_EQ(Be32(reply, 0), kNoTransferFile);
    }
}

TEST(TransferProtocolTest, RawLoadComesInBlocksThenAnEmptyReply) {
    SerialSession s;
    std::string content(4096 + 300, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 251);  // NULs included
    s.folder.Write("p.as", content);
    ASSERT_EQ(s.Request('A', B("p.as")), 0);
    std::string loaded;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(s.Request('C', Bytes{0, 9, 8, 7}), 0);
        const Bytes reply = s.ReplyData();
        ASSERT_GE(reply.size(), 8u);
        EXPECT_EQ(Bytes(reply.begin() + 4, reply.begin() + 8), (Bytes{0, 9, 8, 7}));
        if (reply.size() == 8) break;
        EXPECT_LE(reply.size(), 8 + kSerialBlock);
        loaded.append(reply.begin() + 8, reply.end());
    }
    EXPECT_EQ(loaded, content);
}

TEST(TransferProtocolTest, CompressedLoadDecodesToTheFile) {
    std::string program;
    for (int i = 0; program.size() < 10000; ++i) program += "  LMOVE p" + std::to_string(i % 37) + "\r\n";
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {{"program", program}, {"one chunk", program.substr(0, 4096)}, {"empty", ""}};
    for (const auto& c : cases) {
        SerialSession s;
        s.folder.Write("p.as", c.content);
        ASSERT_EQ(s.Request('A', B("p.as")), 0);
        CLzssCoder decoder;
        std::string loaded;
        Bytes out(4096);
        int replies = 0;
        for (; replies < 1000; ++replies) {
            ASSERT_EQ(s.Request('C', Bytes{0x08, 0xFF, 0, 0}), 0);
            const Bytes reply = s.ReplyData();
            // Echo: 0x0000FF08 little-endian plus 56 = 0x0000FF40.
            ASSERT_EQ(Bytes(reply.begin() + 4, reply.begin() + 8), (Bytes{0x40, 0xFF, 0, 0})) << c.name;
            if (reply.size() == 8) break;
            size_t n = decoder.DecompressBlock(reply.data() + 8, reply.size() - 8, out.data(), out.size());
            ASSERT_NE(n, CLzssCoder::kDecodeRefused);
            loaded.append(reinterpret_cast<char*>(out.data()), n);
        }
        EXPECT_EQ(loaded, c.content) << c.name;
        if (!c.content.empty()) {
            EXPECT_LT(replies, int(c.content.size() / kSerialBlock)) << "it compresses";
        }
    }
}

TEST(TransferProtocolTest, CompressedLoadOfANulByteFailsVisibly) {
    SerialSession s;
    std::string content = std::string(5000, 'a') + '\0' + "rest";
    s.folder.Write("bin.as", content);
    ASSERT_EQ(s.Request('A', B("bin.as")), 0);
    // The first chunk is text: it goes out.
    ASSERT_EQ(s.Request('C', Bytes{0x08, 0, 0, 0}), 0);
    EXPECT_GT(s.ReplyData().size(), 8u);
    int rc = 0;
    for (int i = 0; i < 40 && rc == 0; ++i) rc = s.Request('C', Bytes{0x08, 0, 0, 0});
    EXPECT_EQ(rc, kNotTextFile);
    EXPECT_EQ(Be32(s.ReplyData(), 0), kNotTextFile);
    EXPECT_EQ(s.ReplyData().size(), 8u);
    EXPECT_NE(s.printed.find("NUL"), std::string::npos);
    EXPECT_NE(s.printed.find("bin.as"), std::string::npos);
    // The load does not go on past the hole.
    EXPECT_EQ(s.Request('C', Bytes{0x08, 0, 0, 0}), kNotTextFile);
}

TEST(TransferProtocolTest, CompressedSaveDecodesBlocksAcrossCuts) {
    std::string program;
    for (int i = 0; program.size() < 9000; ++i) program += ".PROGRAM a" + std::to_string(i % 11) + "()\r\n";
    CLzssCoder coder;
    Bytes codes(CLzssCoder::CompressedBound(program.size()) + 1);
    size_t n = coder.CompressText(reinterpret_cast<const uint8_t*>(program.c_str()), codes.data(), 0);
    const uint8_t empty[1] = {0};
    n += coder.CompressText(empty, codes.data() + n, 1);
    codes.resize(n);

    SerialSession s;
    ASSERT_EQ(s.Request('B', B("z.as")), 0);
    for (size_t at = 0; at < codes.size(); at += 101) {  // cuts fall inside items
        Bytes block(codes.begin() + at, codes.begin() + std::min(codes.size(), at + 101));
        ASSERT_EQ(s.Request('D', WriteRequest(block, true)), 0);
        // Echo: 0x33221108 + 56 little-endian.
        const Bytes reply = s.ReplyData();
        EXPECT_EQ(Bytes(reply.begin() + 4, reply.end()), (Bytes{0x40, 0x11, 0x22, 0x33}));
    }
    ASSERT_EQ(s.Request('E', Bytes(4, 0)), 0);
    EXPECT_EQ(s.folder.Read("z.as"), program);
}

TEST(TransferProtocolTest, OversizedBlocksAreRefusedAndNothingFollowsThem) {
    // 32 flag groups of eight 18-byte matches: 544 code bytes that decode to 4608 bytes.
    Bytes longBlock;
    for (int group = 0; group < 32; ++group) {
        longBlock.push_back(0x00);
        for (int item = 0; item < 8; ++item) longBlock.insert(longBlock.end(), {0xEE, 0xFF});
    }
    struct Case {
        const char* name;
        Bytes request;
    } cases[] = {
        {"decompresses past the limit", WriteRequest(longBlock, true)},
        {"plain block over 4096", WriteRequest(Bytes(4097, 'x'))},
        {"length beyond the record", WriteRequest(Bytes(10, 'x'), false, 20)},
    };
    for (const auto& c : cases) {
        SerialSession s;
        ASSERT_EQ(s.Request('B', B("o.as")), 0);
        ASSERT_EQ(s.Request('D', WriteRequest(B("kept"))), 0);
        EXPECT_EQ(s.Request('D', c.request), kBlockTooLong) << c.name;
        EXPECT_EQ(Be32(s.ReplyData(), 0), kBlockTooLong) << c.name;
        EXPECT_EQ(s.Request('D', WriteRequest(B("after"))), kBlockTooLong) << c.name;
        EXPECT_EQ(s.Request('E', Bytes(4, 0)), 0) << c.name;
        // An incomplete save leaves nothing under the program's name.
        EXPECT_FALSE(s.folder.Exists("o.as")) << c.name;
        EXPECT_EQ(s.folder.CountAll(), 0u) << c.name;
    }
}

TEST(TransferProtocolTest, WriteErrorIsReportedAndStopsTheSave) {
    SerialSession s;
    ASSERT_EQ(s.Request('B', B("big.as")), 0);
    // A file size limit makes the write fail (EFBIG) without needing a full disk.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 10;
    setrlimit(RLIMIT_FSIZE, &small);
    const int first = s.Request('D', WriteRequest(Bytes(100, 'y')));
    const int second = s.Request('D', WriteRequest(B("z")));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(first, kFileOtherError);
    EXPECT_EQ(second, kFileOtherError) << "nothing written after the failure";
    EXPECT_EQ(s.Request('E', Bytes(4, 0)), 0);
    EXPECT_FALSE(s.folder.Exists("big.as"));
    EXPECT_EQ(s.folder.CountAll(), 0u);
}

TEST(TransferProtocolTest, DeleteUsesTheFolderOfTheLastSave) {
    SerialSession s;
    TempFolder other;
    other.Write("gone.as", "x");
    s.folder.Write("gone.as", "y");
    s.controller.Request({Record('B', B("new.as"))});
    ASSERT_EQ(s.protocol.HandleTransferRequest(other.path()), 0);
    ASSERT_EQ(s.Request('E', Bytes(4, 0)), 0);
    // A name that is no bare name is refused with a line of its own rather than a code.
    struct Case {
        std::string name;
        int result;
        int status;
    } cases[] = {
        {"gone.as", 0, 0}, {"gone.as", kFileNotFound, kFileNotFound}, {"../gone.as", 0, kFileBadPath}};
    for (const auto& c : cases) {
        EXPECT_EQ(s.Request('F', B(c.name)), c.result) << c.name;
        EXPECT_EQ(s.ReplyData(), Be(uint32_t(c.status))) << c.name;
    }
    EXPECT_NE(s.printed.find("Refused a file name from the controller: ../gone.as"), std::string::npos);
    EXPECT_FALSE(other.Exists("gone.as"));
    EXPECT_TRUE(s.folder.Exists("gone.as"));
}

TEST(TransferProtocolTest, EndOfTransferServesTheHostEditor) {
    struct Case {
        const char* name;
        int hostTyped;
        int saveForEditor;
        bool deleted;
        bool notified;
    } cases[] = {
        {"typed command", 1, 1, true, false},
        {"save for the editor", 0, 1, false, true},
        {"neither", 0, 0, false, false},
    };
    for (const auto& c : cases) {
        SerialSession s;
        s.folder.Write("host.tmp", "x");
        s.view.hostTypedPending = c.hostTyped;
        s.view.saveForEditorPending = c.saveForEditor;
        s.view.hostDeleteFile = s.folder.path() + "host.tmp";
        s.view.editorTempFile = "sv1A.tmp";
        std::vector<std::string> notified;
        s.protocol.Files().notifyHostSaved = [&](const std::string& f) { notified.push_back(f); };
        // E runs the step whether or not a file was open.
        s.Request('E', Bytes(4, 0));
        EXPECT_EQ(!s.folder.Exists("host.tmp"), c.deleted) << c.name;
        EXPECT_EQ(notified == std::vector<std::string>{"sv1A.tmp"}, c.notified) << c.name;
        EXPECT_EQ(s.view.hostTypedPending, 0) << c.name;
        EXPECT_EQ(s.view.saveForEditorPending, c.hostTyped ? c.saveForEditor : 0) << c.name;
        EXPECT_EQ(s.view.hostDeleteFile.empty(), c.deleted) << c.name;
    }
}

TEST(TransferProtocolTest, UnknownLetterIsAnsweredWithAStatus) {
    SerialSession s;
    EXPECT_EQ(s.Request('Z', Bytes(4, 0)), kUnknownRequest);
    EXPECT_EQ(s.ReplyData(), Be(uint32_t(kUnknownRequest)));
}

TEST(TransferProtocolTest, FailedReceiveSendsNoReply) {
    SerialSession s;
    s.link.onSend = nullptr;  // the controller goes silent after its ENQ
    EXPECT_EQ(s.protocol.HandleTransferRequest(s.folder.path()), kReceiveTimeout);
    EXPECT_EQ(s.link.sent, (Bytes{kAck, kEot}));
}

TEST(MapFileErrorTest, MapsCausesToCodes) {
    struct Case {
        int cause;
        int code;
    } cases[] = {{ENOENT, -1052}, {ENOTDIR, -1028}, {ENAMETOOLONG, -1028}, {EINVAL, -1028}, {EMFILE, -1800},
                 {ENFILE, -1800}, {EACCES, -1070},  {EPERM, -1070},        {EROFS, -1070},  {EBADF, -1804},
                 {EIO, -1802},    {ENOSPC, -1072},  {EDQUOT, -1072},       {EEXIST, -9999}, {0, -9999}};
    for (const auto& c : cases) EXPECT_EQ(MapFileError(c.cause), c.code) << strerror(c.cause);
}

}  // namespace
}  // namespace tavrin
