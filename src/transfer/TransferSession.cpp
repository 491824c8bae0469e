#include "transfer/TransferSession.h"

#include <algorithm>
#include <cstring>

#include "app/Cp932.h"
#include "app/Language.h"
#include "app/MessageTable.h"

namespace tavrin {

namespace {

constexpr int64_t kQuietAfterCancelMs = 500;     // silence that ends the drop after a Cancel
constexpr int64_t kDropAfterCancelMaxMs = 5000;  // the drop never lasts longer
constexpr size_t kHeldDuringCommitLimit = 4096;  // line noise kept while a save's last steps run

bool NamesAFile(uint8_t letter) {
    return letter == 'A' || letter == 'B' || letter == 'F';
}

const char* RequestVerb(uint8_t letter) {
    switch (letter) {
        case 'A': return "read";
        case 'B': return "create";
        default: return "delete";
    }
}

const char* RequestVerbJapanese(uint8_t letter) {
    switch (letter) {
        case 'A': return " の読み出し";
        case 'B': return " の作成";
        default: return " の削除";
    }
}

// The name as the terminal shows it: control bytes as ^X, a cut after 40 characters.
std::string Printable(const uint8_t* bytes, size_t length) {
    std::string shown;
    for (size_t i = 0; i < length && shown.size() < 40; ++i) {
        const uint8_t b = bytes[i];
        if (b < 0x20 || b == 0x7F) {
            shown += '^';
            shown += static_cast<char>(b == 0x7F ? '?' : b + '@');
        } else {
            shown += static_cast<char>(b);
        }
    }
    return shown;
}

}  // namespace

CTransferSession::CTransferSession(CPelinDoc& doc, LinkOps& link, Clock& clock, ViewState& view)
    : doc_(doc),
      link_(link),
      clock_(clock),
      files_(view),
      command_(doc, link),
      receiver_(link),
      sender_(link) {
    files_.flushEnded = [this](int code, size_t writes) { FlushEnded(code, writes); };
}

void CTransferSession::Print(const char* english, const char* japaneseUtf8, const std::string& what) {
    if (hooks_.printText) hooks_.printText("\n\r" + LocalizedCp932(english, japaneseUtf8) + what + "\n\r");
}

// --- This side asks ---------------------------------------------------------------------------

int CTransferSession::SendCommand(const std::string& line, bool fromMacro) {
    std::string folder;
    int awaited = kNothingAwaited;
    const int rc = command_.SendTransferCommand(line, folder, fromMacro, awaited);
    if (rc == 0) {
        Ask(CutCp932(folder, kTransferFolderMax));
    } else {
        folder_.clear();
        if (rc == -1 && CTransferCommand::StartsWithTransferWord(line)) Ask("");
    }
    if (awaited != kNothingAwaited) StartDrain(awaited);
    return rc;
}

void CTransferSession::Ask(const std::string& folder, bool keepFolder) {
    if (!keepFolder) folder_ = folder;
    asked_ = true;
    cancelled_ = false;
}

void CTransferSession::StartDrain(int byte) {
    awaited_ = byte;
    drainDeadline_ = Now() + kEchoWaitMs;
    if (hooks_.deadlineChanged) hooks_.deadlineChanged();
}

void CTransferSession::EndDrain() {
    awaited_ = kNothingAwaited;
    drainDeadline_ = kNoDeadline;
    dropUntilQuiet_ = false;
}

// --- The controller ---------------------------------------------------------------------------

void CTransferSession::ControllerPrompted() {
    // A save the controller left open without E did not complete.
    files_.ControllerPrompted();
    asked_ = false;
    cancelled_ = false;
    EndTransfer(kReceiveTimeout, "incomplete");
}

bool CTransferSession::WantsBytes() const {
    return awaited_ != kNothingAwaited || dropUntilQuiet_ || Exchanging() || (Tcp() && tcp_.Pending());
}

int64_t CTransferSession::NextDeadline() const {
    int64_t next = std::min(receiver_.Deadline(), sender_.Deadline());
    if (awaited_ != kNothingAwaited || dropUntilQuiet_) next = std::min(next, drainDeadline_);
    return next;
}

size_t CTransferSession::OnEnq(const uint8_t* rest, size_t count) {
    lastResult_ = 0;
    if (Tcp()) {
        tcp_.Start();
        return FeedTcp(rest, count);
    }
    receiver_.Start(Now());
    receiver_.TakePurged();
    if (hooks_.deadlineChanged) hooks_.deadlineChanged();
    // The port's queue was discarded with the ACK: so is what was read of it after the ENQ.
    return count;
}

size_t CTransferSession::Feed(const uint8_t* data, size_t count) {
    lastResult_ = 0;
    size_t used = 0;
    if (dropUntilQuiet_) {
        drainDeadline_ = std::min(Now() + kQuietAfterCancelMs, dropLimit_);
        if (hooks_.deadlineChanged) hooks_.deadlineChanged();
        return count;
    }
    if (awaited_ != kNothingAwaited) {
        // The controller's answer to the command line is read and dropped up to its last byte.
        while (used < count) {
            if (data[used++] == awaited_) {
                EndDrain();
                if (hooks_.deadlineChanged) hooks_.deadlineChanged();
                break;
            }
        }
        if (awaited_ != kNothingAwaited || used == count) return used;
    }
    if (Exchanging()) return used + FeedSerial(data + used, count - used);
    if (Tcp() && tcp_.Pending()) return used + FeedTcp(data + used, count - used);
    return used;
}

void CTransferSession::OnTimer() {
    const int64_t now = Now();
    if ((awaited_ != kNothingAwaited || dropUntilQuiet_) && now >= drainDeadline_) EndDrain();
    if (receiver_.Running() && now >= receiver_.Deadline()) AfterReceive(receiver_.OnDeadline(now));
    if (sender_.Running() && now >= sender_.Deadline()) AfterSend(sender_.OnDeadline(now));
    receiver_.TakePurged();
    sender_.TakePurged();
    if (hooks_.deadlineChanged) hooks_.deadlineChanged();
}

size_t CTransferSession::FeedSerial(const uint8_t* data, size_t count) {
    size_t used = 0;
    while (used < count && Exchanging()) {
        if (commitPending_) {
            const size_t room =
                kHeldDuringCommitLimit - std::min(heldDuringCommit_.size(), kHeldDuringCommitLimit);
            heldDuringCommit_.insert(heldDuringCommit_.end(), data + used,
                                     data + used + std::min(room, count - used));
            return count;
        }
        const uint8_t byte = data[used++];
        bool purged = false;
        if (receiver_.Running()) {
            const int rc = receiver_.OnByte(byte, Now());
            purged = receiver_.TakePurged();
            AfterReceive(rc);
        } else {
            const int rc = sender_.OnByte(byte, Now());
            purged = sender_.TakePurged();
            AfterSend(rc);
        }
        // What was read together with the purged queue goes with it.
        if (purged) used = count;
        receiver_.TakePurged();
        sender_.TakePurged();
    }
    if (hooks_.deadlineChanged) hooks_.deadlineChanged();
    return used;
}

void CTransferSession::AfterReceive(int rc) {
    if (rc == kStillRunning) return;
    if (rc < 0) {
        // A request of an open save was lost: that save cannot be trusted to be whole.
        files_.NoteFailedExchange();
        EndExchange(rc);
        return;
    }
    const TransferRecord& record = receiver_.Record();
    if (record.letter == 'E' && !cancelled_ && CloseInBackground(record)) return;
    TransferReply reply;
    std::string name;
    handlerResult_ = Serve(record, reply);
    replyLetter_ = record.letter;
    if (record.letter == 'E') EndTransfer(handlerResult_ < 0 ? handlerResult_ : reply.status);
    if (NamesAFile(record.letter)) {
        const char* text = reinterpret_cast<const char*>(record.data.data());
        name.assign(text, strnlen(text, record.length));
    }
    sender_.Start(BuildSerialReply(record.letter, reply, name), Now());
}

bool CTransferSession::CloseInBackground(const TransferRecord& record) {
    files_.SetTcp(Tcp());
    const unsigned generation = ++commitGeneration_;
    const bool handedOver = files_.CloseInBackground(
        record.data.data(), record.length,
        [this, generation](const TransferReply& reply) { ClosedInBackground(generation, reply); });
    if (!handedOver) return false;
    commitPending_ = true;
    replyLetter_ = 'E';
    return true;
}

void CTransferSession::ClosedInBackground(unsigned generation, const TransferReply& reply) {
    // The link went while the steps ran: nobody is waiting for the reply.
    if (!commitPending_ || generation != commitGeneration_) return;
    commitPending_ = false;
    handlerResult_ = reply.status;
    EndTransfer(reply.status);
    if (Tcp()) {
        // Only a save without a failed write gets here: its status is the close's own.
        const std::vector<uint8_t> text = BuildTcpReply('E', reply.status, reply.data, reply.dataLength);
        link_.SendLinkBytes(text.data(), text.size());
        Report(reply.status);
        return;
    }
    sender_.Start(BuildSerialReply('E', reply, std::string()), Now());
    if (hooks_.deadlineChanged) hooks_.deadlineChanged();
    std::vector<uint8_t> held;
    held.swap(heldDuringCommit_);
    if (!held.empty()) FeedSerial(held.data(), held.size());
}

void CTransferSession::AfterSend(int rc) {
    if (rc == kStillRunning) return;
    // The controller did not get this reply: it does not count the block as written.
    if (rc < 0 && replyLetter_ != 'E') files_.NoteFailedExchange();
    EndExchange(handlerResult_ != 0 ? handlerResult_ : rc);
}

void CTransferSession::EndExchange(int rc) {
    if (rc < 0) EndTransfer(rc);
    Report(rc);
}

void CTransferSession::Report(int rc) {
    lastResult_ = rc;
    if (rc >= 0 || !hooks_.printText) return;
    // Protocol codes are not shown on TCP/IP: the controller reports its side itself.
    const bool protocolCode = rc >= kProtocolCodeFirst && rc <= kProtocolCodeLast;
    if (Tcp() && protocolCode) return;
    hooks_.printText(GetMessageTextCp932(rc));
}

int CTransferSession::CheckRequest(const TransferRecord& record, std::string& name) {
    const uint8_t* data = record.data.data();
    const size_t length = record.length;
    const size_t end = strnlen(reinterpret_cast<const char*>(data), length);
    name.assign(reinterpret_cast<const char*>(data), end);
    if (!asked_ && doc_.acceptControllerTransfers == 0) {
        if (hooks_.printText) {
            const std::string shown = Printable(data, end);
            hooks_.printText("\n\r" +
                             (CurrentLanguage() == 1
                                  ? "No transfer was asked for: refused the controller's request to " +
                                        std::string(RequestVerb(record.letter)) + " " + shown
                                  : Utf8ToCp932("転送の指示がないため、コントローラの ") + shown +
                                        Utf8ToCp932(RequestVerbJapanese(record.letter)) +
                                        Utf8ToCp932("要求を拒否しました")) +
                             "\n\r");
        }
        // The blocks that follow are refused quietly: this line said it.
        cancelled_ = true;
        return kFileAccessDenied;
    }
    if (cancelled_) return kFileAccessDenied;  // the rest of a cancelled transfer, quietly
    // A name is one text: a NUL with more after it, a control byte or a leading dot (hidden
    // files such as .bashrc or .profile) is never a program's name.
    bool bad = end == 0 || data[0] == '.';
    for (size_t i = 0; i < end && !bad; ++i) bad = data[i] < 0x20 || data[i] == 0x7F;
    for (size_t i = end; i < length && !bad; ++i) bad = data[i] != 0;
    if (bad) {
        Print("Refused a file name from the controller: ", "コントローラからのファイル名を拒否しました: ",
              Printable(data, length));
        return kFileBadPath;
    }
    return 0;
}

int CTransferSession::Serve(const TransferRecord& record, TransferReply& reply) {
    const uint8_t* data = record.data.data();
    const size_t length = record.length;
    files_.SetTcp(Tcp());
    std::string name;
    if (NamesAFile(record.letter)) {
        const int refusal = CheckRequest(record, name);
        if (refusal != 0) {
            reply.status = refusal;
            const size_t n = std::min(name.size(), reply.name.size());
            std::copy_n(name.begin(), n, reply.name.begin());
            reply.nameLength = n;
            return 0;
        }
    } else if (cancelled_) {
        // The rest of a cancelled transfer is refused quietly: the operator knows.
        reply.status = kFileAccessDenied;
        std::copy_n(data, std::min<size_t>(length, reply.echo.size()), reply.echo.begin());
        return 0;
    }
    int rc = 0;
    switch (record.letter) {
        case 'A':
        case 'B':
            rc = files_.OpenTransferFile(name, reply, folder_, static_cast<char>(record.letter));
            if (reply.status == 0) {
                progress_ = TransferProgress{};
                progress_.save = record.letter == 'B';
                progress_.file = Cp932ToUtf8(name);
                progress_.total = record.letter == 'A' ? reply.fileSize : 0;
                transferPath_ = folder_ + name;
                startMs_ = Now();
                SetLive(true);
            }
            break;
        case 'C':
            if (Tcp())
                rc = files_.ReadFileBlock(data, length, reply);
            else
                rc = length > 0 && (data[0] & kCompressedBit)
                         ? files_.ReadFileBlockCompressed(data, length, reply)
                         : files_.ReadFileBlock(data, length, reply);
            if (live_ && reply.status == 0) progress_.bytes += reply.dataLength;
            break;
        case 'D':
            rc = files_.WriteFileBlock(data, length, reply);
            if (live_ && rc == 0) progress_.bytes += Tcp() ? length : (length > 8 ? length - 8 : 0);
            break;
        case 'E': rc = files_.CloseTransferFile(data, length, reply); break;
        case 'F': rc = files_.DeleteTransferFile(name, reply, folder_); break;
        default: rc = reply.status = kUnknownRequest; break;
    }
    return rc;
}

// --- TCP/IP -----------------------------------------------------------------------------------

size_t CTransferSession::FeedTcp(const uint8_t* data, size_t count) {
    size_t used = 0;
    const int rc = tcp_.Feed(data, count, used);
    const TransferRecord& record = tcp_.Record();
    if (rc == kStillRunning) {
        // A long D record is written one piece per chunk.
        if (tcp_.InData() && record.letter == 'D') {
            TransferReply reply;
            files_.SetTcp(true);
            const int written = files_.WriteFileBlock(record.data.data(), record.length, reply);
            if (live_ && written == 0) progress_.bytes += record.length;
            Report(TcpWriteResult(written));
            tcp_.TakePiece();
        }
        return used;
    }
    if (rc < 0) {
        files_.NoteFailedExchange();
        EndTransfer(rc);
        Report(rc);
        return used;
    }
    Report(HandleTcp(record));
    return used;
}

// A TCP/IP save answers D only when it fails. The first failure is remembered and shown; the
// same failure again is answered but not shown again; another one is shown too.
int CTransferSession::TcpWriteResult(int rc) {
    if (rc == 0) return 0;
    const std::vector<uint8_t> reply = BuildTcpReply('D', rc, nullptr, 0);
    link_.SendLinkBytes(reply.data(), reply.size());
    if (tcpSaveError_ == 0) {
        tcpSaveError_ = rc;
        return rc;
    }
    return rc == tcpSaveError_ ? 0 : rc;
}

int CTransferSession::HandleTcp(const TransferRecord& record) {
    if (tcp_.Overflowed() && record.letter != 'D') {
        tcp_.ClearOverflow();
        const std::vector<uint8_t> reply = BuildTcpReply(record.letter, kBlockTooLong, nullptr, 0);
        link_.SendLinkBytes(reply.data(), reply.size());
        return kBlockTooLong;
    }
    TransferReply reply;
    int rc = 0;
    if (record.letter == 'D') {
        if (cancelled_) {
            rc = reply.status = kFileAccessDenied;
        } else {
            const int written = files_.WriteFileBlock(record.data.data(), record.length, reply);
            if (live_ && written == 0) progress_.bytes += record.length;
            return TcpWriteResult(written);
        }
    } else {
        if (record.letter == 'E' && files_.Flushing()) {
            closeAfterFlush_ = record;
            return 0;
        }
        if (record.letter == 'E' && !cancelled_ && CloseInBackground(record)) return 0;
        rc = Serve(record, reply);
        if (record.letter == 'A' || record.letter == 'B') tcpSaveError_ = 0;
        if (record.letter == 'E' && rc == 0 && files_.LastOpenWasSave()) reply.status = tcpSaveError_;
        if (record.letter == 'E') EndTransfer(rc < 0 ? rc : reply.status);
    }
    const std::vector<uint8_t> text =
        BuildTcpReply(record.letter, reply.status, reply.data, reply.dataLength);
    link_.SendLinkBytes(text.data(), text.size());
    return rc;
}

void CTransferSession::FlushEnded(int code, size_t writes) {
    // Each write since the flush began is refused as a write in place after it would have been.
    if (code != 0)
        for (size_t i = 0; i < writes; ++i) Report(TcpWriteResult(code));
    if (!closeAfterFlush_) return;
    const TransferRecord close = std::move(*closeAfterFlush_);
    closeAfterFlush_.reset();
    Report(HandleTcp(close));
}

void CTransferSession::ResetTcpState() {
    tcp_.Reset();
    tcpSaveError_ = 0;
    closeAfterFlush_.reset();
}

// --- The operator and the link ----------------------------------------------------------------

void CTransferSession::SetLive(bool live) {
    if (live == live_) return;
    live_ = live;
    if (hooks_.busyChanged) hooks_.busyChanged();
}

void CTransferSession::EndTransfer(int result, const char* reason) {
    if (!live_) return;
    TransferOutcome outcome;
    outcome.save = progress_.save;
    outcome.file = Utf8ToCp932(progress_.file);
    outcome.path = transferPath_;
    outcome.bytes = progress_.bytes;
    outcome.durationMs = Now() - startMs_;
    outcome.result = result;
    outcome.reason = *reason != 0 ? std::string(reason) : result < 0 ? GetMessageText(result) : std::string();
    SetLive(false);
    if (hooks_.transferEnded) hooks_.transferEnded(outcome);
}

TransferProgress CTransferSession::Progress() const {
    TransferProgress progress = progress_;
    progress.elapsedMs = live_ ? Now() - startMs_ : 0;
    return progress;
}

void CTransferSession::Cancel() {
    // A save's last steps take a moment and cannot be called back; the reply follows them.
    if (!Busy() || Committing()) return;
    const bool wasExchanging = Exchanging();
    // The terminal gives up as after the retries: EOT ends the exchange under way.
    receiver_.Abandon();
    sender_.Abandon();
    tcp_.Reset();
    EndDrain();
    if (wasExchanging) {
        dropUntilQuiet_ = true;
        drainDeadline_ = Now() + kQuietAfterCancelMs;
        dropLimit_ = Now() + kDropAfterCancelMaxMs;
    }
    cancelled_ = true;
    Print("Transfer cancelled: ", "転送を中止しました: ", Utf8ToCp932(progress_.file));
    files_.NoteFailedExchange();
    files_.CloseQuietly();  // a save keeps the earlier file and says it was not saved
    EndTransfer(kReceiveTimeout, "cancelled");
    lastResult_ = wasExchanging ? kReceiveTimeout : lastResult_;
    if (hooks_.deadlineChanged) hooks_.deadlineChanged();
}

void CTransferSession::LinkLost() {
    // Nothing can be sent any more: the exchanges just stop (a save's last steps still run to
    // their end and say how they went).
    commitPending_ = false;
    heldDuringCommit_.clear();
    closeAfterFlush_.reset();
    receiver_.Stop();
    sender_.Stop();
    tcp_.Reset();
    EndDrain();
    files_.CloseQuietly();
    asked_ = false;
    cancelled_ = false;
    EndTransfer(kReceiveTimeout, "link lost");
    if (hooks_.deadlineChanged) hooks_.deadlineChanged();
}

}  // namespace tavrin
