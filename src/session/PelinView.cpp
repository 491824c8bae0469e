#include "session/PelinView.h"

#include <unistd.h>

#include <array>
#include <cstring>
#include <map>

#include "app/CommandLine.h"
#include "app/Cp932.h"
#include "app/Globals.h"
#include "app/IniFile.h"
#include "app/Menus.h"
#include "app/MessageTable.h"
#include "app/Settings.h"
#include "app/TermSettings.h"
#include "app/TerminalSetup.h"
#include "app/Title.h"
#include "automation/DroppedFiles.h"
#include "automation/LogFile.h"
#include "automation/LogReplay.h"
#include "automation/MacroEngine.h"
#include "automation/MacroExecution.h"
#include "automation/SendFile.h"
#include "link/ConnectionControl.h"
#include "link/ConnectionListStore.h"
#include "link/ConnectionPages.h"
#include "link/LinkChannel.h"
#include "link/SerialChannel.h"
#include "link/SerialPortList.h"
#include "panel/CommandPanel.h"
#include "platform/linux/UdevSerialPorts.h"
#include "platform/posix/PosixHostChannel.h"
#include "platform/posix/PosixSerialDevice.h"
#include "platform/posix/PosixStreamSocket.h"
#include "session/CompanionEditors.h"
#include "session/GuideLocation.h"
#include "session/HostLink.h"
#include "session/PelinApp.h"
#include "terminal/DisplayModel.h"
#include "terminal/Keyboard.h"
#include "terminal/ReceiveInterpreter.h"
#include "terminal/Selection.h"
#include "terminal/WatchBuffer.h"
#include "transfer/TransferCommand.h"
#include "transfer/TransferProtocol.h"

namespace tavrin {

namespace {

constexpr const char* kFolderBrowserTitle = "フォルダの選択";
constexpr size_t kStartupFolderMax = 259;

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

// Every subsystem of the one terminal, wired together. Members are declared in the order they
// are built: each takes references to the ones before it.
struct CPelinView::Parts {
    Parts(CPelinView& view, CPelinDoc& doc, Shell& shell, Clock& clock, CPelinApp& app)
        : display(doc, view),
          serial(serialDevice, clock, [&app] { return app.profilePath; }),
          link(doc, serial, shell),
          interpreter(doc, view, link, shell),
          keyboard(doc, view, link, shell, interpreter, clock),
          transfer(doc, view, link, clock, shell),
          transferCommand(doc, link, clock),
          connection(doc, view, serial, link, shell, clock,
                     [] { return std::make_unique<CPosixStreamSocket>(); }),
          macro(doc, view, link, shell, clock, log, view.MakeMacroHooks()),
          replay(shell, clock, [&view](uint8_t c) { view.OnChar(c); }),
          sendFile(macro, shell),
          drops(doc, macro, shell, clock, [&view](uint8_t c) { view.OnChar(c); }),
          selection(doc, view),
          setup(doc, view, app.profilePath, shell, SetupHooks(view, doc)),
          panel(view, shell, clock, PanelHooksFor(view)),
          host(view, doc, shell, std::make_unique<CPosixHostChannel>()) {}

    PanelHooks PanelHooksFor(CPelinView& view) {
        PanelHooks hooks;
        hooks.typeKey = [&view](uint8_t c) { view.OnChar(c); };
        hooks.startMacro = [this](const std::string& path) { return macro.StartMacro(path); };
        hooks.stopMacroAndReport = [this] { macro.StopMacroAndReport(); };
        hooks.macroRunning = [this] { return macro.IsMacroFileOpen(); };
        return hooks;
    }

    TerminalSetupHooks SetupHooks(CPelinView& view, CPelinDoc& doc) {
        TerminalSetupHooks hooks;
        hooks.loadConnectionList = [&doc](const std::string& path) { LoadConnectionList(doc, path); };
        hooks.saveConnectionList = [&doc](const std::string& path) { return SaveConnectionList(doc, path); };
        hooks.setLanguageAndMenus = [&view](int lang) { view.SetLanguageAndMenus(lang); };
        hooks.typeKey = [&view](uint8_t c) { view.OnChar(c); };
        hooks.terminalCleared = [this] { selection.HideHighlight(); };
        return hooks;
    }

    CDisplayModel display;
    CPosixSerialDevice serialDevice;
    CUdevSerialPorts serialPorts;
    CSerialChannel serial;
    CLinkChannel link;
    CReceiveInterpreter interpreter;
    CKeyboard keyboard;
    CWatchBuffer watch;
    CTransferProtocol transfer;
    CTransferCommand transferCommand;
    CConnectionControl connection;
    CLogFile log;
    CMacroEngine macro;
    CLogReplay replay;
    CSendFile sendFile;
    CDroppedFiles drops;
    CSelection selection;
    CTerminalSetup setup;
    CCommandPanel panel;
    CHostLink host;
    CTitle title;

    std::function<void(const uint8_t*)> rowObserver;
    std::function<void()> receptionObserver;
    std::string batchMacro;
    std::function<void(int)> batchFinished;
    bool batchStarted = false;
    bool idleScheduled = false;
    int watchedSerialFd = -1;
    int serialEventFd = -1;  // udev's device events, -1 without them
    bool destroyed = false;
    std::string numberedTitle;  // the numbered frame text last set
    // The last state of each command: some rules leave it as it was in some states.
    mutable std::map<int, MenuCommandState> commandStates;
};

CPelinView::CPelinView(CPelinApp& app, CPelinDoc& doc, Shell& shell, Clock& clock)
    : app_(app), doc_(doc), shell_(shell), clock_(clock) {
    parts_ = std::make_unique<Parts>(*this, doc, shell, clock, app);
    app_.view = this;
    SetSerialPortEnumerator(&parts_->serialPorts);
    SetSerialPortProfile([this] { return app_.profilePath; });
    // Device events where udev sends them; the poll timer's checks cover the rest.
    parts_->serialEventFd = parts_->serialPorts.EventDescriptor();
    if (parts_->serialEventFd >= 0)
        shell_.WatchDescriptor(parts_->serialEventFd, [this] { OnSerialPortEvents(); });
    WireParts();
    // The panel's file is fixed at creation, in the folder the program started in (before the
    // settings move the current folder).
    parts_->panel.SetFile(ParseCommandLine(app_.rawCommandLine).panelFile, CurrentFolder());
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
}

void CPelinView::WireParts() {
    Parts& p = *parts_;

    InterpreterHooks& ih = p.interpreter.Hooks();
    ih.handleTransferRequest = [this](const std::string& folder) {
        return parts_->transfer.HandleTransferRequest(folder);
    };
    ih.transferResumePending = [this] { return parts_->transfer.ResumePending(); };
    // Every completed row passes here: the front end may show it, the log records it.
    ih.logOpen = [] { return true; };
    ih.writeLogRow = [this](const uint8_t* row) {
        if (parts_->rowObserver) parts_->rowObserver(row);
        if (!parts_->log.IsLogOpen()) return true;
        return parts_->log.WriteLogLine({row, kColumns});
    };
    ih.clearMacroTransferFlag = [this] {
        parts_->macro.OnControllerPrompt();
        parts_->transfer.Files().ControllerPrompted();
    };
    ih.postChars = [this](const std::string& chars) {
        for (char c : chars) shell_.Post([this, c] { OnChar(static_cast<uint8_t>(c)); });
    };
    ih.caretMoved = [this] { shell_.UpdateCaret(); };
    ih.reportHostBusy = [this](int busy) { parts_->host.ReportBusy(busy); };
    p.transfer.Files().notifyHostSaved = [this](const std::string& name) {
        parts_->host.NotifyHostSaved(name);
    };

    HostLinkHooks& hh = p.host.Hooks();
    // Text from the host takes the same way as the window's typed characters.
    hh.typeChar = [this](uint8_t c) { shell_.Post([this, c] { OnChar(c); }); };
    hh.linkChanged = [this] {
        if (hostWindow == 0) shell_.SetTitle(TitleText());
        shell_.MenusChanged();
        UpdateTitle();
    };
    hh.confirmClose = [this] { return ConfirmClose(); };
    hh.closeWindow = [this] { shell_.CloseFrame(); };
    hh.moveWindow = [this](int x, int y, int w, int h) { shell_.MoveFrame(x, y, w, h); };
    hh.printLocal = [this](const std::string& cp932) { PrintLocal(cp932); };

    p.keyboard.Hooks().sendTransferCommand = [this](const std::string& line, std::string& folder) {
        return parts_->transferCommand.SendTransferCommand(line, folder);
    };

    p.transfer.Files().printText = [this](const std::string& cp932) { PrintLocal(cp932); };

    p.watch.SetMacroRunning([this] { return parts_->macro.IsRunning(); });
    p.macro.UseWatchBuffer(p.watch);

    ConnectionHooks ch;
    ch.printLocalText = [this](const std::string& cp932) { PrintLocal(cp932); };
    ch.setLanguageAndMenus = [this] { SetLanguageAndMenus(language); };
    ch.repaintView = [this] {
        shell_.RequestRepaint();
        UpdateTitle();
    };
    ch.resetTransferState = [this] { parts_->transfer.ResetTcpState(); };
    ch.closeTransferFile = [this] { parts_->transfer.Files().CloseQuietly(); };
    ch.onTcpChunk = [this] {
        ReceiveChunk& chunk = doc_.tcpChunk;
        parts_->interpreter.InterpretReceived(chunk.data.data(), chunk.position, chunk.length);
        const int length = chunk.length < 0 ? 0 : chunk.length;
        parts_->watch.CollectReceivedText(chunk.data.data(), static_cast<size_t>(length));
        NoteReception();
    };
    ch.panelSaveAndHide = [this] { parts_->panel.StopAndHide(); };
    ch.hostLinkState = [this](int up) { parts_->host.ReportConnection(up); };
    ch.hostConnectedAddress = [this](const std::string& ip) { parts_->host.ReportAddress(ip); };
    p.connection.SetHooks(std::move(ch));

    p.log.onStateChanged = [this] {
        UpdateTitle();
        shell_.MenusChanged();
    };
}

MacroHooks CPelinView::MakeMacroHooks() {
    MacroHooks mh;
    mh.sendTransferCommand = [this](const std::string& line, std::string& folder) {
        return parts_->transferCommand.SendTransferCommand(line, folder, true);
    };
    // Macro texts go through the interpreter like received text, so they are logged.
    mh.printLocalText = [this](const std::string& cp932) { parts_->interpreter.InterpretText(cp932); };
    mh.reopenSerial = [this](int baud) {
        parts_->serial.CloseComPort();
        int rc = parts_->serial.OpenComPort(doc_.comPort, baud, 2, doc_.dataBits, doc_.stopBits, doc_.parity);
        RefreshSerialWatch();
        return rc;
    };
    mh.clearReceivedText = [this] { parts_->watch.Clear(); };
    mh.checkWaitPatterns = [this](const std::string& awaited, const std::string& error) {
        return parts_->watch.CheckWaitPatterns(awaited, error);
    };
    mh.onStopped = [this](int endStatus) {
        parts_->panel.OnMacroStopped(endStatus);
        UpdateTitle();
        if (parts_->batchStarted && parts_->batchFinished) parts_->batchFinished(BatchExitStatus(endStatus));
    };
    return mh;
}

void CPelinView::PrintLocal(const std::string& cp932) {
    parts_->interpreter.PrintLocalText(cp932.c_str());
}

int CPelinView::OnCreate() {
    logFont = LogFont{};
    app_.view = this;
    parts_->display.ResetScroll();
    shell_.SetTimerHandler([this](int id) { OnTimer(id); });
    shell_.StartTimer(kPollTimerId, kPollTimerPeriodMs);
    transferFolder.clear();
    startupFolder = CutCp932(CurrentFolder(), kStartupFolderMax);
    hostWindow = 0;
    terminalNumber = 0;
    hostBusy = 0;
    saveForEditorPending = 0;
    hostTypedPending = 0;

    const CommandLineOptions options = ParseCommandLine(app_.rawCommandLine);
    std::string ignoredPath;
    TakeProfileWriteError(ignoredPath);  // only what fails from here on is reported at the end
    if (!app_.commandLineProfilePath.empty()) app_.ReplaceProfilePath(app_.commandLineProfilePath);
    if (options.hasConnection) doc_.startConnection = options.connection;
    if (options.hostLink) {
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

void CPelinView::ScheduleIdle() {
    if (parts_->idleScheduled || parts_->destroyed) return;
    parts_->idleScheduled = true;
    shell_.Post([this] { OnIdle(); });
}

void CPelinView::OnIdle() {
    parts_->idleScheduled = false;
    if (parts_->destroyed) return;
    parts_->keyboard.Poll();
    if (firstIdlePending) {
        firstIdlePending = 0;
        SetLanguageAndMenus(language);
        parts_->host.OnFirstPaint();
        parts_->connection.StartupConnect();
        RefreshSerialWatch();
        if (!parts_->batchMacro.empty() && doc_.connected == 0 && parts_->batchFinished)
            parts_->batchFinished(1);
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
    UpdateTitle();
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

size_t CPelinView::SerialPoll() {
    if (doc_.connected != 1 || !parts_->serial.IsOpen()) return 0;
    const size_t got = parts_->serial.DrainComPort([this](const uint8_t* chunk, int length) {
        int position = 0;
        int end = length;
        parts_->interpreter.InterpretReceived(chunk, position, end);
        parts_->watch.CollectReceivedText(chunk, static_cast<size_t>(length));
    });
    if (got > 0) NoteReception();
    return got;
}

void CPelinView::OnSerialReadable() {
    if (doc_.connected != 1 || doc_.isTcp != 0) return;
    // Readable with nothing to read: the device may have gone (the link then goes down), or the
    // line hung up for a moment: stop watching; the poll timer goes on and watches again on its
    // next tick. Nothing to read on a live line only means the poll tick took the bytes first;
    // the watch stays, so the next ENQ is answered at once.
    if (SerialPoll() == 0 && !CheckSerialLine() && parts_->serial.LineHungUp()) UnwatchSerial();
    ScheduleIdle();
}

void CPelinView::OnSerialPortEvents() {
    if (parts_->destroyed) return;
    const std::vector<SerialPortEvent> events = parts_->serialPorts.TakeEvents();
    if (events.empty() || !parts_->connection.OnSerialPortEvents(events)) return;
    RefreshSerialWatch();
    UpdateTitle();
    shell_.MenusChanged();
    ScheduleIdle();
}

bool CPelinView::CheckSerialLine() {
    if (doc_.connected != 1 || doc_.isTcp != 0 || !parts_->serial.IsOpen()) return false;
    const int error = parts_->serial.LineError();
    if (error == 0) return false;
    // No more readiness from a dead descriptor: it would report the hang-up forever.
    UnwatchSerial();
    parts_->connection.OnSerialLineLost(error);
    UpdateTitle();
    shell_.MenusChanged();
    return true;
}

void CPelinView::RefreshSerialWatch() {
    const int fd =
        (doc_.isTcp == 0 && doc_.connected && parts_->serial.IsOpen()) ? parts_->serial.Descriptor() : -1;
    if (fd == parts_->watchedSerialFd) return;
    UnwatchSerial();
    if (fd >= 0) {
        parts_->watchedSerialFd = fd;
        shell_.WatchDescriptor(fd, [this] { OnSerialReadable(); });
    }
}

void CPelinView::UnwatchSerial() {
    if (parts_->watchedSerialFd >= 0) {
        shell_.UnwatchDescriptor(parts_->watchedSerialFd);
        parts_->watchedSerialFd = -1;
    }
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
    language = lang != 0 ? 1 : 0;
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
            shell_.OpenDocument(GuideFile(language));
            break;
        case kCmdZuEditor:
        case kCmdQelEditor:
            if (auto command = CompanionEditorCommand(id, app_.profilePath, startupFolder, language))
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
                shell_.MessageBox("The command button panel needs the window.", BoxButtons::Ok,
                                  BoxIcon::Exclamation);
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
    s.language = language;
    s.selectionExists = p.selection.HasText();
    // A pressed panel button keeps Macro disabled until its run has ended, so that the menu
    // cannot start a macro the button's own MACRO command would then be refused.
    s.panelPressWaiting = p.panel.ButtonActive();
    s.panelButtonRunning = p.panel.ButtonActive();
    MenuCommandState& last = p.commandStates[id];
    last = ApplyCommandRule(id, s, last);
    if (id == kCmdZuEditor || id == kCmdQelEditor)
        last.enabled = CompanionEditorCommand(id, app_.profilePath, startupFolder, language).has_value();
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
    const std::string text = language == 1
                                 ? "The settings could not be saved to " + path + ": " + reason + "."
                                 : "設定を保存できませんでした: " + path + " (" + reason + ")";
    shell_.MessageBox(text, BoxButtons::Ok, BoxIcon::Exclamation);
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
    shell_.PaintNow();
}

void CPelinView::Paste() {
    // Each character is typed as a key, through the Enter handling for CR; a TAB goes out as a
    // blank. Text copied on Linux ends its lines with a lone LF: that is typed as Enter too (a
    // CR LF pair stays CR, then LF, as typed keys would give it).
    char previous = 0;
    for (char c : Utf8ToCp932(shell_.ClipboardText())) {
        uint8_t byte = c == '\t' ? ' ' : static_cast<uint8_t>(c);
        if (c == '\n' && previous != '\r') byte = '\r';
        previous = c;
        shell_.Post([this, byte] { OnChar(byte); });
    }
}

void CPelinView::OnMouseDown(int x, int y) {
    parts_->selection.ButtonDown(x, y);
    shell_.PaintNow();
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

const CDisplayModel& CPelinView::Display() const {
    return parts_->display;
}

int CPelinView::ReadLinkByte() {
    return parts_->link.ReadLinkByte();
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
