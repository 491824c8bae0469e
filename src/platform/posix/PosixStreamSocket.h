#pragma once
#include "platform/StreamSocket.h"
#include "platform/posix/HostLookup.h"

namespace tavrin {

// A non-blocking IPv4 TCP socket (the controller's telnet service). Sends never raise SIGPIPE:
// a peer that has gone reports EPIPE instead. A host name is looked up on a thread of its own
// while the connect counts as under way (Descriptor() is then the lookup's, readable when the
// answer is in); one that does not resolve ends the connect with EHOSTUNREACH.
class CPosixStreamSocket : public StreamSocket {
public:
    CPosixStreamSocket() = default;
    ~CPosixStreamSocket() override;
    CPosixStreamSocket(const CPosixStreamSocket&) = delete;
    CPosixStreamSocket& operator=(const CPosixStreamSocket&) = delete;

    int Create() override;
    int StartConnect(const std::string& host, int port) override;
    int WaitConnected(int ms) override;
    ssize_t Send(const uint8_t* bytes, size_t count) override;
    ssize_t Receive(uint8_t* buffer, size_t count) override;
    bool WaitReadable(int ms) override;
    bool WaitWritable(int ms) override;
    void ShutdownSend() override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    int LastError() const override { return lastError_; }
    std::string LookupFailure() const override { return lookupFailure_; }
    int Descriptor() const override { return lookup_.Pending() ? lookup_.Descriptor() : fd_; }
    bool ConnectWaitsForWrite() const override { return !lookup_.Pending(); }

private:
    bool WaitFor(short events, int ms);
    int Connect(const sockaddr* address, socklen_t length);
    // The lookup has answered: connect to its first address.
    int ConnectToLookedUp();
    CHostLookup lookup_;
    int port_ = 0;
    int fd_ = -1;
    int lastError_ = 0;
    std::string lookupFailure_;
};

}  // namespace tavrin
