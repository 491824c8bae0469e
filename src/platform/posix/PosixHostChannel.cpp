#include "platform/posix/PosixHostChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace tavrin {

const char* HostOpenResultText(int result) {
    switch (result) {
        case kHostOpened: return "linked";
        case kHostNoSocket: return "no host editor is listening";
        case kHostNotASocket: return "the host path is not a socket";
        case kHostForeignOwner: return "the host socket or its folder belongs to another user";
        case kHostOpenPermissions: return "the host socket or its folder is open to other users";
        case kHostForeignPeer: return "the host editor runs as another user";
        default: return "the host link failed";
    }
}

std::string HostSocketPath() {
    if (const char* explicitPath = std::getenv("TAVRIN_HOST_SOCKET"); explicitPath && *explicitPath)
        return explicitPath;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/tavrin/host.sock";
    return {};
}

HostSocketSystem RealHostSocketSystem() {
    HostSocketSystem s;
    s.lstat = [](const std::string& path, struct stat& st) { return ::lstat(path.c_str(), &st); };
    s.peerUid = [](int fd, uid_t& uid) {
        struct ucred cred {};
        socklen_t length = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return -1;
        uid = cred.uid;
        return 0;
    };
    s.uid = [] { return ::getuid(); };
    return s;
}

int CheckHostSocketPath(const std::string& path, const HostSocketSystem& system) {
    if (path.empty()) return kHostNoSocket;
    struct stat st {};
    if (system.lstat(path, st) != 0) return kHostNoSocket;
    if (!S_ISSOCK(st.st_mode)) return kHostNotASocket;
    const uid_t self = system.uid();
    if (st.st_uid != self) return kHostForeignOwner;
    if ((st.st_mode & 077) != 0) return kHostOpenPermissions;

    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat fst {};
    if (system.lstat(folder, fst) != 0 || !S_ISDIR(fst.st_mode)) return kHostNoSocket;
    if (fst.st_uid != self) return kHostForeignOwner;
    if ((fst.st_mode & 077) != 0) return kHostOpenPermissions;
    return kHostOpened;
}

CPosixHostChannel::CPosixHostChannel(HostSocketSystem system) : system_(std::move(system)) {}

CPosixHostChannel::~CPosixHostChannel() {
    Close();
}

int CPosixHostChannel::Open(const std::string& path) {
    Close();
    if (const int checked = CheckHostSocketPath(path, system_); checked != kHostOpened) return checked;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return kHostNoSocket;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kHostNoSocket;
    // A local connect completes at once or fails at once (a full backlog is a host that does
    // not answer).
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return kHostNoSocket;
    }
    uid_t peer = 0;
    if (system_.peerUid(fd, peer) != 0 || peer != system_.uid()) {
        ::close(fd);
        return kHostForeignPeer;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    fd_ = fd;
    decoder_ = CHostRecordDecoder{};
    return kHostOpened;
}

int CPosixHostChannel::Send(const HostRecord& record) {
    if (fd_ < 0) return -1;
    const std::string bytes = EncodeHostRecord(record);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHostSendLimitMs);
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    if (sent < bytes.size()) {
        // Half a record on the wire cannot be taken back: the link is over.
        Close();
        return -1;
    }
    return 0;
}

int CPosixHostChannel::Receive(std::vector<HostRecord>& out) {
    if (fd_ < 0) return -1;
    uint8_t buffer[kHostReadChunk];
    bool closed = false;
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            decoder_.Feed(buffer, static_cast<size_t>(n));
            break;  // one chunk per call: the rest waits for the next turn
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        closed = true;  // 0: the host closed; another error: the link is gone
        break;
    }
    HostRecord record;
    while (decoder_.Next(record)) out.push_back(std::move(record));
    if (closed || decoder_.Broken()) {
        Close();
        return -1;
    }
    return 0;
}

void CPosixHostChannel::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace tavrin
