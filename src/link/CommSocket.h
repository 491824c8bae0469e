#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/LifeToken.h"
#include "platform/ReadinessWatch.h"
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

// The TCP/IP socket of the terminal. Nothing here waits: the connect runs on while the event
// loop serves everything else and answers through a callback (or a time limit), and what the
// kernel does not take of a send goes into a bounded outbox, which the event loop empties
// whenever the socket can take bytes again.
class CCommSocket {
public:
    // The connect gives up after this many seconds without an answer.
    static constexpr int kConnectTimeoutSec = 5;
    // While this much waits for a peer that does not read, a send is refused (ENOBUFS): room for
    // most of a minute of a macro's Send File (400 bytes a tick, whatever still waits).
    static constexpr size_t kOutboxLimit = 1 << 20;
    // One read from the socket takes up to this much.
    static constexpr size_t kReadAheadSize = 65536;

    CCommSocket(std::unique_ptr<StreamSocket> socket, Shell& shell);
    ~CCommSocket();
    CCommSocket(const CCommSocket&) = delete;
    CCommSocket& operator=(const CCommSocket&) = delete;

    // Creates the stream socket with keep-alive on. 0 or an errno.
    int Create();
    // Starts connecting to host (dotted address or host name) and port. Returns 0 when
    // connected at once, an errno when the attempt failed at once, or EINPROGRESS: `done` is
    // then called from the event loop with 0 once connected, the errno of the failure, or
    // ETIMEDOUT after kConnectTimeoutSec seconds without an answer (`done` may destroy this
    // socket). Another call after a failed attempt starts on a fresh socket; a call while an
    // attempt runs is refused with EALREADY.
    int BeginConnect(const std::string& host, int port, std::function<void(int error)> done);
    bool Connecting() const { return static_cast<bool>(connectDone_); }
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
    // not yet taken is held here and handed out first. The caller takes all that is held before
    // it waits for the socket's readiness again.
    ssize_t ReceiveNow(uint8_t* buffer, size_t count);
    // Bytes read from the socket and not yet handed out.
    size_t Held() const { return heldEnd_ - heldAt_; }
    void ShutdownSend();
    void Close();

    bool IsOpen() const { return socket_ && socket_->IsOpen(); }
    int Descriptor() const { return socket_ ? socket_->Descriptor() : -1; }
    int LastError() const { return lastError_; }
    // Why the last connect attempt failed: "connect", the address as host:port, and the reason
    // (refused, no route, timed out, the host name unknown). Success after one that worked.
    const Status& ConnectFailure() const { return connectFailure_; }

private:
    // Hands the socket what it takes of the outbox now; watches for writability while some is
    // left. False on a socket error (LastError()).
    bool FlushOutbox();
    void WatchOutbox(bool on);
    void NoteSend(bool ok);
    void DropOutbox();

    // Watches the connect under way (a host-name lookup, then the connect itself).
    void WatchConnect();
    // The watched descriptor became ready during a connect: it goes on, or it has ended.
    void CheckConnect();
    // Ends the running connect attempt with this result and tells its caller.
    void EndConnect(int error);
    // Keeps why an attempt to host:port ended with rc (nothing when it connected).
    int NoteConnectResult(int rc);

    std::unique_ptr<StreamSocket> socket_;
    Shell& shell_;
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
    std::function<void(int)> connectDone_;  // set while an attempt runs
    ReadinessWatch connectWatch_;
    unsigned connectAttempt_ = 0;  // tells a stale time limit from the current attempt's
    LifeToken life_;
    std::string connectAddress_;  // host:port of the attempt
    int lastError_ = 0;
    Status connectFailure_;
};

}  // namespace tavrin
