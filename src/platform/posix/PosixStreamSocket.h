#pragma once
#include "platform/StreamSocket.h"

namespace tavrin {

// A non-blocking IPv4 TCP socket (the controller's telnet service). Sends never raise SIGPIPE:
// a peer that has gone reports EPIPE instead. Host names are resolved with getaddrinfo; one
// that does not resolve fails StartConnect with EHOSTUNREACH.
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
    int Descriptor() const override { return fd_; }

private:
    bool WaitFor(short events, int ms);
    int fd_ = -1;
    int lastError_ = 0;
    std::string lookupFailure_;
};

}  // namespace tavrin
