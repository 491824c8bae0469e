#include "headless/ConsoleTerminal.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "app/Cp932.h"
#include "headless/TerminationSignals.h"
#include "session/PelinView.h"

namespace tavrin {

namespace {

constexpr char kQuitKey = 0x1D;  // Ctrl+]
constexpr int kQuietMsBeforeQuit = 1000;

int64_t NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The user's terminal with every key delivered at once, unechoed and untranslated.
termios RawKeys(const termios& cooked) {
    termios raw = cooked;
    raw.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

std::string RowToUtf8(const uint8_t* row, size_t count) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        // A NUL holds the place of a lead byte that moved to the next row; other control bytes
        // would upset the user's terminal.
        uint8_t b = row[i];
        if (b == 0) continue;
        bytes += static_cast<char>(b < 0x20 || b == 0x7F ? ' ' : b);
    }
    while (!bytes.empty() && bytes.back() == ' ') bytes.pop_back();
    return Cp932ToUtf8(bytes);
}

// The length of the complete UTF-8 sequences at the start of text.
size_t CompleteUtf8Prefix(const std::string& text) {
    size_t i = text.size();
    size_t back = 0;
    while (i > 0 && back < 4) {
        uint8_t b = static_cast<uint8_t>(text[i - 1]);
        if ((b & 0xC0) != 0x80) {
            size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            return (back + 1 >= need) ? text.size() : i - 1;
        }
        --i;
        ++back;
    }
    return text.size();
}

}  // namespace

CConsoleTerminal::CConsoleTerminal(CPelinView& view) : view_(view) {
    stdinIsTerminal_ = isatty(STDIN_FILENO);
    stdoutIsTerminal_ = isatty(STDOUT_FILENO);
}

CConsoleTerminal::~CConsoleTerminal() {
    RestoreTerminal();
}

void CConsoleTerminal::Start(bool quitOnEndOfInput) {
    quitOnEndOfInput_ = quitOnEndOfInput;
    if (stdinIsTerminal_ && tcgetattr(STDIN_FILENO, &savedTermios_) == 0) {
        const termios raw = RawKeys(savedTermios_);
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
            rawMode_ = true;
            // An end forced by a signal must not leave the user's terminal in raw mode.
            RestoreTerminalOnForcedExit(STDIN_FILENO, &savedTermios_);
        }
        std::fprintf(stderr, "Tavrin: console mode; press Ctrl+] to quit.\r\n");
    }
    stdinNotifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(stdinNotifier_.get(), &QSocketNotifier::activated, this, [this] { OnStdinReadable(); });
    lastReceptionMs_ = NowMs();
}

void CConsoleTerminal::RestoreTerminal() {
    if (rawMode_) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTermios_);
        RestoreTerminalOnForcedExit(STDIN_FILENO, nullptr);
        rawMode_ = false;
    }
    if (stdoutIsTerminal_ && !shownRow_.empty()) {
        std::fputs("\r\033[K", stdout);
        std::fflush(stdout);
        shownRow_.clear();
    }
}

std::string CConsoleTerminal::CurrentRowText() const {
    const CPelinDoc& doc = view_.Document();
    const uint8_t* row = doc.screenBuffer.Row(doc.cursorRow);
    if (row == nullptr) return {};
    return RowToUtf8(row, kColumns);
}

std::optional<std::string> CConsoleTerminal::ReadLine(const std::string& prompt) {
    if (!stdinIsTerminal_) return std::nullopt;
    if (stdinNotifier_) stdinNotifier_->setEnabled(false);
    if (rawMode_) tcsetattr(STDIN_FILENO, TCSANOW, &savedTermios_);
    std::fprintf(stderr, "\r\n%s", prompt.c_str());
    std::fflush(stderr);
    std::string line;
    bool ok = false;
    char c;
    while (read(STDIN_FILENO, &c, 1) == 1) {
        if (c == '\n') {
            ok = true;
            break;
        }
        line += c;
    }
    if (rawMode_) {
        const termios raw = RawKeys(savedTermios_);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    if (stdinNotifier_) stdinNotifier_->setEnabled(true);
    if (!ok) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void CConsoleTerminal::RowCompleted(const uint8_t* row80) {
    std::string line = RowToUtf8(row80, kColumns);
    if (stdoutIsTerminal_) {
        std::fputs("\r\033[K", stdout);
        shownRow_.clear();
    }
    std::fputs(line.c_str(), stdout);
    std::fputs(stdoutIsTerminal_ ? "\r\n" : "\n", stdout);
    std::fflush(stdout);
}

void CConsoleTerminal::Repaint() {
    if (!stdoutIsTerminal_) return;
    std::string row = CurrentRowText();
    if (row == shownRow_) return;
    shownRow_ = row;
    std::fputs("\r\033[K", stdout);
    std::fputs(row.c_str(), stdout);
    std::fflush(stdout);
}

void CConsoleTerminal::NoteReception() {
    lastReceptionMs_ = NowMs();
}

void CConsoleTerminal::TypeBytes(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (rawMode_) {
            if (!pendingEscape_.empty() || c == 0x1B) {
                pendingEscape_ += c;
                if (pendingEscape_.size() == 1) continue;
                if (pendingEscape_.size() == 2 && (c == '[' || c == 'O')) continue;
                if (pendingEscape_.size() == 3) {
                    switch (c) {
                        case 'A': view_.OnArrowKey(ArrowKey::Up); break;
                        case 'B': view_.OnArrowKey(ArrowKey::Down); break;
                        case 'C': view_.OnArrowKey(ArrowKey::Right); break;
                        case 'D': view_.OnArrowKey(ArrowKey::Left); break;
                        default: view_.OnText(pendingEscape_); break;
                    }
                    pendingEscape_.clear();
                    continue;
                }
                // ESC followed by anything else: the ESC and that byte are typed as they are.
                view_.OnText(pendingEscape_);
                pendingEscape_.clear();
                continue;
            }
            if (c == 0x7F) c = 0x08;  // the terminal's Backspace
            if (c == '\r') {
                view_.OnChar('\r');
                continue;
            }
        } else if (c == '\n') {
            view_.OnChar('\r');  // a line feed from a pipe or file is typed as Enter
            continue;
        } else if (c == '\r') {
            continue;  // CR LF files: the LF is the Enter
        }
        // Single-byte control characters go out as they are; text is encoded to CP932.
        std::string one(1, c);
        view_.OnText(one);
    }
}

void CConsoleTerminal::TypeUtf8(const std::string& text) {
    // Multi-byte characters are typed whole so OnText can encode them to CP932.
    size_t i = 0;
    while (i < text.size()) {
        uint8_t b = static_cast<uint8_t>(text[i]);
        size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (len == 1) {
            TypeBytes(text.substr(i, 1));
        } else {
            view_.OnText(text.substr(i, len));
        }
        i += len;
    }
}

void CConsoleTerminal::OnStdinReadable() {
    char buffer[4096];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        stdinNotifier_->setEnabled(false);
        if (inputEnded_) return;
        inputEnded_ = true;
        if (!pendingUtf8_.empty()) {
            TypeUtf8(pendingUtf8_);  // a cut-off sequence at the very end goes out as it is
            pendingUtf8_.clear();
        }
        if (!quitOnEndOfInput_) return;
        // Let the held Enter and the keys behind it go out and the controller answer the last
        // of them, then quit; never while a save's last steps run (a slow disk may take longer
        // than the quiet time, and the file must take its name).
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll] {
            // The controller answers a save's close only when its last steps have run: its
            // result line comes after them, so the quiet time starts again there.
            if (view_.SaveCommitting()) lastReceptionMs_ = NowMs();
            if (view_.KeysPending() || view_.SaveCommitting()) return;
            if (NowMs() - lastReceptionMs_ >= kQuietMsBeforeQuit) {
                poll->stop();
                emit QuitRequested(0);
            }
        });
        poll->start(100);
        return;
    }
    std::string data(buffer, static_cast<size_t>(n));
    if (!rawMode_) {
        // Every byte is typed as it arrives; a line feed is Enter, which the keyboard holds
        // until the controller has echoed the line.
        pendingUtf8_ += data;
        const size_t complete = CompleteUtf8Prefix(pendingUtf8_);
        const std::string ready = pendingUtf8_.substr(0, complete);
        pendingUtf8_.erase(0, complete);
        TypeUtf8(ready);
        return;
    }
    auto quit = data.find(kQuitKey);
    if (quit != std::string::npos) {
        TypeUtf8(pendingUtf8_ + data.substr(0, quit));
        pendingUtf8_.clear();
        emit QuitRequested(0);
        return;
    }
    pendingUtf8_ += data;
    size_t complete = CompleteUtf8Prefix(pendingUtf8_);
    std::string ready = pendingUtf8_.substr(0, complete);
    pendingUtf8_.erase(0, complete);
    TypeUtf8(ready);
}

}  // namespace tavrin
