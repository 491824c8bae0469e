#include "platform/posix/PosixStreamSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavrin {

CPosixStreamSocket::~CPosixStreamSocket() {
    Close();
}

int CPosixStreamSocket::Create() {
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return lastError_ = errno;
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
        int err = errno;
        ::close(fd);
        return lastError_ = err;
    }
    fd_ = fd;
    return lastError_ = 0;
}

int CPosixStreamSocket::StartConnect(const std::string& host, int port) {
    lookupFailure_.clear();
    lookup_.Abandon();
    if (fd_ < 0) return lastError_ = EBADF;
    if (port <= 0 || port > 65535) return lastError_ = EINVAL;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1)
        return Connect(reinterpret_cast<const sockaddr*>(&address), sizeof address);
    // Not a dotted address: a host name, looked up away from the event loop.
    port_ = port;
    const int started = lookup_.Start(host, "", AF_INET);
    return lastError_ = started != 0 ? started : EINPROGRESS;
}

int CPosixStreamSocket::Connect(const sockaddr* address, socklen_t length) {
    for (;;) {
        if (::connect(fd_, address, length) == 0) return lastError_ = 0;
        if (errno == EINTR) continue;
        return lastError_ = errno;
    }
}

int CPosixStreamSocket::ConnectToLookedUp() {
    const std::vector<ResolvedAddress> found = lookup_.TakeAnswer(lookupFailure_);
    if (found.empty()) return lastError_ = EHOSTUNREACH;
    sockaddr_in address{};
    std::memcpy(&address, &found.front().address, sizeof address);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    return Connect(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

bool CPosixStreamSocket::WaitFor(short events, int ms) {
    if (fd_ < 0) return false;
    pollfd p{fd_, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, ms < 0 ? 0 : ms);
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

int CPosixStreamSocket::WaitConnected(int ms) {
    if (fd_ < 0) return lastError_ = EBADF;
    if (lookup_.Pending()) {
        if (!lookup_.Finished()) {
            pollfd p{lookup_.Descriptor(), POLLIN, 0};
            while (::poll(&p, 1, ms < 0 ? 0 : ms) < 0 && errno == EINTR) {
            }
            if (!lookup_.Finished()) return lastError_ = EINPROGRESS;
        }
        // The connect itself goes on from here: its readiness is the socket's.
        const int rc = ConnectToLookedUp();
        if (rc != EINPROGRESS) return rc;
    }
    if (!WaitFor(POLLOUT, ms)) return lastError_ = EINPROGRESS;
    int err = 0;
    socklen_t length = sizeof err;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
    return lastError_ = err;
}

ssize_t CPosixStreamSocket::Send(const uint8_t* bytes, size_t count) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return -1;
    }
    for (;;) {
        ssize_t n = ::send(fd_, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        lastError_ = errno;
        return -1;
    }
}

ssize_t CPosixStreamSocket::Receive(uint8_t* buffer, size_t count) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return -1;
    }
    for (;;) {
        ssize_t n = ::recv(fd_, buffer, count, MSG_DONTWAIT);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        lastError_ = errno;
        return -1;
    }
}

bool CPosixStreamSocket::WaitReadable(int ms) {
    return WaitFor(POLLIN, ms);
}

bool CPosixStreamSocket::WaitWritable(int ms) {
    return WaitFor(POLLOUT, ms);
}

void CPosixStreamSocket::ShutdownSend() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void CPosixStreamSocket::Close() {
    lookup_.Abandon();
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace tavrin
