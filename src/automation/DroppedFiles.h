#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tavrin {

struct CPelinDoc;
class CMacroEngine;
class Shell;
class Clock;

// The pause after each typed line of a dropped text file.
inline constexpr int kDroppedLinePauseMs = 100;

// Files dropped on the terminal window: a ".uas" file (in any case) is started as a macro;
// any other file is typed into the terminal line by line. The lines are queued when the files
// are dropped and typed from the poll tick, one line and its line end every 100 ms, so the
// window never waits for them.
class CDroppedFiles {
public:
    // typeChar types one character on the keyboard path (a CR acts as Enter).
    CDroppedFiles(CPelinDoc& doc, CMacroEngine& engine, Shell& shell, Clock& clock,
                  std::function<void(uint8_t)> typeChar);

    // The drop, in the order the files are given; ignored while not connected. A file that
    // does not exist shows "file not found.", one that cannot be read "file drop error.", each
    // with a line naming the file and the reason; the next file is still handled.
    void OnDropFiles(const std::vector<std::string>& files);
    // On every poll tick: types the next queued line when its time has come.
    void OnTick();
    // Lines still waiting to be typed.
    size_t PendingLines() const { return lines_.size(); }

private:
    // Reads a text file's lines into the queue: tabs become blanks, each line gets the line
    // end of the medium. 0, or the errno when the file could not be read (nothing queued).
    int QueueTextFile(const std::string& name);

    CPelinDoc& doc_;
    CMacroEngine& engine_;
    Shell& shell_;
    Clock& clock_;
    std::function<void(uint8_t)> typeChar_;
    std::deque<std::string> lines_;  // each with its line end
    int64_t nextLineAtMs_ = 0;
    bool paused_ = false;  // a line has been typed and its pause is running
};

}  // namespace tavrin
