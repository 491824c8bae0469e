#include "link/CommSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavrin {

namespace {

// Marks a blocking operation as running for as long as it lives.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

CCommSocket::CCommSocket(std::unique_ptr<StreamSocket> socket, Shell& shell, Clock& clock)
    : socket_(std::move(socket)), shell_(shell), clock_(clock) {}

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

void CCommSocket::PaintWhileWaiting(int64_t& lastPaint) {
    const int64_t now = clock_.NowMs();
    if (now - lastPaint >= kPaintIntervalMs) {
        shell_.PaintNow();
        lastPaint = now;
    }
}

int CCommSocket::Connect(const std::string& host, int port) {
    const int rc = ConnectOnce(host, port);
    connectFailure_ = Status::FromErrno("connect", host + ":" + std::to_string(port), rc);
    const std::string unknown = rc != 0 && socket_ ? socket_->LookupFailure() : std::string();
    if (!unknown.empty()) {
        connectFailure_.error = Status::kNameUnknown;
        connectFailure_.reason = unknown;
    }
    return rc;
}

int CCommSocket::ConnectOnce(const std::string& host, int port) {
    if (!socket_) return lastError_ = EBADF;
    if (busy_) return lastError_ = EINPROGRESS;
    BusyScope busy(busy_);
    // A socket whose connect failed cannot be connected again; a retry starts on a new one.
    if (connectTried_ || !socket_->IsOpen()) {
        socket_->Close();
        int rc = socket_->Create();
        if (rc != 0) return lastError_ = rc;
    }
    connectTried_ = true;
    int rc = socket_->StartConnect(host, port);
    if (rc == 0) return lastError_ = 0;
    if (rc != EINPROGRESS) return lastError_ = rc;

    const int64_t start = clock_.NowMs();
    int64_t lastPaint = start - kPaintIntervalMs;
    const int64_t limit = static_cast<int64_t>(kConnectTimeoutSec) * 1000;
    for (;;) {
        rc = socket_->WaitConnected(kWaitSliceMs);
        if (rc == 0) return lastError_ = 0;
        if (rc != EINPROGRESS) return lastError_ = rc;
        if (clock_.NowMs() - start >= limit) return lastError_ = ETIMEDOUT;
        PaintWhileWaiting(lastPaint);
    }
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
    // Nothing is sent from inside a wait of the connect or the one-byte receive.
    if (busy_) {
        lastError_ = EINPROGRESS;
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

int CCommSocket::ReceiveByte() {
    if (!socket_ || !socket_->IsOpen()) return kPeerClosed;
    if (busy_) return kBusy;
    if (Held() > 0) return held_[heldAt_++];
    BusyScope busy(busy_);
    const int64_t start = clock_.NowMs();
    int64_t lastPaint = start;
    // One byte at a time from the socket itself: nothing is held back once this returns, so the
    // readiness of the socket still tells of every byte not yet handed out.
    for (;;) {
        uint8_t byte = 0;
        const ssize_t n = socket_->Receive(&byte, 1);
        if (n == 1) return byte;
        if (n == 0) return kPeerClosed;
        const int err = socket_->LastError();
        if (err != EAGAIN && err != EWOULDBLOCK && err != EINTR) {
            lastError_ = err;
            return kError;
        }
        if (clock_.NowMs() - start >= kReceiveWaitLimitMs) return kWaitedOut;
        // A record sent just before this wait may still sit in the outbox: the answer awaited
        // cannot come before it has gone out.
        if (Unsent() > 0 && !FlushOutbox()) {
            lastError_ = socket_->LastError();
            return kError;
        }
        socket_->WaitReadable(kWaitSliceMs);
        PaintWhileWaiting(lastPaint);
    }
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
    heldAt_ = heldEnd_ = 0;
    DropOutbox();
    sendFailing_ = sendFailureIsNew_ = false;
    if (socket_) socket_->Close();
}

}  // namespace tavrin
