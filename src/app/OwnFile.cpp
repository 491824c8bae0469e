#include "app/OwnFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace tavrin {
namespace {

// The kernel's own limit on links followed in one path.
constexpr int kMaxLinksFollowed = 40;

bool TrustedOwner(uid_t owner) {
    return owner == 0 || owner == geteuid();
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

// Follows the symbolic links that `path` names, one at a time, and checks who made each. On
// success `final` holds the lstat of what the chain ends in. Links inside the folder part of a
// path are the folder owner's business and are not looked at.
bool WalkLinks(const std::string& path, struct stat& final, OwnFileCheck& check) {
    std::string current = path;
    for (int hop = 0;; ++hop) {
        if (::lstat(current.c_str(), &final) != 0) {
            check.error = errno;
            check.fault = errno == ENOENT ? OwnFileFault::kMissing : OwnFileFault::kUnreadable;
            return false;
        }
        if (!S_ISLNK(final.st_mode)) return true;
        if (!TrustedOwner(final.st_uid)) {
            check.fault = OwnFileFault::kOtherLink;
            check.owner = final.st_uid;
            return false;
        }
        if (hop == kMaxLinksFollowed) {
            check.fault = OwnFileFault::kUnreadable;
            check.error = ELOOP;
            return false;
        }
        std::array<char, 4096> target{};
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size() - 1);
        if (length < 0) {
            check.fault = OwnFileFault::kUnreadable;
            check.error = errno;
            return false;
        }
        const std::string next(target.data(), static_cast<size_t>(length));
        current = next.front() == '/' ? next : FolderOf(current) + next;
    }
}

// The rules that the file's status alone decides: its type, owner and size.
bool StatusAllowed(const struct stat& info, const OwnFileRules& rules, OwnFileCheck& check) {
    if (!S_ISREG(info.st_mode)) {
        check.fault = OwnFileFault::kNotRegular;
        check.type = info.st_mode & S_IFMT;
        return false;
    }
    if (!TrustedOwner(info.st_uid)) {
        check.fault = OwnFileFault::kOtherOwner;
        check.owner = info.st_uid;
        return false;
    }
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > rules.maxBytes) {
        check.fault = OwnFileFault::kTooLarge;
        check.limit = rules.maxBytes;
        return false;
    }
    return true;
}

std::string Quantity(size_t bytes) {
    if (bytes >= (size_t{1} << 20) && bytes % (size_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

const char* TypeName(mode_t type, int english) {
    switch (type) {
        case S_IFIFO: return english ? "a FIFO (named pipe)" : "FIFO（名前付きパイプ）";
        case S_IFDIR: return english ? "a folder" : "フォルダ";
        case S_IFCHR:
        case S_IFBLK: return english ? "a device" : "デバイス";
        case S_IFSOCK: return english ? "a socket" : "ソケット";
        default: return english ? "not a regular file" : "通常のファイルではありません";
    }
}

}  // namespace

std::string OwnFileCheck::Reason(int english) const {
    switch (fault) {
        case OwnFileFault::kNone: return {};
        case OwnFileFault::kMissing:
        case OwnFileFault::kUnreadable: return std::strerror(error);
        case OwnFileFault::kNotRegular:
            if (english) return std::string("it is ") + TypeName(type, 1) + ", not a regular file";
            return std::string("通常のファイルではありません（") + TypeName(type, 0) + "）";
        case OwnFileFault::kOtherOwner:
            return english ? "it belongs to another user (uid " + std::to_string(owner) + ")"
                           : "ほかのユーザー（uid " + std::to_string(owner) + "）のファイルです";
        case OwnFileFault::kOtherLink:
            return english
                       ? "it is a symbolic link made by another user (uid " + std::to_string(owner) + ")"
                       : "ほかのユーザー（uid " + std::to_string(owner) + "）が作ったシンボリックリンクです";
        case OwnFileFault::kTooLarge:
            return english ? "it is larger than " + Quantity(limit) : Quantity(limit) + "を超えています";
        case OwnFileFault::kHoldsNul:
            return english ? "it holds NUL bytes, so it is not a text file"
                           : "NULバイトを含むため、テキストファイルではありません";
    }
    return {};
}

std::string RefusedFileText(const std::string& path, const OwnFileCheck& check, int english) {
    if (english) return "The file " + path + " cannot be used: " + check.Reason(1) + ".";
    return "ファイル " + path + " は使用できません: " + check.Reason(0) + "。";
}

int OwnFileCheck::Errno() const {
    switch (fault) {
        case OwnFileFault::kNone: return 0;
        case OwnFileFault::kMissing:
        case OwnFileFault::kUnreadable: return error;
        case OwnFileFault::kNotRegular: return type == S_IFDIR ? EISDIR : EINVAL;
        case OwnFileFault::kOtherOwner:
        case OwnFileFault::kOtherLink: return EPERM;
        case OwnFileFault::kTooLarge: return EFBIG;
        case OwnFileFault::kHoldsNul: return EILSEQ;
    }
    return EINVAL;
}

int OpenOwnFile(const std::string& path, const OwnFileRules& rules, OwnFileCheck& check) {
    check = OwnFileCheck{};
    struct stat info {};
    if (path.empty()) {
        check.fault = OwnFileFault::kMissing;
        check.error = ENOENT;
        return -1;
    }
    // Looked at before the open: a serial device is not opened at all (an open raises its
    // lines), and a link of another user is not followed.
    if (!WalkLinks(path, info, check) || !StatusAllowed(info, rules, check)) return -1;
    // O_NONBLOCK: should a FIFO have taken the file's place meanwhile, the open still returns.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        check.error = errno;
        check.fault = errno == ENOENT ? OwnFileFault::kMissing : OwnFileFault::kUnreadable;
        return -1;
    }
    // What was opened is what counts.
    if (::fstat(fd, &info) != 0) {
        check.fault = OwnFileFault::kUnreadable;
        check.error = errno;
        ::close(fd);
        return -1;
    }
    if (!StatusAllowed(info, rules, check)) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

OwnFileCheck ReadOwnFile(const std::string& path, const OwnFileRules& rules, std::string& contents) {
    contents.clear();
    OwnFileCheck check;
    const int fd = OpenOwnFile(path, rules, check);
    if (fd < 0) return check;
    // At most one byte past the bound: a file that grew after the check is still refused.
    std::array<char, 8192> buffer{};
    for (;;) {
        const size_t room = rules.maxBytes + 1 - contents.size();
        const ssize_t n = ::read(fd, buffer.data(), room < buffer.size() ? room : buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            check.fault = OwnFileFault::kUnreadable;
            check.error = errno;
            break;
        }
        if (n == 0) break;
        contents.append(buffer.data(), static_cast<size_t>(n));
        if (contents.size() > rules.maxBytes) {
            check.fault = OwnFileFault::kTooLarge;
            check.limit = rules.maxBytes;
            break;
        }
    }
    ::close(fd);
    if (check.Usable() && rules.refuseNul && contents.find('\0') != std::string::npos)
        check.fault = OwnFileFault::kHoldsNul;
    if (!check.Usable()) contents.clear();
    return check;
}

OwnFileCheck CheckOwnFile(const std::string& path, const OwnFileRules& rules) {
    if (!rules.refuseNul) {
        // Nothing in the content decides: the open alone gives the verdict.
        OwnFileCheck check;
        const int fd = OpenOwnFile(path, rules, check);
        if (fd >= 0) ::close(fd);
        return check;
    }
    std::string ignored;
    return ReadOwnFile(path, rules, ignored);
}

}  // namespace tavrin
