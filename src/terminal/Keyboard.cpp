#include "terminal/Keyboard.h"

#include <algorithm>
#include <array>

#include "app/Cp932.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "terminal/DisplayModel.h"

namespace tavrin {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kBs = 0x08;
constexpr uint8_t kPromptByte = '>';
constexpr uint8_t kDel = 0x7F;
// A key press queued behind a held Enter is kept as this plus its key code; bytes stay below.
constexpr int kQueuedKeyDown = 0x100;
// At this speed the screen is laid out again from the history after every Enter.
constexpr const char* kRebuildBaudRate = "38400";

}  // namespace

CKeyboard::CKeyboard(CPelinDoc& doc, ViewState& view, LinkOps& link, Shell& shell,
                     CReceiveInterpreter& interpreter, Clock& clock, KeyboardHooks hooks)
    : doc_(doc),
      view_(view),
      link_(link),
      shell_(shell),
      interpreter_(interpreter),
      clock_(clock),
      hooks_(std::move(hooks)) {}

std::array<uint8_t, kColumns> CKeyboard::CurrentRowCells() const {
    const int row = std::clamp(doc_.cursorRow, 0, kMaxRowsLimit - 1);
    std::array<uint8_t, kColumns> cells{};
    if (const uint8_t* cursorRow = doc_.screenBuffer.Row(row))
        std::copy_n(cursorRow, kColumns, cells.begin());
    return cells;
}

std::string CKeyboard::EchoedLine() const {
    const std::array<uint8_t, kColumns> cells = CurrentRowCells();
    std::string line;
    for (size_t i = 0; i < kEchoedLineMax && cells[kEchoedLineStart + i] != 0; ++i)
        line += static_cast<char>(cells[kEchoedLineStart + i]);
    return line;
}

bool CKeyboard::EchoOnCurrentRow() const {
    if (sentOnLine_.empty()) return true;
    const std::array<uint8_t, kColumns> cells = CurrentRowCells();
    const size_t column = static_cast<size_t>(std::clamp(doc_.cursorColumn, 0, kColumns));
    // A line longer than the row has wrapped: its tail is what this row shows.
    const size_t shown = std::min(sentOnLine_.size(), column);
    if (shown == 0) return false;
    return std::equal(sentOnLine_.end() - static_cast<std::ptrdiff_t>(shown), sentOnLine_.end(),
                      cells.begin() + static_cast<std::ptrdiff_t>(column - shown),
                      [](char sent, uint8_t cell) { return static_cast<uint8_t>(sent) == cell; });
}

bool CKeyboard::PromptOnCurrentRow() const {
    return doc_.cursorColumn == 1 && CurrentRowCells()[0] == kPromptByte;
}

void CKeyboard::NoteSent(uint8_t byte) {
    if (byte == kBs || byte == kDel) {
        // The controller's line editor erases one character, a two-byte one whole.
        size_t last = 0;
        size_t i = 0;
        while (i < sentOnLine_.size()) {
            last = i;
            i += IsCp932LeadByte(static_cast<uint8_t>(sentOnLine_[i])) && i + 1 < sentOnLine_.size() ? 2 : 1;
        }
        sentOnLine_.erase(std::min(last, sentOnLine_.size()));
        return;
    }
    if (byte < 0x20) {
        // A line end, or a control byte whose effect on the line cannot be foretold (the line
        // editor's keys, CAN, ETX): nothing is awaited any more.
        sentOnLine_.clear();
        return;
    }
    sentOnLine_ += static_cast<char>(byte);
}

// Enter: the controller's echo of the line decides whether it is a transfer command. sendCr
// tells whether the CR itself still goes to the controller.
void CKeyboard::Enter(bool& sendCr) {
    const std::string line = EchoedLine();
    const int result = hooks_.sendTransferCommand ? hooks_.sendTransferCommand(line) : kNotTransferCommand;
    if (result == kRefusedTransferCode) {
        interpreter_.InterpretText(GetMessageTextCp932(kRefusedTransferCode));
        sendCr = true;
        return;
    }
    if (result == 0) {
        // The rewritten line has gone out with its own line end. Writing the echoed cells back
        // over themselves from column 1 reaches column 79, so the automatic wrap completes the
        // line (logged and kept in the history) as if the controller had sent CR LF.
        const std::array<uint8_t, kColumns> row = CurrentRowCells();
        std::array<uint8_t, kColumns> cells{};
        std::copy(row.begin() + kEchoedLineStart, row.end(), cells.begin());
        doc_.cursorColumn = kEchoedLineStart;
        int position = 0;
        int length = kColumns - kEchoedLineStart;
        interpreter_.InterpretReceived(cells.data(), position, length);
        sendCr = false;
        return;
    }
    sendCr = true;
}

void CKeyboard::OnChar(uint8_t byte) {
    if (doc_.connected == 0) return;  // typed characters are dropped while disconnected
    if (KeysPending()) {
        queued_.push_back(byte);
        return;
    }
    if (byte == kCr && !EchoOnCurrentRow()) {
        // Enter reads the echoed line back: it waits until the controller has echoed it.
        holding_ = true;
        holdStartMs_ = clock_.NowMs();
        return;
    }
    TypeNow(byte);
}

void CKeyboard::Poll() {
    if (!KeysPending()) return;
    if (doc_.connected == 0) {
        // The link went away: what was typed for it is dropped, as keys are while disconnected.
        holding_ = false;
        awaitingPrompt_ = false;
        queued_.clear();
        sentOnLine_.clear();
        return;
    }
    const int64_t now = clock_.NowMs();
    if (holding_ && !EchoOnCurrentRow() && now - holdStartMs_ < kEnterEchoWaitMs) return;
    if (!holding_ && awaitingPrompt_) {
        if (!PromptOnCurrentRow() && now - lastReceivedMs_ < kEnterEchoWaitMs) return;
        awaitingPrompt_ = false;
    }
    ReleaseHeldEnter();
}

int64_t CKeyboard::NextDeadline() const {
    if (doc_.connected == 0 && (holding_ || awaitingPrompt_ || !queued_.empty())) return clock_.NowMs();
    if (holding_) return holdStartMs_ + kEnterEchoWaitMs;
    if (awaitingPrompt_) return lastReceivedMs_ + kEnterEchoWaitMs;
    return kNoDeadline;
}

void CKeyboard::ReleaseHeldEnter() {
    if (holding_) {
        holding_ = false;
        TypeNow(kCr);
    }
    // The queued keys are typed again in order; the next held Enter queues the rest anew.
    std::deque<int> keys;
    keys.swap(queued_);
    while (!keys.empty()) {
        const int key = keys.front();
        keys.pop_front();
        if (key >= kQueuedKeyDown) {
            OnKeyDown(key - kQueuedKeyDown);
        } else {
            OnChar(static_cast<uint8_t>(key));
        }
    }
}

void CKeyboard::TypeNow(uint8_t byte) {
    if (byte == kCr) {
        bool sendCr = true;
        Enter(sendCr);
        sentOnLine_.clear();
        if (!sendCr) {
            // The controller now runs the transfer: further keys wait for its prompt.
            awaitingPrompt_ = true;
            lastReceivedMs_ = clock_.NowMs();
            return;
        }
    }

    if (doc_.isTcp == 0 && doc_.baudRate == kRebuildBaudRate) {
        CDisplayModel(doc_, view_).RebuildFromHistory(doc_.visibleRows);
        view_.historyView = 0;
        shell_.RequestRepaint();
    }

    if (view_.keysEnabled == 0) return;
    NoteSent(byte);
    if (byte == kCr && doc_.isTcp != 0) {
        const uint8_t lineEnd[] = {kCr, kLf};
        link_.SendLinkBytes(lineEnd, sizeof lineEnd);
    } else {
        link_.SendLinkByte(byte);
    }
}

bool CKeyboard::OnKeyDown(int virtualKey) {
    uint8_t byte = 0;
    switch (virtualKey) {
        case kVkLeft: byte = kLeftByte; break;
        case kVkUp: byte = kUpByte; break;
        case kVkRight: byte = kRightByte; break;
        case kVkDown: byte = kDownByte; break;
        default: return false;
    }
    if (KeysPending()) {
        queued_.push_back(kQueuedKeyDown + virtualKey);
        return true;
    }
    sentOnLine_.clear();  // the line editor may now show another line
    link_.SendLinkByte(byte);
    return true;
}

}  // namespace tavrin
