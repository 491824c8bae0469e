#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "platform/HostChannel.h"
#include "platform/Shell.h"

namespace tavrin {

// What the link needs of the terminal around it.
struct HostLinkHooks {
    // Types one character (CP932) on the keyboard path, as the window's typed characters go,
    // at once.
    std::function<void(uint8_t)> typeChar;
    // Whether the terminal takes the next typed character now: no Enter held and no keys
    // queued behind one, nothing waiting to go out to the controller. Empty: always.
    std::function<bool()> readyToType;
    // The numbered title was set or taken away: menus and title to refresh.
    std::function<void()> linkChanged;
    // The close question (Yes: may close).
    std::function<bool()> confirmClose;
    // Closes the window as a confirmed close does (placement saved, view destroyed).
    std::function<void()> closeWindow;
    // Moves the frame to (left, top) with this size; the console front end has none.
    std::function<void(int left, int top, int width, int height)> moveWindow;
    // A status line into the terminal (CP932, ends in "\n\r").
    std::function<void(const std::string&)> printLocal;
    // The host's commands ask for a transfer: into the working folder (workingFolder), or into
    // the folder of the last transfer command.
    std::function<void(bool workingFolder)> askTransfer;
};

// Host-typed text waits in a queue of at most this many bytes for the keyboard to take it.
inline constexpr size_t kHostTypedMax = 65536;
// The socket is not read while less room than this is left (one read can bring this much
// text), and is read again once the queue has drained to kHostTypedResume.
inline constexpr size_t kHostTypedReserve = 16384;
inline constexpr size_t kHostTypedResume = 16384;
// Characters typed per event-loop turn while the terminal takes them.
inline constexpr size_t kHostTypedPerTurn = 256;
// While the terminal takes no character, the queue is looked at again after this long.
inline constexpr int kHostTypeRetryMs = 20;

// The host editor link of the terminal: the messages and copy-data records exchanged with an
// editor that started Tavrin with "-N", carried as framed records over a local socket. It owns
// the channel and the link fields of the view state; the view forwards its events here.
// Nothing the host sends can make the terminal hold more than kHostTypedMax bytes of its text:
// while the queue is full the socket is not read, so the host's own sends block.
class CHostLink {
public:
    CHostLink(ViewState& view, CPelinDoc& doc, Shell& shell, std::unique_ptr<HostChannel> channel);
    ~CHostLink();
    CHostLink(const CHostLink&) = delete;
    CHostLink& operator=(const CHostLink&) = delete;

    HostLinkHooks& Hooks() { return hooks_; }

    // Connects to the host at path. 0 when linked; otherwise a HostOpenResult, the terminal
    // staying unlinked (a refused socket is told in the terminal, a missing one is not).
    int Attach(const std::string& path);
    // The first paint of the view: the host learns the terminal's id (0x8001). Once.
    void OnFirstPaint();
    // The view is destroyed: 0x8005 with the terminal number, then the link closes.
    void Detach();

    bool Linked() const { return view_.hostWindow != 0; }
    bool Numbered() const { return view_.hostWindow != 0 && view_.terminalNumber != 0; }

    // Message 0x8002: n numbers the terminal (numbered title); 0 unlinks it for the rest of the run.
    void SetTerminalNumber(int n);
    // Text from the host typed character by character (UTF-8 in, CP932 typed), while linked
    // and numbered; the typed transfer that follows deletes hostDeleteFile at its end. The
    // characters queue and are typed on later event-loop turns, as fast as the terminal takes them.
    void TypeHostText(const std::string& utf8);
    // Host-typed bytes not yet typed.
    size_t TypedPending() const { return typed_.size() - typedAt_; }
    // Bytes the queue holds in memory, typed ones not yet given back included.
    size_t TypedHeld() const { return typed_.size(); }
    // The socket is left unread because the queue is full.
    bool ReadingPaused() const { return readingPaused_; }
    // The file saved for the editor is complete: its full path goes to the host (kind 6).
    void NotifyHostSaved(const std::string& name);
    // After every connection attempt and disconnection (0x8003), then the address of a new
    // TCP/IP connection (kind 5).
    void ReportConnection(int connected);
    void ReportAddress(const std::string& ipAddress);
    // The busy state after a received character (0x8004), sent when it changes.
    void ReportBusy(int busy);
    // Context menu 32871: the controller saves hostProgramName into a new "svXXXX.tmp" of the
    // working folder, and the host is told the file's path when it is complete.
    void SaveAndOpenInEditor();
    // The frame text while numbered ("Tavrin #07 - [COM3]").
    std::string NumberedFrameText() const;

private:
    void OnReadable();
    void Handle(const HostRecord& record);
    void HandleCopyData(int64_t kind, const std::string& data);
    void Send(uint32_t message, int64_t lParam, std::string data = {});
    void CloseChannel();
    // Queues CP932 bytes for typing (cut at kHostTypedMax) and makes sure a turn is due.
    void QueueTyped(const std::string& cp932);
    void ScheduleTyping(int delayMs);
    // One turn: types while the terminal takes characters, then plans the next turn.
    void TypeQueued();
    void WatchChannel();
    void DropTyped();

    ViewState& view_;
    CPelinDoc& doc_;
    Shell& shell_;
    std::unique_ptr<HostChannel> channel_;
    HostLinkHooks hooks_;
    int watchedFd_ = -1;
    bool attachedSent_ = false;
    int lastBusySent_ = -1;
    // Host-typed CP932 bytes: typed_[typedAt_ ..) are still to be typed.
    std::string typed_;
    size_t typedAt_ = 0;
    bool readingPaused_ = false;
    bool typingScheduled_ = false;
    bool detached_ = false;
    // Turns posted to the event loop look here first: the link may be gone by then.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A new empty file "svXXXX.tmp" (four hex digits) in folder; its bare name, or empty when none
// could be made.
std::string CreateEditorTempFile(const std::string& folder);

}  // namespace tavrin
