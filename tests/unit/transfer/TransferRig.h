#pragma once
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "TransferDriver.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "transfer/TransferProtocol.h"

namespace tavrin::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A serial port whose purge really discards what is queued.
class PurgingLink : public ScriptedLink {
public:
    void PurgeComPort() override {
        ScriptedLink::PurgeComPort();
        input.clear();
    }
};

// A temporary folder, removed with its files.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/tavrin-transfer-XXXXXX";
        path_ = mkdtemp(pattern);
        path_ += '/';
    }
    ~TempFolder() {
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") unlink((path_ + name).c_str());
            }
            closedir(dir);
        }
        rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }  // with its trailing '/'
    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(path_ + name, std::ios::binary) << content;
    }
    bool Exists(const std::string& name) const {
        struct stat st {};
        return stat((path_ + name).c_str(), &st) == 0;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(path_ + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The content of the hidden entry (an open save's temporary file); empty when none.
    std::string ReadHidden() const {
        std::string found;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name[0] == '.' && name != "." && name != "..") found = name;
            }
            closedir(dir);
        }
        return found.empty() ? std::string() : Read(found);
    }
    // Every entry, hidden ones (a save's temporary file) included.
    size_t CountAll() const {
        size_t n = 0;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                n += name != "." && name != "..";
            }
            closedir(dir);
        }
        return n;
    }
    size_t Count() const {
        size_t n = 0;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
            closedir(dir);
        }
        return n;
    }

private:
    std::string path_;
};

// The controller's side of the serial exchange, played from what the terminal sends. For each
// request: the terminal ACKs the ENQ -> the next request record goes out; the record is NAKed
// -> the next queued record (a resend) goes out; ACKed -> EOT. Then the terminal's reply: its
// ENQ is answered with enqAnswer, its record with the next of recordAnswers (default ACK).
struct SerialController {
    explicit SerialController(PurgingLink& l) : link(l) {
        link.onSend = [this](const uint8_t* bytes, size_t count) { OnSend(bytes, count); };
    }

    void OnSend(const uint8_t* bytes, size_t count) {
        if (count > 1) {
            replies.emplace_back(bytes, bytes + count);
            if (recordAnswers.empty()) {
                link.Feed(Bytes{kAck});
            } else {
                if (recordAnswers.front() >= 0) link.Feed(Bytes{static_cast<uint8_t>(recordAnswers.front())});
                recordAnswers.pop_front();
            }
            return;
        }
        const uint8_t b = bytes[0];
        if (requestPhase) {
            if (b == kAck && !recordSent) {
                if (!requests.empty()) link.Feed(requests.front());
                recordSent = true;
            } else if (b == kAck) {
                link.Feed(Bytes{kEot});
                requestPhase = false;
            } else if (b == kNak) {
                if (!requests.empty()) requests.pop_front();
                if (!requests.empty()) link.Feed(requests.front());
            }
        } else if (b == kEnqByte && enqAnswer >= 0) {
            link.Feed(Bytes{static_cast<uint8_t>(enqAnswer)});
        }
    }

    // Queues one request (and optional resends) for the next exchange.
    void Request(std::deque<Bytes> records) {
        requests = std::move(records);
        requestPhase = true;
        recordSent = false;
    }

    PurgingLink& link;
    std::deque<Bytes> requests;
    bool requestPhase = false;
    bool recordSent = false;
    int enqAnswer = kAck;
    std::deque<int> recordAnswers;  // -1: no answer
    std::vector<Bytes> replies;
};

// Everything a transfer needs, with a clock that moves 1 ms per empty read.
struct TransferRig {
    TransferRig() {
        link.onEmptyRead = [this] { clock.Advance(1); };
        protocol.Files().printText = [this](const std::string& text) { printed += text; };
        protocol.session.Hooks().printText = [this](const std::string& text) { printed += text; };
    }

    CPelinDoc doc;
    ViewState view;
    PurgingLink link;
    FakeClock clock;
    RecordingShell shell;
    TransferDriver protocol{doc, link, clock, view};
    std::string printed;
};

// The data of a serial record built by the terminal (after STX, letter and the length words).
inline Bytes RecordData(const Bytes& record) {
    if (record.size() < 7) return {};
    return Bytes(record.begin() + 6, record.end() - 1);
}

inline int32_t Be32(const Bytes& data, size_t at) {
    return static_cast<int32_t>(uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 |
                                uint32_t(data[at + 2]) << 8 | uint32_t(data[at + 3]));
}

inline Bytes Record(uint8_t letter, const Bytes& data) {
    return BuildSerialRecord(letter, data.data(), data.size());
}

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Be(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

// A D request: four echo bytes (byte 0 bit 3 = compressed), two unused, length, block.
inline Bytes WriteRequest(const Bytes& block, bool compressed = false, int declared = -1) {
    const int length = declared >= 0 ? declared : static_cast<int>(block.size());
    Bytes data{
        uint8_t(compressed ? 0x08 : 0x00), 0x11, 0x22, 0x33, 0, 0, uint8_t(length >> 8), uint8_t(length)};
    return Concat(data, block);
}

// A serial transfer against a scripted controller, in a folder of its own.
struct SerialSession : TransferRig {
    SerialSession() : controller(link) {}
    int Request(uint8_t letter, const Bytes& data) {
        controller.Request({Record(letter, data)});
        controller.replies.clear();
        return protocol.HandleTransferRequest(folder.path());
    }
    Bytes ReplyData() const {
        return controller.replies.empty() ? Bytes{} : RecordData(controller.replies.back());
    }
    TempFolder folder;
    SerialController controller;
};

}  // namespace tavrin::testing
