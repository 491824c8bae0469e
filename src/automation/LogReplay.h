#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace tavrin {

class Shell;
class Clock;

// The pause before each replayed command line.
inline constexpr int kReplayLinePauseMs = 100;

// Replays the commands of a log file: every logged line that starts with the controller's
// prompt ">" is typed again, the characters after the ">" and a line feed, 100 ms after the
// previous command line. The file is read on a worker thread; the characters reach the
// terminal through Shell::Post, so they are typed in order on the event-loop thread.
class CLogReplay {
public:
    // typeChar types one character on the keyboard path; it is called on the event-loop
    // thread only (from posted tasks). clock must be safe to use from the worker thread.
    CLogReplay(Shell& shell, Clock& clock, std::function<void(uint8_t)> typeChar);
    // Stops a replay and waits for its thread (at most the line it is working on).
    ~CLogReplay();
    CLogReplay(const CLogReplay&) = delete;
    CLogReplay& operator=(const CLogReplay&) = delete;

    // "&Replay Command by Log File", on the event-loop thread: sets the running flag, asks for
    // the log file (open dialog titled with message 20) and starts the worker on it. After
    // Cancel the flag stays set until StopReplay, as it does when the file cannot be read.
    void StartReplay();
    // "S&top Command by Log File": clears the flag; the worker ends after its current line.
    void StopReplay() { running_ = false; }
    bool IsReplayRunning() const { return running_; }

    // The worker's body: replays path while the flag is set, then clears the flag. Public so
    // that a test can run it on its own thread with a fake clock.
    void ReplayLog(const std::string& path);
    // Waits for a worker started by StartReplay to end.
    void Join();

    // Sets the flag as StartReplay does, for a caller that runs ReplayLog itself.
    void MarkRunning() { running_ = true; }

private:
    Shell& shell_;
    Clock& clock_;
    std::function<void(uint8_t)> typeChar_;
    // Written by the event-loop thread, read by the worker: an atomic word, so that a stop is
    // seen at the next line the worker examines.
    std::atomic<bool> running_{false};
    std::thread worker_;
};

}  // namespace tavrin
