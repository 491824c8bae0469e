#include "platform/posix/Rfc2217SerialDevice.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/NetworkSerialAddress.h"

namespace tavrin {

namespace {

constexpr size_t kReceiveChunk = 16384;

void SetOption(int fd, int level, int name, int value) {
    (void)setsockopt(fd, level, name, &value, sizeof value);
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The server's parting words as one line: printable ASCII only, trimmed.
std::string CleanLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else if (c >= 0x20 && c < 0x7F) {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// host:port of a numeric address (IPv4 or IPv6); false when host is not one.
bool NumericAddress(const std::string& host, int port, ResolvedAddress& server) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const bool ok = getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0 && found != nullptr &&
                    found->ai_addrlen <= sizeof server.address;
    if (ok) {
        std::memcpy(&server.address, found->ai_addr, found->ai_addrlen);
        server.length = found->ai_addrlen;
        server.family = found->ai_family;
    }
    if (found != nullptr) freeaddrinfo(found);
    return ok;
}

}  // namespace

CRfc2217SerialDevice::~CRfc2217SerialDevice() {
    Close();
}

void CRfc2217SerialDevice::Fail(int error, const std::string& english, const std::string& japanese) {
    failure_ = english;
    failureJapanese_ = japanese;
    gone_ = error;
}

int CRfc2217SerialDevice::Open(const std::string& path, const SerialParams& params) {
    if (IsOpen()) Release();
    holder_.clear();
    failure_.clear();
    failureJapanese_.clear();
    gone_ = 0;
    params_ = params;
    NetworkSerialAddress address;
    if (!ParseNetworkSerialPath(path, address)) {
        failure_ = path + " is not a network serial port (rfc2217://HOST:PORT).";
        failureJapanese_ = path + " はネットワークシリアルポート (rfc2217://ホスト:ポート) ではありません。";
        return EINVAL;
    }
    if (params.baud <= 0 || params.dataBits < 5 || params.dataBits > 8) {
        failure_ = path + " does not accept the line settings (baud rate, data bits, parity or stop bits).";
        failureJapanese_ = path + " はこの通信設定を受け付けません。";
        return EINVAL;
    }
    deadline_ = Steady::now() + std::chrono::milliseconds(kConnectLimitMs);
    serverName_ = address.host;
    if (!CHostLookup::IsNumeric(address.host, AF_UNSPEC)) {
        // A name is looked up away from the event loop; plants usually give the server's
        // address, which needs no lookup.
        const int started = lookup_.Start(address.host, std::to_string(address.port), AF_UNSPEC);
        if (started != 0) return started;
        state_ = State::Resolving;
        return EINPROGRESS;
    }
    ResolvedAddress server;
    if (!NumericAddress(address.host, address.port, server)) return EINVAL;
    return StartConnecting(server);
}

int CRfc2217SerialDevice::StartConnecting(const ResolvedAddress& server) {
    const int fd = ::socket(server.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleS);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalS);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
    SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, kUserTimeoutMs);
    // Each ACK, ENQ or record end goes out at once, as on a local line.
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    int rc = 0;
    do {
        rc =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&server.address), server.length) == 0 ? 0 : errno;
    } while (rc == EINTR);
    if (rc != 0 && rc != EINPROGRESS) {
        ::close(fd);
        state_ = State::Closed;
        return rc;
    }
    fd_ = fd;
    state_ = State::Connecting;
    return EINPROGRESS;
}

int CRfc2217SerialDevice::OpenTimeLeftMs() const {
    if (state_ != State::Resolving && state_ != State::Connecting && state_ != State::Negotiating) return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Steady::now()).count();
    return static_cast<int>(std::max<int64_t>(left, 0));
}

int CRfc2217SerialDevice::ContinueOpen() {
    if (state_ == State::Open) return 0;
    if (state_ == State::Closed) return fd_ < 0 ? ENODEV : 0;
    if (state_ == State::Resolving) {
        if (!lookup_.Finished()) {
            if (OpenTimeLeftMs() > 0) return EINPROGRESS;
            Release();
            return ETIMEDOUT;
        }
        std::string reason;
        std::vector<ResolvedAddress> found = lookup_.TakeAnswer(reason);
        if (found.empty()) {
            Release();
            failure_ = "The server name " + serverName_ + " cannot be found (" + reason + ").";
            failureJapanese_ = "サーバー名 " + serverName_ + " が見つかりません (" + reason + ")。";
            return EHOSTUNREACH;
        }
        // The connect's readiness is the socket's from here.
        otherServers_.assign(found.begin() + 1, found.end());
        int rc = StartConnecting(found.front());
        while (rc != EINPROGRESS && !otherServers_.empty()) {
            rc = StartConnecting(otherServers_.front());
            otherServers_.erase(otherServers_.begin());
        }
        return rc;
    }
    if (state_ == State::Connecting) {
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, 0) <= 0) {
            if (OpenTimeLeftMs() > 0) return EINPROGRESS;
            Release();
            return ETIMEDOUT;
        }
        int err = 0;
        socklen_t length = sizeof err;
        if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
        if (err != 0) {
            // A name may stand for several addresses (IPv6 and IPv4): the next one is tried.
            while (!otherServers_.empty()) {
                ::close(fd_);
                fd_ = -1;
                const ResolvedAddress next = otherServers_.front();
                otherServers_.erase(otherServers_.begin());
                if (StartConnecting(next) == EINPROGRESS) return EINPROGRESS;
            }
            Release();
            return err;
        }
        state_ = State::Negotiating;
        deadline_ = Steady::now() + std::chrono::milliseconds(kNegotiateLimitMs);
        out_ = codec_.Start(params_);
        in_.clear();
        inStart_ = 0;
        tail_.clear();
        Flush();
    }
    Pump();
    return EndOfNegotiation();
}

int CRfc2217SerialDevice::EndOfNegotiation() {
    if (codec_.State() == CRfc2217Codec::Phase::Failed) {
        failure_ = "The network serial port refused the connection: " + codec_.FailureText() + ".";
        failureJapanese_ =
            "ネットワークシリアルポートが接続を拒否しました: " + codec_.FailureTextJapanese() + "。";
        Release();
        return EINVAL;
    }
    if (gone_ != 0) {
        const int end = ParticularEnd() != 0 ? ParticularEnd() : gone_;
        const std::string words = CleanLine(tail_);
        if (end == EBUSY) {
            holder_ = "another client of the server";
            if (!words.empty()) holder_ += " (\"" + words + "\")";
        } else if (!words.empty()) {
            failure_ = "The server closed the connection: \"" + words + "\"";
            failureJapanese_ = "サーバーが接続を閉じました: \"" + words + "\"";
        } else if (!codec_.ComPortAgreed()) {
            failure_ = "The server closed the connection before agreeing to COM-PORT-OPTION (RFC 2217).";
            failureJapanese_ = "サーバーが COM-PORT-OPTION (RFC 2217) に応じる前に接続を閉じました。";
        }
        const std::string keptFailure = failure_;
        const std::string keptJapanese = failureJapanese_;
        Release();
        failure_ = keptFailure;
        failureJapanese_ = keptJapanese;
        return end;
    }
    if (codec_.State() == CRfc2217Codec::Phase::Ready) {
        // The server purged its port when asked, before the frame was confirmed: what follows
        // the confirmations is the controller's.
        state_ = State::Open;
        return 0;
    }
    if (OpenTimeLeftMs() > 0) return EINPROGRESS;
    Release();
    failure_ = codec_.ComPortAgreed()
                   ? "The server did not confirm the line settings in time."
                   : "The server did not answer the COM-PORT-OPTION (RFC 2217) negotiation in time.";
    failureJapanese_ = codec_.ComPortAgreed()
                           ? "サーバーが通信設定を時間内に確認しませんでした。"
                           : "サーバーが COM-PORT-OPTION (RFC 2217) の交渉に時間内に応じませんでした。";
    return ETIMEDOUT;
}

int CRfc2217SerialDevice::ParticularEnd() const {
    const std::string words = Lower(tail_);
    if (words.find("in use") != std::string::npos || words.find("kicked off") != std::string::npos)
        return EBUSY;
    return 0;
}

bool CRfc2217SerialDevice::Pump() {
    if (fd_ < 0) return false;
    Flush();
    std::array<uint8_t, kReceiveChunk> chunk{};
    std::vector<uint8_t> reply;
    while (gone_ == 0) {
        const ssize_t n = ::recv(fd_, chunk.data(), chunk.size(), 0);
        if (n > 0) {
            // Acknowledge at once: a server that sends small packets with Nagle's algorithm on
            // holds its next one (the controller's ACK or ENQ) until this one is acknowledged,
            // and a delayed acknowledgement costs 40 ms at each turn of the protocol. The kernel
            // leaves quick-ack mode by itself, so it is asked again after every read.
            SetOption(fd_, IPPROTO_TCP, TCP_QUICKACK, 1);
            const size_t before = in_.size();
            codec_.Feed(chunk.data(), static_cast<size_t>(n), in_, reply);
            // The last words, for a server that explains why it closes.
            for (size_t i = before; i < in_.size(); ++i) tail_ += static_cast<char>(in_[i]);
            if (tail_.size() > kTailLimit) tail_.erase(0, tail_.size() - kTailLimit);
            continue;
        }
        if (n == 0) {
            gone_ = EPIPE;
            break;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) gone_ = errno;
        break;
    }
    if (!reply.empty()) {
        out_.insert(out_.end(), reply.begin(), reply.end());
        Flush();
    }
    if (gone_ != 0 && state_ == State::Open && ParticularEnd() == EBUSY) gone_ = EBUSY;
    return gone_ == 0;
}

void CRfc2217SerialDevice::Flush() {
    while (fd_ >= 0 && gone_ == 0 && !out_.empty()) {
        const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            out_.erase(out_.begin(), out_.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) gone_ = errno;
        break;
    }
}

size_t CRfc2217SerialDevice::Write(const uint8_t* bytes, size_t count) {
    if (state_ != State::Open || gone_ != 0 || bytes == nullptr || count == 0) return 0;
    Flush();
    if (out_.size() >= kOutboundLimit) {
        // The network takes nothing for the moment: wait as a local port waits for its driver.
        const auto deadline = Steady::now() + std::chrono::milliseconds(kWriteLimitMs);
        while (out_.size() >= kOutboundLimit && gone_ == 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
            if (left <= 0) return 0;
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return 0;
            Flush();
        }
        if (gone_ != 0) return 0;
    }
    CRfc2217Codec::Escape(bytes, count, out_);
    Flush();
    return gone_ == 0 ? count : 0;
}

bool CRfc2217SerialDevice::Writable() const {
    return state_ != State::Open || gone_ != 0 || out_.size() < kOutboundLimit;
}

size_t CRfc2217SerialDevice::Queued() {
    if (state_ != State::Open) return 0;
    Pump();
    return in_.size() - inStart_;
}

size_t CRfc2217SerialDevice::Read(uint8_t* buffer, size_t count) {
    if (state_ != State::Open || buffer == nullptr || count == 0) return 0;
    if (inStart_ == in_.size()) Pump();
    const size_t n = std::min(count, in_.size() - inStart_);
    std::copy_n(in_.begin() + static_cast<std::ptrdiff_t>(inStart_), n, buffer);
    inStart_ += n;
    if (inStart_ == in_.size()) {
        in_.clear();
        inStart_ = 0;
    }
    return n;
}

// Whether the socket holds bytes, or has ended, without reading it: checks that take no bytes
// leave the descriptor readable, so the event loop still reports what waits.
int CRfc2217SerialDevice::PeekSocket() const {
    pollfd p{fd_, POLLIN | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) <= 0) return 0;
    if ((p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0) return -1;
    return (p.revents & POLLIN) != 0 ? 1 : 0;
}

int CRfc2217SerialDevice::WaitReadable(int ms) {
    if (state_ != State::Open) return -1;
    if (in_.size() > inStart_) return 1;
    if (ms <= 0 && gone_ == 0) {
        // A look, not a read: bytes taken here and not read at once would wait for the next
        // readiness, which would not come.
        const int peek = PeekSocket();
        if (peek >= 0) return peek;
    }
    const auto deadline = Steady::now() + std::chrono::milliseconds(std::max(ms, 0));
    for (;;) {
        if (!Pump()) return in_.size() > inStart_ ? 1 : -1;
        if (in_.size() > inStart_) return 1;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
        if (left <= 0) return 0;
        pollfd p{fd_, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0) return -1;
        if (r == 0) return 0;
        // Readable: telnet commands alone carry no data; wait on for the rest of the time.
    }
}

// Discards what has been received, as a local port's purge discards its input queue. The
// server's own buffers are purged at open and at close only: a purge sent now would reach the
// server a network delay later and could discard bytes the controller sent after this moment,
// which a local port would have kept (the transfer protocol purges before each of its replies).
void CRfc2217SerialDevice::Purge() {
    if (state_ != State::Open || gone_ != 0) return;
    Pump();
    in_.clear();
    inStart_ = 0;
}

int CRfc2217SerialDevice::LineError() {
    if (fd_ < 0 || state_ != State::Open) return 0;
    // Only an ended connection is read here (its last bytes stay readable for the reads).
    if (gone_ == 0 && PeekSocket() < 0) Pump();
    if (gone_ == 0) return 0;
    // Bytes received before the end are read first.
    if (in_.size() > inStart_) return 0;
    if (failure_.empty()) {
        const std::string words = CleanLine(tail_);
        if (gone_ == EBUSY) {
            failure_ = "The server gave the port to another client" +
                       (words.empty() ? "" : " (\"" + words + "\")") + ".";
            failureJapanese_ = "サーバーがポートを他のクライアントに渡しました" +
                               (words.empty() ? std::string() : " (\"" + words + "\")") + "。";
        } else {
            failure_ = "The connection to the server was lost.";
            failureJapanese_ = "サーバーとの接続が切れました。";
        }
    }
    return gone_;
}

void CRfc2217SerialDevice::Release() {
    lookup_.Abandon();
    otherServers_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    state_ = State::Closed;
    in_.clear();
    inStart_ = 0;
    out_.clear();
}

void CRfc2217SerialDevice::Close() {
    if (state_ == State::Resolving) Release();
    if (fd_ < 0) return;
    if (state_ == State::Open && gone_ == 0) {
        // As a local port closes: both queues discarded, DTR lowered. What the socket does not
        // take at once is dropped with the connection.
        const std::vector<uint8_t> purge = CRfc2217Codec::PurgeBoth();
        const std::vector<uint8_t> dtr = CRfc2217Codec::LowerDtr();
        out_.insert(out_.end(), purge.begin(), purge.end());
        out_.insert(out_.end(), dtr.begin(), dtr.end());
        Flush();
        ::shutdown(fd_, SHUT_WR);
    }
    Release();
    gone_ = 0;
}

}  // namespace tavrin
