#pragma once
#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin {

// One TCP stream socket, non-blocking underneath. Single-threaded; owned by CCommSocket, which
// builds the connect time limit and the blocking receive on top of these primitives.
class StreamSocket {
public:
    virtual ~StreamSocket() = default;
    // Creates the socket with keep-alive on. Returns 0 or an errno.
    virtual int Create() = 0;
    // Starts connecting to host (dotted address or name) and port. Returns 0 when connected at
    // once, EINPROGRESS while the connect goes on, or another errno on failure.
    virtual int StartConnect(const std::string& host, int port) = 0;
    // Waits at most ms for the connect to finish. Returns 0 when connected, EINPROGRESS when
    // still going on after ms, or the errno of the failed connect (EHOSTUNREACH, with
    // LookupFailure(), for a host name that could not be looked up).
    virtual int WaitConnected(int ms) = 0;
    // Sends what the kernel takes now; returns the count taken (0 when it would block) or -1 on
    // an error (errno kept in LastError()).
    virtual ssize_t Send(const uint8_t* bytes, size_t count) = 0;
    // Receives at most count bytes without waiting: the count, 0 when the peer has closed,
    // -1 when nothing is waiting (LastError() EAGAIN) or on an error.
    virtual ssize_t Receive(uint8_t* buffer, size_t count) = 0;
    // Waits at most ms until a byte can be read or the peer has closed; true when so.
    virtual bool WaitReadable(int ms) = 0;
    // Waits at most ms until Send would take bytes; true when so.
    virtual bool WaitWritable(int ms) = 0;
    virtual void ShutdownSend() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual int LastError() const = 0;
    // When the last connect failed because the host name could not be looked up: the
    // resolver's text ("Name or service not known"); else empty.
    virtual std::string LookupFailure() const { return {}; }
    // The descriptor to watch for readiness, or -1 when closed.
    virtual int Descriptor() const = 0;
    // While a connect is under way: whether Descriptor() is to be watched for writability (the
    // connect itself) or for readability (a host-name lookup that comes first). It may change
    // after a WaitConnected that answers EINPROGRESS.
    virtual bool ConnectWaitsForWrite() const { return true; }
};

}  // namespace tavrin
