#pragma once
#include <chrono>
#include <string>
#include <vector>

#include "platform/Rfc2217Codec.h"
#include "platform/SerialDevice.h"
#include "platform/posix/HostLookup.h"

namespace tavrin {

// A serial port behind a serial device server (ser2net and the like), opened as
// "rfc2217://HOST:PORT": a non-blocking TCP connection speaking telnet with the COM-PORT-OPTION.
//
// Open starts the connect and returns EINPROGRESS (a host name is first looked up on a thread of
// its own: Descriptor() is then the lookup's, to be watched for reading, and the time limit
// covers lookup and connect); ContinueOpen finishes the connect, negotiates
// (see CRfc2217Codec) and returns 0 once the server has confirmed the frame. Failures:
//  - the address does not parse: EINVAL; the host name does not resolve: EHOSTUNREACH;
//  - the connect fails: its errno; no answer within kConnectLimitMs: ETIMEDOUT;
//  - the server closes the connection while negotiating: EBUSY when it said the port is in use
//    ("Port already in use"), else ECONNRESET; BusyHolder() and FailureText() carry its words;
//  - the server refuses the option or answers another value: EINVAL, FailureText() naming it;
//  - no complete negotiation within kNegotiateLimitMs: ETIMEDOUT.
// Once open it behaves as a local port: reads never wait, writes give up after kWriteLimitMs,
// Purge discards what was received (the server's port is purged at open and close), Close
// purges and lowers DTR.
// A lost connection (closed, reset, keep-alive expired) is the line's end: LineError() reports
// it once the bytes received before it have been read; EBUSY when the server closed it for
// another client ("kicked off").
class CRfc2217SerialDevice : public SerialDevice {
public:
    CRfc2217SerialDevice() = default;
    ~CRfc2217SerialDevice() override;
    CRfc2217SerialDevice(const CRfc2217SerialDevice&) = delete;
    CRfc2217SerialDevice& operator=(const CRfc2217SerialDevice&) = delete;

    int Open(const std::string& path, const SerialParams& params) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0 || state_ == State::Resolving; }
    size_t Write(const uint8_t* bytes, size_t count) override;
    bool Writable() const override;
    size_t Queued() override;
    size_t Read(uint8_t* buffer, size_t count) override;
    int WaitReadable(int ms) override;
    void Purge() override;
    int Descriptor() const override { return state_ == State::Resolving ? lookup_.Descriptor() : fd_; }
    int LineError() override;
    std::string BusyHolder() const override { return holder_; }
    int ContinueOpen() override;
    bool OpenWaitsForWrite() const override { return state_ == State::Connecting; }
    int OpenTimeLeftMs() const override;
    std::string FailureText(bool english) const override { return english ? failure_ : failureJapanese_; }

    const CRfc2217Codec::LineEvents& LineEvents() const { return codec_.Events(); }

    static constexpr int kConnectLimitMs = 5000;
    static constexpr int kNegotiateLimitMs = 5000;
    static constexpr int kWriteLimitMs = 500;
    // Keep-alive: the first probe after this much silence, then one every interval; the link is
    // lost after kKeepAliveProbes unanswered ones (about 20 s in all). Sent data not acknowledged
    // for kUserTimeoutMs also ends the link.
    static constexpr int kKeepAliveIdleS = 10;
    static constexpr int kKeepAliveIntervalS = 3;
    static constexpr int kKeepAliveProbes = 3;
    static constexpr int kUserTimeoutMs = 20000;
    // Bytes kept for sending when the network takes none for a moment; beyond it Write waits.
    static constexpr size_t kOutboundLimit = 256 * 1024;
    // The last received text kept for a server's parting words.
    static constexpr size_t kTailLimit = 160;

private:
    enum class State { Closed, Resolving, Connecting, Negotiating, Open };
    using Steady = std::chrono::steady_clock;

    // Reads what the socket holds into the codec; sends its replies. False when the connection
    // has ended (gone_ set).
    bool Pump();
    // Sends what is queued as far as the socket takes it now.
    void Flush();
    void Fail(int error, const std::string& english, const std::string& japanese);
    void Release();
    // Starts the connect to the server's first address. 0 (connect under way) or an errno.
    int StartConnecting(const ResolvedAddress& server);
    int EndOfNegotiation();
    // 1 when the socket holds bytes, -1 when it has ended (or failed), 0 otherwise; reads nothing.
    int PeekSocket() const;
    // EBUSY when the server's last words say another client holds the port.
    int ParticularEnd() const;

    CHostLookup lookup_;  // the server's name, while State::Resolving
    std::string serverName_;
    std::vector<ResolvedAddress> otherServers_;  // the name's further addresses, tried in turn
    int fd_ = -1;
    State state_ = State::Closed;
    int gone_ = 0;
    Steady::time_point deadline_{};
    SerialParams params_;
    CRfc2217Codec codec_;
    std::vector<uint8_t> in_;
    size_t inStart_ = 0;
    std::vector<uint8_t> out_;
    std::string tail_;
    std::string holder_;
    std::string failure_;
    std::string failureJapanese_;
};

}  // namespace tavrin
