#include "link/CommSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavrin {

CCommSocket::CCommSocket(std::unique_ptr<StreamSocket> socket, Shell& shell)
    : socket_(std::move(socket)), shell_(shell), connectWatch_(shell) {}

CCommSocket::~CCommSocket() {
    Close();
}

int CCommSocket::Create() {
    if (!socket_) return lastError_ = EBADF;
    connectTried_ = false;
    heldAt_ = heldEnd_ = 0;
    DropOutbox();
    sendFailing_ = sendFailureIsNew_ = false;
    lastError_ = socket_->Create();
    return lastError_;
}

int CCommSocket::BeginConnect(const std::string& host, int port, std::function<void(int error)> done) {
    if (!socket_) return lastError_ = EBADF;
    if (Connecting()) return lastError_ = EALREADY;
    connectAddress_ = host + ":" + std::to_string(port);
    // A socket whose connect failed cannot be connected again; a retry starts on a new one.
    if (connectTried_ || !socket_->IsOpen()) {
        socket_->Close();
        int rc = socket_->Create();
        if (rc != 0) return NoteConnectResult(rc);
    }
    connectTried_ = true;
    const int rc = socket_->StartConnect(host, port);
    if (rc != EINPROGRESS) return NoteConnectResult(rc);
    connectDone_ = std::move(done);
    WatchConnect();
    const unsigned attempt = ++connectAttempt_;
    shell_.PostAfter(kConnectTimeoutSec * 1000, [this, attempt, alive = life_.Watch()] {
        if (!alive.expired() && attempt == connectAttempt_ && Connecting()) EndConnect(ETIMEDOUT);
    });
    return lastError_ = EINPROGRESS;
}

int CCommSocket::NoteConnectResult(int rc) {
    connectFailure_ = Status::FromErrno("connect", connectAddress_, rc);
    const std::string unknown = rc != 0 && socket_ ? socket_->LookupFailure() : std::string();
    if (!unknown.empty()) {
        connectFailure_.error = Status::kNameUnknown;
        connectFailure_.reason = unknown;
    }
    return lastError_ = rc;
}

// A host-name lookup is watched for its answer, the connect itself for writability; the
// socket tells which comes now.
void CCommSocket::WatchConnect() {
    connectWatch_.Watch(socket_->Descriptor(), socket_->ConnectWaitsForWrite(), [this] { CheckConnect(); });
}

void CCommSocket::CheckConnect() {
    const int rc = socket_->WaitConnected(0);
    if (rc != EINPROGRESS) {
        EndConnect(rc);
    } else if (!connectWatch_.Is(socket_->Descriptor(), socket_->ConnectWaitsForWrite())) {
        WatchConnect();
    }
}

void CCommSocket::EndConnect(int error) {
    connectWatch_.Unwatch();
    ++connectAttempt_;
    NoteConnectResult(error);
    std::function<void(int)> done = std::move(connectDone_);
    connectDone_ = nullptr;
    done(error);  // last: it may end this socket's life
}

ssize_t CCommSocket::Send(const uint8_t* bytes, size_t count) {
    if (!socket_ || !socket_->IsOpen()) {
        lastError_ = ENOTCONN;
        NoteSend(false);
        return -1;
    }
    if (count == 0) return 0;
    if (bytes == nullptr) {
        lastError_ = EFAULT;
        return -1;
    }
    // Order: whatever waits goes before these bytes.
    if (!FlushOutbox()) {
        NoteSend(false);
        return -1;
    }
    // A peer that has stopped reading: nothing more is taken (none of these bytes goes out), so
    // the outbox holds at most the bound and one send.
    if (Unsent() >= kOutboxLimit) {
        lastError_ = ENOBUFS;
        NoteSend(false);
        return -1;
    }
    size_t taken = 0;
    if (Unsent() == 0) {
        const ssize_t n = socket_->Send(bytes, count);
        if (n < 0) {
            lastError_ = socket_->LastError();
            NoteSend(false);
            return -1;
        }
        taken = static_cast<size_t>(n);
    }
    const size_t rest = count - taken;
    if (rest > 0) {
        if (outboxAt_ > 0) {
            outbox_.erase(0, outboxAt_);
            outboxAt_ = 0;
        }
        outbox_.append(reinterpret_cast<const char*>(bytes) + taken, rest);
        WatchOutbox(true);
    }
    lastError_ = 0;
    NoteSend(true);
    return static_cast<ssize_t>(count);
}

bool CCommSocket::FlushOutbox() {
    while (Unsent() > 0) {
        const ssize_t n =
            socket_->Send(reinterpret_cast<const uint8_t*>(outbox_.data()) + outboxAt_, Unsent());
        if (n < 0) {
            lastError_ = socket_->LastError();
            DropOutbox();
            return false;
        }
        if (n == 0) break;  // the socket takes nothing now: its writability brings us back
        outboxAt_ += static_cast<size_t>(n);
    }
    if (Unsent() == 0) DropOutbox();
    return true;
}

void CCommSocket::WatchOutbox(bool on) {
    const int fd = socket_ ? socket_->Descriptor() : -1;
    if (on && watchedFd_ < 0 && fd >= 0) {
        watchedFd_ = fd;
        shell_.WatchWritable(fd, [this] {
            if (socket_ && socket_->IsOpen() && !FlushOutbox()) NoteSend(false);
        });
    } else if (!on && watchedFd_ >= 0) {
        shell_.UnwatchWritable(watchedFd_);
        watchedFd_ = -1;
    }
}

void CCommSocket::DropOutbox() {
    outbox_.clear();
    outboxAt_ = 0;
    WatchOutbox(false);
}

void CCommSocket::NoteSend(bool ok) {
    sendFailureIsNew_ = !ok && !sendFailing_;
    sendFailing_ = !ok;
}

ssize_t CCommSocket::ReceiveNow(uint8_t* buffer, size_t count) {
    if (!socket_ || !socket_->IsOpen() || buffer == nullptr || count == 0) {
        lastError_ = ENOTCONN;
        return -1;
    }
    if (Held() == 0) {
        held_.resize(kReadAheadSize);
        const ssize_t n = socket_->Receive(held_.data(), held_.size());
        if (n <= 0) {
            lastError_ = n < 0 ? socket_->LastError() : 0;
            return n;
        }
        heldAt_ = 0;
        heldEnd_ = static_cast<size_t>(n);
    }
    const size_t taken = std::min(count, Held());
    std::memcpy(buffer, held_.data() + heldAt_, taken);
    heldAt_ += taken;
    lastError_ = 0;
    return static_cast<ssize_t>(taken);
}

void CCommSocket::ShutdownSend() {
    if (!socket_ || !socket_->IsOpen()) return;
    // What the socket takes of the outbox now goes before the end of the stream; the rest is
    // given up with the connection.
    FlushOutbox();
    DropOutbox();
    socket_->ShutdownSend();
}

void CCommSocket::Close() {
    // An attempt still running is given up without an answer.
    connectWatch_.Unwatch();
    connectDone_ = nullptr;
    ++connectAttempt_;
    heldAt_ = heldEnd_ = 0;
    DropOutbox();
    sendFailing_ = sendFailureIsNew_ = false;
    if (socket_) socket_->Close();
}

}  // namespace tavrin
