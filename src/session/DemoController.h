#pragma once
#include <sys/types.h>
#include <string>

namespace tavrin {

// The built-in demo controller: tavrin-sim started on a free loopback port for the length of
// the run, so a new user sees a working controller console with one command.
class CDemoController {
public:
    CDemoController() = default;
    ~CDemoController();
    CDemoController(const CDemoController&) = delete;
    CDemoController& operator=(const CDemoController&) = delete;

    // Starts the simulator found beside the program (or in the build tree, or on PATH).
    // Returns the connection text to open ("127.0.0.1:<port>:Demo"), or an empty text with
    // error() saying why.
    std::string Start(const std::string& exePath);
    void Stop();
    const std::string& error() const { return error_; }

    // Where the simulator program is looked for, given the front end's argv[0].
    static std::string FindSimulator(const std::string& exePath);

private:
    pid_t pid_ = -1;
    int outputFd_ = -1;
    std::string error_;
};

}  // namespace tavrin
