#include "automation/LogReplay.h"

#include <cstdio>
#include <optional>

#include "app/MessageTable.h"
#include "platform/Clock.h"
#include "platform/Shell.h"

namespace tavrin {

namespace {

constexpr int kLogDialogTitle = 20;  // "Open logging file."

bool IsTrailingSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One line of a text file without its line feed; false at the end of the file.
bool ReadTextLine(std::FILE* file, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') return true;
        line.push_back(static_cast<char>(c));
    }
    return any;
}

}  // namespace

CLogReplay::CLogReplay(Shell& shell, Clock& clock, std::function<void(uint8_t)> typeChar)
    : shell_(shell), clock_(clock), typeChar_(std::move(typeChar)) {}

CLogReplay::~CLogReplay() {
    running_ = false;
    Join();
}

void CLogReplay::Join() {
    if (worker_.joinable()) worker_.join();
}

void CLogReplay::StartReplay() {
    // A replay still running is left alone (waiting for it would hold the window); a worker
    // finishing its last line after a stop is waited for, so that two never type at once.
    if (running_ && worker_.joinable()) return;
    Join();
    running_ = true;
    // The dialog is asked here, on the event-loop thread, where every Shell call but Post
    // belongs; only the reading and the pacing run on the worker.
    std::optional<std::string> chosen =
        shell_.AskOpenFile(GetMessageText(kLogDialogTitle), "*.log|*.log|*.*|*.*", "");
    if (!chosen) return;
    worker_ = std::thread([this, path = *chosen] { ReplayLog(path); });
}

void CLogReplay::ReplayLog(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return;  // no message; the flag stays set until the stop command
    std::string line;
    while (running_ && ReadTextLine(file, line)) {
        while (!line.empty() && IsTrailingSpace(line.back())) line.pop_back();
        line.push_back('\n');
        if (line.front() != '>') continue;
        clock_.SleepMs(kReplayLinePauseMs);
        for (size_t i = 1; i < line.size(); ++i) {
            uint8_t c = static_cast<uint8_t>(line[i]);
            shell_.Post([type = typeChar_, c] {
                if (type) type(c);
            });
        }
    }
    running_ = false;
    std::fclose(file);
}

}  // namespace tavrin
