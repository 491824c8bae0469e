#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "platform/ErrorLines.h"
#include "platform/Shell.h"

namespace tavrin {

// The Shell of the console front end: message boxes go to stderr and take their default answer
// (OK; Yes/No questions get No; Retry/Cancel gets Cancel), dialogs are cancelled, the INPUT
// dialog reads one line from the terminal when stdin is one, timers and descriptor watches run
// on the QtCore event loop.
class CConsoleShell : public QObject, public Shell {
    Q_OBJECT
public:
    explicit CConsoleShell(QObject* parent = nullptr);
    ~CConsoleShell() override;

    BoxAnswer MessageBox(const std::string& text, BoxButtons buttons, BoxIcon icon) override;
    void ShowModelessMessage(const std::string& text) override;
    std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                           const std::string& startFolder) override;
    std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                           const std::string& startFolder,
                                           const std::string& defaultExtension) override;
    std::optional<std::string> AskFolder(const std::string& title, const std::string& startFolder) override;
    std::optional<std::string> AskInput(const std::string& title, const std::string& prompt) override;
    // The connection, font and Window setting dialogs need the window: said on stderr, and the
    // command does nothing.
    bool RunOptionsDialog(CPelinDoc& doc, int highestPort) override;
    bool RunSelectConnectionDialog(CPelinDoc& doc) override;
    bool AskFont(LogFont& font) override;
    bool RunWindowSettingDialog(CWindowSetting& setting) override;
    void Beep() override;
    void RequestRepaint() override;
    void UpdateCaret() override {}
    void SetTitle(const std::string& title) override;
    void MenusChanged() override {}
    std::string ClipboardText() override { return clipboard_; }
    void SetClipboardText(const std::string& text) override { clipboard_ = text; }
    bool OpenDocument(const std::string& path) override;
    bool StartDetached(const std::string& program, const std::vector<std::string>& arguments) override;
    void Post(std::function<void()> task) override;
    void PostAfter(int ms, std::function<void()> task) override;
    void ShowProgress(const std::string& title) override;
    void SetProgress(int percent) override;
    bool ProgressCancelled() override { return false; }
    void HideProgress() override;
    // On a terminal: one stderr line rewritten in place; elsewhere nothing.
    void ShowTransferProgress(const std::string& utf8Text, int percent) override;
    void HideTransferProgress() override;
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    void SetTimerHandler(std::function<void(int id)> handler) override { timerHandler_ = std::move(handler); }
    void WatchDescriptor(int fd, std::function<void()> onReadable) override;
    void UnwatchDescriptor(int fd) override;
    void WatchWritable(int fd, std::function<void()> onWritable) override;
    void UnwatchWritable(int fd) override;
    void Quit(int status) override;

    // Called when a repaint is due (once per event-loop turn however many were requested).
    void SetPaintHandler(std::function<void()> handler) { paintHandler_ = std::move(handler); }
    // Reads one line for the INPUT dialog from the user's terminal (empty optional: none can be
    // read). Without a reader the dialog is cancelled.
    void SetLineReader(std::function<std::optional<std::string>(const std::string& prompt)> reader) {
        lineReader_ = std::move(reader);
    }

    // Window titles go to stderr ("Tavrin: title: ...") as they change: a terminal linked to a
    // host editor shows its number there.
    void ShowTitles(bool shown) { showTitles_ = shown; }

    // One line on stderr ("Tavrin: " + line): control bytes shown as ^X, a run of the same line
    // folded into one line and a count.
    void PrintToStderr(const std::string& line);
    // Writes the count of a folded run now (before the program ends or prompts).
    void FlushErrors();

private:
    CErrorLineFolder errors_;
    QTimer quietFlush_;
    bool stderrIsTerminal_ = false;
    int64_t lastBellMs_ = 0;
    bool showTitles_ = false;
    std::string lastTitle_;
    std::function<void(int)> timerHandler_;
    std::function<void()> paintHandler_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    std::map<int, std::unique_ptr<QSocketNotifier>> watches_;
    std::map<int, std::unique_ptr<QSocketNotifier>> writeWatches_;
    bool repaintPending_ = false;
    std::function<std::optional<std::string>(const std::string&)> lineReader_;
    int lastProgress_ = -1;
    bool transferLineShown_ = false;
    std::string clipboard_;
};

}  // namespace tavrin
