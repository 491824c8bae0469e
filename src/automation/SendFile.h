#pragma once
#include <cstddef>
#include <string>

namespace tavrin {

class CMacroEngine;
class Shell;

// The one-line macro that Send File writes into the chosen file's folder and runs.
inline constexpr const char* kSendFileMacroName = "____tmp.uas";

// "S&end File": sends a chosen file's raw bytes to the controller through a one-line sendfile
// macro, 400 bytes a tick, with a progress window and Cancel. The command returns at once;
// the poll tick drives the rest, so the window keeps working while the file goes out.
class CSendFile {
public:
    CSendFile(CMacroEngine& engine, Shell& shell) : engine_(engine), shell_(shell) {}

    // The command: the open dialog (title message -260), the temporary macro written and
    // started, the progress window shown. 0 when the sending has begun, -1 when cancelled, -20
    // when the temporary macro cannot be written (a box says so; nothing is sent).
    int SendFileCommand();
    // After the macro step of each poll tick: moves the progress bar and, once everything has
    // been sent, the file-sent signal is raised or Cancel was pressed, stops the macro (with
    // its report) and closes the window.
    void OnTick();
    bool IsActive() const { return active_; }

private:
    void Update();
    void Finish();

    CMacroEngine& engine_;
    Shell& shell_;
    bool active_ = false;
    size_t size_ = 0;
};

}  // namespace tavrin
