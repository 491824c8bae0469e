#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tavrin::sim {

// Byte-exact record of the link: every chunk read from the terminal is a line "RX hh hh ...",
// every chunk written to it a line "TX hh hh ..." (at most 16 bytes a line, in the order they
// passed), and "# text" lines mark sessions. Each line is flushed as it is written, so a test
// can read the file while the simulator runs.
class CSimLog {
public:
    CSimLog() = default;
    CSimLog(const CSimLog&) = delete;
    CSimLog& operator=(const CSimLog&) = delete;
    ~CSimLog();

    // Creates (truncates) the file. Returns 0, or -2 when it cannot be created.
    int Open(const std::string& path);
    bool IsOpen() const { return file != nullptr; }

    void Note(std::string_view text);
    void Received(const uint8_t* data, size_t count) { Bytes("RX", data, count); }
    void Sent(const uint8_t* data, size_t count) { Bytes("TX", data, count); }

private:
    void Bytes(const char* tag, const uint8_t* data, size_t count);

    std::FILE* file = nullptr;
};

}  // namespace tavrin::sim
