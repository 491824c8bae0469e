#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Shell.h"
#include "platform/Status.h"
#include "platform/StreamSocket.h"

namespace tavrin {

// The telnet offers sent once right after connecting: IAC WILL TERMINAL-TYPE, and in the
// extended ("IsLinuxTelnet") form also IAC DO SUPPRESS-GO-AHEAD, IAC WILL SUPPRESS-GO-AHEAD,
// IAC DO ECHO and IAC WILL NAWS.
inline constexpr uint8_t kPlainTelnetOffer[] = {0xFF, 0xFB, 0x18};
inline constexpr uint8_t kLinuxTelnetOffer[] = {0xFF, 0xFB, 0x18, 0xFF, 0xFD, 0x03, 0xFF, 0xFB,
                                                0x03, 0xFF, 0xFD, 0x01, 0xFF, 0xFB, 0x1F};

// The TCP/IP socket of the terminal. Its blocking operations (connect, the one-byte receive)
// never re-enter the event loop: while they wait they only repaint the terminal through
// Shell::PaintNow, so no timer, key or socket handler runs in the middle of them. Sending never
// waits: what the kernel does not take at once goes into a bounded outbox, which the event loop
// empties whenever the socket can take bytes again.
class CCommSocket {
public:
    // Results of ReceiveByte besides a byte 0..255.
    static constexpr int kPeerClosed = -1;
    static constexpr int kBusy = -2;       // another blocking operation is waiting on this socket
    static constexpr int kWaitedOut = -3;  // nothing arrived within kReceiveWaitLimitMs
    static constexpr int kError = -4;      // a socket error (LastError())

    // The connect gives up after this many seconds without an answer.
    static constexpr int kConnectTimeoutSec = 5;
    // Each wait slice of a blocking operation; the deadlines are checked between slices.
    static constexpr int kWaitSliceMs = 5;
    // The terminal is repainted at most this often while an operation waits.
    static constexpr int kPaintIntervalMs = 50;
    // The one-byte receive gives up after kReceiveWaitLimitMs without a byte, so that its
    // callers' own deadlines (the 2-second echo wait of a transfer command) hold on TCP/IP as
    // they do on the serial line.
    static constexpr int kReceiveWaitLimitMs = 1000;
    // While this much waits for a peer that does not read, a send is refused (ENOBUFS): room for
    // most of a minute of a macro's Send File (400 bytes a tick, whatever still waits).
    static constexpr size_t kOutboxLimit = 1 << 20;
    // One read from the socket takes up to this much.
    static constexpr size_t kReadAheadSize = 65536;

    CCommSocket(std::unique_ptr<StreamSocket> socket, Shell& shell, Clock& clock);
    ~CCommSocket();
    CCommSocket(const CCommSocket&) = delete;
    CCommSocket& operator=(const CCommSocket&) = delete;

    // Creates the stream socket with keep-alive on. 0 or an errno.
    int Create();
    // Connects to host (dotted address or host name) and port, waiting at most
    // kConnectTimeoutSec seconds. 0 when connected; else the errno of the failure (ETIMEDOUT
    // when nothing answered). Another call after a failed one starts on a fresh socket.
    int Connect(const std::string& host, int port);
    // Hands the bytes to the socket without waiting: what it does not take now waits in the
    // outbox (behind what already waits there) and goes out as the socket takes it. count, or -1
    // on an error (LastError(); ENOBUFS while kOutboxLimit bytes wait: none of these is sent).
    ssize_t Send(const uint8_t* bytes, size_t count);
    // Bytes handed to Send that the socket has not taken yet.
    size_t Unsent() const { return outbox_.size() - outboxAt_; }
    // Whether the last Send failed after one that succeeded (or after the connection began):
    // a failure is told once, not once per byte, until a send goes through again.
    bool SendFailureIsNew() const { return sendFailureIsNew_; }
    // What has arrived, at most count bytes, without waiting: the count, 0 when the peer has
    // closed the connection, -1 when nothing is waiting (LastError() EAGAIN) or on an error.
    // The socket is read kReadAheadSize bytes at a time; what a read brought and the caller has
    // not yet taken is held here and handed out first, by this and by ReceiveByte alike, so the
    // bytes come out in the order they arrived whichever of the two asks. The caller takes all
    // that is held before it waits for the socket's readiness again.
    ssize_t ReceiveNow(uint8_t* buffer, size_t count);
    // Bytes read from the socket and not yet handed out.
    size_t Held() const { return heldEnd_ - heldAt_; }
    // The next byte 0..255, waiting for it; else kPeerClosed, kBusy, kWaitedOut or kError.
    int ReceiveByte();
    void ShutdownSend();
    void Close();

    bool IsOpen() const { return socket_ && socket_->IsOpen(); }
    int Descriptor() const { return socket_ ? socket_->Descriptor() : -1; }
    int LastError() const { return lastError_; }
    // Why the last Connect failed: "connect", the address as host:port, and the reason (refused,
    // no route, timed out, the host name unknown). Success after a connect that worked.
    const Status& ConnectFailure() const { return connectFailure_; }

private:
    // Hands the socket what it takes of the outbox now; watches for writability while some is
    // left. False on a socket error (LastError()).
    bool FlushOutbox();
    void WatchOutbox(bool on);
    void NoteSend(bool ok);
    void DropOutbox();

    int ConnectOnce(const std::string& host, int port);
    // One wait slice has passed: repaint when kPaintIntervalMs have gone by since the last one.
    void PaintWhileWaiting(int64_t& lastPaint);

    std::unique_ptr<StreamSocket> socket_;
    Shell& shell_;
    Clock& clock_;
    // What ReceiveNow's last read of the socket brought: held_[heldAt_ .. heldEnd_) is still to
    // be handed out.
    std::vector<uint8_t> held_;
    size_t heldAt_ = 0;
    size_t heldEnd_ = 0;
    // Bytes Send could not hand over yet: outbox_[outboxAt_ ..) goes out first.
    std::string outbox_;
    size_t outboxAt_ = 0;
    int watchedFd_ = -1;
    bool sendFailing_ = false;
    bool sendFailureIsNew_ = false;
    bool connectTried_ = false;
    bool busy_ = false;
    int lastError_ = 0;
    Status connectFailure_;
};

}  // namespace tavrin
