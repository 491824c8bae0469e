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
        return -1;
    }
    if (count == 0) return 0;
    if (bytes == nullptr) {
        lastError_ = EFAULT;
        return -1;
    }
    if (busy_) {
        lastError_ = EINPROGRESS;
        return -1;
    }
    BusyScope busy(busy_);
    size_t sent = 0;
    int64_t lastProgress = clock_.NowMs();
    int64_t lastPaint = lastProgress;
    while (sent < count) {
        ssize_t n = socket_->Send(bytes + sent, count - sent);
        if (n < 0) {
            lastError_ = socket_->LastError();
            return -1;
        }
        if (n > 0) {
            sent += static_cast<size_t>(n);
            lastProgress = clock_.NowMs();
            continue;
        }
        if (clock_.NowMs() - lastProgress >= kSendStallLimitMs) {
            lastError_ = ETIMEDOUT;
            return -1;
        }
        socket_->WaitWritable(kWaitSliceMs);
        PaintWhileWaiting(lastPaint);
    }
    lastError_ = 0;
    return static_cast<ssize_t>(count);
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
        socket_->WaitReadable(kWaitSliceMs);
        PaintWhileWaiting(lastPaint);
    }
}

void CCommSocket::ShutdownSend() {
    if (socket_ && socket_->IsOpen()) socket_->ShutdownSend();
}

void CCommSocket::Close() {
    heldAt_ = heldEnd_ = 0;
    if (socket_) socket_->Close();
}

}  // namespace tavrin
