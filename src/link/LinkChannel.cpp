#include "link/LinkChannel.h"

namespace tavrin {

CLinkChannel::CLinkChannel(CPelinDoc& doc, CSerialChannel& serial, Shell& shell)
    : doc_(doc), serial_(serial), shell_(shell) {}

int CLinkChannel::ReadLinkByte() {
    if (doc_.isTcp != 0) {
        // The socket arrives with the TCP/IP channel; without one nothing can be read.
        return -1;
    }
    uint8_t byte = 0;
    if (serial_.ReadComPortIdle(&byte, 1) != 1) return -1;
    return byte;
}

void CLinkChannel::SendLinkByte(uint8_t byte) {
    SendLinkBytes(&byte, 1);
}

void CLinkChannel::SendLinkBytes(const uint8_t* bytes, size_t count) {
    if (bytes == nullptr || count == 0) return;
    if (doc_.isTcp != 0) return;
    serial_.WriteComPort(bytes, count);
}

size_t CLinkChannel::SendOnSocket(const uint8_t*, size_t) {
    return 0;
}

void CLinkChannel::PurgeComPort() {
    serial_.PurgeComPort();
}

}  // namespace tavrin
