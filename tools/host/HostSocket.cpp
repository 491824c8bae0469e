#include "HostSocket.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace tavrin::host {

std::string ControlSocketPath(const std::string& hostSocket) {
    return hostSocket + ".ctl";
}

std::string PrepareSocketFolder(const std::string& socketPath) {
    const size_t slash = socketPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : socketPath.substr(0, slash);
    // Missing folders are made one by one, each closed to others.
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return "cannot make folder " + part + ": " + std::strerror(errno);
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return folder + " is not a folder";
    if (st.st_uid != ::getuid()) return folder + " belongs to another user";
    if ((st.st_mode & 077) != 0)
        return folder + " is open to other users (chmod 700 it, or choose another path)";
    return {};
}

namespace {

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

bool PeerIsSameUser(int fd) {
    struct ucred cred {};
    socklen_t length = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 && cred.uid == ::getuid();
}

int ConnectTo(const std::string& path, ConnectFailure* failure) {
    ConnectFailure ignored;
    ConnectFailure& why = failure ? *failure : ignored;
    why = ConnectFailure::NothingListening;
    sockaddr_un address;
    if (!FillAddress(path, address)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EACCES || errno == EPERM) why = ConnectFailure::NoPermission;
        ::close(fd);
        return -1;
    }
    if (!PeerIsSameUser(fd)) {
        why = ConnectFailure::ForeignPeer;
        ::close(fd);
        return -1;
    }
    why = ConnectFailure::None;
    return fd;
}

int ListenAt(const std::string& path, std::string& error) {
    sockaddr_un address;
    if (!FillAddress(path, address)) {
        error = "socket path too long: " + path;
        return -1;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket";
            return -1;
        }
        if (const int live = ConnectTo(path); live >= 0) {
            ::close(live);
            error = "another tavrin-host serve is listening on " + path;
            return -1;
        }
        ::unlink(path.c_str());  // left behind by a serve that ended without cleaning up
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    // The socket is born 0600: no moment in which others could connect.
    const mode_t old = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(old);
    if (bound != 0 || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int ControlIo::SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        sent += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace tavrin::host
