#pragma once
#include <termios.h>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

namespace tavrin {

class CPelinView;

// The console side of the headless front end: completed screen rows go to stdout as UTF-8
// lines (trailing blanks removed); when stdout is a terminal the current row is shown as it
// changes. What is read from stdin is typed as keys the moment it arrives: on a terminal keys
// are read raw (Ctrl+] quits; arrow keys go out as the controller's line-editor bytes), from a
// pipe or file a line feed is typed as Enter and the end of input quits once every key has gone
// out and the controller has been quiet for a second.
class CConsoleTerminal : public QObject {
    Q_OBJECT
public:
    explicit CConsoleTerminal(CPelinView& view);
    ~CConsoleTerminal() override;

    // Starts reading stdin. quitOnEndOfInput: whether the end of a piped stdin quits.
    void Start(bool quitOnEndOfInput);
    // A screen row was completed by a line feed (80 CP932 bytes).
    void RowCompleted(const uint8_t* row80);
    // The screen changed: redraw the current row when stdout is a terminal.
    void Repaint();
    // Called whenever bytes arrive from the controller (for the quiet-period quit).
    void NoteReception();
    bool InteractiveInput() const { return stdinIsTerminal_; }
    // Asks for one line on the user's terminal in its ordinary (echoing, line-edited) mode, then
    // goes back to raw keys. Empty optional when stdin is not a terminal or the line is cancelled.
    std::optional<std::string> ReadLine(const std::string& prompt);

signals:
    void QuitRequested(int status);

private:
    void OnStdinReadable();
    void TypeBytes(const std::string& bytes);
    void TypeUtf8(const std::string& text);
    void RestoreTerminal();
    std::string CurrentRowText() const;

    CPelinView& view_;
    std::unique_ptr<QSocketNotifier> stdinNotifier_;
    bool stdinIsTerminal_ = false;
    bool stdoutIsTerminal_ = false;
    bool rawMode_ = false;
    termios savedTermios_{};
    std::string pendingUtf8_;    // an incomplete UTF-8 sequence from the last read
    std::string pendingEscape_;  // an incomplete ESC [ x key sequence
    std::string shownRow_;       // what the live row line shows now
    bool quitOnEndOfInput_ = true;
    bool inputEnded_ = false;
    int64_t lastReceptionMs_ = 0;
};

}  // namespace tavrin
