#pragma once
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>

#include "platform/Shell.h"

class QProgressDialog;
class QSocketNotifier;
class QTimer;
class QWidget;

namespace tavrin {

class CHelpWindow;
class CMainFrame;
class CTerminalWidget;

// The Shell of the Qt window: message boxes and file dialogs over the frame, timers per id,
// descriptor watches, posting through the event loop, and the paint, caret, title and menu
// requests passed to the frame and its terminal widget.
class CQtShell : public QObject, public Shell {
    Q_OBJECT
public:
    explicit CQtShell(QObject* parent = nullptr);
    ~CQtShell() override;

    // The frame that dialogs belong to and that shows titles, menus and the terminal. Until it
    // is set, dialogs have no parent and paint requests do nothing.
    void SetFrame(CMainFrame* frame);
    // Called after every handler that ran core code (a timer tick, a readable descriptor, a
    // posted task): the frame schedules an idle turn.
    void SetActivityHandler(std::function<void()> handler) { activity_ = std::move(handler); }

    BoxAnswer MessageBox(const std::string& text, BoxButtons buttons, BoxIcon icon) override;
    void ShowModelessMessage(const std::string& text) override;
    void AskLater(const std::string& text, BoxButtons buttons, BoxIcon icon,
                  std::function<void(BoxAnswer)> answered) override;
    std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                           const std::string& startFolder) override;
    std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                           const std::string& startFolder,
                                           const std::string& defaultExtension) override;
    int LastFilterIndex() override { return lastFilterIndex_; }
    std::optional<std::string> AskFolder(const std::string& title, const std::string& startFolder) override;
    std::optional<std::string> AskInput(const std::string& title, const std::string& prompt) override;
    void AskInputLater(const std::string& title, const std::string& prompt,
                       std::function<void(std::optional<std::string>)> answered) override;
    bool RunOptionsDialog(CPelinDoc& doc, int highestPort) override;
    bool RunSelectConnectionDialog(CPelinDoc& doc) override;
    std::optional<std::string> AskFile(const FileDialogRequest& request) override;
    bool AskFont(LogFont& font) override;
    bool ApplyTerminalFont() override;
    bool RunWindowSettingDialog(CWindowSetting& setting) override;
    void Beep() override;
    void RequestRepaint() override;
    void UpdateCaret() override;
    void SetTitle(const std::string& title) override;
    void MenusChanged() override;
    std::string ClipboardText() override;
    void SetClipboardText(const std::string& text) override;
    bool ClipboardHasText() override;
    bool OpenDocument(const std::string& path) override;
    bool StartDetached(const std::string& program, const std::vector<std::string>& arguments) override;
    void Post(std::function<void()> task) override;
    void PostAfter(int ms, std::function<void()> task) override;
    void ShowProgress(const std::string& title) override;
    void SetProgress(int percent) override;
    bool ProgressCancelled() override;
    void HideProgress() override;
    void ShowTransferProgress(const std::string& utf8Text, int percent) override;
    void HideTransferProgress() override;
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void SetTimerHandler(std::function<void(int id)> handler) override;
    void WatchDescriptor(int fd, std::function<void()> onReadable) override;
    void UnwatchDescriptor(int fd) override;
    void WatchWritable(int fd, std::function<void()> onWritable) override;
    void UnwatchWritable(int fd) override;
    void Quit(int status) override;
    void MoveFrame(int left, int top, int width, int height) override;
    void CloseFrame() override;

    // "Description|*.ext|Other|*.*" (a trailing "||" allowed) as a Qt name filter list.
    static QStringList NameFilters(const std::string& filter);

private:
    QWidget* DialogParent() const;
    void Activity();

    QPointer<CMainFrame> frame_;
    std::function<void()> activity_;
    bool clipboardWatched_ = false;  // dataChanged connected
    bool clipboardKnown_ = false;    // clipboardHasText_ is up to date
    bool clipboardHasText_ = false;
    std::function<void(int)> timerHandler_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    std::map<int, std::unique_ptr<QSocketNotifier>> watches_;
    std::map<int, std::function<void()>> watchHandlers_;
    std::map<int, std::unique_ptr<QSocketNotifier>> writeWatches_;
    std::map<int, std::function<void()>> writeHandlers_;
    QPointer<QProgressDialog> progress_;
    QPointer<CHelpWindow> help_;  // the user guide's window, made when first asked for
    bool progressCancelled_ = false;
    int lastFilterIndex_ = 0;
};

}  // namespace tavrin
