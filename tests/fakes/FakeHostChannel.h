#pragma once
#include <string>
#include <vector>

#include "platform/HostChannel.h"

namespace tavrin::testing {

// The host editor's socket in memory: records the paths opened and the records sent, and hands
// out the records a test queues.
class FakeHostChannel : public HostChannel {
public:
    int Open(const std::string& path) override {
        openedPaths.push_back(path);
        open = openResult == kHostOpened;
        return openResult;
    }
    int Send(const HostRecord& record) override {
        if (!open) return -1;
        sent.push_back(record);
        return 0;
    }
    int Receive(std::vector<HostRecord>& out) override {
        if (!open) return -1;
        out.insert(out.end(), incoming.begin(), incoming.end());
        incoming.clear();
        return 0;
    }
    int Descriptor() const override { return open ? descriptor : -1; }
    bool IsOpen() const override { return open; }
    void Close() override { open = false; }

    int openResult = kHostNoSocket;  // what the next Open answers
    int descriptor = 64;
    bool open = false;
    std::vector<std::string> openedPaths;
    std::vector<HostRecord> sent;
    std::vector<HostRecord> incoming;
};

}  // namespace tavrin::testing
