#include "link/LinkChannel.h"

#include "link/CommSocket.h"

namespace tavrin {

CLinkChannel::CLinkChannel(CPelinDoc& doc, CSerialChannel& serial, Shell& shell)
    : doc_(doc), serial_(serial), shell_(shell) {}

void CLinkChannel::SendLinkByte(uint8_t byte) {
    SendLinkBytes(&byte, 1);
}

void CLinkChannel::SendLinkBytes(const uint8_t* bytes, size_t count) {
    if (bytes == nullptr || count == 0) return;
    if (doc_.isTcp != 0) {
        if (doc_.socket == nullptr) return;
        // Told once per run of failures, not once per byte typed into a dead link.
        if (doc_.socket->Send(bytes, count) < 0 && doc_.socket->SendFailureIsNew())
            shell_.Tell(kSendErrorText);
        return;
    }
    // A write cut short is a link error: told with what was not sent, once per run of them.
    if (serial_.WriteComPort(bytes, count) < count && serial_.WriteFailureIsNew())
        shell_.Tell(DescribeSerialWriteFailure(serial_.LastWriteFailure(), serial_.LastUnsent(), count),
                    BoxIcon::Exclamation);
}

size_t CLinkChannel::SendOnSocket(const uint8_t* bytes, size_t count) {
    if (doc_.socket == nullptr || bytes == nullptr || count == 0) return 0;
    ssize_t n = doc_.socket->Send(bytes, count);
    return n < 0 ? 0 : static_cast<size_t>(n);
}

bool CLinkChannel::Backlogged() const {
    if (doc_.isTcp != 0) return doc_.socket != nullptr && doc_.socket->Unsent() > 0;
    return serial_.Backlogged();
}

void CLinkChannel::PurgeComPort() {
    if (doc_.isTcp == 0) serial_.PurgeComPort();
}

}  // namespace tavrin
