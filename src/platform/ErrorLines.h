#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace tavrin {

// One line for the error stream as it may be shown: control bytes (BEL, ESC, CR, ...) and DEL
// become "^G"-style pairs, so nothing a controller or peer sent can ring, move the cursor or
// recolour the user's terminal. Bytes 0x80 and up are kept (UTF-8 text).
std::string PrintableErrorLine(const std::string& line);

// Folds runs of identical lines on the error stream: the first line of a run is written at
// once, its repeats are only counted, and "last message repeated N times" is written when a
// different line comes or on Flush, which the owner calls at exit and once the run has been
// quiet for kQuietMs. A flood of one failure costs two lines, not thousands.
class CErrorLineFolder {
public:
    static constexpr int64_t kQuietMs = 1000;

    // write gets each line to show, without its line end.
    explicit CErrorLineFolder(std::function<void(const std::string&)> write);

    void Line(const std::string& line);
    // Writes the count of a pending run, if any; the next line starts afresh.
    void Flush();
    // Repeats counted and not yet written.
    int Pending() const { return repeats_; }

private:
    std::function<void(const std::string&)> write_;
    std::string last_;
    bool haveLast_ = false;
    int repeats_ = 0;
};

}  // namespace tavrin
