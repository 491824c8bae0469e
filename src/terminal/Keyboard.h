#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "link/LinkOps.h"
#include "platform/Clock.h"
#include "platform/Shell.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin {

// Key codes of the arrow keys as the front ends report them, and the controller's line-editor
// bytes they send.
inline constexpr int kVkLeft = 0x25;
inline constexpr int kVkUp = 0x26;
inline constexpr int kVkRight = 0x27;
inline constexpr int kVkDown = 0x28;
inline constexpr uint8_t kLeftByte = 0x14;
inline constexpr uint8_t kUpByte = 0x0C;
inline constexpr uint8_t kRightByte = 0x12;
inline constexpr uint8_t kDownByte = 0x0E;

// The echoed command line read back on Enter: from column 1 (column 0 holds the prompt), at
// most 78 characters.
inline constexpr int kEchoedLineStart = 1;
inline constexpr size_t kEchoedLineMax = 78;
inline constexpr int kRefusedTransferCode = -110;
inline constexpr int kNotTransferCommand = -1;
// The longest an Enter waits for the controller's echo of the line typed before it.
inline constexpr int64_t kEnterEchoWaitMs = 2000;
inline constexpr int kKeysTimerId = 6;  // the owner's timer for NextDeadline()

struct KeyboardHooks {
    // Examines the echoed line for a transfer command. Returns -1 when it is none (nothing was
    // sent), -110 for a refused word (the line end was sent), 0 when it was accepted: the
    // rewritten line and its line end were sent. The transfer session keeps the folder.
    std::function<int(const std::string& line)> sendTransferCommand;
    // A transfer (or the wait for a command's echo) is under way: typed keys wait behind it.
    std::function<bool()> transferBusy;
};

// The character path of the terminal: there is no local echo and no line editor; every typed
// byte goes to the controller at once, and Enter first looks at the line the controller
// echoed. Keys can come faster than the echo (a fast typist, a paste, a pipe, a replayed log),
// so the keyboard remembers what it has sent since the last line end; an Enter that comes
// before all of it is echoed on the current row is held, without blocking, until the echo is
// there or kEnterEchoWaitMs have passed, and keys that come meanwhile queue behind it in order.
// After an Enter that started a transfer, keys wait until the controller is back at its prompt
// (or has been silent for kEnterEchoWaitMs): typed into a running transfer they would be lost.
// Poll() releases a held Enter; the owner calls it after received data, after keys and when
// NextDeadline() has come.
// Single-threaded, on the event-loop thread.
class CKeyboard {
public:
    CKeyboard(CPelinDoc& doc, ViewState& view, LinkOps& link, Shell& shell, CReceiveInterpreter& interpreter,
              Clock& clock, KeyboardHooks hooks = {});

    // One typed character (CP932 byte); Enter arrives as CR. Also the path of pasted text, the
    // host editor's typing, log replay, the panel's command line and the automatic login.
    void OnChar(uint8_t byte);
    // Releases a held Enter once the echo is on the current row or its wait is over, then types
    // the keys queued behind it. Cheap when nothing is held.
    void Poll();
    // An Enter is held or keys wait behind one.
    bool KeysPending() const {
        return holding_ || awaitingPrompt_ || !queued_.empty() ||
               (hooks_.transferBusy && hooks_.transferBusy());
    }
    // When Poll may release keys with nothing received meanwhile: the end of a held Enter's wait
    // for its echo, or of the wait for the prompt after a transfer command. kNoDeadline when
    // neither waits (keys behind a transfer go on when it ends, which the owner sees).
    int64_t NextDeadline() const;
    // Bytes came from the controller (a transfer that keeps keys waiting is still going on).
    void NoteReceived() { lastReceivedMs_ = clock_.NowMs(); }
    // A key press: the arrow keys send their byte whether or not the link is connected or keys
    // are enabled. True when the key was an arrow key.
    bool OnKeyDown(int virtualKey);

    // The echoed line on the cursor row, as Enter hands it to the transfer check; it ends at a
    // NUL cell.
    std::string EchoedLine() const;

    KeyboardHooks& Hooks() { return hooks_; }

private:
    void Enter(bool& sendCr);
    // Everything after the connection check: Enter's transfer check, the 38400 rebuild, sending.
    void TypeNow(uint8_t byte);
    // Keeps the record of what the controller has still to echo on this line.
    void NoteSent(uint8_t byte);
    // The controller's echo of the bytes sent since the last line end ends at the cursor.
    bool EchoOnCurrentRow() const;
    // The cursor stands right after the controller's prompt at the start of its row.
    bool PromptOnCurrentRow() const;
    void ReleaseHeldEnter();
    // The 80 cells of the cursor row: the one place the keyboard reads the screen.
    std::array<uint8_t, kColumns> CurrentRowCells() const;

    CPelinDoc& doc_;
    ViewState& view_;
    LinkOps& link_;
    Shell& shell_;
    CReceiveInterpreter& interpreter_;
    Clock& clock_;
    KeyboardHooks hooks_;
    std::string sentOnLine_;  // bytes sent since the last line end, as the controller echoes them
    bool holding_ = false;
    int64_t holdStartMs_ = 0;
    bool awaitingPrompt_ = false;  // a typed transfer command runs; queued keys wait for '>'
    int64_t lastReceivedMs_ = 0;
    std::deque<int> queued_;  // keys typed while an Enter is held (key presses as 0x100 + code)
};

}  // namespace tavrin
