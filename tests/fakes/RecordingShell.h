#pragma once
#include <poll.h>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Shell.h"

namespace tavrin::testing {

// A Shell that paints nothing, records what the core asked of it and answers modal questions
// from scripted queues (default: Ok / No / Cancel / no file).
class RecordingShell : public Shell {
public:
    struct Box {
        std::string text;
        BoxButtons buttons;
        BoxIcon icon;
        bool waited = true;  // asked with the modal MessageBox, not with AskLater
    };

    BoxAnswer MessageBox(const std::string& text, BoxButtons buttons, BoxIcon icon) override {
        boxes.push_back({text, buttons, icon});
        if (!answers.empty()) {
            BoxAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        switch (buttons) {
            case BoxButtons::Ok: return BoxAnswer::Ok;
            case BoxButtons::OkCancel: return BoxAnswer::Cancel;
            case BoxButtons::YesNo: return BoxAnswer::No;
            case BoxButtons::RetryCancel: return BoxAnswer::Cancel;
        }
        return BoxAnswer::Ok;
    }
    void ShowModelessMessage(const std::string& text) override { modeless.push_back(text); }
    // Recorded as it is asked; the answer comes at the next RunPosted, as after a click.
    void AskLater(const std::string& text, BoxButtons buttons, BoxIcon icon,
                  std::function<void(BoxAnswer)> answered) override {
        const BoxAnswer answer = MessageBox(text, buttons, icon);
        boxes.back().waited = false;
        if (answered) posted.push_back([answered = std::move(answered), answer] { answered(answer); });
    }
    std::optional<std::string> AskOpenFile(const std::string& title, const std::string&,
                                           const std::string&) override {
        dialogTitles.push_back(title);
        return Next(files);
    }
    std::optional<std::string> AskSaveFile(const std::string& title, const std::string&, const std::string&,
                                           const std::string&) override {
        dialogTitles.push_back(title);
        return Next(files);
    }
    std::optional<std::string> AskFile(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (onFileDialog) onFileDialog();
        return Shell::AskFile(request);
    }
    int LastFilterIndex() override { return filterIndex; }
    std::optional<std::string> AskFolder(const std::string& title, const std::string&) override {
        dialogTitles.push_back(title);
        return Next(files);
    }
    std::optional<std::string> AskInput(const std::string& title, const std::string&) override {
        dialogTitles.push_back(title);
        return Next(inputs);
    }
    bool RunOptionsDialog(CPelinDoc& doc, int highestPort) override {
        ++optionsDialogs;
        lastHighestPort = highestPort;
        return optionsDialog ? optionsDialog(doc) : false;
    }
    bool RunSelectConnectionDialog(CPelinDoc& doc) override {
        ++selectConnectionDialogs;
        return selectConnectionDialog ? selectConnectionDialog(doc) : false;
    }
    bool AskFont(LogFont& font) override {
        ++fontDialogs;
        return fontDialog ? fontDialog(font) : false;
    }
    bool ApplyTerminalFont() override {
        ++fontsApplied;
        return applyFont ? applyFont() : false;
    }
    bool RunWindowSettingDialog(CWindowSetting& setting) override {
        ++windowSettingDialogs;
        return windowSettingDialog ? windowSettingDialog(setting) : false;
    }
    void Beep() override { ++beeps; }
    void RequestRepaint() override { ++repaintRequests; }
    void UpdateCaret() override { ++caretUpdates; }
    void SetTitle(const std::string& t) override { title = t; }
    void MenusChanged() override { ++menuRefreshes; }
    std::string ClipboardText() override { return clipboard; }
    void SetClipboardText(const std::string& text) override { clipboard = text; }
    bool OpenDocument(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    bool StartDetached(const std::string& program, const std::vector<std::string>& args) override {
        started.push_back(program);
        startedArgs.push_back(args);
        return true;
    }
    void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
    void PostAfter(int ms, std::function<void()> task) override { delayed.push_back({ms, std::move(task)}); }
    void ShowProgress(const std::string& t) override {
        progressTitle = t;
        progressShown = true;
    }
    void SetProgress(int percent) override { progress.push_back(percent); }
    bool ProgressCancelled() override { return cancelProgress; }
    void HideProgress() override { progressShown = false; }
    void StartTimer(int id, int periodMs) override { timers[id] = periodMs; }
    void StopTimer(int id) override { timers.erase(id); }
    void SetTimerHandler(std::function<void(int)> handler) override { timerHandler = std::move(handler); }
    void WatchDescriptor(int fd, std::function<void()> onReadable) override {
        watches[fd] = std::move(onReadable);
    }
    void UnwatchDescriptor(int fd) override { watches.erase(fd); }
    void WatchWritable(int fd, std::function<void()> onWritable) override {
        writeWatches[fd] = std::move(onWritable);
    }
    void UnwatchWritable(int fd) override { writeWatches.erase(fd); }
    void Quit(int status) override { quitStatus = status; }

    // Runs the posted tasks (and those they post) until none are left.
    void RunPosted() {
        while (!posted.empty()) {
            auto task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    }

    // One turn of an event loop over the watched descriptors: waits at most timeoutMs for any
    // to be ready, then runs the handlers of those that are (each looked up again, as an
    // earlier one may have removed it). False when none became ready in time.
    bool ServeWatches(int timeoutMs) {
        std::vector<pollfd> wanted;
        for (const auto& w : watches) wanted.push_back({w.first, POLLIN, 0});
        for (const auto& w : writeWatches) wanted.push_back({w.first, POLLOUT, 0});
        if (wanted.empty() || ::poll(wanted.data(), wanted.size(), timeoutMs) <= 0) return false;
        for (const pollfd& p : wanted) {
            if (p.revents == 0) continue;
            auto& table = p.events == POLLIN ? watches : writeWatches;
            auto found = table.find(p.fd);
            if (found == table.end()) continue;
            auto handler = found->second;
            handler();
        }
        return true;
    }

    // The delayed tasks due now (as if their time had passed), then what they posted.
    void RunDelayed() {
        auto due = std::move(delayed);
        delayed.clear();
        for (auto& d : due) d.second();
        RunPosted();
    }

    std::vector<Box> boxes;
    std::deque<BoxAnswer> answers;
    std::vector<std::string> modeless;
    std::deque<std::optional<std::string>> files;
    std::deque<std::optional<std::string>> inputs;
    std::vector<std::string> dialogTitles;
    int filterIndex = 0;  // what LastFilterIndex answers
    // What the connection dialogs do (edit doc, answer true for OK); without one they answer
    // Cancel.
    std::function<bool(CPelinDoc&)> optionsDialog, selectConnectionDialog;
    std::vector<FileDialogRequest> fileRequests;  // every AskFile, answered from files
    std::function<void()> onFileDialog;           // runs while an AskFile dialog is open
    // The font and Window setting dialogs (edit, answer true for OK) and the making of the
    // terminal font; without one they answer Cancel, or false.
    std::function<bool(LogFont&)> fontDialog;
    std::function<bool()> applyFont;
    std::function<bool(CWindowSetting&)> windowSettingDialog;
    int fontDialogs = 0, fontsApplied = 0, windowSettingDialogs = 0;
    int optionsDialogs = 0, selectConnectionDialogs = 0, lastHighestPort = -1;
    int beeps = 0, repaintRequests = 0, caretUpdates = 0, menuRefreshes = 0;
    std::string title, clipboard, progressTitle;
    std::vector<std::string> opened, started;
    std::vector<std::vector<std::string>> startedArgs;
    std::deque<std::function<void()>> posted;
    std::vector<std::pair<int, std::function<void()>>> delayed;
    std::map<int, std::function<void()>> writeWatches;
    bool progressShown = false, cancelProgress = false;
    std::vector<int> progress;
    std::map<int, int> timers;
    std::function<void(int)> timerHandler;
    std::map<int, std::function<void()>> watches;
    std::optional<int> quitStatus;

private:
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& q) {
        if (q.empty()) return std::nullopt;
        auto v = q.front();
        q.pop_front();
        return v;
    }
};

}  // namespace tavrin::testing
