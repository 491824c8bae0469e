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
    // Types one character (CP932) on the keyboard path, as the window's typed characters go.
    std::function<void(uint8_t)> typeChar;
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

// The host editor link of the terminal: the messages and copy-data records exchanged with an
// editor that started Tavrin with "-N", carried as framed records over a local socket. It owns
// the channel and the link fields of the view state; the view forwards its events here.
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
    // and numbered; the typed transfer that follows deletes hostDeleteFile at its end.
    void TypeHostText(const std::string& utf8);
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

    ViewState& view_;
    CPelinDoc& doc_;
    Shell& shell_;
    std::unique_ptr<HostChannel> channel_;
    HostLinkHooks hooks_;
    int watchedFd_ = -1;
    bool attachedSent_ = false;
    int lastBusySent_ = -1;
};

// A new empty file "svXXXX.tmp" (four hex digits) in folder; its bare name, or empty when none
// could be made.
std::string CreateEditorTempFile(const std::string& folder);

}  // namespace tavrin
