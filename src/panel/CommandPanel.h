#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "panel/CommandHistory.h"
#include "panel/PanelCommand.h"
#include "platform/LifeToken.h"

namespace tavrin {

class LinkOps;
class Shell;
enum class BoxButtons;
enum class BoxIcon;
class Clock;

inline constexpr size_t kPanelButtons = 12;  // per page, in 4 rows of 3
inline constexpr int kPanelMaxPages = 8;
inline constexpr int kPanelMaxCommands = 100;  // Command01 ... Command100 per button
// The panel's own timer that carries out button commands.
inline constexpr int kPanelTimerId = 3;
inline constexpr int kPanelTimerPeriodMs = 10;
inline constexpr const char* kPanelTitlePrefix = "MacroDialog : ";

// The executor's step states.
enum PanelStep {
    kStepFetch = 0,
    kStepMessageBox = 1,
    kStepMessageCancel = 2,
    kStepSleep = 3,
    kStepSleeping = 4,
    kStepMacro = 5,
    kStepMacroWait = 6,
    kStepLine = 7,
    kStepCompleted = 8,
    kStepStopped = 9,
    kStepAwaitingAnswer = 10,  // a message box of the panel waits for the operator
};

// The macro end status as the panel keeps it.
inline constexpr int kPanelMacroIdle = 1;     // no macro, or the macro ended by itself
inline constexpr int kPanelMacroRunning = 2;  // a macro started by the panel runs
inline constexpr int kPanelMacroStopped = 3;  // that macro was stopped

// What the panel window shows; texts are UTF-8.
struct PanelButtonView {
    std::string caption;
    bool enabled = false;
    bool operator==(const PanelButtonView&) const = default;
};

struct PanelDisplay {
    std::string title;
    std::array<PanelButtonView, kPanelButtons> buttons{};
    bool cancelEnabled = false;
    bool backEnabled = false;
    bool nextEnabled = false;
    std::string status;
    std::string pageLabel;  // "Page %d/%d"
    std::vector<std::string> history;
    bool visible = false;
    bool operator==(const PanelDisplay&) const = default;
};

// What the panel needs of the macro interpreter, wired by the session.
struct PanelHooks {
    // 1 when the macro file was started (the interpreter has said why when it was not).
    std::function<int(const std::string& path)> startMacro;
    std::function<void()> stopMacroAndReport;
    // A macro file is open: a macro runs in the terminal.
    std::function<bool()> macroRunning;
    // Types one byte on the terminal's keyboard path, as a key would (Enter is CR). Empty: the
    // command line's text goes straight to the link.
    std::function<void(uint8_t)> typeKey;
};

// The command button panel: pages of twelve buttons from an INI file, each button a list of
// commands carried out one per step of the panel's timer, and a free command line with its
// history. All rules live here; the window only shows Display() and reports clicks.
// Single-threaded: every call on the event-loop thread.
class CCommandPanel {
public:
    CCommandPanel(LinkOps& link, Shell& shell, Clock& clock, PanelHooks hooks);

    // The INI file at creation: fileName (the "-DF" value, or "MacroDlg.INI") in folder unless
    // it is an absolute path; a file of that name in another case is found too. Sets the title.
    void SetFile(const std::string& fileName, const std::string& folder);
    // The window exists: the panel shows itself now when START_UP/SHOW is "ON". Its timer runs
    // while the panel shows or a button runs. onChanged runs after every change of Display().
    void AttachWindow(std::function<void()> onChanged);
    // The window is going away: no more change reports (the timer is the session's to stop).
    void DetachWindow() { onChanged_ = nullptr; }
    bool HasWindow() const { return static_cast<bool>(onChanged_); }

    // The Dialog command: START_UP/PAGE read, page 1 shown. While a button runs the panel is
    // only brought up, so the run goes on.
    void LoadAndShow();
    // The Dialog File command: an .ini file chosen in a file dialog becomes the panel's file and
    // its page 1 is shown. 0 shown, -1 cancelled or refused while a button runs.
    int ChooseFile();
    // Shows page n (below 1: the last page; above the count: page 1).
    void ShowPage(int n);
    // BACK and NEXT; refused while the buttons are disabled.
    void Back();
    void Next();

    // Button position 1 ... 12 of the current page pressed. 0 accepted, -1 when the button is
    // not enabled (its Enable is not "ON", a macro or another button runs, or out of range).
    int Press(int position);
    // The Cancel button: the running button stops, and a macro it started too.
    void CancelButton();
    // Esc or the close box: Cancel, then hidden.
    void Close();
    // Disconnect: the running button stops and the panel hides.
    void StopAndHide() { Close(); }

    // One tick of the panel timer.
    void TimerStep();
    // The buttons' enabling after something it depends on may have changed (a macro started or
    // ended); the view calls it on its idle turns. Nothing while a button runs.
    void RefreshEnabling();
    // Enter in the command line: the text (UTF-8) is typed on the terminal's keyboard, then
    // Enter, so a transfer command is recognised as when typed in the terminal; a non-empty
    // text is kept in the history.
    void EnterCommandLine(const std::string& utf8);
    // The macro interpreter stopped a macro with this end status (1 by itself, 3 stopped).
    void OnMacroStopped(int endStatus);

    // A pressed button waits for its first step or is in its run.
    bool ButtonActive() const { return active_ != 0; }

    const PanelDisplay& Display() const { return display_; }
    const std::string& IniPath() const { return iniPath_; }
    int CurrentPage() const { return currentPage_; }
    int PageCount() const { return pageCount_; }
    int StepState() const { return step_; }
    int MacroEndStatus() const { return macroEndStatus_; }

private:
    bool EnableUpdate();  // true when the display changed
    void FetchCommand();
    void Execute();
    void AskOperator(BoxButtons buttons, BoxIcon icon);
    void Finish(int state);
    bool Ready() const;
    int SectionNumber(int position) const;
    void SendLine(const std::string& cp932);
    void SetStatus(const std::string& cp932);
    void Changed();
    void UpdateTimer();

    LinkOps& link_;
    Shell& shell_;
    Clock& clock_;
    PanelHooks hooks_;
    std::function<void()> onChanged_;

    std::string iniPath_;
    std::array<bool, kPanelButtons> enableFlags_{};
    int lastEnable_ = -1;
    int active_ = 0;
    int commandIndex_ = 0;
    int step_ = kStepFetch;
    int currentPage_ = 1;
    int pageCount_ = 1;
    int macroEndStatus_ = kPanelMacroIdle;
    int64_t sleepSeconds_ = 0;
    int64_t sleepStart_ = 0;
    PanelCommand command_;
    CCommandHistory history_;
    unsigned question_ = 0;  // the open box of a button, told from earlier ones
    LifeToken life_;
    bool timerRunning_ = false;
    PanelDisplay display_;
};

}  // namespace tavrin
