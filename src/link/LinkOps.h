#pragma once
#include <cstddef>
#include <cstdint>

namespace tavrin {

// The link: how every subsystem reaches the controller without knowing the medium. The view's
// implementation dispatches on the document's isTcp to the serial port or the socket; tests use
// a scripted link.
class LinkOps {
public:
    virtual ~LinkOps() = default;
    // The next received byte as 0..255, or -1 when nothing is waiting (serial: after a 1 ms
    // sleep) or nothing can be read (TCP/IP: waits, repainting only, until a byte arrives).
    virtual int ReadLinkByte() = 0;
    virtual void SendLinkByte(uint8_t byte) = 0;
    virtual void SendLinkBytes(const uint8_t* bytes, size_t count) = 0;
    // Sends a telnet reply on the socket itself; returns the count the socket took (0 when there
    // is no socket).
    virtual size_t SendOnSocket(const uint8_t* bytes, size_t count) = 0;
    // Discards everything queued on the serial port (nothing on TCP/IP).
    virtual void PurgeComPort() = 0;
};

}  // namespace tavrin
