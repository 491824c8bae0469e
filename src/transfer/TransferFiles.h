#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/ViewState.h"
#include "platform/LifeToken.h"
#include "platform/Status.h"
#include "transfer/Lzss.h"
#include "transfer/SaveSteps.h"

namespace tavrin {

// Control bytes of the transfer protocol.
inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kEot = 0x04;
inline constexpr uint8_t kEnqByte = 0x05;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kEtb = 0x17;
inline constexpr uint8_t kCan = 0x18;
inline constexpr uint8_t kSub = 0x1A;

// Result codes (negative = failure; also message-table codes).
inline constexpr int kSendRejectedTwice = -506;  // serial send: record NAKed twice
inline constexpr int kRecordCutShort = -507;     // EOT (serial) / SUB (TCP/IP) mid-record
inline constexpr int kNoAnswerToEnq = -508;      // serial send: three ENQs unanswered
inline constexpr int kReceiveTimeout = -509;     // serial receive: 8 s step time-out
inline constexpr int kUnexpectedByte = -510;     // TCP/IP: stray byte before the letter
inline constexpr int kBlockTooLong = -511;       // a block that does not fit its area or record
inline constexpr int kNotTextFile = -512;        // a file that cannot travel intact as text
inline constexpr int kUnknownRequest = -513;     // a request letter other than A ... F
inline constexpr int kEnqRefused = -514;         // serial send: ENQ answered with NAK
inline constexpr int kNoTransferFile = -1014;    // block, end or write without an open file
inline constexpr int kFileBadPath = -1028;
inline constexpr int kFileNotFound = -1052;
inline constexpr int kFileAccessDenied = -1070;
inline constexpr int kFileDiskFull = -1072;
inline constexpr int kFileTooManyOpen = -1800;
inline constexpr int kFileHardwareError = -1802;
inline constexpr int kFileInvalidHandle = -1804;
inline constexpr int kFileOtherError = -9999;

inline constexpr size_t kStagingSize = 8193;
inline constexpr size_t kSerialChunk = 4096;
inline constexpr size_t kTcpChunk = 8192;
inline constexpr size_t kSerialBlock = 128;
inline constexpr size_t kTcpBlock = 512;
// The largest block one serial write request may carry, plain or after decompression.
inline constexpr size_t kSerialWriteLimit = 4096;
inline constexpr size_t kTcpFlushInterval = 8192;
inline constexpr size_t kNameField = 128;
inline constexpr size_t kCompactNameField = 12;
inline constexpr int kCompressedBit = 0x08;  // request byte 0, bit 3
inline constexpr uint32_t kCompressedEchoAdd = 56;

// errno of a failed file operation to its result code.
int MapFileError(int cause);

// What a handler leaves for the reply. The protocol frames it for the medium.
struct TransferReply {
    int status = 0;
    std::array<uint8_t, 4> echo{};
    // A and B: the file status record.
    std::array<uint8_t, kNameField> name{};  // as received, zero-padded
    size_t nameLength = 0;
    uint32_t fileSize = 0;
    uint32_t fileTime = 0;  // seconds since 1970-01-01 00:00 UTC
    // C: the data bytes (inside the handler's staging buffer, valid until the next request).
    const uint8_t* data = nullptr;
    size_t dataLength = 0;
};

// The terminal's side of the transfer requests: one open transfer file at a time, its staging
// buffer, the block coder and the end-of-transfer work for the host editor. Names come from the
// controller; only bare names are accepted, so nothing outside the transfer folder is touched.
class CTransferFiles {
public:
    explicit CTransferFiles(ViewState& view);
    ~CTransferFiles();
    CTransferFiles(const CTransferFiles&) = delete;
    CTransferFiles& operator=(const CTransferFiles&) = delete;

    // The medium of the requests that follow (block and chunk sizes, the TCP/IP rules).
    void SetTcp(bool tcp) { tcp_ = tcp; }

    // A (mode 'A', read) and B (mode 'B', write): closes a file left open, backs up (B) and
    // opens folder + name. Always returns 0: the outcome is reply.status.
    int OpenTransferFile(const std::string& name, TransferReply& reply, const std::string& folder, char mode);
    // C: the next block of the open file, raw (ReadFileBlock) or LZSS-coded (serial only).
    // request holds the request's data bytes. 0 or a negative code (also in reply.status).
    int ReadFileBlock(const uint8_t* request, size_t requestLength, TransferReply& reply);
    int ReadFileBlockCompressed(const uint8_t* request, size_t requestLength, TransferReply& reply);
    // D: serial: the block at bytes 8 ... of the request (length in bytes 6-7, decompressed
    // when bit 3 of byte 0 is set). TCP/IP: every data byte is file data.
    int WriteFileBlock(const uint8_t* request, size_t requestLength, TransferReply& reply);
    // E: writes what is staged, closes, then runs the end-of-transfer step.
    int CloseTransferFile(const uint8_t* request, size_t requestLength, TransferReply& reply);
    // E for a whole save when runDiskWork is set: its last steps (the disk's flush above all)
    // are handed to runDiskWork, and closed gets the reply once they have run, on the event-loop
    // thread. False, and nothing done, for any other close: answer it with CloseTransferFile.
    bool CloseInBackground(const uint8_t* request, size_t requestLength,
                           std::function<void(const TransferReply& reply)> closed);
    // Runs work (a save's flushes to disk) where it does not hold up the event loop, then done
    // on the event-loop thread. Empty: every flush and close runs in place.
    std::function<void(std::function<void()> work, std::function<void()> done)> runDiskWork;
    // A TCP/IP save's flush to disk (about every 8 KB) is running in the background; the writes
    // go on meanwhile. An E that comes now waits for its end (the save may have failed).
    bool Flushing() const { return flushing_; }
    // The background flush has ended: code 0, or the failure of the save still open (a negative
    // code, already told on the screen) and how many writes it stands for: the one that started
    // it and those taken while it ran, each of which a write in place would have refused.
    std::function<void(int code, size_t writes)> flushEnded;
    // A save that is open is written into a temporary file beside its target; it replaces the
    // target (the earlier file becoming the backup) only at a successful E. An exchange of the
    // save that failed (a protocol error, a refused reply) marks it broken: its E, the next A
    // or B, a lost link or the end of the program then drop the temporary file, leave the
    // earlier file and its backup as they were, and print which file was not saved.
    void NoteFailedExchange();
    // The controller is back at its prompt: a save it left open without E did not complete.
    void ControllerPrompted() { DiscardSave(true); }
    bool SaveOpen() const { return fd_ >= 0 && !tempPath_.empty(); }
    // F: deletes the name in the folder of the last B request; before any B in this session,
    // in folder (the transfer folder of the current command), never in the working folder.
    int DeleteTransferFile(const std::string& name, TransferReply& reply, const std::string& folder);
    // ".as" -> ".Bas": makes an existing file also its backup, replacing an older backup, while
    // the file keeps its own name (SaveSteps.h); the rename of a save then takes the name. No
    // extension: no backup. Skipped while linked to a host window and numbered. 0 or a code; a
    // backup that cannot be kept (a folder of that name) is named in the terminal with why.
    // The backup name of the file at path (the dot, 'B', then the first two letters of its
    // extension); empty when none is kept: no extension, or the host editor's own save.
    std::string BackupPathFor(const std::string& path) const;

    // True when the name is a bare file name (no '/', '\\', "..", not empty, not ".").
    static bool IsBareFileName(const std::string& name);

    bool FileOpen() const { return fd_ >= 0; }
    // Closes a file left open by a transfer that cannot go on (the link went down), without the
    // end-of-transfer step. A save left open is not saved (see NoteFailedExchange).
    void CloseQuietly();
    bool LastOpenWasSave() const { return lastOpenWasSave_; }

    // Texts for the terminal (CP932, lines end in "\n\r"), e.g. why a load stopped.
    std::function<void(const std::string& cp932)> printText;
    // The host editor is told that the file saved for it is complete.
    std::function<void(const std::string& fileName)> notifyHostSaved;

private:
    static constexpr int kModeRead = 1;
    static constexpr int kModeWrite = 2;

    void EchoRequest(const uint8_t* request, size_t requestLength, bool compressed,
                     TransferReply& reply) const;
    int ReadChunk(uint8_t* dest, size_t chunk, size_t& got);
    int CheckTextChunk(const uint8_t* bytes, size_t count, bool tcp);
    int FailLoad(int code, TransferReply& reply);
    // 0 or the errno of the failed write.
    int WriteAll(const uint8_t* bytes, size_t count);
    int FailWrite(int code, TransferReply& reply);
    int FailWrite(const Status& status, TransferReply& reply);
    void EndOfTransfer();
    // B: checks the folder and the earlier file, creates the temporary file. Its descriptor, or
    // a negative code.
    int OpenSaveFile(const std::string& folder, const std::string& name);
    // Fsync, backup, rename into place, folder flushed, close; each step checked. 0 or a code;
    // when the rename failed the temporary file is gone and the earlier file keeps its name.
    int CommitSave();
    // The open save's last steps, taken out of this object (its descriptor and temporary file
    // are the commit's now).
    SaveCommit TakeCommit();
    // Tells how a commit went and drops the temporary file of one that failed. 0 or a code.
    int FinishCommit(SaveCommit& commit);
    // TCP/IP saves flush what they wrote about every 8 KB: in the background when runDiskWork
    // is set (on a copy of the descriptor, so a save dropped meanwhile closes its own), else in
    // place. 0, or a code when the flush in place failed.
    int FlushSave();
    void FlushEnded(unsigned save, int cause);
    // A failed flush fails the save as a failed write does. The code.
    int FailFlush(int cause);
    // Drops the temporary file of an open save; announce: print the not-saved line.
    void DiscardSave(bool announce);
    void Print(const char* english, const char* japaneseUtf8, const std::string& what);
    // The text, then "<subject>: <reason>." (nothing for success).
    void PrintStatus(const char* english, const char* japaneseUtf8, const Status& status);
    // A save that cannot be opened: says which file and why; the code for the controller.
    int FailOpenSave(const Status& status);

    ViewState& view_;
    bool tcp_ = false;
    int fd_ = -1;
    int openMode_ = 0;
    std::string openName_;
    std::array<uint8_t, kStagingSize> staging_{};
    size_t stagingPosition_ = 0;
    size_t stagingValid_ = 0;
    std::array<uint8_t, kSerialChunk + 1> textChunk_{};      // one chunk as a NUL-terminated text
    std::array<uint8_t, kSerialWriteLimit + 1> textArea_{};  // a decompressed block and its NUL
    long long remainingSize_ = 0;
    std::string lastSaveFolder_;
    bool saveSeen_ = false;  // a B request has set lastSaveFolder_
    bool endOfFile_ = false;
    int loadError_ = 0;   // a load that cannot go on: every later C answers this
    int writeError_ = 0;  // the error that cleared the write bit
    bool lastOpenWasSave_ = false;
    std::string savePath_;  // the target of the open save
    std::string tempPath_;  // the temporary file it is written to; empty when no save is open
    bool saveBroken_ = false;
    size_t bytesSinceFlush_ = 0;
    unsigned saveNumber_ = 0;  // counts the saves opened, to tell a late flush's save
    bool flushing_ = false;
    size_t writesDuringFlush_ = 0;
    CLzssCoder coder_;
    LifeToken life_;
};

}  // namespace tavrin
