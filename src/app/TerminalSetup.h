#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "platform/Shell.h"

namespace tavrin {

// The file dialogs of Save setup and Restore setup.
inline constexpr const char* kSetupFileFilter = "Ini Files (*.ini)|*.ini||";
inline constexpr const char* kSetupFileExtension = "ini";
inline constexpr int kSaveSetupTitle = 22;     // "Terminal setting to save."
inline constexpr int kRestoreSetupTitle = 21;  // "Load terminal setting."
inline constexpr int kFailedToOpenFile = -20;  // "Failed to open file."

// The scroll-buffer rows the Window setting dialog allows.
inline constexpr int kWindowRowsMin = 50;
inline constexpr int kWindowRowsMax = 200;

// The working values of the Window setting dialog: the scroll-buffer rows of its up-down
// control (always within 50 ... 200) and the two colours (0x00BBGGRR, red in the low byte).
class CWindowSetting {
public:
    // The position starts at maxRows pulled into the control's range (a stored 20 shows 50).
    CWindowSetting(int maxRows, uint32_t bgColor, uint32_t textColor);

    int Rows() const { return rows_; }
    // Sets the position; the range limits it.
    void SetRows(int rows);
    // One step of the up-down control (direction +1 or -1) while its arrow has been held for
    // heldMs: steps of 1, of 10 after a second, of 100 after two and of 1000 after three; the
    // range limits the value.
    void StepRows(int direction, int heldMs);
    // The step size for an arrow held this long.
    static int StepSize(int heldMs);

    uint32_t bgColor;
    uint32_t textColor;

private:
    int rows_;
};

// Blanks the terminal as a change of the scroll-buffer size requires: both buffers blank, the
// line work area zeroed, no history (historyView 1, historyCount 0), the cursor, the visible
// rows and the horizontal offset 0, the vertical scroll range 0..0 and the horizontal 0..79,
// both at 0. The rows of the old size would otherwise be read with the new one.
void ClearTerminal(CPelinDoc& doc, ViewState& view);

// What the setup commands need from the layers above the settings store and from the view.
// Every hook may be empty.
struct TerminalSetupHooks {
    // Reads or writes the connection list of the given settings file; the save answers false
    // when the file was not written.
    std::function<void(const std::string& profilePath)> loadConnectionList;
    std::function<bool(const std::string& profilePath)> saveConnectionList;
    // Loads the menus of the language and refreshes the tips and the title.
    std::function<void(int language)> setLanguageAndMenus;
    // A key typed at the terminal (called from a posted task, not inside the command).
    std::function<void(uint8_t byte)> typeKey;
    // The terminal was cleared: what refers to the old rows (a selection) goes.
    std::function<void()> terminalCleared;
};

// The terminal setting files (Save setup, Restore setup), the Font command and the Window
// setting dialog's effect on the document and view. profilePath is the settings file every
// read and write uses; a confirmed file dialog replaces it for the rest of the run.
class CTerminalSetup {
public:
    CTerminalSetup(CPelinDoc& doc, ViewState& view, std::string& profilePath, Shell& shell,
                   TerminalSetupHooks hooks);

    // Save setup: the Save-as dialog (the chosen file becomes profilePath; on cancel the current
    // one is used), then "Term", "Settings" (Folder = the working folder from before the
    // dialog), the connection list and "Font". Returns 0 when everything was written; otherwise
    // "Failed to open file." is shown and -20 returned. A chosen file the user may not trust
    // (OwnFile.h: a FIFO, another user's file, over 1 MiB, NUL bytes) is refused with a message
    // naming it and why: nothing is written and the settings file stays (-20).
    int SaveTerminalSetup();

    // Restore setup (withDialog) or the start-up read (without): the Open dialog (a name that
    // does not exist may be chosen; on cancel the current file is read), then "Term",
    // "Settings" and the connection list; with the dialog also "Font", the font re-made and
    // measured, and the menus of the language loaded. When the restore changes maxRows the
    // terminal is cleared as the Window setting dialog does it. Returns 0 when a file was
    // chosen, -1 when the dialog was cancelled or not shown, -20 when the chosen file was
    // refused as Save setup refuses it (nothing is read, the settings file stays).
    int LoadTerminalSetup(bool withDialog);

    // The Font command: the fixed-pitch font dialog over logFont; on OK the font is re-made,
    // measured and the caret re-created. Returns 0 on OK, -1 on cancel.
    int FontCommand();

    // The Window setting command: the dialog over the current rows and colours; on OK they are
    // applied (ApplyWindowSetting). Returns 0 on OK, -1 on cancel.
    int WindowSettingCommand();

    // What OK of the Window setting dialog does: maxRows and the colours set; when maxRows
    // changed the terminal is cleared and a line feed typed at the next turn (the controller
    // answers with a fresh prompt); the view repainted in every case. Returns true when the
    // terminal was cleared.
    bool ApplyWindowSetting(const CWindowSetting& setting);

private:
    // False, with the reason shown, when path must not become the settings file.
    bool UsableSetupFile(const std::string& path);
    void ApplyFont();
    void ClearAndPrompt();

    CPelinDoc& doc_;
    ViewState& view_;
    std::string& profilePath_;
    Shell& shell_;
    TerminalSetupHooks hooks_;
};

}  // namespace tavrin
