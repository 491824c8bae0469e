#pragma once
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FakeClock.h"
#include "ScriptedLink.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "transfer/TransferSession.h"

namespace tavrin::testing {

// Drives the transfer session the way the view's pipeline does, one request at a time: on the
// serial line from the ENQ until the exchange has ended, feeding what the scripted controller
// sends and moving the clock on (1 ms per empty read, or straight to the next deadline) when it
// sends nothing; on TCP/IP over the bytes in doc.tcpChunk from its position, as the interpreter
// hands them on. Each call asks for the transfer first (into folder), as a command line would,
// unless asking is turned off.
struct TransferDriver {
    TransferDriver(CPelinDoc& d, ScriptedLink& l, FakeClock& c, ViewState& v)
        : doc(d), link(l), clock(c), session(d, l, c, v) {}

    int HandleTransferRequest(const std::string& folder) {
        if (ask) session.Ask(folder);
        if (doc.isTcp) return HandleTcp();
        session.OnEnq(nullptr, 0);
        while (session.Exchanging()) {
            if (!commits.empty()) {
                if (holdCommits) break;  // the test acts while a save's last steps run
                RunCommits();
                continue;
            }
            if (!link.input.empty()) {
                std::vector<uint8_t> bytes(link.input.begin(), link.input.end());
                link.input.clear();
                const size_t used = session.Feed(bytes.data(), bytes.size());
                // What the exchange did not take belongs to the interpreter: it stays queued.
                link.input.insert(link.input.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(used),
                                  bytes.end());
                continue;
            }
            if (link.onEmptyRead) link.onEmptyRead();
            if (!link.input.empty()) continue;
            if (clock.now < session.NextDeadline()) {
                if (!link.onEmptyRead) clock.now = session.NextDeadline();
                continue;
            }
            session.OnTimer();
        }
        return session.LastResult();
    }
    int HandleTcp() {
        ReceiveChunk& chunk = doc.tcpChunk;
        const auto pos = static_cast<size_t>(std::max(chunk.position, 0));
        const auto end = static_cast<size_t>(std::clamp(chunk.length, 0, static_cast<int>(kTcpChunkSize)));
        if (pos >= end) return 0;
        size_t used = 0;
        if (session.WantsBytes())
            used = session.Feed(chunk.data.data() + pos, end - pos);
        else
            used = 1 + session.OnEnq(chunk.data.data() + pos + 1, end - pos - 1);
        chunk.position = static_cast<int>(pos + used);
        return session.LastResult();
    }
    // One serial machine on its own, fed byte by byte from the scripted link; the clock moves as
    // for a whole request.
    template <class Machine>
    int Drive(Machine& machine) {
        int rc = 0;
        while (machine.Running()) {
            if (link.input.empty() && link.onEmptyRead) link.onEmptyRead();
            if (!link.input.empty()) {
                const uint8_t byte = link.input.front();
                link.input.pop_front();
                rc = machine.OnByte(byte, clock.now);
                continue;
            }
            if (clock.now < machine.Deadline()) {
                if (!link.onEmptyRead) clock.now = machine.Deadline();
                continue;
            }
            rc = machine.OnDeadline(clock.now);
        }
        return rc;
    }
    int ReceiveTransferBlock(TransferRecord& record) {
        CSerialReceiver receiver(link);
        receiver.Start(clock.now);
        const int rc = Drive(receiver);
        record = receiver.Record();
        return rc;
    }
    int SendTransferBlock(const uint8_t* record, size_t length) {
        CSerialSender sender(link);
        sender.Start(std::vector<uint8_t>(record, record + length), clock.now);
        return Drive(sender);
    }
    CTransferFiles& Files() { return session.Files(); }
    // A save's last steps are handed to the test instead of running in place: they run when
    // the request loop meets them, or, with holdCommits, when the test calls RunCommits.
    void DeferCommits() {
        Files().runDiskWork = [this](std::function<void()> work, std::function<void()> done) {
            commits.emplace_back(std::move(work), std::move(done));
        };
    }
    void RunCommits() {
        auto due = std::move(commits);
        commits.clear();
        for (auto& [work, done] : due) {
            work();
            done();
        }
    }
    void ResetTcpState() { session.ResetTcpState(); }
    bool ResumePending() const { return session.WantsBytes(); }

    CPelinDoc& doc;
    ScriptedLink& link;
    FakeClock& clock;
    CTransferSession session;
    bool ask = true;
    std::vector<std::pair<std::function<void()>, std::function<void()>>> commits;
    bool holdCommits = false;
};

}  // namespace tavrin::testing
