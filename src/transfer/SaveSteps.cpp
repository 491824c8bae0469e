#include "transfer/SaveSteps.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace tavrin {
namespace {

constexpr const char* kTemporaryMarker = ".tavrin-";
constexpr size_t kRandomLetters = 6;  // mkstemp's XXXXXX
constexpr int kFreshNameAttempts = 16;

SaveStepHook stepHook = nullptr;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A new temporary file of the pattern for `name`, created and locked. Its descriptor, or -1
// with errno set.
int CreateLockedTemporary(const std::string& folder, const std::string& name, std::string& temp) {
    temp = SaveTemporaryPattern(folder, name);
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    // Locked at once: a save into the same folder by another process must not take it for stale.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        errno = cause;
        return -1;
    }
    return fd;
}

// Where the file system cannot make a second link: a copy of `path`, locked, with its mode.
int CopyToTemporary(const std::string& path, const std::string& folder, const std::string& name,
                    std::string& temp, int& lockFd) {
    const int in = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return errno;
    struct stat st {};
    const int statCause = ::fstat(in, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : EINVAL);
    if (statCause != 0) {
        ::close(in);
        return statCause;
    }
    const int out = CreateLockedTemporary(folder, name, temp);
    if (out < 0) {
        const int cause = errno;
        ::close(in);
        return cause;
    }
    int cause = 0;
    std::array<char, 65536> buffer{};
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            cause = errno;
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n && cause == 0;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno != EINTR) cause = errno;
            if (w > 0) done += w;
        }
        if (cause != 0) break;
    }
    ::close(in);
    if (cause == 0 && ::fchmod(out, st.st_mode & 07777) != 0) cause = errno;
    if (cause == 0 && ::fsync(out) != 0) cause = errno;
    if (cause != 0) {
        ::close(out);
        ::unlink(temp.c_str());
        return cause;
    }
    lockFd = out;
    return 0;
}

// A second name for `path` under a fresh hidden name, locked. 0 or errno.
int LinkToTemporary(const std::string& path, const std::string& folder, const std::string& name,
                    std::string& temp, int& lockFd) {
    for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
        // mkostemp finds a free name; the link takes its place.
        const int reserved = CreateLockedTemporary(folder, name, temp);
        if (reserved < 0) return errno;
        ::close(reserved);
        if (::unlink(temp.c_str()) != 0) return errno;
        if (::link(path.c_str(), temp.c_str()) == 0) {
            lockFd = ::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (lockFd >= 0) (void)::flock(lockFd, LOCK_EX | LOCK_NB);
            return 0;
        }
        if (errno != EEXIST) return errno;  // someone took the name meanwhile: another
    }
    return EEXIST;
}

}  // namespace

std::string SaveTemporaryPattern(const std::string& folder, const std::string& name) {
    return folder + "." + name + kTemporaryMarker + std::string(kRandomLetters, 'X');
}

bool IsSaveTemporaryName(const std::string& entryName) {
    const std::string marker = kTemporaryMarker;
    if (entryName.size() < 1 + marker.size() + kRandomLetters + 1 || entryName[0] != '.') return false;
    const size_t random = entryName.size() - kRandomLetters;
    if (entryName.compare(random - marker.size(), marker.size(), marker) != 0) return false;
    for (size_t i = random; i < entryName.size(); ++i)
        if (!IsAsciiAlnum(entryName[i])) return false;
    return true;
}

int RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return 0;
    const int dirFd = ::dirfd(dir);
    int removed = 0;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsSaveTemporaryName(name)) continue;
        const int fd =
            ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {};
        struct stat named {};
        // A regular file of this user that nobody holds locked, still under that name.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev && ::unlinkat(dirFd, name.c_str(), 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

Status KeepAsBackup(const std::string& path, const std::string& backup) {
    struct stat st {};
    // A folder of that name would take the rename below as an error only after the temporary
    // name exists; said at once.
    if (::lstat(backup.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return Status::FromErrno("backup", backup, EISDIR);
    const std::string folder = FolderOf(backup);
    const std::string name = NameOf(backup);
    std::string temp;
    int lockFd = -1;
    SaveStep("link");
    int cause = LinkToTemporary(path, folder, name, temp, lockFd);
    // No hard links on this file system, or none to another user's file (protected_hardlinks).
    if (cause == EPERM || cause == EOPNOTSUPP || cause == ENOSYS || cause == EMLINK)
        cause = CopyToTemporary(path, folder, name, temp, lockFd);
    if (cause != 0) return Status::FromErrno("backup", backup, cause);
    SaveStep("backup");
    Status status = Status::FromErrno("backup", backup, SaveRename(temp, backup));
    // Also after a rename that did nothing: when the backup already was a name of this very file
    // (a save killed after this step), rename leaves both names in place. After one that took
    // the name, nothing is left to remove.
    const int left = SaveUnlink(temp);
    if (status.Ok() && left != 0 && left != ENOENT) status = Status::FromErrno("unlink", temp, left);
    if (lockFd >= 0) {
        const int closed = SaveClose(lockFd);
        if (status.Ok() && closed != 0) status = Status::FromErrno("close", temp, closed);
    }
    return status;
}

void CommitSaveFile(SaveCommit& commit) {
    // The order keeps the name holding the earlier or the new program, whole, at every instant.
    // The temporary file stays open, and so locked, until it has its name.
    SaveStep("fsync");
    commit.status = Status::FromErrno("fsync", commit.tempPath, SaveFsync(commit.fd));
    if (!commit.status.Ok()) {
        commit.failed = SaveCommit::Step::Fsync;
        return;
    }
    struct stat st {};
    // Only a program file is backed up; a folder of that name is left alone (the rename that
    // follows fails on it and the controller gets the error).
    if (!commit.backupPath.empty() && ::stat(commit.savePath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        commit.status = KeepAsBackup(commit.savePath, commit.backupPath);
        if (!commit.status.Ok()) {
            commit.failed = SaveCommit::Step::Backup;
            return;
        }
    }
    SaveStep("rename");
    commit.status =
        Status::FromErrno("rename", commit.savePath, SaveRename(commit.tempPath, commit.savePath));
    if (!commit.status.Ok()) {
        commit.failed = SaveCommit::Step::Rename;
        return;
    }
    // The new name is on disk too, not only the data.
    SaveStep("sync-folder");
    commit.status = SyncFolderOf(commit.savePath);
    SaveStep("close");
    const int closed = SaveClose(commit.fd);
    commit.fd = -1;
    if (commit.status.Ok()) commit.status = Status::FromErrno("close", commit.savePath, closed);
    if (!commit.status.Ok()) {
        commit.status.subject = commit.savePath;
        commit.failed = SaveCommit::Step::Durability;
    }
}

Status SyncFolderOf(const std::string& path) {
    const std::string folder = FolderOf(path);
    const std::string shown = folder.empty() ? std::string(".") : folder;
    const int fd = ::open(shown.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Status::FromErrno("open", shown, errno);
    int synced = SaveFsync(fd);
    if (synced == EINVAL) synced = 0;
    const int closed = SaveClose(fd);
    if (synced != 0) return Status::FromErrno("fsync", shown, synced);
    return Status::FromErrno("close", shown, closed == EINTR ? 0 : closed);
}

namespace {

SaveFaultHook faultHook = nullptr;

int Injected(const char* call) {
    return faultHook != nullptr ? faultHook(call) : 0;
}

}  // namespace

int SaveCreate(std::string& pattern) {
    if (const int injected = Injected("create")) {
        errno = injected;
        return -1;
    }
    return ::mkostemp(pattern.data(), O_CLOEXEC);
}

int SaveFsync(int fd) {
    if (const int injected = Injected("fsync")) return injected;
    return ::fsync(fd) == 0 ? 0 : errno;
}

int SaveFdatasync(int fd) {
    if (const int injected = Injected("fdatasync")) return injected;
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

int SaveRename(const std::string& from, const std::string& to) {
    if (const int injected = Injected("rename")) return injected;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int SaveUnlink(const std::string& path) {
    if (const int injected = Injected("unlink")) return injected;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int SaveClose(int fd) {
    const int injected = Injected("close");
    // The descriptor is released whatever close says: retrying it could close another one.
    const int cause = ::close(fd) == 0 ? 0 : errno;
    return injected != 0 ? injected : cause;
}

void SetSaveFaultHook(SaveFaultHook hook) {
    faultHook = hook;
}

void SetSaveStepHook(SaveStepHook hook) {
    stepHook = hook;
}

void SaveStep(const char* step) {
    if (stepHook != nullptr) stepHook(step);
}

}  // namespace tavrin
