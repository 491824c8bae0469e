#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/LinkOps.h"

namespace tavrin::testing {

// A link that records every byte sent; `input` holds what the scripted controller sends, for
// the drivers that hand it to the terminal as the event loop would.
class ScriptedLink : public LinkOps {
public:
    void SendLinkByte(uint8_t byte) override { Sent(&byte, 1); }
    void SendLinkBytes(const uint8_t* bytes, size_t count) override { Sent(bytes, count); }
    size_t SendOnSocket(const uint8_t* bytes, size_t count) override {
        socketSent.insert(socketSent.end(), bytes, bytes + count);
        return socketShortBy >= count ? 0 : count - socketShortBy;
    }
    void PurgeComPort() override { ++purges; }

    void Feed(const std::vector<uint8_t>& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }
    void Feed(const std::string& text) { input.insert(input.end(), text.begin(), text.end()); }

    std::deque<uint8_t> input;
    std::vector<uint8_t> sent;
    std::vector<uint8_t> socketSent;
    size_t socketShortBy = 0;
    int purges = 0;
    // Called when a driver finds no input: a test can answer what was just sent.
    std::function<void()> onEmptyRead;
    // Called after every send with the bytes sent.
    std::function<void(const uint8_t*, size_t)> onSend;

private:
    void Sent(const uint8_t* bytes, size_t count) {
        sent.insert(sent.end(), bytes, bytes + count);
        if (onSend) onSend(bytes, count);
    }
};

}  // namespace tavrin::testing
