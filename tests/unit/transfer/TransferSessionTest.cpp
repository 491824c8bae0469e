#include <gtest/gtest.h>

#include "LanguageGuard.h"
#include "TransferRig.h"
#include "transfer/SaveSteps.h"
#include "transfer/TransferSession.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A TCP/IP request handed to the session as the interpreter hands it: the ENQ, then the rest.
int TcpRequest(TransferRig& rig, char letter, const std::string& data) {
    const std::string frame = std::string{char(kStx), letter} + data + char(kEtb);
    rig.link.sent.clear();
    rig.protocol.session.OnEnq(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
    return rig.protocol.session.LastResult();
}

// The status of the terminal's answer to A, B or F, on either medium.
int32_t ReplyStatus(const TransferRig& rig, bool tcp, char letter, const SerialController& controller) {
    if (tcp) {
        const std::string sent = Text(rig.link.sent);
        if (sent.size() < 8 || sent[1] != letter) return 1;
        return std::stoi(sent.substr(2, 5));
    }
    if (controller.replies.empty()) return 1;
    const Bytes data = RecordData(controller.replies.back());
    return letter == 'F' ? Be32(data, 0) : Be32(data, data.size() - 12);
}

// Without a transfer asked for on this side, the controller can neither read, create nor
// delete a file here, whatever the name, and the screen says what it tried.
TEST(TransferSessionTest, RequestsNobodyAskedForAreRefused) {
    struct Case {
        char letter;
        const char* name;
        const char* said;
    } cases[] = {
        {'A', "secret.txt", "No transfer was asked for: refused the controller's request to read secret.txt"},
        {'B', "new.as", "refused the controller's request to create new.as"},
        {'F', "victim.txt", "refused the controller's request to delete victim.txt"},
    };
    for (const bool tcp : {false, true}) {
        for (const Case& c : cases) {
            const std::string label = std::string(tcp ? "tcp " : "serial ") + c.letter;
            SerialSession s;
            s.doc.isTcp = tcp;
            s.protocol.ask = false;
            s.folder.Write("secret.txt", "private");
            s.folder.Write("victim.txt", "keep");
            s.protocol.session.Ask(s.folder.path());
            s.protocol.session.ControllerPrompted();  // the asked-for transfer is over
            if (tcp)
                TcpRequest(s, c.letter, c.name);
            else
                s.Request(static_cast<uint8_t>(c.letter), Concat(B(c.name), Bytes{0}));
            EXPECT_EQ(ReplyStatus(s, tcp, c.letter, s.controller), kFileAccessDenied) << label;
            EXPECT_NE(s.printed.find(c.said), std::string::npos) << label << ": " << s.printed;
            EXPECT_EQ(s.folder.Read("victim.txt"), "keep") << label;
            EXPECT_FALSE(s.folder.Exists("new.as")) << label;
            EXPECT_EQ(s.folder.CountAll(), 2u) << label;
            EXPECT_FALSE(s.protocol.session.Busy()) << label;
            // With controller-started transfers allowed, the same request is served.
            s.doc.acceptControllerTransfers = 1;
            s.protocol.session.ControllerPrompted();  // the controller is back at its prompt
            s.printed.clear();
            if (tcp)
                TcpRequest(s, c.letter, c.name);
            else
                s.Request(static_cast<uint8_t>(c.letter), Concat(B(c.name), Bytes{0}));
            EXPECT_EQ(ReplyStatus(s, tcp, c.letter, s.controller), 0) << label << " allowed";
            EXPECT_EQ(s.printed.find("refused"), std::string::npos) << label;
        }
    }
}

// Hidden names, control bytes and a NUL with more after it are never a program's name, even in
// a transfer that was asked for. Trailing NULs end the name as the controller sends it.
TEST(TransferSessionTest, NamesThatAreNoProgramNamesAreRefusedAlways) {
    struct Case {
        Bytes name;
        int status;
        const char* shown;
    } cases[] = {
        {B(".bashrc"), kFileBadPath, ".bashrc"},
        {B(".Bas"), kFileBadPath, ".Bas"},
        {B("a\r\nb.as"), kFileBadPath, "a^M^Jb.as"},
        {Concat(B("a.as"), Concat(Bytes{0}, B("bad"))), kFileBadPath, "a.as^@bad"},
        {B("a\x7f.as"), kFileBadPath, "a^?.as"},
        {Concat(B("a.as"), Bytes{0, 0, 0}), 0, nullptr},
    };
    for (const Case& c : cases) {
        SerialSession s;
        s.Request('B', c.name);
        EXPECT_EQ(ReplyStatus(s, false, 'B', s.controller), c.status) << c.shown;
        if (c.status != 0) {
            EXPECT_EQ(s.folder.CountAll(), 0u) << c.shown;
            EXPECT_NE(s.printed.find(std::string("Refused a file name from the controller: ") + c.shown),
                      std::string::npos)
                << s.printed;
        }
    }
}

// A command line asks; the controller's prompt after it ends what it asked for.
TEST(TransferSessionTest, ACommandLineAsksUntilThePrompt) {
    struct Case {
        const char* line;
        bool asks;
        std::string folder;
    } cases[] = {
        {"save /home/op/prog.as", true, "/home/op/"},
        {"load prog.as", true, ""},
        {"save", true, ""},  // a bare save: the controller's own default name, in the working folder
        {"SA", true, ""},
        {"dir", false, ""},
        {"fdirectory", false, ""},
    };
    for (const Case& c : cases) {
        TransferRig rig;
        CTransferSession& session = rig.protocol.session;
        session.SendCommand(c.line, false);
        EXPECT_EQ(session.Asked(), c.asks) << c.line;
        EXPECT_EQ(session.Folder(), c.folder) << c.line;
        session.ControllerPrompted();
        EXPECT_FALSE(session.Asked()) << c.line;
    }
}

// Cancel ends a save wherever it stands: the exchange under way ends with EOT, the earlier file
// stays as it was with no temporary file beside it, and the rest of the save is refused quietly
// until the controller is back at its prompt.
TEST(TransferSessionTest, CancelEndsASaveWhereverItStands) {
    struct Case {
        const char* name;
        size_t recordBytes;  // of the D record the controller has sent when Cancel comes
        bool inExchange;
    } cases[] = {
        {"between requests", 0, false}, {"after ENQ", 0, true},   {"after STX", 1, true},
        {"in the length", 4, true},     {"in the data", 9, true}, {"before the checksum", 14, true},
    };
    const Bytes block = WriteRequest(B("NEW"));
    const Bytes record = Record('D', block);
    for (const Case& c : cases) {
        SerialSession s;
        s.folder.Write("prog.as", "OLD");
        ASSERT_EQ(s.Request('B', Concat(B("prog.as"), Bytes{0})), 0) << c.name;
        CTransferSession& session = s.protocol.session;
        ASSERT_TRUE(session.Busy()) << c.name;
        s.link.sent.clear();
        s.link.onSend = nullptr;
        if (c.inExchange) {
            session.OnEnq(nullptr, 0);
            session.Feed(record.data(), c.recordBytes);
            ASSERT_TRUE(session.Exchanging()) << c.name;
        }
        s.link.sent.clear();
        session.Cancel();
        EXPECT_FALSE(session.Busy()) << c.name;
        EXPECT_EQ(s.link.sent, c.inExchange ? Bytes{kEot} : Bytes{}) << c.name;
        if (c.inExchange) {
            // The rest of the record on its way is dropped, not shown, until the line is quiet.
            EXPECT_TRUE(session.WantsBytes()) << c.name;
            const size_t rest = record.size() - c.recordBytes;
            EXPECT_EQ(session.Feed(record.data() + c.recordBytes, rest), rest) << c.name;
            s.clock.Advance(499);
            session.OnTimer();
            EXPECT_TRUE(session.WantsBytes()) << c.name;
            s.clock.Advance(1);
            session.OnTimer();
        }
        EXPECT_FALSE(session.WantsBytes()) << c.name;
        EXPECT_EQ(session.NextDeadline(), kNoDeadline) << c.name;
        EXPECT_EQ(s.folder.Read("prog.as"), "OLD") << c.name;
        EXPECT_EQ(s.folder.CountAll(), 1u) << c.name << ": no temporary file, no backup";
        EXPECT_NE(s.printed.find("Transfer cancelled: prog.as"), std::string::npos) << c.name;
        EXPECT_NE(s.printed.find("not saved"), std::string::npos) << c.name;
        // The controller carries on with the save: refused, and nothing more is printed.
        s.link.onSend = [&s](const uint8_t* b, size_t n) { s.controller.OnSend(b, n); };
        s.protocol.ask = false;
        const std::string before = s.printed;
        s.Request('D', block);
        EXPECT_EQ(Be32(s.ReplyData(), 0), kFileAccessDenied) << c.name;
        EXPECT_EQ(s.printed, before) << c.name;
        EXPECT_EQ(s.folder.Read("prog.as"), "OLD") << c.name;
    }
}

// A lost link ends an exchange at once: nothing more is sent, nothing is awaited, and a save
// left open is not saved.
TEST(TransferSessionTest, ALostLinkEndsTheExchangeAtOnce) {
    for (const size_t recordBytes : {size_t(0), size_t(3), size_t(9)}) {
        SerialSession s;
        ASSERT_EQ(s.Request('B', Concat(B("prog.as"), Bytes{0})), 0);
        CTransferSession& session = s.protocol.session;
        s.link.onSend = nullptr;
        session.OnEnq(nullptr, 0);
        const Bytes record = Record('D', WriteRequest(B("abc")));
        session.Feed(record.data(), recordBytes);
        s.link.sent.clear();
        session.LinkLost();
        EXPECT_TRUE(s.link.sent.empty()) << recordBytes;
        EXPECT_FALSE(session.Busy()) << recordBytes;
        EXPECT_EQ(session.NextDeadline(), kNoDeadline) << recordBytes;
        EXPECT_EQ(s.folder.CountAll(), 0u) << recordBytes;
        EXPECT_NE(s.printed.find("not saved"), std::string::npos) << recordBytes;
    }
}

// A save's last steps (the flush to disk, the backup, the rename) run away from the event loop;
// the controller's E is answered when they have run, whatever happens meanwhile: Cancel waits
// for them, line noise is held for the reply's exchange, a lost link leaves no reply to send.
TEST(TransferSessionTest, TheCloseIsAnsweredWhenTheSavesLastStepsHaveRun) {
    enum class Meanwhile { Nothing, Cancel, Noise, LinkLost };
    const struct {
        const char* name;
        Meanwhile meanwhile;
    } cases[] = {{"nothing", Meanwhile::Nothing},
                 {"cancel", Meanwhile::Cancel},
                 {"noise", Meanwhile::Noise},
                 {"link lost", Meanwhile::LinkLost}};
    for (const auto& c : cases) {
        SerialSession s;
        s.folder.Write("prog.as", "OLD");
        s.protocol.DeferCommits();
        ASSERT_EQ(s.Request('B', Concat(B("prog.as"), Bytes{0})), 0) << c.name;
        ASSERT_EQ(s.Request('D', WriteRequest(B("NEW"))), 0) << c.name;
        s.protocol.holdCommits = true;
        s.Request('E', Bytes{1, 2, 3, 4});
        CTransferSession& session = s.protocol.session;
        ASSERT_EQ(s.protocol.commits.size(), 1u) << c.name;
        EXPECT_TRUE(s.controller.replies.empty()) << c.name << ": no reply before the steps have run";
        EXPECT_TRUE(session.Busy()) << c.name;
        EXPECT_TRUE(session.WantsBytes()) << c.name;
        EXPECT_EQ(session.NextDeadline(), kNoDeadline) << c.name;
        EXPECT_EQ(s.folder.Read("prog.as"), "OLD") << c.name;
        if (c.meanwhile == Meanwhile::Cancel) session.Cancel();
        if (c.meanwhile == Meanwhile::Noise) {
            const Bytes noise{'x', 0x00};  // not the screen's: the exchange holds the line
            EXPECT_EQ(session.Feed(noise.data(), noise.size()), noise.size()) << c.name;
        }
        if (c.meanwhile == Meanwhile::LinkLost) session.LinkLost();
        s.link.sent.clear();
        s.protocol.holdCommits = false;
        s.protocol.RunCommits();
        // The steps ran to their end: saved, with the backup, in every case.
        EXPECT_EQ(s.folder.Read("prog.as"), "NEW") << c.name;
        EXPECT_EQ(s.folder.Read("prog.Bas"), "OLD") << c.name;
        if (c.meanwhile == Meanwhile::LinkLost) {
            EXPECT_TRUE(s.link.sent.empty()) << c.name;
            EXPECT_FALSE(session.Busy()) << c.name;
            continue;
        }
        // The reply goes now, its ENQ first; what the line brought meanwhile reaches its exchange.
        ASSERT_FALSE(s.link.sent.empty()) << c.name;
        EXPECT_EQ(s.link.sent.front(), kEnqByte) << c.name;
        while (session.Exchanging() && !s.link.input.empty()) {
            Bytes bytes(s.link.input.begin(), s.link.input.end());
            s.link.input.clear();
            session.Feed(bytes.data(), bytes.size());
        }
        ASSERT_FALSE(s.controller.replies.empty()) << c.name;
        EXPECT_EQ(s.ReplyData(), (Bytes{0, 0, 0, 0, 1, 2, 3, 4})) << c.name << ": saved, the echo after it";
        EXPECT_FALSE(session.Busy()) << c.name;
        EXPECT_EQ(s.printed.find("not saved"), std::string::npos) << c.name;
        EXPECT_EQ(s.printed.find("cancelled"), std::string::npos) << c.name;
    }
}

// On TCP/IP too the close is answered when the save's last steps have run.
TEST(TransferSessionTest, TheTcpCloseIsAnsweredWhenTheSavesLastStepsHaveRun) {
    SerialSession s;
    s.doc.isTcp = 1;
    s.folder.Write("prog.as", "OLD");
    s.protocol.DeferCommits();
    CTransferSession& session = s.protocol.session;
    session.Ask(s.folder.path());
    ASSERT_EQ(TcpRequest(s, 'B', "prog.as"), 0);
    ASSERT_EQ(TcpRequest(s, 'D', "NEW"), 0);
    TcpRequest(s, 'E', "");
    ASSERT_EQ(s.protocol.commits.size(), 1u);
    EXPECT_TRUE(s.link.sent.empty()) << "no reply before the steps have run";
    EXPECT_TRUE(session.Busy());
    EXPECT_FALSE(session.WantsBytes()) << "what comes meanwhile is the screen's";
    s.protocol.RunCommits();
    EXPECT_EQ(Text(s.link.sent), std::string("\x02"
                                             "E    0\x17"));
    EXPECT_FALSE(session.Busy());
    EXPECT_EQ(s.folder.Read("prog.as"), "NEW");
    EXPECT_EQ(s.folder.Read("prog.Bas"), "OLD");
}

// A TCP/IP save flushes what it wrote about every 8 KB, away from the event loop, and takes
// further writes meanwhile; its E waits for the flush. A failed flush fails the save as a
// failed write in place would have: each write since is refused, the E carries the error and
// the earlier file stays.
int flushFailure = 0;
int fdatasyncCalls = 0;
int FailFdatasync(const char* call) {
    if (std::string(call) != "fdatasync") return 0;
    ++fdatasyncCalls;
    return flushFailure;
}

TEST(TransferSessionTest, TheTcpSavesFlushRunsInTheBackgroundAndItsEndComesFirst) {
    CLanguageGuard english{1};
    struct Case {
        int failure;
        const char* repliesAfterFlush;  // what goes to the controller when the flush has run
        const char* saved;
    } cases[] = {
        {0, "", "NEW"},
        {EIO,
         "\x02"
         "D-1802\x17"
         "\x02"
         "D-1802\x17"
         "\x02"
         "E-1802\x17",
         "OLD"},
    };
    for (const Case& c : cases) {
        const std::string label = c.failure ? "failed flush" : "flush";
        SerialSession s;
        s.doc.isTcp = 1;
        s.folder.Write("prog.as", "OLD");
        s.protocol.DeferCommits();
        CTransferSession& session = s.protocol.session;
        flushFailure = c.failure;
        fdatasyncCalls = 0;
        SetSaveFaultHook(FailFdatasync);
        session.Ask(s.folder.path());
        ASSERT_EQ(TcpRequest(s, 'B', "prog.as"), 0) << label;
        TcpRequest(s, 'D', std::string(4096, 'N'));
        EXPECT_TRUE(s.protocol.commits.empty()) << label;
        TcpRequest(s, 'D', std::string(4096, 'N'));  // 8 KB: a flush starts
        ASSERT_EQ(s.protocol.commits.size(), 1u) << label;
        EXPECT_EQ(fdatasyncCalls, 0) << label << ": the event loop did not flush";
        TcpRequest(s, 'D', "more");
        TcpRequest(s, 'E', "");
        EXPECT_TRUE(s.link.sent.empty()) << label << ": nothing is answered before the flush has run";
        EXPECT_TRUE(session.Committing()) << label;
        s.protocol.RunCommits();  // the flush; the save's last steps follow it
        EXPECT_EQ(fdatasyncCalls, 1) << label;
        std::string sent = Text(s.link.sent);
        if (!s.protocol.commits.empty()) {
            EXPECT_TRUE(sent.empty()) << label;
            s.protocol.RunCommits();
            sent = Text(s.link.sent);
            EXPECT_EQ(sent, std::string("\x02"
                                        "E    0\x17"))
                << label;
        } else {
            EXPECT_EQ(sent, c.repliesAfterFlush) << label;
            EXPECT_NE(s.printed.find("The save could not write " + s.folder.path() +
                                     "prog.as: Input/output error."),
                      std::string::npos)
                << label << ": " << s.printed;
        }
        SetSaveFaultHook(nullptr);
        EXPECT_FALSE(session.Busy()) << label;
        const std::string expected = std::string(c.saved) == "NEW" ? std::string(8192, 'N') + "more" : "OLD";
        EXPECT_TRUE(s.folder.Read("prog.as") == expected) << label << ": prog.as is not " << c.saved;
    }
}

// Progress counts the data of a load against the file's size.
TEST(TransferSessionTest, ProgressCountsTheLoad) {
    SerialSession s;
    s.folder.Write("p.as", std::string(300, 'x'));
    ASSERT_EQ(s.Request('A', Concat(B("p.as"), Bytes{0})), 0);
    TransferProgress progress = s.protocol.session.Progress();
    EXPECT_FALSE(progress.save);
    EXPECT_EQ(progress.file, "p.as");
    EXPECT_EQ(progress.total, 300u);
    EXPECT_EQ(progress.bytes, 0u);
    ASSERT_EQ(s.Request('C', Bytes(8, 0)), 0);
    s.clock.Advance(2000);
    progress = s.protocol.session.Progress();
    EXPECT_EQ(progress.bytes, 128u);
    EXPECT_GE(progress.elapsedMs, 2000);
    s.Request('E', Bytes(8, 0));
    EXPECT_FALSE(s.protocol.session.Busy());
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

using namespace tavrin::testing;

// The terminal discards the port's queue at fixed steps (ACK of ENQ, the checksum, the record
// sent, the final ACK); what was read in the same chunk after such a step goes with the queue
// and never reaches the screen. Bytes after a step that does not discard (the EOT of a request
// is not one) are the next step's.
TEST(TransferSessionTest, WhatArrivesWithADiscardedQueueGoesWithIt) {
    struct Case {
        const char* name;
        Bytes chunk;  // fed once the terminal's reply record has gone out
        size_t taken;
        bool exchanging;
    } cases[] = {
        {"noise after the final ACK", {kAck, 'x', 'y', '>'}, 4, false},
        {"a NAK, then noise: the record goes again", {kNak, 'x'}, 2, true},
        {"noise alone is ignored", {'x', 'y'}, 2, true},
    };
    for (const Case& c : cases) {
        TransferRig rig;
        TempFolder folder;
        CTransferSession& session = rig.protocol.session;
        session.Ask(folder.path());
        session.OnEnq(nullptr, 0);
        const Bytes request = Record('B', Concat(B("p.as"), Bytes{0}));
        EXPECT_EQ(session.Feed(request.data(), request.size()), request.size()) << c.name;
        const Bytes eot{kEot};  // after the terminal's ACK of the checksum
        EXPECT_EQ(session.Feed(eot.data(), 1), 1u) << c.name;
        const Bytes ack{kAck};
        ASSERT_EQ(session.Feed(ack.data(), 1), 1u) << c.name;  // the ENQ answered: the record goes
        EXPECT_EQ(session.Feed(c.chunk.data(), c.chunk.size()), c.taken) << c.name;
        EXPECT_EQ(session.Exchanging(), c.exchanging) << c.name;
    }
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

using namespace tavrin::testing;

// Every transfer that opened a file ends with one outcome, whatever ends it.
TEST(TransferSessionTest, EveryTransferEndsWithOneOutcome) {
    enum class End { Close, Cancel, LinkLost, Prompt };
    struct Case {
        const char* name;
        End end;
        int result;
        std::string reason;
    } cases[] = {
        {"E", End::Close, 0, ""},
        {"Cancel", End::Cancel, kReceiveTimeout, "cancelled"},
        {"link lost", End::LinkLost, kReceiveTimeout, "link lost"},
        {"prompt without E", End::Prompt, kReceiveTimeout, "incomplete"},
    };
    for (const Case& c : cases) {
        SerialSession s;
        std::vector<TransferOutcome> outcomes;
        s.protocol.session.Hooks().transferEnded = [&](const TransferOutcome& o) { outcomes.push_back(o); };
        ASSERT_EQ(s.Request('B', Concat(B("r.as"), Bytes{0})), 0) << c.name;
        ASSERT_EQ(s.Request('D', WriteRequest(B("HOME\r\n"))), 0) << c.name;
        s.clock.Advance(1500);
        switch (c.end) {
            case End::Close: s.Request('E', Bytes(4, 0)); break;
            case End::Cancel: s.protocol.session.Cancel(); break;
            case End::LinkLost: s.protocol.session.LinkLost(); break;
            case End::Prompt: s.protocol.session.ControllerPrompted(); break;
        }
        s.protocol.session.ControllerPrompted();  // nothing more to end
        ASSERT_EQ(outcomes.size(), 1u) << c.name;
        const TransferOutcome& o = outcomes[0];
        EXPECT_TRUE(o.save) << c.name;
        EXPECT_EQ(o.file, "r.as") << c.name;
        EXPECT_EQ(o.path, s.folder.path() + "r.as") << c.name;
        EXPECT_EQ(o.bytes, 6u) << c.name;
        EXPECT_GE(o.durationMs, 1500) << c.name;
        EXPECT_EQ(o.result, c.result) << c.name;
        EXPECT_EQ(o.reason, c.reason) << c.name;
        EXPECT_EQ(s.folder.Exists("r.as"), c.end == End::Close) << c.name;
    }
}

}  // namespace
}  // namespace tavrin
