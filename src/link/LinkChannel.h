#pragma once
#include <cstddef>
#include <cstdint>

#include "app/PelinDoc.h"
#include "link/LinkOps.h"
#include "link/SerialChannel.h"
#include "platform/Shell.h"

namespace tavrin {

// The link operations of the terminal: every byte to and from the controller passes here and
// goes to the serial channel or to the document's socket, as the document's isTcp says.
class CLinkChannel : public LinkOps {
public:
    CLinkChannel(CPelinDoc& doc, CSerialChannel& serial, Shell& shell);

    // Serial: written as the port takes them. TCP/IP: nothing without a socket, else sent whole;
    // a socket error shows "TCP/IP Send error", once until a send succeeds again.
    void SendLinkByte(uint8_t byte) override;
    void SendLinkBytes(const uint8_t* bytes, size_t count) override;
    size_t SendOnSocket(const uint8_t* bytes, size_t count) override;
    void PurgeComPort() override;
    // Bytes wait for the controller to take them (the socket's outbox, a serial line that takes
    // nothing now): more typing would only pile up.
    bool Backlogged() const;

    static constexpr const char* kReceiveErrorText = "TCP/IP Receive error";
    static constexpr const char* kSendErrorText = "TCP/IP Send error";

private:
    CPelinDoc& doc_;
    CSerialChannel& serial_;
    Shell& shell_;
};

}  // namespace tavrin
