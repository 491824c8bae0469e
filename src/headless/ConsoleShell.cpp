#include "headless/ConsoleShell.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QProcess>
#include <QStringList>

#include <chrono>
#include <cstdio>

namespace tavrin {

namespace {

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// At most one bell a second reaches the user's terminal; none goes into a file or a pipe.
constexpr int64_t kBellIntervalMs = 1000;

// Box texts may carry the terminal's own line ends; stderr shows them as one clean line each.
std::string WithoutTerminalLineEnds(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    while (!out.empty() && out.front() == '\n') out.erase(out.begin());
    return out;
}

}  // namespace

CConsoleShell::CConsoleShell(QObject* parent)
    : QObject(parent), errors_([](const std::string& line) {
          std::fprintf(stderr, "Tavrin: %s\n", line.c_str());
          std::fflush(stderr);
      }) {
    stderrIsTerminal_ = ::isatty(STDERR_FILENO) != 0;
    quietFlush_.setSingleShot(true);
    connect(&quietFlush_, &QTimer::timeout, this, [this] { FlushErrors(); });
}

CConsoleShell::~CConsoleShell() {
    FlushErrors();
}

void CConsoleShell::PrintToStderr(const std::string& line) {
    errors_.Line(PrintableErrorLine(line));
    // A run of repeats is told once it has been quiet for a second.
    if (errors_.Pending() > 0) quietFlush_.start(static_cast<int>(CErrorLineFolder::kQuietMs));
}

void CConsoleShell::FlushErrors() {
    quietFlush_.stop();
    errors_.Flush();
}

BoxAnswer CConsoleShell::MessageBox(const std::string& text, BoxButtons buttons, BoxIcon) {
    const char* answer = "OK";
    BoxAnswer result = BoxAnswer::Ok;
    switch (buttons) {
        case BoxButtons::Ok: break;
        case BoxButtons::OkCancel: answer = "OK"; break;
        case BoxButtons::YesNo: answer = "No", result = BoxAnswer::No; break;
        case BoxButtons::RetryCancel: answer = "Cancel", result = BoxAnswer::Cancel; break;
    }
    // A box of several lines (the cause, then the question) is told a line at a time; the
    // answer taken follows the last.
    const std::string shown = WithoutTerminalLineEnds(text);
    size_t start = 0;
    for (size_t end = shown.find('\n'); end != std::string::npos; end = shown.find('\n', start)) {
        PrintToStderr(shown.substr(start, end - start));
        start = end + 1;
    }
    PrintToStderr(shown.substr(start) + " [" + answer + "]");
    return result;
}

void CConsoleShell::ShowModelessMessage(const std::string& text) {
    PrintToStderr(WithoutTerminalLineEnds(text));
}

std::optional<std::string> CConsoleShell::AskOpenFile(const std::string& title, const std::string&,
                                                      const std::string&) {
    PrintToStderr(title + " [no file dialog in console mode: cancelled]");
    return std::nullopt;
}

std::optional<std::string> CConsoleShell::AskSaveFile(const std::string& title, const std::string&,
                                                      const std::string&, const std::string&) {
    PrintToStderr(title + " [no file dialog in console mode: cancelled]");
    return std::nullopt;
}

std::optional<std::string> CConsoleShell::AskFolder(const std::string& title, const std::string&) {
    PrintToStderr(title + " [no folder dialog in console mode: cancelled]");
    return std::nullopt;
}

std::optional<std::string> CConsoleShell::AskInput(const std::string& title, const std::string& prompt) {
    if (!lineReader_) {
        PrintToStderr(title + ": " + prompt + " [no terminal to ask: cancelled]");
        return std::nullopt;
    }
    FlushErrors();
    return lineReader_(title + ": " + prompt + " ");
}

bool CConsoleShell::RunOptionsDialog(CPelinDoc& /*doc*/, int /*highestPort*/) {
    PrintToStderr("Options: the dialog is not available in console mode");
    return false;
}

bool CConsoleShell::RunSelectConnectionDialog(CPelinDoc& /*doc*/) {
    PrintToStderr("Select Connection: the dialog is not available in console mode");
    return false;
}

bool CConsoleShell::AskFont(LogFont& /*font*/) {
    PrintToStderr("Font: the dialog is not available in console mode");
    return false;
}

bool CConsoleShell::RunWindowSettingDialog(CWindowSetting& /*setting*/) {
    PrintToStderr("Window setting: the dialog is not available in console mode");
    return false;
}

void CConsoleShell::Beep() {
    // A controller (or a telnet peer) can send bells by the thousand: the user's terminal rings
    // at most once a second, and a log of stderr never holds one.
    if (!stderrIsTerminal_) return;
    const int64_t now = SteadyMs();
    if (lastBellMs_ != 0 && now - lastBellMs_ < kBellIntervalMs) return;
    lastBellMs_ = now;
    FlushErrors();
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

void CConsoleShell::RequestRepaint() {
    if (repaintPending_) return;
    repaintPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            repaintPending_ = false;
            if (paintHandler_) paintHandler_();
        },
        Qt::QueuedConnection);
}

void CConsoleShell::SetTitle(const std::string& title) {
    if (!showTitles_ || title == lastTitle_) return;
    lastTitle_ = title;
    PrintToStderr("title: " + title);
}

bool CConsoleShell::OpenDocument(const std::string& path) {
    // The desktop's viewer, as the window front end would use it.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(path)});
}

bool CConsoleShell::StartDetached(const std::string& program, const std::vector<std::string>& arguments) {
    QStringList args;
    for (const auto& a : arguments) args << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), args);
}

void CConsoleShell::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void CConsoleShell::PostAfter(int ms, std::function<void()> task) {
    QTimer::singleShot(ms, this, std::move(task));
}

void CConsoleShell::ShowProgress(const std::string& title) {
    lastProgress_ = -1;
    PrintToStderr(title);
}

void CConsoleShell::SetProgress(int percent) {
    // One line per tenth, so a long send does not flood stderr.
    if (percent / 10 == lastProgress_ / 10 && lastProgress_ >= 0) return;
    lastProgress_ = percent;
    PrintToStderr(std::to_string(percent) + "%");
}

void CConsoleShell::HideProgress() {
    lastProgress_ = -1;
}

void CConsoleShell::ShowTransferProgress(const std::string& utf8Text, int /*percent*/) {
    if (!stderrIsTerminal_) return;
    // Carriage return, the line, and erase to its end: the line is rewritten in place.
    std::fprintf(stderr, "\r%s\033[K", utf8Text.c_str());
    std::fflush(stderr);
    transferLineShown_ = true;
}

void CConsoleShell::HideTransferProgress() {
    if (!transferLineShown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    transferLineShown_ = false;
}

void CConsoleShell::StartTimer(int id, int periodMs) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, id] {
            if (timerHandler_) timerHandler_(id);
        });
    }
    timer->start(periodMs);
}

void CConsoleShell::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

void CConsoleShell::WatchDescriptor(int fd, std::function<void()> onReadable) {
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, [cb = std::move(onReadable)] { cb(); });
    watches_[fd] = std::move(notifier);
}

void CConsoleShell::UnwatchDescriptor(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    it->second->setEnabled(false);
    // The notifier may be the one whose signal is running now: delete it later.
    it->second.release()->deleteLater();
    watches_.erase(it);
}

void CConsoleShell::WatchWritable(int fd, std::function<void()> onWritable) {
    UnwatchWritable(fd);
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(notifier.get(), &QSocketNotifier::activated, this, [cb = std::move(onWritable)] { cb(); });
    writeWatches_[fd] = std::move(notifier);
}

void CConsoleShell::UnwatchWritable(int fd) {
    auto it = writeWatches_.find(fd);
    if (it == writeWatches_.end()) return;
    it->second->setEnabled(false);
    it->second.release()->deleteLater();
    writeWatches_.erase(it);
}

void CConsoleShell::Quit(int status) {
    QCoreApplication::exit(status);
}

}  // namespace tavrin
