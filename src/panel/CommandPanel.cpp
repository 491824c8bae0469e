#include "panel/CommandPanel.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/Cp932.h"
#include "app/Language.h"
#include "app/OwnFile.h"
#include "automation/MacroExecution.h"
#include "link/LinkOps.h"
#include "panel/PanelIni.h"
#include "platform/Clock.h"
#include "platform/Shell.h"

namespace tavrin {

namespace {

constexpr const char* kStartUpSection = "START_UP";
constexpr const char* kFileFilter = "*.ini|*.ini|*.*|*.*||";
constexpr const char* kOpenTitle = "Open";

std::string Numbered(const char* format, int number) {
    char text[32];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

bool IsOn(const std::string& value) {
    return value.size() == 2 && (value[0] == 'O' || value[0] == 'o') && (value[1] == 'N' || value[1] == 'n');
}

std::string WorkingFolder() {
    std::array<char, 4096> buffer{};
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
    return buffer.data();
}

// The file as named, or a file of the same name in another case in the same folder (files
// copied from Windows keep other cases).
std::string ResolveCase(const std::string& path) {
    std::error_code error;
    if (path.empty() || std::filesystem::exists(path, error)) return path;
    const std::filesystem::path named(path);
    if (auto found = FindFileInFolder(named.parent_path(), named.filename().string())) return found->string();
    return path;
}

// The macro file of a MACRO command. The command is upper-cased as a whole, which names another
// file here than where names ignore case: the name as written is tried first, then the
// upper-cased one, then a file of that name in any case.
std::string MacroPath(const PanelCommand& command) {
    std::error_code error;
    if (std::filesystem::is_regular_file(command.writtenArgument, error)) return command.writtenArgument;
    return ResolveCase(command.argument);
}

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

CCommandPanel::CCommandPanel(LinkOps& link, Shell& shell, Clock& clock, PanelHooks hooks)
    : link_(link), shell_(shell), clock_(clock), hooks_(std::move(hooks)) {
    for (size_t i = 0; i < kPanelButtons; ++i)
        display_.buttons[i].caption = Numbered("BUTTON%02d", int(i) + 1);
}

void CCommandPanel::SetFile(const std::string& fileName, const std::string& folder) {
    if (!fileName.empty() && fileName[0] == '/') {
        iniPath_ = fileName;
    } else {
        iniPath_ = (folder.empty() ? std::string(".") : folder) + "/" + fileName;
    }
    iniPath_ = ResolveCase(iniPath_);
    display_.title = kPanelTitlePrefix + fileName;
    Changed();
}

void CCommandPanel::AttachWindow(std::function<void()> onChanged) {
    onChanged_ = std::move(onChanged);
    CPanelIni ini(iniPath_);
    const bool show = IsOn(ini.Read(kStartUpSection, "SHOW", "OFF"));
    ini.Flush();
    if (show) LoadAndShow();
    display_.status.clear();
    macroEndStatus_ = kPanelMacroIdle;
    step_ = kStepFetch;
    Changed();  // starts the timer when the panel shows
}

void CCommandPanel::LoadAndShow() {
    if (active_ != 0) {
        display_.visible = true;
        Changed();
        return;
    }
    iniPath_ = ResolveCase(iniPath_);
    CPanelIni ini(iniPath_);
    const std::string pages = ini.Read(kStartUpSection, "PAGE", "1", [](const std::string& text) {
        int64_t count = ParseDecimal(text);
        if (count < 1) count = 1;
        if (count > kPanelMaxPages) count = kPanelMaxPages;
        return std::to_string(count);
    });
    ini.Flush();
    pageCount_ = static_cast<int>(ParseDecimal(pages));
    ShowPage(1);
}

int CCommandPanel::ChooseFile() {
    if (active_ != 0) return -1;
    auto chosen = shell_.AskOpenFile(kOpenTitle, kFileFilter, WorkingFolder());
    if (!chosen || chosen->empty()) return -1;
    // The panel sends what its file says: another user's file, a FIFO or a binary file is not
    // taken (the panel keeps its file), and the operator is told why.
    if (const OwnFileCheck check = CheckOwnFile(*chosen, kIniFileRules); !check.Usable()) {
        shell_.Tell(RefusedFileText(*chosen, check, CurrentLanguage()), BoxIcon::Exclamation);
        return -1;
    }
    display_.title = kPanelTitlePrefix + FileNameOf(*chosen);
    iniPath_ = *chosen;
    LoadAndShow();
    return 0;
}

void CCommandPanel::ShowPage(int n) {
    if (n < 1) n = pageCount_;
    if (n > pageCount_) n = 1;
    currentPage_ = n;
    display_.pageLabel = "Page " + std::to_string(currentPage_) + "/" + std::to_string(pageCount_);

    CPanelIni ini(iniPath_);
    for (size_t i = 0; i < kPanelButtons; ++i) {
        const std::string section = Numbered("BUTTON%02d", SectionNumber(int(i) + 1));
        const std::string enable = ini.Read(section, "Enable", "OFF");
        const std::string caption = ini.Read(section, "BtnName", section);
        for (int c = 1; c <= kPanelMaxCommands; ++c) {
            if (ini.Read(section, Numbered("Command%02d", c), "").empty()) break;
        }
        display_.buttons[i].enabled = false;
        display_.buttons[i].caption = Cp932ToUtf8(caption);
        enableFlags_[i] = IsOn(enable);
    }
    ini.Flush();
    // A missing file is not created behind the operator's back; the status line says why every
    // button stays disabled.
    if (!ini.FileExists()) display_.status = "File not found: " + iniPath_;

    lastEnable_ = -1;
    active_ = 0;
    commandIndex_ = 0;
    display_.visible = true;
    EnableUpdate();
    Changed();
}

void CCommandPanel::Back() {
    if (Ready()) ShowPage(currentPage_ - 1);
}

void CCommandPanel::Next() {
    if (Ready()) ShowPage(currentPage_ + 1);
}

int CCommandPanel::Press(int position) {
    if (position < 1 || position > static_cast<int>(kPanelButtons)) return -1;
    if (!display_.visible || !Ready() || !enableFlags_[static_cast<size_t>(position - 1)]) return -1;
    active_ = position;
    commandIndex_ = 0;
    step_ = kStepFetch;
    UpdateTimer();
    return 0;
}

void CCommandPanel::RefreshEnabling() {
    if (active_ != 0) return;  // the running button's steps keep it current
    step_ = kStepFetch;
    if (EnableUpdate()) Changed();
}

void CCommandPanel::CancelButton() {
    const bool wasActive = active_ != 0;
    active_ = 0;
    ++question_;
    commandIndex_ = 0;
    if (macroEndStatus_ == kPanelMacroRunning) {
        if (hooks_.stopMacroAndReport) hooks_.stopMacroAndReport();
        macroEndStatus_ = kPanelMacroIdle;
    }
    // The status would otherwise go on naming the command that was cut short.
    if (wasActive) SetStatus("Canceled");
    Changed();
}

void CCommandPanel::Close() {
    CancelButton();
    display_.visible = false;
    Changed();
}

bool CCommandPanel::Ready() const {
    const bool macro = hooks_.macroRunning && hooks_.macroRunning();
    return !macro && active_ == 0;
}

int CCommandPanel::SectionNumber(int position) const {
    return (currentPage_ - 1) * static_cast<int>(kPanelButtons) + position;
}

bool CCommandPanel::EnableUpdate() {
    const bool cancel = active_ != 0;
    bool changed = display_.cancelEnabled != cancel;
    display_.cancelEnabled = cancel;
    const int ready = Ready() ? 1 : 0;
    if (ready == lastEnable_) return changed;
    for (size_t i = 0; i < kPanelButtons; ++i) display_.buttons[i].enabled = ready && enableFlags_[i];
    display_.backEnabled = display_.nextEnabled = ready != 0;
    lastEnable_ = ready;
    return true;
}

void CCommandPanel::TimerStep() {
    if (active_ == 0) {  // no button runs: only the buttons' enabling can change
        step_ = kStepFetch;
        if (EnableUpdate()) Changed();
        return;
    }
    const PanelDisplay before = display_;
    EnableUpdate();
    if (commandIndex_ == 0) SendLine("");  // an empty command line first
    if (step_ == kStepFetch) FetchCommand();
    Execute();
    if (!(display_ == before)) Changed();
}

void CCommandPanel::FetchCommand() {
    ++commandIndex_;
    if (commandIndex_ > kPanelMaxCommands) {
        step_ = kStepCompleted;
        return;
    }
    CPanelIni ini(iniPath_);
    const std::string text =
        ini.Read(Numbered("Button%02d", SectionNumber(active_)), Numbered("Command%02d", commandIndex_), "");
    ini.Flush();
    command_ = ParsePanelCommand(text);
    switch (command_.kind) {
        case PanelCommandKind::End: step_ = kStepCompleted; break;
        case PanelCommandKind::Macro: step_ = kStepMacro; break;
        case PanelCommandKind::MessageBox: step_ = kStepMessageBox; break;
        case PanelCommandKind::MessageCancel: step_ = kStepMessageCancel; break;
        case PanelCommandKind::Sleep: step_ = kStepSleep; break;
        case PanelCommandKind::Line: step_ = kStepLine; break;
    }
}

void CCommandPanel::Execute() {
    switch (step_) {
        case kStepMessageBox:
            SetStatus("MESSAGEBOX");
            Changed();
            AskOperator(BoxButtons::Ok, BoxIcon::Information);
            break;
        case kStepMessageCancel:
            SetStatus("MESSAGECANCEL");
            Changed();
            AskOperator(BoxButtons::OkCancel, BoxIcon::Question);
            break;
        case kStepAwaitingAnswer: break;  // the box's answer moves the button on
        case kStepSleep:
            SetStatus("SLEEP");
            sleepSeconds_ = ParseDecimal(command_.argument);
            sleepStart_ = clock_.NowMs() / 1000;
            step_ = kStepSleeping;
            break;
        case kStepSleeping:
            if (clock_.NowMs() / 1000 - sleepStart_ > sleepSeconds_) step_ = kStepFetch;
            break;
        case kStepMacro: {
            SetStatus("MACRO:" + command_.argument);
            macroEndStatus_ = kPanelMacroRunning;
            Changed();
            const int started = hooks_.startMacro ? hooks_.startMacro(MacroPath(command_)) : 0;
            if (started == 1) {
                step_ = kStepMacroWait;
            } else {
                // Nothing runs for the panel: a later Cancel must not stop someone else's macro.
                if (macroEndStatus_ == kPanelMacroRunning) macroEndStatus_ = kPanelMacroIdle;
                Finish(kStepStopped);
            }
            break;
        }
        case kStepMacroWait:
            if (macroEndStatus_ == kPanelMacroIdle) {
                step_ = kStepFetch;
            } else if (macroEndStatus_ == kPanelMacroStopped) {
                SetStatus("MACRO ERROR");
                macroEndStatus_ = kPanelMacroIdle;
                Finish(kStepStopped);
            }
            break;
        case kStepLine:
            SetStatus(command_.text);
            SendLine(command_.text);
            step_ = kStepFetch;
            break;
        case kStepCompleted:
            SetStatus("Completed");
            Finish(kStepCompleted);
            break;
        case kStepStopped: Finish(kStepStopped); break;
        default: break;
    }
}

// The button's next command comes once the operator has answered; the terminal goes on
// meanwhile. Cancel (or closing the box) stops the button.
void CCommandPanel::AskOperator(BoxButtons buttons, BoxIcon icon) {
    step_ = kStepAwaitingAnswer;
    const unsigned question = ++question_;
    shell_.AskLater(Cp932ToUtf8(command_.argument), buttons, icon,
                    [this, question, alive = life_.Watch()](BoxAnswer answer) {
                        // The answer of a box whose button was stopped (and maybe pressed
                        // again since) belongs to nothing.
                        if (alive.expired() || question != question_ || active_ == 0) return;
                        if (answer == BoxAnswer::Ok) {
                            step_ = kStepFetch;
                            return;
                        }
                        SetStatus("Canceled");
                        Finish(kStepStopped);
                        Changed();
                    });
}

void CCommandPanel::Finish(int state) {
    step_ = state;
    commandIndex_ = 0;
    active_ = 0;
}

void CCommandPanel::OnMacroStopped(int endStatus) {
    if (macroEndStatus_ != kPanelMacroRunning) return;
    macroEndStatus_ = endStatus == kPanelMacroIdle ? kPanelMacroIdle : kPanelMacroStopped;
}

void CCommandPanel::EnterCommandLine(const std::string& utf8) {
    if (hooks_.typeKey) {
        for (char c : Utf8ToCp932(utf8)) hooks_.typeKey(static_cast<uint8_t>(c));
        hooks_.typeKey('\r');
    } else {
        SendLine(Utf8ToCp932(utf8));
    }
    history_.Add(utf8);
    display_.history = history_.Entries();
    Changed();
}

void CCommandPanel::SendLine(const std::string& cp932) {
    const std::string line = cp932 + "\r\n";
    link_.SendLinkBytes(reinterpret_cast<const uint8_t*>(line.data()), line.size());
}

void CCommandPanel::SetStatus(const std::string& cp932) {
    display_.status = Cp932ToUtf8(cp932);
}

void CCommandPanel::Changed() {
    EnableUpdate();  // a button that ended or was stopped gives the buttons back
    UpdateTimer();
    if (onChanged_) onChanged_();
}

// The timer steps a pressed button's commands. With no button running it rests, shown or not:
// the buttons' enabling follows the terminal's idle turns (RefreshEnabling) instead.
void CCommandPanel::UpdateTimer() {
    const bool wanted = HasWindow() && active_ != 0;
    if (wanted == timerRunning_) return;
    timerRunning_ = wanted;
    if (wanted)
        shell_.StartTimer(kPanelTimerId, kPanelTimerPeriodMs);
    else
        shell_.StopTimer(kPanelTimerId);
}

}  // namespace tavrin
