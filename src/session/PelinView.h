#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "link/LinkOps.h"
#include "platform/Clock.h"
#include "platform/Shell.h"

namespace tavrin {

class CPelinApp;
class CDisplayModel;
class CCommandPanel;
class CRunReport;
struct MacroHooks;
struct ViewEnvironment;

enum class ArrowKey { Up, Down, Left, Right };
enum class ScrollAction { LineUp, LineDown, PageUp, PageDown, ThumbTrack, Top, Bottom };

struct CommandState {
    bool enabled = true;
    bool checked = false;
};

// The terminal view: the hub every front end drives. It owns the terminal's working state
// (ViewState), implements the link operations, and turns front-end events (timer ticks,
// readiness, keys, commands, resizes) into the subsystems' operations. Single-threaded: every
// call happens on the event-loop thread. It reaches the machine only through shell and env (the
// serial device, the port list, sockets, the host channel, the clock); what env refers to must
// outlive the view.
class CPelinView : public ViewState, public LinkOps {
public:
    CPelinView(CPelinApp& app, CPelinDoc& doc, Shell& shell, const ViewEnvironment& env);
    ~CPelinView() override;
    CPelinView(const CPelinView&) = delete;
    CPelinView& operator=(const CPelinView&) = delete;

    // The view window's creation steps (timer 1, fonts, settings, connection list). 0 on
    // success.
    int OnCreate();
    // One idle turn of the event loop: the first-idle work and the start-up macro hand-off.
    void OnIdle();
    // Window timer id fired (1: the 20 ms poll, 2: the silence timer).
    void OnTimer(int id);
    // One typed byte (CP932); Enter arrives as '\r'.
    void OnChar(uint8_t byte);
    // An Enter waits for the controller's echo, or keys wait behind one.
    bool KeysPending() const;
    // Typed or committed (IME) text in UTF-8: encoded to CP932 and typed byte by byte.
    void OnText(const std::string& utf8);
    void OnArrowKey(ArrowKey key);
    // A menu or toolbar command by its identifier.
    void OnCommand(int id);
    CommandState QueryCommand(int id) const;
    // The close confirmation; true when the window may close (placement already saved).
    bool ConfirmClose();
    // The view window is destroyed: disconnect, save settings, fonts, terminal look, list.
    void OnDestroy();

    // Display geometry from the front end.
    void OnResize(int clientWidth, int clientHeight);
    void OnVScroll(ScrollAction action, int thumbPosition);
    void OnHScroll(ScrollAction action, int thumbPosition);
    void OnFocus(bool focused);

    // Front-end observers: a screen row completed by a line feed (80 CP932 bytes), and bytes
    // received from the controller.
    void SetRowObserver(std::function<void(const uint8_t* row80)> observer);
    void SetReceptionObserver(std::function<void()> observer);
    // Batch mode: macroFile runs after the controller's first prompt instead of the start-up
    // macro; onFinished gets 0 when it ended by itself, 2 when it was stopped, 1 when the
    // connection could not be made.
    void SetBatchMacro(const std::string& macroFile, std::function<void(int status)> onFinished);
    // The start-up connect has ended (on the first idle turn, or later when a TCP/IP connect runs
    // on in the event loop); failed: a connection ("-C=", or the automatic one) was tried and could
    // not be made, and the failure has been told. Keys from a script belong after it.
    void SetStartupConnectEnded(std::function<void(bool failed)> onEnded);
    // --report: every transfer that ends is written to report (owned by the caller; nullptr none).
    void SetRunReport(CRunReport* report);

    // A save or load is under way (progress shown); CancelTransfer ends it as a failed one.
    bool TransferBusy() const;
    // A save's last steps (the flush to disk, the rename) are running: the program must not end
    // before they have, or the file may not take its name.
    bool SaveCommitting() const;
    void CancelTransfer();

    // The window title as it should read now (UTF-8).
    std::string TitleText() const;

    // LinkOps.
    void SendLinkByte(uint8_t byte) override;
    void SendLinkBytes(const uint8_t* bytes, size_t count) override;
    size_t SendOnSocket(const uint8_t* bytes, size_t count) override;
    void PurgeComPort() override;

    // The left mouse button over the terminal, in client pixels: a drag selects text of the
    // history. clientHeight tells when the pointer has left the window above or below.
    void OnMouseDown(int x, int y);
    void OnMouseMove(int x, int y, int clientHeight);
    void OnMouseUp(int x, int y);
    // The history cells [lo, hi) to paint highlighted (cell = history line * 80 + column);
    // false when none.
    bool SelectionHighlight(int& lo, int& hi) const;
    // The selected text (UTF-8), empty when nothing is selected.
    std::string SelectionText() const;
    // Types text (UTF-8) as Paste types the clipboard's.
    void PasteText(const std::string& utf8);

    // Files dropped on the window.
    void OnDropFiles(const std::vector<std::string>& files);
    // Sets the language, rebuilds the menus and tips and refreshes the title.
    void SetLanguageAndMenus(int lang);
    // Composes the title and sets it when it changed.
    void UpdateTitle();
    // The viewport the terminal widget paints from.
    const CDisplayModel& Display() const;
    // The command button panel; the Qt front end gives it its window.
    CCommandPanel& Panel();

    CPelinDoc& Document() { return doc_; }
    const CPelinDoc& Document() const { return doc_; }
    Shell& GetShell() { return shell_; }

private:
    struct Parts;
    void WireParts();
    MacroHooks MakeMacroHooks();
    void PrintLocal(const std::string& cp932);
    void ScheduleIdle();
    void StartupConnectEnded();
    void StartBatchMacro();
    // Drains the serial port into the screen and the watch buffer; the bytes read.
    size_t SerialPoll();
    void OnSerialReadable();
    void RefreshSerialWatch();
    void UnwatchSerial();
    // Whether the open serial device has gone; if so the link goes down (true).
    bool CheckSerialLine();
    // udev reported serial devices coming or going.
    void OnSerialPortEvents();
    void NoteReception();
    // The inbound pipeline: one chunk from the port or the socket.
    void OnReceived(const uint8_t* data, size_t count);
    void ArmTransferTimer();
    void OnTransferTimer();
    void UpdateTransferProgress(bool busyChanged);
    void UpdatePollTimer();
    // Keys that wait (an Enter for its echo, keys for the prompt after a transfer) are looked at
    // again when their wait ends, by a timer set for the keyboard's next deadline.
    void ArmKeysTimer();
    void SetCurrentFolder();
    void SaveSetup();
    void RestoreSetup();
    void ReportSettingsNotSaved();
    void Copy();
    void Paste();
    static std::optional<std::string> CurrentFolderOrNothing();

    CPelinApp& app_;
    CPelinDoc& doc_;
    Shell& shell_;
    Clock& clock_;
    std::unique_ptr<Parts> parts_;
};

}  // namespace tavrin
