#include "session/PelinView.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "app/CommandLine.h"
#include "app/Cp932.h"
#include "app/IniFile.h"
#include "app/Language.h"
#include "app/Menus.h"
#include "app/MessageTable.h"
#include "app/Settings.h"
#include "app/TermSettings.h"
#include "app/TerminalSetup.h"
#include "app/Title.h"
#include "automation/LogFile.h"
#include "automation/MacroExecution.h"
#include "link/ConnectionListStore.h"
#include "link/ConnectionPages.h"
#include "link/SerialPortList.h"
#include "session/CompanionEditors.h"
#include "session/GuideLocation.h"
#include "session/PelinApp.h"
#include "session/PelinViewParts.h"
#include "terminal/DisplayModel.h"
#include "terminal/Keyboard.h"
#include "transfer/TransferProgressText.h"

namespace tavrin {

namespace {

constexpr const char* kFolderBrowserTitle = "フォルダの選択";
constexpr size_t kStartupFolderMax = 259;
constexpr uint8_t kEscByte = 0x1B;

ScrollRequest ToRequest(ScrollAction action) {
    switch (action) {
        case ScrollAction::LineUp: return ScrollRequest::LineUp;
        case ScrollAction::LineDown: return ScrollRequest::LineDown;
        case ScrollAction::PageUp: return ScrollRequest::PageUp;
        case ScrollAction::PageDown: return ScrollRequest::PageDown;
        case ScrollAction::ThumbTrack: return ScrollRequest::ThumbTrack;
        default: return ScrollRequest::Other;
    }
}

}  // namespace

CPelinView::CPelinView(CPelinApp& app, CPelinDoc& doc, Shell& shell, const ViewEnvironment& env)
    : app_(app), doc_(doc), shell_(shell), clock_(env.clock) {
    parts_ = std::make_unique<Parts>(*this, doc, shell, env, app);
    app_.view = this;
    // The dialogs list the ports of the environment too.
    SetSerialPortEnumerator(&parts_->serialPorts);
    SetSerialPortProfile([this] { return app_.profilePath; });
    // Device events where the system sends them; the poll timer's checks cover the rest.
    if (parts_->serialPortEvents) parts_->serialEventFd = parts_->serialPortEvents->EventDescriptor();
    if (parts_->serialEventFd >= 0)
        shell_.WatchDescriptor(parts_->serialEventFd, [this] { OnSerialPortEvents(); });
    WireParts();
    // The panel's file is fixed at creation, in the folder the program started in (before the
    // settings move the current folder).
    parts_->panel.SetFile(app_.options.panelFile, CurrentFolder());
}

CPelinView::~CPelinView() {
    if (parts_->serialEventFd >= 0) shell_.UnwatchDescriptor(parts_->serialEventFd);
    if (CurrentSerialPortEnumerator() == &parts_->serialPorts) {
        SetSerialPortEnumerator(nullptr);
        SetSerialPortProfile({});
    }
    parts_->replay.StopReplay();
    parts_->replay.Join();
    UnwatchSerial();
    // The device is the environment's, the port the view's: it closes with the view's parts, as
    // when they owned the device.
    SerialDevice& device = parts_->serialDevice;
    parts_.reset();
    device.Close();
}

void CPelinView::PrintLocal(const std::string& cp932) {
    parts_->interpreter.PrintLocalText(cp932.c_str());
}

int CPelinView::OnCreate() {
    logFont = LogFont{};
    app_.view = this;
    parts_->display.ResetScroll();
    shell_.SetTimerHandler([this](int id) { OnTimer(id); });
    startupFolder = CutCp932(CurrentFolder(), kStartupFolderMax);
    hostWindow = 0;
    terminalNumber = 0;
    hostBusy = 0;
    saveForEditorPending = 0;
    hostTypedPending = 0;

    std::string ignoredPath;
    TakeProfileWriteError(ignoredPath);  // only what fails from here on is reported at the end
    if (!app_.commandLineProfilePath.empty()) app_.ReplaceProfilePath(app_.commandLineProfilePath);
    if (!app_.options.connection.empty()) doc_.startConnection = app_.options.connection;
    if (app_.options.hostLink) {
        const std::string folder = CurrentFolder();
        if (ChangeFolder(folder) == 0) SaveFolderSetting(doc_, app_.profilePath);
        parts_->host.Attach(HostSocketPath());
    }

    ReadFontSetting(app_.profilePath, kFontSection, logFont);
    LoadConnectionList(doc_, app_.profilePath);
    doc_.cursorColumn = 0;
    doc_.cursorRow = 0;
    // The terminal setup of the settings file: scroll rows and colours, then the "Settings"
    // section and the connection list again, now from the file fixed at start.
    parts_->setup.LoadTerminalSetup(false);

    ScheduleIdle();
    return 0;
}

// The first connect of the run has ended (a TCP/IP one runs on in the event loop): a batch
// macro without a link ends the run.
void CPelinView::StartupConnectEnded() {
    parts_->startupConnectPending = false;
    RefreshSerialWatch();
    if (parts_->startupConnectEnded)
        parts_->startupConnectEnded(parts_->startupConnectTried && doc_.connected == 0);
    if (!parts_->batchMacro.empty() && doc_.connected == 0 && parts_->batchFinished) parts_->batchFinished(1);
}

void CPelinView::ScheduleIdle() {
    if (parts_->idleScheduled || parts_->destroyed) return;
    parts_->idleScheduled = true;
    shell_.Post([this] { OnIdle(); });
}

void CPelinView::OnIdle() {
    parts_->idleScheduled = false;
    if (parts_->destroyed) return;
    parts_->keyboard.Poll();
    if (parts_->firstIdlePending) {
        parts_->firstIdlePending = false;
        SetLanguageAndMenus(CurrentLanguage());
        parts_->host.OnFirstPaint();
        parts_->startupConnectTried = parts_->connection.StartupConnect();
        parts_->startupConnectPending = true;
        if (!parts_->connection.Connecting()) StartupConnectEnded();
    }
    if (autoexecRequested) {
        autoexecRequested = 0;
        if (!parts_->batchMacro.empty()) {
            autoexecDone = 1;
            StartBatchMacro();
        } else {
            RunAutoexec(parts_->macro, *this);
        }
    }
    parts_->panel.RefreshEnabling();
    UpdateTitle();
    UpdatePollTimer();
    ArmKeysTimer();
}

void CPelinView::ArmKeysTimer() {
    Parts& p = *parts_;
    const int64_t deadline = p.keyboard.NextDeadline();
    if (deadline == kNoDeadline) {
        if (p.keysTimerDeadline != kNoDeadline) shell_.StopTimer(kKeysTimerId);
        p.keysTimerDeadline = kNoDeadline;
        return;
    }
    // A deadline that moved later (more bytes came) is set again when the earlier one fires.
    if (p.keysTimerDeadline <= deadline) return;
    p.keysTimerDeadline = deadline;
    const int64_t wait = std::clamp<int64_t>(deadline - clock_.NowMs(), 1, kEnterEchoWaitMs);
    shell_.StartTimer(kKeysTimerId, static_cast<int>(wait));
}

// The 20 ms poll runs only while something needs its ticks: a macro, a file being sent or
// typed, or a serial port that is not watched for readiness. A lost port waited for needs a tick
// only once a second. Keys that wait go on when bytes come or their wait ends (ArmKeysTimer). A
// quiet connected terminal is woken only by its link, its keys and the silence timer.
void CPelinView::UpdatePollTimer() {
    Parts& p = *parts_;
    if (p.destroyed) return;
    const bool serialUnwatched = doc_.isTcp == 0 && p.serial.IsOpen() && p.watchedSerialFd < 0;
    const bool macroStepping =
        (p.macro.IsRunning() || p.macro.IsMacroFileOpen()) && !p.macro.AwaitingOperator();
    const bool fast = macroStepping || p.sendFile.IsActive() || p.drops.PendingLines() > 0 || serialUnwatched;
    const int period = fast ? kPollTimerPeriodMs : !p.connection.ReopenDevice().empty() ? kReopenCheckMs : 0;
    if (period == p.pollTimerPeriodMs && period > 0) return;
    p.pollTimerPeriodMs = period;
    if (period > 0)
        shell_.StartTimer(kPollTimerId, period);
    else
        shell_.StopTimer(kPollTimerId);
}

void CPelinView::StartBatchMacro() {
    if (parts_->batchStarted) return;
    parts_->batchStarted = true;
    parts_->macro.StopMacroAndReport();
    if (parts_->macro.StartMacro(parts_->batchMacro) != 0 && !parts_->macro.IsRunning()) {
        if (parts_->batchFinished) parts_->batchFinished(BatchExitStatus(kMacroStopped));
    }
}

void CPelinView::OnTimer(int id) {
    if (parts_->destroyed) return;
    Parts& p = *parts_;
    // The panel's own timer drives only the panel; the macro and the poll go by the view's.
    if (id == kPanelTimerId) {
        p.panel.TimerStep();
        ScheduleIdle();  // a button may have started a macro: the poll timer then runs
        return;
    }
    if (id == kTransferTimerId) {
        OnTransferTimer();
        return;
    }
    if (id == kProgressTimerId) {
        UpdateTransferProgress(false);
        return;
    }
    if (id == kKeysTimerId) {
        shell_.StopTimer(kKeysTimerId);
        p.keysTimerDeadline = kNoDeadline;
        p.keyboard.Poll();
        ScheduleIdle();
        return;
    }
    p.macro.MacroStep();
    p.sendFile.OnTick();
    p.drops.OnTick();
    if (doc_.isTcp == 0) {
        if (p.watchedSerialFd < 0 && p.serial.IsOpen()) RefreshSerialWatch();
        SerialPoll();
        CheckSerialLine();
        if (p.connection.ReopenTick()) {
            RefreshSerialWatch();
            UpdateTitle();
        }
    } else if (id == kSilenceTimerId) {
        p.connection.OnSilenceTimer();
    }
    // After the poll: a held Enter goes on as soon as the echo it waits for has been read.
    p.keyboard.Poll();
    ScheduleIdle();
}

void CPelinView::NoteReception() {
    // Output snaps the display back to the live screen; the highlight goes with the next paint.
    parts_->selection.HideHighlight();
    if (parts_->receptionObserver) parts_->receptionObserver();
    // A held Enter may now find its echo, or waiting keys the prompt; they go on after this
    // chunk has been taken in.
    parts_->keyboard.NoteReceived();
    if (parts_->keyboard.KeysPending()) ScheduleIdle();
}

void CPelinView::OnChar(uint8_t byte) {
    if (parts_->destroyed) return;
    // Esc cancels a save or load under way; otherwise it goes to the controller as typed.
    if (byte == kEscByte && parts_->transfer.Busy()) {
        CancelTransfer();
        return;
    }
    parts_->keyboard.OnChar(byte);
    ScheduleIdle();
}

bool CPelinView::KeysPending() const {
    return parts_->keyboard.KeysPending();
}

void CPelinView::OnText(const std::string& utf8) {
    for (char c : Utf8ToCp932(utf8)) OnChar(static_cast<uint8_t>(c));
}

void CPelinView::OnArrowKey(ArrowKey key) {
    static constexpr std::array<int, 4> kKeys{kVkUp, kVkDown, kVkLeft, kVkRight};
    parts_->keyboard.OnKeyDown(kKeys[static_cast<size_t>(key)]);
}

void CPelinView::SetLanguageAndMenus(int lang) {
    SetCurrentLanguage(lang != 0 ? 1 : 0);
    shell_.MenusChanged();
    UpdateTitle();
}

void CPelinView::UpdateTitle() {
    if (parts_->host.Numbered()) {
        // The numbered text replaces the document title while the host has numbered us.
        const std::string numbered = parts_->host.NumberedFrameText();
        if (numbered != parts_->numberedTitle) shell_.SetTitle(parts_->numberedTitle = numbered);
        return;
    }
    parts_->numberedTitle.clear();
    if (auto title = parts_->title.Update(
            ComposeDocumentTitle(doc_, CurrentFolderOrNothing(), parts_->log.IsLogOpen())))
        shell_.SetTitle(*title);
}

std::optional<std::string> CPelinView::CurrentFolderOrNothing() {
    std::string folder = CurrentFolder();
    if (folder.empty()) return std::nullopt;
    return folder;
}

std::string CPelinView::TitleText() const {
    if (parts_->host.Numbered()) return parts_->host.NumberedFrameText();
    const std::string& last = parts_->title.LastTitle();
    return FrameTitle(last.empty() ? GetMessageText(10) : last);
}

void CPelinView::OnCommand(int id) {
    if (parts_->destroyed) return;
    Parts& p = *parts_;
    if (!QueryCommand(id).enabled) return;
    switch (id) {
        case kCmdOpenLog: OpenLogFileCommand(p.log, shell_); break;
        case kCmdCloseLog: p.log.CloseLogFile(); break;
        case kCmdReplayLog: p.replay.StartReplay(); break;
        case kCmdStopReplay: p.replay.StopReplay(); break;
        case kCmdSendFile: p.sendFile.SendFileCommand(); break;
        case kCmdSetCurrentFolder: SetCurrentFolder(); break;
        case kCmdMacro: MacroCommand(p.macro, shell_); break;
        case kCmdSaveSetup: SaveSetup(); break;
        case kCmdRestoreSetup: RestoreSetup(); break;
        case kCmdFont: p.setup.FontCommand(); break;
        case kCmdWindowSetting: p.setup.WindowSettingCommand(); break;
        case kCmdCopy: Copy(); break;
        case kCmdPaste: Paste(); break;
        case kCmdEnglish: SetLanguageAndMenus(1); break;
        case kCmdJapanese: SetLanguageAndMenus(0); break;
        case kCmdToolBar:
            doc_.toolbarVisible = doc_.toolbarVisible ? 0 : 1;
            shell_.MenusChanged();
            break;
        case kCmdHelpContents:
            // The HTML guide of the current language, in the desktop's browser.
            shell_.OpenDocument(GuideFile(CurrentLanguage()));
            break;
        case kCmdZuEditor:
        case kCmdQelEditor:
            if (auto command = CompanionEditorCommand(id, app_.profilePath, startupFolder, CurrentLanguage()))
                shell_.StartDetached(command->front(), {command->begin() + 1, command->end()});
            break;
        case kCmdSaveAndOpenInEditor: p.host.SaveAndOpenInEditor(); break;
        case kCmdOptions:
            if (shell_.RunOptionsDialog(doc_, HighestPresentPort(app_.profilePath)))
                p.connection.AfterOptions();
            break;
        case kCmdDialog:
        case kCmdDialogFile:
            if (!p.panel.HasWindow()) {
                shell_.Tell("The command button panel needs the window.", BoxIcon::Exclamation);
            } else if (id == kCmdDialog) {
                p.panel.LoadAndShow();
            } else {
                p.panel.ChooseFile();
            }
            break;
        case kCmdConnectByList:
            if (shell_.RunSelectConnectionDialog(doc_)) {
                p.connection.AfterSelectConnection();
                RefreshSerialWatch();
                UpdateTitle();
            }
            break;
        default:
            if (p.connection.OnComCommand(id) == 0) {
                RefreshSerialWatch();
                UpdateTitle();
            }
            break;
    }
    ScheduleIdle();
}

CommandState CPelinView::QueryCommand(int id) const {
    const Parts& p = *parts_;
    MenuState s;
    s.connected = doc_.connected != 0;
    s.logOpen = p.log.IsLogOpen();
    s.macroOpen = p.macro.IsMacroFileOpen();
    s.hostLinked = hostWindow != 0;
    s.hostBusy = hostBusy != 0;
    s.replayRunning = p.replay.IsReplayRunning();
    s.clipboardHasText = shell_.ClipboardHasText();
    s.toolbarVisible = doc_.toolbarVisible != 0;
    s.language = CurrentLanguage();
    s.selectionExists = p.selection.HasText();
    // A pressed panel button keeps Macro disabled until its run has ended, so that the menu
    // cannot start a macro the button's own MACRO command would then be refused.
    s.panelPressWaiting = p.panel.ButtonActive();
    s.panelButtonRunning = p.panel.ButtonActive();
    MenuCommandState& last = p.commandStates[id];
    last = ApplyCommandRule(id, s, last);
    if (id == kCmdZuEditor || id == kCmdQelEditor)
        last.enabled =
            CompanionEditorCommand(id, app_.profilePath, startupFolder, CurrentLanguage()).has_value();
    return {last.enabled, last.checked};
}

bool CPelinView::ConfirmClose() {
    return shell_.MessageBox(GetMessageText(30), BoxButtons::YesNo, BoxIcon::Exclamation) == BoxAnswer::Yes;
}

void CPelinView::OnDestroy() {
    if (parts_->destroyed) return;
    Parts& p = *parts_;
    p.replay.StopReplay();
    p.replay.Join();
    p.macro.StopMacro();
    if (doc_.connected) p.connection.DisconnectLink();
    p.host.Detach();
    UnwatchSerial();
    shell_.StopTimer(kPollTimerId);
    shell_.StopTimer(kSilenceTimerId);
    shell_.StopTimer(kPanelTimerId);
    shell_.StopTimer(kKeysTimerId);
    SaveSettings(doc_, app_.profilePath);
    WriteFontSetting(app_.profilePath, kFontSection, logFont);
    WriteTermSettings(doc_, app_.profilePath);
    SaveConnectionList(doc_, app_.profilePath);
    doc_.connections.clear();
    p.destroyed = true;
    ReportSettingsNotSaved();
}

void CPelinView::ReportSettingsNotSaved() {
    // Said once, naming the file and the reason: a message box in the window, stderr in the
    // console front end.
    std::string path;
    const int error = TakeProfileWriteError(path);
    if (error == 0) return;
    const std::string reason = std::strerror(error);
    const std::string text = CurrentLanguage() == 1
                                 ? "The settings could not be saved to " + path + ": " + reason + "."
                                 : "設定を保存できませんでした: " + path + " (" + reason + ")";
    shell_.Tell(text, BoxIcon::Exclamation);
}

void CPelinView::SetCurrentFolder() {
    const std::string start = doc_.folder.empty() ? CurrentFolder() : doc_.folder;
    auto chosen = shell_.AskFolder(kFolderBrowserTitle, start);
    if (!chosen || chosen->empty()) return;
    if (ChangeFolder(*chosen) != 0) return;
    SaveFolderSetting(doc_, app_.profilePath);
    UpdateTitle();
}

void CPelinView::SaveSetup() {
    parts_->setup.SaveTerminalSetup();
}

void CPelinView::RestoreSetup() {
    parts_->setup.LoadTerminalSetup(true);
}

void CPelinView::Copy() {
    shell_.SetClipboardText(Cp932ToUtf8(parts_->selection.ClipboardText()));
    parts_->selection.HideHighlight();
    shell_.RequestRepaint();
}

void CPelinView::Paste() {
    PasteText(shell_.ClipboardText());
}

std::string CPelinView::SelectionText() const {
    return parts_->selection.HasText() ? Cp932ToUtf8(parts_->selection.ClipboardText()) : std::string();
}

void CPelinView::PasteText(const std::string& utf8) {
    // Each character is typed as a key, through the Enter handling for CR; a TAB goes out as a
    // blank. Text copied on Linux ends its lines with a lone LF: that is typed as Enter too (a
    // CR LF pair stays CR, then LF, as typed keys would give it).
    char previous = 0;
    for (char c : Utf8ToCp932(utf8)) {
        uint8_t byte = c == '\t' ? ' ' : static_cast<uint8_t>(c);
        if (c == '\n' && previous != '\r') byte = '\r';
        previous = c;
        shell_.Post([this, byte] { OnChar(byte); });
    }
}

void CPelinView::OnMouseDown(int x, int y) {
    parts_->selection.ButtonDown(x, y);
    shell_.RequestRepaint();
    shell_.MenusChanged();
}

void CPelinView::OnMouseMove(int x, int y, int clientHeight) {
    if (parts_->selection.MouseMove(x, y, clientHeight)) shell_.RequestRepaint();
}

void CPelinView::OnMouseUp(int x, int y) {
    parts_->selection.ButtonUp(x, y);
    shell_.RequestRepaint();
    shell_.MenusChanged();
}

bool CPelinView::SelectionHighlight(int& lo, int& hi) const {
    return parts_->selection.Highlight(lo, hi);
}

void CPelinView::OnDropFiles(const std::vector<std::string>& files) {
    // The host editor owns the terminal's input while linked.
    if (hostWindow != 0) return;
    parts_->drops.OnDropFiles(files);
    ScheduleIdle();
}

void CPelinView::OnResize(int clientWidth, int clientHeight) {
    parts_->display.UpdateGeometry(clientWidth, clientHeight);
    shell_.RequestRepaint();
}

void CPelinView::OnVScroll(ScrollAction action, int thumbPosition) {
    parts_->display.VScroll(ToRequest(action), thumbPosition);
    shell_.RequestRepaint();
}

void CPelinView::OnHScroll(ScrollAction action, int thumbPosition) {
    parts_->display.HScroll(ToRequest(action), thumbPosition);
    shell_.RequestRepaint();
}

void CPelinView::OnFocus(bool focused) {
    parts_->display.SetFocus(focused);
    shell_.UpdateCaret();
}

void CPelinView::SetRowObserver(std::function<void(const uint8_t*)> observer) {
    parts_->rowObserver = std::move(observer);
}

void CPelinView::SetReceptionObserver(std::function<void()> observer) {
    parts_->receptionObserver = std::move(observer);
}

void CPelinView::SetBatchMacro(const std::string& macroFile, std::function<void(int)> onFinished) {
    parts_->batchMacro = macroFile;
    parts_->batchFinished = std::move(onFinished);
}

void CPelinView::SetStartupConnectEnded(std::function<void(bool failed)> onEnded) {
    parts_->startupConnectEnded = std::move(onEnded);
}

void CPelinView::SetRunReport(CRunReport* report) {
    parts_->report = report;
}

const CDisplayModel& CPelinView::Display() const {
    return parts_->display;
}

void CPelinView::SendLinkByte(uint8_t byte) {
    parts_->link.SendLinkByte(byte);
}
void CPelinView::SendLinkBytes(const uint8_t* bytes, size_t count) {
    parts_->link.SendLinkBytes(bytes, count);
}
size_t CPelinView::SendOnSocket(const uint8_t* bytes, size_t count) {
    return parts_->link.SendOnSocket(bytes, count);
}
void CPelinView::PurgeComPort() {
    parts_->link.PurgeComPort();
}

CCommandPanel& CPelinView::Panel() {
    return parts_->panel;
}

}  // namespace tavrin
