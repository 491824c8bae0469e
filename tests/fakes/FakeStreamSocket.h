#pragma once
#include <algorithm>
#include <cerrno>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "platform/StreamSocket.h"

namespace tavrin::testing {

// A stream socket in memory whose waits advance a FakeClock instead of sleeping.
class FakeStreamSocket : public StreamSocket {
public:
    // How one connect attempt ends.
    struct Attempt {
        int startResult = 0;           // 0 connected at once, EINPROGRESS, or a failure errno
        int answerAfterMs = -1;        // with EINPROGRESS: connected after this much waiting; -1 never
        int answerResult = 0;          // what the answer is (0 connected, or an errno)
        const char* lookup = nullptr;  // the resolver's text when the name was not found
    };

    explicit FakeStreamSocket(FakeClock& clock) : clock_(clock) {}

    int Create() override {
        ++creates;
        if (!createResults.empty()) {
            int rc = createResults.front();
            createResults.pop_front();
            if (rc != 0) return rc;
        }
        open = true;
        return 0;
    }
    int StartConnect(const std::string& host, int port) override {
        hosts.push_back(host);
        ports.push_back(port);
        current = attempts.empty() ? Attempt{} : attempts.front();
        if (!attempts.empty()) attempts.pop_front();
        connectStartMs = clock_.NowMs();
        return current.startResult;
    }
    std::string LookupFailure() const override { return current.lookup ? current.lookup : ""; }
    int WaitConnected(int ms) override {
        clock_.Advance(ms);
        const int64_t waited = clock_.NowMs() - connectStartMs;
        if (current.answerAfterMs >= 0 && waited >= current.answerAfterMs) return current.answerResult;
        return EINPROGRESS;
    }
    ssize_t Send(const uint8_t* bytes, size_t count) override {
        if (sendError != 0) {
            lastError = sendError;
            return -1;
        }
        size_t take = count;
        if (!acceptPattern.empty()) {
            take = std::min(count, acceptPattern.front());
            acceptPattern.push_back(acceptPattern.front());
            acceptPattern.pop_front();
        }
        sent.insert(sent.end(), bytes, bytes + take);
        return static_cast<ssize_t>(take);
    }
    ssize_t Receive(uint8_t* buffer, size_t count) override {
        if (receiveError != 0) {
            lastError = receiveError;
            return -1;
        }
        if (input.empty()) {
            if (peerClosed) return 0;
            lastError = EAGAIN;
            return -1;
        }
        size_t n = 0;
        while (n < count && !input.empty()) {
            buffer[n++] = input.front();
            input.pop_front();
        }
        return static_cast<ssize_t>(n);
    }
    bool WaitReadable(int ms) override {
        clock_.Advance(ms);
        if (onWaitReadable) onWaitReadable();
        return !input.empty() || peerClosed;
    }
    bool WaitWritable(int ms) override {
        clock_.Advance(ms);
        return true;
    }
    void ShutdownSend() override { ++shutdowns; }
    void Close() override {
        if (open) ++closes;
        open = false;
    }
    bool IsOpen() const override { return open; }
    int LastError() const override { return lastError; }
    int Descriptor() const override { return open ? 7 : -1; }

    void Feed(const std::vector<uint8_t>& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }

    bool open = false;
    std::deque<int> createResults;
    std::deque<Attempt> attempts;
    Attempt current;
    int64_t connectStartMs = 0;
    std::vector<std::string> hosts;
    std::vector<int> ports;
    std::vector<uint8_t> sent;
    std::deque<size_t> acceptPattern;  // bytes taken per Send call, cycled (0 = would block)
    std::deque<uint8_t> input;
    bool peerClosed = false;
    int sendError = 0, receiveError = 0, lastError = 0;
    int creates = 0, closes = 0, shutdowns = 0;
    std::function<void()> onWaitReadable;

private:
    FakeClock& clock_;
};

// Hands every call to a socket the test keeps, so it can be inspected after its owner let go.
class ForwardingSocket : public StreamSocket {
public:
    explicit ForwardingSocket(StreamSocket& target) : t_(target) {}
    int Create() override { return t_.Create(); }
    int StartConnect(const std::string& host, int port) override { return t_.StartConnect(host, port); }
    int WaitConnected(int ms) override { return t_.WaitConnected(ms); }
    ssize_t Send(const uint8_t* bytes, size_t count) override { return t_.Send(bytes, count); }
    ssize_t Receive(uint8_t* buffer, size_t count) override { return t_.Receive(buffer, count); }
    bool WaitReadable(int ms) override { return t_.WaitReadable(ms); }
    bool WaitWritable(int ms) override { return t_.WaitWritable(ms); }
    void ShutdownSend() override { t_.ShutdownSend(); }
    void Close() override { t_.Close(); }
    bool IsOpen() const override { return t_.IsOpen(); }
    int LastError() const override { return t_.LastError(); }
    std::string LookupFailure() const override { return t_.LookupFailure(); }
    int Descriptor() const override { return t_.Descriptor(); }

private:
    StreamSocket& t_;
};

}  // namespace tavrin::testing
