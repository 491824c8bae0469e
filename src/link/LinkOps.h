#pragma once
#include <cstddef>
#include <cstdint>

namespace tavrin {

// The link: how every subsystem sends to the controller without knowing the medium; what the
// controller sends arrives through the event loop, never by asking here. The view's
// implementation dispatches on the document's isTcp to the serial port or the socket; tests use
// a scripted link.
class LinkOps {
public:
    virtual ~LinkOps() = default;
    virtual void SendLinkByte(uint8_t byte) = 0;
    virtual void SendLinkBytes(const uint8_t* bytes, size_t count) = 0;
    // Sends a telnet reply on the socket itself; returns the count the socket took (0 when there
    // is no socket).
    virtual size_t SendOnSocket(const uint8_t* bytes, size_t count) = 0;
    // Discards everything queued on the serial port (nothing on TCP/IP).
    virtual void PurgeComPort() = 0;
};

}  // namespace tavrin
