#include "transfer/TransferFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "app/Cp932.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "app/StatusText.h"
#include "transfer/SaveSteps.h"

namespace tavrin {

int MapFileError(int cause) {
    switch (cause) {
        case ENOENT: return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL: return kFileBadPath;
        case EMFILE:
        case ENFILE: return kFileTooManyOpen;
        case EACCES:
        case EPERM:
        case EROFS: return kFileAccessDenied;
        case EBADF: return kFileInvalidHandle;
        case EIO: return kFileHardwareError;
        case ENOSPC:
#if defined(EDQUOT) && EDQUOT != ENOSPC
        case EDQUOT:
#endif
            return kFileDiskFull;
        default: return kFileOtherError;
    }
}

namespace {

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The request bytes 0 ... count-1, zero past the end of a short request.
std::array<uint8_t, 8> RequestHead(const uint8_t* request, size_t length) {
    std::array<uint8_t, 8> head{};
    std::copy_n(request, std::min(length, head.size()), head.begin());
    return head;
}

}  // namespace

CTransferFiles::CTransferFiles(ViewState& view) : view_(view) {}

CTransferFiles::~CTransferFiles() {
    // The program is ending: a save left open is dropped without a word (nothing shows it now).
    DiscardSave(false);
    CloseQuietly();
}

bool CTransferFiles::IsBareFileName(const std::string& name) {
    // "." names the transfer folder itself.
    if (name.empty() || name == ".") return false;
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) return false;
    return name.find("..") == std::string::npos;
}

void CTransferFiles::CloseQuietly() {
    DiscardSave(true);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    openMode_ = 0;
}

void CTransferFiles::Print(const char* english, const char* japaneseUtf8, const std::string& what) {
    if (printText) printText("\n\r" + LocalizedCp932(english, japaneseUtf8) + what + "\n\r");
}

void CTransferFiles::PrintStatus(const char* english, const char* japaneseUtf8, const Status& status) {
    if (printText && !status.Ok()) printText(StatusLineCp932(english, japaneseUtf8, status));
}

int CTransferFiles::FailOpenSave(const Status& status) {
    PrintStatus("The save could not write ", "保存できませんでした。書き込めないファイル: ", status);
    return MapFileError(status.error);
}

void CTransferFiles::NoteFailedExchange() {
    if (SaveOpen()) saveBroken_ = true;
}

void CTransferFiles::DiscardSave(bool announce) {
    if (tempPath_.empty()) return;
    if (fd_ >= 0) (void)SaveClose(fd_);  // the file is dropped: what close says changes nothing
    fd_ = -1;
    openMode_ = 0;
    const Status removed = Status::FromErrno("unlink", tempPath_, SaveUnlink(tempPath_));
    tempPath_.clear();
    saveBroken_ = false;
    if (announce)
        Print("The save did not complete; not saved: ",
              "保存が完了しませんでした。保存されていないファイル: ", savePath_);
    // A temporary file left behind is removed by the next save into the folder, if it can be.
    if (announce)
        PrintStatus("The unfinished save could not be removed: ",
                    "完了しなかった保存を削除できませんでした: ", removed);
}

int CTransferFiles::OpenSaveFile(const std::string& folder, const std::string& name) {
    const std::string path = folder + name;
    // The folder must exist: the controller is told the path is bad and the operator which
    // folder is missing.
    struct stat st {};
    const std::string dir = folder.empty() ? std::string(".") : folder;
    const int folderMissing = ::stat(dir.c_str(), &st) != 0 ? errno : 0;
    if (folderMissing != 0 && folderMissing != ENOENT && folderMissing != ENOTDIR)
        return FailOpenSave(Status::FromErrno("stat", dir, folderMissing));
    if (folderMissing != 0 || !S_ISDIR(st.st_mode)) {
        Print("The folder does not exist: ", "フォルダがありません: ", folder);
        return kFileBadPath;
    }
    // Temporary files of saves that were killed are removed before this one adds its own.
    RemoveStaleTemporaries(folder);
    mode_t mode = 0;
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return FailOpenSave(Status::FromErrno("open", path, EISDIR));
        // The earlier file decides as if it were overwritten in place: a write-protected file
        // is refused, one another program holds locked too.
        if (::access(path.c_str(), W_OK) != 0) return FailOpenSave(Status::FromErrno("open", path, errno));
        const int held = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (held >= 0) {
            const int locked = ::flock(held, LOCK_EX | LOCK_NB);
            const int cause = errno;
            ::close(held);
            if (locked != 0) {
                Status status = Status::FromErrno("lock", path, cause);
                if (cause == EWOULDBLOCK) status.reason = "another program holds it locked";
                return FailOpenSave(status);
            }
        }
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return FailOpenSave(Status::FromErrno("stat", path, errno));
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // A hidden name beside the target, so the rename at the end stays within one file system;
    // locked at once and for as long as it is in use, so no other save takes it for stale.
    std::string temp = SaveTemporaryPattern(folder, name);
    // The temporary file is where the save writes: a folder the user may not write fails here,
    // and the operator is told the file and why beside the controller's own error line.
    const int fd = SaveCreate(temp);
    if (fd < 0) return FailOpenSave(Status::FromErrno("create", path, errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fchmod(fd, mode) != 0) {
        const int cause = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return FailOpenSave(Status::FromErrno("create", temp, cause));
    }
    savePath_ = path;
    tempPath_ = temp;
    saveBroken_ = false;
    bytesSinceFlush_ = 0;
    ++saveNumber_;
    return fd;
}

int CTransferFiles::CommitSave() {
    SaveCommit commit = TakeCommit();
    CommitSaveFile(commit);
    return FinishCommit(commit);
}

SaveCommit CTransferFiles::TakeCommit() {
    SaveCommit commit;
    commit.fd = fd_;
    commit.tempPath = tempPath_;
    commit.savePath = savePath_;
    commit.backupPath = BackupPathFor(savePath_);
    fd_ = -1;
    openMode_ = 0;
    tempPath_.clear();
    return commit;
}

int CTransferFiles::FinishCommit(SaveCommit& commit) {
    using Step = SaveCommit::Step;
    switch (commit.failed) {
        case Step::None: return 0;
        case Step::Durability:
            // The file has its name, but may not survive a power cut: the controller must not take
            // it as saved.
            PrintStatus("The save did not complete; not saved: ",
                        "保存が完了しませんでした。保存されていないファイル: ", commit.status);
            return MapFileError(commit.status.error);
        case Step::Fsync:
            PrintStatus("The save could not be written to disk: ", "保存をディスクに書き込めませんでした: ",
                        commit.status);
            break;
        case Step::Backup:
            PrintStatus("The save could not keep the backup ",
                        "保存できませんでした。バックアップを残せません: ", commit.status);
            break;
        case Step::Rename:
            PrintStatus("The save could not take its name: ",
                        "保存したファイルに名前を付けられませんでした: ", commit.status);
            break;
    }
    // The temporary file is dropped; the earlier file keeps its name.
    fd_ = commit.fd;
    tempPath_ = commit.tempPath;
    savePath_ = commit.savePath;
    commit.fd = -1;
    DiscardSave(true);
    return MapFileError(commit.status.error);
}

bool CTransferFiles::CloseInBackground(const uint8_t* request, size_t requestLength,
                                       std::function<void(const TransferReply& reply)> closed) {
    // Only a save that is whole commits; every other close is quick and answered in place.
    if (!runDiskWork || fd_ < 0 || tempPath_.empty() || saveBroken_ || writeError_ != 0 ||
        coder_.DecodePending())
        return false;
    TransferReply reply;
    EchoRequest(request, requestLength, false, reply);
    if (tcp_) endOfFile_ = false;
    auto commit = std::make_shared<SaveCommit>(TakeCommit());
    runDiskWork([commit] { CommitSaveFile(*commit); },
                [this, commit, reply, closed = std::move(closed), alive = life_.Watch()]() mutable {
                    if (alive.expired()) {
                        // Nobody is left to tell: a temporary file left behind is removed by the
                        // next save into its folder.
                        if (commit->fd >= 0) ::close(commit->fd);
                        return;
                    }
                    reply.status = FinishCommit(*commit);
                    EndOfTransfer();
                    closed(reply);
                });
    return true;
}

void CTransferFiles::EchoRequest(const uint8_t* request, size_t requestLength, bool compressed,
                                 TransferReply& reply) const {
    auto head = RequestHead(request, requestLength);
    std::copy_n(head.begin(), 4, reply.echo.begin());
    // A compressed request is echoed as its first four bytes read as a little-endian number
    // plus 56, stored little-endian again.
    if (compressed) WriteLe32(reply.echo.data(), ReadLe32(head.data()) + kCompressedEchoAdd);
}

std::string CTransferFiles::BackupPathFor(const std::string& path) const {
    if (view_.hostWindow != 0 && view_.terminalNumber != 0) return {};
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return {};  // no extension, no backup
    // The dot, 'B', then the first two letters of the extension (longer ones are cut).
    return path.substr(0, dot) + ".B" + path.substr(dot + 1, 2);
}

int CTransferFiles::OpenTransferFile(const std::string& name, TransferReply& reply, const std::string& folder,
                                     char mode) {
    reply = TransferReply{};
    reply.nameLength = std::min(name.size(), kNameField);
    std::copy_n(name.begin(), reply.nameLength, reply.name.begin());
    const bool save = mode == 'B';
    lastOpenWasSave_ = save;
    endOfFile_ = false;
    loadError_ = 0;
    writeError_ = 0;
    CloseQuietly();
    if (!tcp_) coder_.ResetCompression();

    if (!IsBareFileName(name)) {
        // The controller names bare files; anything else could reach outside the folder.
        reply.status = kFileBadPath;
        return 0;
    }
    const std::string path = folder + name;
    int fd = -1;
    struct stat st {};
    int cause = 0;
    if (save) {
        lastSaveFolder_ = folder;
        saveSeen_ = true;
        fd = OpenSaveFile(folder, name);
        if (fd < 0) {
            reply.status = fd;
            return 0;
        }
        if (::fstat(fd, &st) != 0) cause = errno;
    } else {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            cause = errno;
        } else if (::fstat(fd, &st) != 0) {
            cause = errno;
        } else if (!S_ISREG(st.st_mode)) {
            cause = EISDIR;
        } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            cause = errno;  // another program holds it: exclusive, as the controller expects
        }
    }
    if (cause != 0) {
        if (save) {
            fd_ = fd;
            DiscardSave(false);
        } else if (fd >= 0) {
            ::close(fd);
        }
        reply.status = MapFileError(cause);
        return 0;
    }
    fd_ = fd;
    openName_ = name;
    openMode_ = save ? kModeWrite : kModeRead;
    reply.fileSize = static_cast<uint32_t>(st.st_size);
    reply.fileTime = static_cast<uint32_t>(st.st_mtime);
    // Reading starts with an exhausted staging buffer, so the first C reads a chunk.
    stagingPosition_ = save ? 0 : (tcp_ ? kTcpChunk : kSerialChunk);
    stagingValid_ = 0;
    if (save) staging_.fill(0);
    remainingSize_ = st.st_size;
    return 0;
}

// Reads up to chunk bytes of the open file into dest.
int CTransferFiles::ReadChunk(uint8_t* dest, size_t chunk, size_t& got) {
    got = 0;
    while (got < chunk) {
        ssize_t n = ::read(fd_, dest + got, chunk - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return MapFileError(errno);
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return 0;
}

// A load over TCP/IP travels as text ending at the first NUL, and ETB would end the record; a
// compressed serial load is coded as a text ending at the first NUL. Either would cut the file
// short at the controller without anyone noticing, so such a file stops the load instead.
int CTransferFiles::CheckTextChunk(const uint8_t* bytes, size_t count, bool tcp) {
    const uint8_t* end = bytes + count;
    const uint8_t* nul = std::find(bytes, end, 0);
    const uint8_t* etb = tcp ? std::find(bytes, end, kEtb) : end;
    if (nul == end && etb == end) return 0;
    std::string line = "\n\r";
    if (nul != end) {
        line += tcp ? LocalizedCp932("The file holds a NUL byte and cannot be loaded over TCP/IP: ",
                                     "ファイルにNULが含まれるためTCP/IPでロードできません: ")
                    : LocalizedCp932("The file holds a NUL byte and cannot be loaded compressed: ",
                                     "ファイルにNULが含まれるため圧縮ロードできません: ");
    } else {
        line += LocalizedCp932("The file holds an ETB byte (0x17) and cannot be loaded over TCP/IP: ",
                               "ファイルにETB(0x17)が含まれるためTCP/IPでロードできません: ");
    }
    line += openName_ + "\n\r";
    if (printText) printText(line);
    return kNotTextFile;
}

int CTransferFiles::FailLoad(int code, TransferReply& reply) {
    loadError_ = code;
    reply.status = code;
    reply.dataLength = 0;
    return code;
}

int CTransferFiles::ReadFileBlock(const uint8_t* request, size_t requestLength, TransferReply& reply) {
    reply = TransferReply{};
    EchoRequest(request, requestLength, false, reply);
    if (fd_ < 0 || !(openMode_ & kModeRead)) return reply.status = kNoTransferFile;
    if (loadError_ != 0) return reply.status = loadError_;
    const size_t block = tcp_ ? kTcpBlock : kSerialBlock;
    const size_t chunk = tcp_ ? kTcpChunk : kSerialChunk;
    if (tcp_ && endOfFile_) {
        // The end of the file shows as a reply whose data is SUB.
        endOfFile_ = false;
        staging_[kStagingSize - 1] = kSub;
        reply.data = &staging_[kStagingSize - 1];
        reply.dataLength = 1;
        return 0;
    }
    if (stagingPosition_ >= chunk) {
        staging_.fill(0);
        size_t got = 0;
        int rc = ReadChunk(staging_.data(), chunk, got);
        if (rc < 0) return FailLoad(rc, reply);
        if (tcp_) {
            rc = CheckTextChunk(staging_.data(), got, true);
            if (rc < 0) return FailLoad(rc, reply);
        }
        stagingValid_ = got;
        stagingPosition_ = 0;
    }
    const size_t count = std::min(block, stagingValid_ - std::min(stagingPosition_, stagingValid_));
    reply.data = staging_.data() + stagingPosition_;
    reply.dataLength = count;
    stagingPosition_ += count;
    if (tcp_ && stagingPosition_ >= stagingValid_ && stagingValid_ < chunk) endOfFile_ = true;
    return 0;
}

int CTransferFiles::ReadFileBlockCompressed(const uint8_t* request, size_t requestLength,
                                            TransferReply& reply) {
    reply = TransferReply{};
    EchoRequest(request, requestLength, true, reply);
    if (fd_ < 0 || !(openMode_ & kModeRead)) return reply.status = kNoTransferFile;
    if (loadError_ != 0) return reply.status = loadError_;
    while (stagingPosition_ >= stagingValid_ && remainingSize_ > 0) {
        size_t got = 0;
        textChunk_.fill(0);
        int rc = ReadChunk(textChunk_.data(), kSerialChunk, got);
        if (rc < 0) return FailLoad(rc, reply);
        rc = CheckTextChunk(textChunk_.data(), got, false);
        if (rc < 0) return FailLoad(rc, reply);
        remainingSize_ -= static_cast<long long>(kSerialChunk);
        // A short read is the end of the file, whatever its size was at open.
        if (got < kSerialChunk) remainingSize_ = 0;
        // The codes of one chunk stay below CompressedBound(4096), well inside the buffer.
        stagingValid_ = coder_.CompressText(textChunk_.data(), staging_.data(), 0);
        if (remainingSize_ <= 0) {
            const uint8_t empty[1] = {0};
            stagingValid_ += coder_.CompressText(empty, staging_.data() + stagingValid_, 1);
        }
        stagingPosition_ = 0;
    }
    const size_t count = std::min(kSerialBlock, stagingValid_ - std::min(stagingPosition_, stagingValid_));
    reply.data = staging_.data() + stagingPosition_;
    reply.dataLength = count;
    stagingPosition_ += count;
    return 0;
}

int CTransferFiles::WriteAll(const uint8_t* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

// A failed write clears the write bit: the file stays open until E, later blocks are refused
// with the same code so that nothing follows a hole in the file. The operator is told the file
// and why once, when it happens.
int CTransferFiles::FailWrite(const Status& status, TransferReply& reply) {
    PrintStatus("The save could not write ", "保存できませんでした。書き込めないファイル: ", status);
    return FailWrite(MapFileError(status.error), reply);
}

int CTransferFiles::FailWrite(int code, TransferReply& reply) {
    writeError_ = code;
    openMode_ &= ~kModeWrite;
    reply.status = code;
    return code;
}

int CTransferFiles::WriteFileBlock(const uint8_t* request, size_t requestLength, TransferReply& reply) {
    reply = TransferReply{};
    const uint8_t* block = request;
    size_t length = requestLength;
    if (tcp_) {
        if (length == 0) return 0;
    } else {
        const auto head = RequestHead(request, requestLength);
        const bool compressed = (head[0] & kCompressedBit) != 0;
        EchoRequest(request, requestLength, compressed, reply);
        if (fd_ < 0) return reply.status = kNoTransferFile;
        if (writeError_ != 0) return reply.status = writeError_;
        const int16_t declared = static_cast<int16_t>(head[6] << 8 | head[7]);
        const size_t carried = requestLength > 8 ? requestLength - 8 : 0;
        // The record carries the 8 header bytes and exactly the declared block. A block longer
        // or shorter than its record, or longer than the staging area, is damaged (its length
        // or its record was hit by line noise the checksum missed): it is refused whole rather
        // than written cut short or with stray bytes.
        if (requestLength < 8 || declared < 0 || static_cast<size_t>(declared) != carried ||
            carried > kSerialWriteLimit)
            return FailWrite(kBlockTooLong, reply);
        length = carried;
        block = request + 8;
        if (compressed) {
            size_t plain = coder_.DecompressBlock(block, length, textArea_.data(), textArea_.size());
            if (plain == CLzssCoder::kDecodeRefused) return FailWrite(kBlockTooLong, reply);
            // The controller codes text, which holds no NUL; a NUL in the decoded block comes
            // from damaged codes (a match into the ring's untouched zero bytes, a changed
            // literal), and the text would end there.
            if (std::find(textArea_.begin(), textArea_.begin() + plain, 0) != textArea_.begin() + plain)
                return FailWrite(kBlockTooLong, reply);
            block = textArea_.data();
            length = plain;
        }
    }
    if (fd_ < 0) return reply.status = kNoTransferFile;
    if (writeError_ != 0) return reply.status = writeError_;
    if (!(openMode_ & kModeWrite)) return reply.status = kNoTransferFile;
    if (tcp_) {
        // TCP/IP saves commit the file about every 8 KB.
        if (bytesSinceFlush_ + length >= kTcpFlushInterval && !flushing_) {
            const int failed = FlushSave();
            if (failed != 0) return reply.status = failed;
            bytesSinceFlush_ = 0;
        }
        if (flushing_) ++writesDuringFlush_;
        bytesSinceFlush_ += length;
    }
    if (!tempPath_.empty()) SaveStep("write");
    const int cause = WriteAll(block, length);
    if (cause != 0)
        return FailWrite(Status::FromErrno("write", SaveOpen() ? savePath_ : openName_, cause), reply);
    return 0;
}

int CTransferFiles::FlushSave() {
    const int copy = runDiskWork ? ::fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0) {
        const int cause = SaveFdatasync(fd_);
        return cause == 0 ? 0 : FailFlush(cause);
    }
    flushing_ = true;
    writesDuringFlush_ = 0;
    auto cause = std::make_shared<int>(0);
    runDiskWork(
        [copy, cause] {
            *cause = SaveFdatasync(copy);
            ::close(copy);
        },
        [this, cause, save = saveNumber_, alive = life_.Watch()] {
            if (!alive.expired()) FlushEnded(save, *cause);
        });
    return 0;
}

int CTransferFiles::FailFlush(int cause) {
    TransferReply ignored;
    return FailWrite(Status::FromErrno("fdatasync", savePath_, cause), ignored);
}

void CTransferFiles::FlushEnded(unsigned save, int cause) {
    flushing_ = false;
    const size_t writes = std::exchange(writesDuringFlush_, 0);
    int code = 0;
    // Only the save it flushed, still open and not failed otherwise, fails with it.
    if (cause != 0 && save == saveNumber_ && SaveOpen() && writeError_ == 0) code = FailFlush(cause);
    if (flushEnded) flushEnded(code, writes);
}

int CTransferFiles::CloseTransferFile(const uint8_t* request, size_t requestLength, TransferReply& reply) {
    reply = TransferReply{};
    EchoRequest(request, requestLength, false, reply);
    if (tcp_) endOfFile_ = false;
    int rc = 0;
    if (fd_ < 0) {
        rc = kNoTransferFile;
    } else if (!tempPath_.empty()) {
        // Blocks are written as they arrive, so nothing is left staged here. A save whose
        // exchanges or writes failed is incomplete: it is dropped, and the controller gets the
        // reply it always got for the close.
        if (saveBroken_ || writeError_ != 0) {
            DiscardSave(true);
        } else if (coder_.DecodePending()) {
            // Compressed codes that end inside a match were cut short: the file lacks its end.
            DiscardSave(true);
            rc = reply.status = kBlockTooLong;
        } else {
            rc = CommitSave();
        }
    } else {
        const int closed = ::close(fd_);
        if (closed != 0) rc = MapFileError(errno);
        fd_ = -1;
        openMode_ = 0;
    }
    reply.status = rc;
    EndOfTransfer();
    return rc;
}

void CTransferFiles::EndOfTransfer() {
    if (view_.hostTypedPending) {
        if (!view_.hostDeleteFile.empty()) {
            const int cause = SaveUnlink(view_.hostDeleteFile);
            if (cause != ENOENT)
                PrintStatus("The editor's temporary file could not be removed: ",
                            "エディタの一時ファイルを削除できませんでした: ",
                            Status::FromErrno("unlink", view_.hostDeleteFile, cause));
            view_.hostDeleteFile.clear();
        }
        view_.hostTypedPending = 0;
    } else if (view_.saveForEditorPending) {
        if (notifyHostSaved) notifyHostSaved(view_.editorTempFile);
        view_.saveForEditorPending = 0;
    }
}

int CTransferFiles::DeleteTransferFile(const std::string& name, TransferReply& reply,
                                       const std::string& folder) {
    reply = TransferReply{};
    if (!IsBareFileName(name)) return reply.status = kFileBadPath;
    // The controller deletes in the folder it last saved to. Until it has saved, the folder of
    // the current command is the only one it may reach: an empty last-save folder would mean
    // the working folder of the process.
    const std::string path = (saveSeen_ ? lastSaveFolder_ : folder) + name;
    const int cause = SaveUnlink(path);
    if (cause != 0) reply.status = MapFileError(cause);
    // A name that is not there is the controller's to report; anything else is told here.
    if (cause != 0 && cause != ENOENT)
        PrintStatus("The file could not be deleted: ", "ファイルを削除できませんでした: ",
                    Status::FromErrno("unlink", path, cause));
    return reply.status;
}

}  // namespace tavrin
