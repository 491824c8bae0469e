#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "link/LinkOps.h"
#include "platform/Clock.h"
#include "transfer/TransferCommand.h"
#include "transfer/TransferFiles.h"
#include "transfer/TransferProtocol.h"

namespace tavrin {

// What a running transfer has done so far, for the progress display.
struct TransferProgress {
    bool save = false;
    std::string file;    // the name the controller gave
    uint64_t bytes = 0;  // data bytes carried so far
    uint64_t total = 0;  // a load: the file's size; a save: 0 (unknown)
    int64_t elapsedMs = 0;
};

// How a transfer ended, for the report of unattended runs.
struct TransferOutcome {
    bool save = false;
    std::string file;  // the name the controller gave (CP932)
    std::string path;  // where it was on this PC (CP932)
    uint64_t bytes = 0;
    int64_t durationMs = 0;
    int result = 0;      // 0, or a negative code
    std::string reason;  // "", "cancelled", "link lost", "incomplete" or the code's text (UTF-8)
};

struct TransferSessionHooks {
    // A text for the terminal screen (CP932, lines end in "\n\r"), shown like controller output.
    std::function<void(const std::string& cp932)> printText;
    // NextDeadline() may have changed: the owner arms its timer for it.
    std::function<void()> deadlineChanged;
    // A transfer began or ended (Busy() changed).
    std::function<void()> busyChanged;
    // A transfer (from its A or B) ended, well or not.
    std::function<void(const TransferOutcome&)> transferEnded;
};

// The terminal's side of the controller's file transfers, from the command line that asks for
// one to the last reply. It owns what a transfer needs: the folder the operator named, whether a
// transfer was asked for at all, the open file, the serial and TCP/IP exchanges and their
// deadlines, the progress counters and Cancel.
//
// The controller drives the exchanges: each ENQ it sends starts one request and its reply. On
// the serial line that is one ENQ-to-EOT exchange each way, with ACK/NAK and retries; on TCP/IP
// the record ENQ STX letter data ETB, answered by STX letter status [data] ETB. Nothing here
// waits: received bytes are fed in as they arrive, time-outs are deadlines the owner's timer
// reports, and every step returns at once.
//
// The controller may only open, create or delete a file on this PC while a transfer asked for on
// this side is pending: from a save or load command line (typed, or sent by a macro, the panel
// or the host editor) until the controller's next prompt. Any other request is refused, unless
// the settings allow controller-started transfers (doc.acceptControllerTransfers).
class CTransferSession {
public:
    CTransferSession(CPelinDoc& doc, LinkOps& link, Clock& clock, ViewState& view);

    TransferSessionHooks& Hooks() { return hooks_; }
    CTransferFiles& Files() { return files_; }

    // --- This side asks. ---
    // A command line about to go to the controller (CP932). Returns what SendTransferCommand
    // returns: 0 rewritten and sent (a transfer is asked for, into the folder the line named),
    // -1 not a transfer command (the caller sends it; a bare save or load word still asks for a
    // transfer into the working folder), -110 refused word. The controller's echo (or, after a
    // refused word, its prompt) is then read and dropped for at most 2 s.
    int SendCommand(const std::string& line, bool fromMacro);
    // A transfer asked for without a command line of ours (the host editor's save, its typed
    // command): into folder, or into the folder of the last command when keepFolder.
    void Ask(const std::string& folder, bool keepFolder = false);
    bool Asked() const { return asked_; }
    // The folder of the transfer asked for ("" = the working folder, else ending in '/').
    const std::string& Folder() const { return folder_; }

    // --- The controller. ---
    // The controller is back at its prompt: the asked-for transfer is over.
    void ControllerPrompted();
    // The interpreter met ENQ; rest holds the bytes after it in the same chunk. Returns how many
    // of them the transfer took (on the serial line all: the port's queue is discarded).
    size_t OnEnq(const uint8_t* rest, size_t count);
    // Received bytes go here, not to the interpreter, while this is true.
    bool WantsBytes() const;
    // Takes received bytes; returns how many (the rest belongs to the interpreter).
    size_t Feed(const uint8_t* data, size_t count);
    // The earliest deadline of what is under way, kNoDeadline when none.
    int64_t NextDeadline() const;
    // The owner's timer fired: every deadline that has passed is acted on.
    void OnTimer();

    // --- The operator and the link. ---
    // A save's last steps are running, or its close waits for a flush; it is answered when
    // they have.
    bool Committing() const { return commitPending_ || closeAfterFlush_.has_value(); }
    // A transfer is under way: from its open to its end, a failure or Cancel.
    bool Busy() const { return live_ || Exchanging() || Committing(); }
    TransferProgress Progress() const;
    // Ends the transfer as a failed exchange ends it: the controller is told, a save keeps the
    // earlier file, the rest of the transfer's requests are refused until the prompt.
    void Cancel();
    // The link went down: the transfer cannot go on; a save left open is not saved.
    void LinkLost();
    // A TCP/IP connection was made: forget a half-received record and the save's error.
    void ResetTcpState();

    // The last exchange's result: 0 or a negative code (tests and the fuzz harness).
    int LastResult() const { return lastResult_; }
    // On the serial line a save's last steps count as part of the exchange (the line is held
    // for the reply); on TCP/IP what arrives meanwhile is the controller's, for the screen.
    bool Exchanging() const { return receiver_.Running() || sender_.Running() || (commitPending_ && !Tcp()); }

private:
    bool Tcp() const { return doc_.isTcp != 0; }
    int64_t Now() const { return clock_.NowMs(); }
    void StartDrain(int byte);
    void EndDrain();
    // Serial: one received byte or time-out result of the receiver or sender.
    void AfterReceive(int rc);
    void AfterSend(int rc);
    // E of a whole save: its last steps run away from the event loop (CTransferFiles::
    // CloseInBackground) and the reply goes when they have run. False: answer it in place.
    bool CloseInBackground(const TransferRecord& record);
    void ClosedInBackground(unsigned generation, const TransferReply& reply);
    size_t FeedSerial(const uint8_t* data, size_t count);
    size_t FeedTcp(const uint8_t* data, size_t count);
    // Runs the request's handler; fills reply. 0 or a negative code.
    int Serve(const TransferRecord& record, TransferReply& reply);
    // The name of A, B or F, when the controller may use it here; else the refusal status.
    int CheckRequest(const TransferRecord& record, std::string& name);
    int HandleTcp(const TransferRecord& record);
    int TcpWriteResult(int rc);
    // A TCP/IP save's background flush ended (CTransferFiles::flushEnded).
    void FlushEnded(int code, size_t writes);
    void EndExchange(int rc);
    void Report(int rc);
    void NoteProgress(uint8_t letter, const TransferReply& reply, size_t dataBytes);
    void SetLive(bool live);
    // The transfer under way ends with result; reason says why when it is not a code's text.
    void EndTransfer(int result, const char* reason = "");
    void Print(const char* english, const char* japaneseUtf8, const std::string& what);

    CPelinDoc& doc_;
    LinkOps& link_;
    Clock& clock_;
    CTransferFiles files_;
    CTransferCommand command_;
    CSerialReceiver receiver_;
    CSerialSender sender_;
    CTcpReceiver tcp_;
    TransferSessionHooks hooks_;

    bool asked_ = false;
    bool cancelled_ = false;  // refuse quietly until the prompt
    std::string folder_;

    int awaited_ = kNothingAwaited;  // the drain of a command's echo
    int64_t drainDeadline_ = kNoDeadline;
    // After Cancel mid-exchange: what the controller still had on its way (the rest of a record)
    // is dropped until it has been quiet for a moment, so it never reaches the screen.
    bool dropUntilQuiet_ = false;
    int64_t dropLimit_ = kNoDeadline;

    // The serial exchange: the handler's result and the request's letter while its reply goes.
    int handlerResult_ = 0;
    uint8_t replyLetter_ = 0;
    int lastResult_ = 0;
    // A save's last steps are running: nothing is answered until they have; what the line brings
    // meanwhile (the controller waits, so only noise) is held for the reply's exchange.
    bool commitPending_ = false;
    unsigned commitGeneration_ = 0;
    std::vector<uint8_t> heldDuringCommit_;
    int tcpSaveError_ = 0;  // TCP/IP save: the first write error, reported again by E
    // TCP/IP: the E that came while the save's flush ran; it is served when the flush has ended.
    std::optional<TransferRecord> closeAfterFlush_;

    bool live_ = false;
    TransferProgress progress_;
    std::string transferPath_;
    int64_t startMs_ = 0;
};

}  // namespace tavrin
