#pragma once
#include <cerrno>
#include <deque>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

namespace tavrin::testing {

// A serial device in memory: records opens, closes and writes, and serves queued input.
class FakeSerialDevice : public SerialDevice {
public:
    int Open(const std::string& path, const SerialParams& params) override {
        if (open) Close();
        openedPaths.push_back(path);
        openedParams.push_back(params);
        if (!failures.empty()) {
            int err = failures.front();
            failures.pop_front();
            if (err != 0) return err;
        }
        open = true;
        return 0;
    }
    void Close() override {
        if (!open) return;
        open = false;
        ++closes;
    }
    bool IsOpen() const override { return open; }
    size_t Write(const uint8_t* bytes, size_t count) override {
        if (!open) return 0;
        size_t taken = count < writeLimit ? count : writeLimit;
        written.insert(written.end(), bytes, bytes + taken);
        lastWriteError = taken < count ? writeError : 0;
        return taken;
    }
    int LastWriteError() const override { return lastWriteError; }
    size_t Queued() override { return open ? input.size() : 0; }
    size_t Read(uint8_t* buffer, size_t count) override {
        if (!open) return 0;
        ++readCalls;
        size_t n = 0;
        while (n < count && !input.empty()) {
            buffer[n++] = input.front();
            input.pop_front();
        }
        return n;
    }
    // Never waits: bytes are either queued already or not coming while the test runs.
    int WaitReadable(int) override { return Queued() > 0 ? 1 : -1; }
    void Purge() override {
        ++purges;
        input.clear();
    }
    int Descriptor() const override { return open ? 42 : -1; }
    int LineError() override { return open ? lineError : 0; }
    std::string BusyHolder() const override { return busyHolder; }

    void Feed(const std::vector<uint8_t>& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }
    void FeedText(const std::string& text) { input.insert(input.end(), text.begin(), text.end()); }
    // Everything written so far, as text.
    std::string WrittenText() const { return {written.begin(), written.end()}; }

    bool open = false;
    std::deque<int> failures;  // errno for the next opens (0 = succeed)
    std::vector<std::string> openedPaths;
    std::vector<SerialParams> openedParams;
    std::vector<uint8_t> written;
    std::deque<uint8_t> input;
    size_t writeLimit = static_cast<size_t>(-1);
    int writeError = ETIMEDOUT;  // why a write beyond writeLimit falls short
    int lastWriteError = 0;
    int closes = 0, purges = 0, readCalls = 0;
    int lineError = 0;       // what LineError reports while open (the device "unplugged")
    std::string busyHolder;  // what BusyHolder reports
};

}  // namespace tavrin::testing
