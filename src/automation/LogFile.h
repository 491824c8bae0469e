#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "platform/Status.h"

namespace tavrin {

class Shell;

inline constexpr size_t kLogRowBytes = 80;

// The log file: what the terminal shows, one 80-byte screen row and CR LF per line, no header
// and no time stamps. Written by the receive interpreter and the local-text printer at every
// line feed while it is open; opened and closed by the menu commands and by the macro
// statements openlog and closelog.
class CLogFile {
public:
    CLogFile() = default;
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Creates (truncating) the file at path as the log, closing any log open before.
    // 0 on success, -20 when it cannot be created (the log then stays closed; LastFailure()
    // says why).
    int OpenLogFile(const std::string& path);
    void CloseLogFile();
    // Why the last open, write or close of the log failed.
    const Status& LastFailure() const { return failure_; }
    bool IsLogOpen() const { return file_ != nullptr; }
    const std::string& LogPath() const { return path_; }

    // Writes the row's first 80 bytes (blanks after a shorter row), then CR LF. A write that
    // fails closes the log and is told through onWriteFailed, once. False only when a write
    // failed.
    bool WriteLogLine(std::span<const uint8_t> row);

    // Called whenever the log opens or closes (the window title shows whether one is open).
    std::function<void()> onStateChanged;
    // Called when a write or the close of an open log failed: the log has stopped.
    std::function<void(const Status&)> onWriteFailed;

private:
    void Changed() {
        if (onStateChanged) onStateChanged();
    }

    // Closes the file after a failed write or close and tells so.
    void Failed(const char* what, int error);

    std::FILE* file_ = nullptr;
    std::string path_;
    Status failure_;
};

// "The log <path> could not be written: <reason>. Logging has stopped." in the current
// language (UTF-8).
std::string LogStoppedText(const Status& failure);

// The ".log" rule of the Open Log File dialog: with the "*.log" filter selected (index 0), a
// name whose extension, lower-cased, is not "log" (or that has none) gets ".log" appended.
std::string ApplyLogExtension(const std::string& path, int filterIndex);

// "&Open Log File": the save dialog titled with message 20, the ".log" rule, the file created;
// a box with message -20 and the file's name and the reason when it cannot be. Returns 0 when a log was
// opened, -1 on Cancel, -20 on failure.
int OpenLogFileCommand(CLogFile& log, Shell& shell);

}  // namespace tavrin
