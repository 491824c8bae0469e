#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

struct CPelinDoc;
struct LogFont;
class CWindowSetting;

// One file dialog with all it can be given. initialFile is the name the dialog starts with (a
// full path also chooses the folder); startFolder is shown when initialFile names none. save:
// a Save-as dialog that asks before replacing an existing file. mustExist (open dialogs): false
// accepts a name that does not exist yet, as long as its folder does.
struct FileDialogRequest {
    std::string title;
    std::string filter;  // "Description|*.ext" pairs joined by '|'
    std::string initialFile;
    std::string startFolder;
    std::string defaultExtension;
    bool save = false;
    bool mustExist = true;
};

enum class BoxButtons { Ok, OkCancel, YesNo, RetryCancel };
enum class BoxIcon { Exclamation, Information, Question, Stop };
enum class BoxAnswer { Ok, Cancel, Yes, No, Retry };

// What the core needs of its front end: the window, its dialogs and its event loop.
// Texts given to and returned by the Shell are UTF-8. Every call but Post happens on the
// event-loop thread. Modal calls (MessageBox, the file dialogs, AskInput) return only when the
// user has answered; the Qt front end shows a dialog, the console front end answers on
// stderr/stdin, tests answer from a scripted queue.
class Shell {
public:
    virtual ~Shell() = default;

    // A modal message box captioned "Tavrin". Returns the button chosen. Only for a question the
    // operator's own command waits on (closing the window); everything else uses AskLater.
    virtual BoxAnswer MessageBox(const std::string& text, BoxButtons buttons, BoxIcon icon) = 0;
    // A message box that does not stop the terminal: shown and left open, the call returns at
    // once. The macro interpreter uses it.
    virtual void ShowModelessMessage(const std::string& text) = 0;

    // A question that holds nothing up: `answered` (when given) runs on the event-loop thread at
    // a later turn, with the button chosen, never inside this call. Whatever the core raises from
    // input handling, a timer or a macro step is asked this way, so that no handler waits for the
    // operator in the middle of its work. The Qt front end opens a window-modal box and returns
    // at once; a front end whose boxes do not run an event loop (the console, tests) answers now
    // and hands the answer over at the next turn.
    virtual void AskLater(const std::string& text, BoxButtons buttons, BoxIcon icon,
                          std::function<void(BoxAnswer)> answered = {}) {
        const BoxAnswer answer = MessageBox(text, buttons, icon);
        if (answered) Post([answered = std::move(answered), answer] { answered(answer); });
    }
    // A message with only OK, shown without waiting.
    void Tell(const std::string& text, BoxIcon icon = BoxIcon::Exclamation) {
        AskLater(text, BoxButtons::Ok, icon);
    }

    // Modal file dialogs. filter is "Description|*.ext" pairs joined by '|'. Empty optional on
    // cancel. startFolder may be empty (the working folder).
    virtual std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                                   const std::string& startFolder) = 0;
    virtual std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                                   const std::string& startFolder,
                                                   const std::string& defaultExtension) = 0;
    // Which filter of the last AskOpenFile or AskSaveFile that returned a file was selected
    // when it was chosen: 0 for the first pair of the filter text. A front end that cannot tell
    // answers 0.
    virtual int LastFilterIndex() { return 0; }
    virtual std::optional<std::string> AskFolder(const std::string& title,
                                                 const std::string& startFolder) = 0;
    // The file dialog of the request; empty optional on cancel. A front end without it shows
    // the plain AskSaveFile or AskOpenFile.
    virtual std::optional<std::string> AskFile(const FileDialogRequest& request) {
        if (request.save)
            return AskSaveFile(request.title, request.filter, request.startFolder, request.defaultExtension);
        return AskOpenFile(request.title, request.filter, request.startFolder);
    }
    // The INPUT dialog of the macro keyinput statement: a one-line text entry. Empty optional
    // on Cancel.
    virtual std::optional<std::string> AskInput(const std::string& title, const std::string& prompt) = 0;
    // The same entry without waiting: `answered` runs at a later turn with the text, or an empty
    // optional on Cancel.
    virtual void AskInputLater(const std::string& title, const std::string& prompt,
                               std::function<void(std::optional<std::string>)> answered) {
        std::optional<std::string> entered = AskInput(title, prompt);
        if (answered)
            Post([answered = std::move(answered), entered = std::move(entered)] { answered(entered); });
    }

    // The connection dialogs. RunOptionsDialog edits doc.connections on its serial and TCP/IP
    // pages, its port list running COM1 ... COM + highestPort; true on OK, when the list has been
    // replaced. RunSelectConnectionDialog lists doc.connections; true on OK, when doc's connection
    // has been set from the chosen entry and that entry marked used. Both leave doc untouched and
    // return false on Cancel, and where the front end cannot show them.
    virtual bool RunOptionsDialog(CPelinDoc& /*doc*/, int /*highestPort*/) { return false; }
    virtual bool RunSelectConnectionDialog(CPelinDoc& /*doc*/) { return false; }

    // The font dialog of fixed-pitch screen fonts, started from font. True on OK, font then
    // holding the choice; false on Cancel and where there is no font dialog, font untouched.
    virtual bool AskFont(LogFont& /*font*/) { return false; }
    // Makes the terminal font from the view's font description and measures the document's
    // charWidth and charHeight with it. False when no font could be made: the metrics stay.
    virtual bool ApplyTerminalFont() { return false; }
    // The Window setting dialog over its working values: true on OK with setting edited; false
    // on Cancel and where the front end cannot show it.
    virtual bool RunWindowSettingDialog(CWindowSetting& /*setting*/) { return false; }

    // The default system sound.
    virtual void Beep() = 0;
    // Asks for a repaint of the whole terminal; requests made before the next event-loop turn
    // merge into one paint.
    virtual void RequestRepaint() = 0;
    // The caret position or the scroll state of the display model changed.
    virtual void UpdateCaret() = 0;
    // The window title (UTF-8).
    virtual void SetTitle(const std::string& title) = 0;
    // The menus, toolbar tips or the check and enable state of commands may have changed.
    virtual void MenusChanged() = 0;

    virtual std::string ClipboardText() = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    // Whether the clipboard holds text: asked for the Paste command's state on every idle turn,
    // so a front end whose clipboard lives in another process answers from what it last heard.
    virtual bool ClipboardHasText() { return !ClipboardText().empty(); }

    // Opens a document (help file) with the desktop's viewer; false when it could not be started.
    virtual bool OpenDocument(const std::string& path) = 0;
    // Starts a program detached from this one; false when it could not be started.
    virtual bool StartDetached(const std::string& program, const std::vector<std::string>& arguments) = 0;

    // Runs task on the event-loop thread at a later turn. Safe to call from any thread.
    virtual void Post(std::function<void()> task) = 0;
    // Runs task once on the event-loop thread after at least ms milliseconds; the loop goes on
    // serving everything else meanwhile. Event-loop thread only.
    virtual void PostAfter(int ms, std::function<void()> task) = 0;

    // Progress window of a file sent to the controller: shown with a title and a Cancel
    // button; Progress(percent) moves its bar; ProgressCancelled tells whether Cancel was
    // pressed since it was shown.
    virtual void ShowProgress(const std::string& title) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual bool ProgressCancelled() = 0;
    virtual void HideProgress() = 0;

    // The progress of a controller save or load: one line of text (UTF-8) and a percentage
    // (-1 when the total is unknown), with a way for the operator to cancel it (the window's
    // Cancel button and Esc reach CPelinView::CancelTransfer). Shown again as it moves; hidden
    // when the transfer ends.
    virtual void ShowTransferProgress(const std::string& /*utf8Text*/, int /*percent*/) {}
    virtual void HideTransferProgress() {}

    // Window timers: after StartTimer the front end calls the handler given to SetTimerHandler
    // with id every periodMs until StopTimer(id). Starting a running id restarts it.
    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;
    virtual void SetTimerHandler(std::function<void(int id)> handler) = 0;
    // Calls onReadable on the event-loop thread whenever descriptor fd can be read, until
    // UnwatchDescriptor(fd). One watch per descriptor.
    virtual void WatchDescriptor(int fd, std::function<void()> onReadable) = 0;
    virtual void UnwatchDescriptor(int fd) = 0;
    // Calls onWritable on the event-loop thread whenever descriptor fd can take bytes, until
    // UnwatchWritable(fd). One such watch per descriptor, beside its read watch.
    virtual void WatchWritable(int fd, std::function<void()> onWritable) = 0;
    virtual void UnwatchWritable(int fd) = 0;

    // Moves the main window to (left, top) with this outer size. The console has no window.
    virtual void MoveFrame(int /*left*/, int /*top*/, int /*width*/, int /*height*/) {}
    // Closes the main window as a confirmed close does (placement saved, view destroyed, the
    // program ends). Without a window: the event loop ends with status 0.
    virtual void CloseFrame() { Quit(0); }

    // Ends the program's event loop with this exit status.
    virtual void Quit(int status) = 0;
};

}  // namespace tavrin
