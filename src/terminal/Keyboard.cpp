#include "terminal/Keyboard.h"

#include <algorithm>
#include <array>

#include "app/Globals.h"
#include "app/MessageTable.h"
#include "terminal/DisplayModel.h"

namespace tavrin {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
// At this speed the screen is laid out again from the history after every Enter.
constexpr const char* kRebuildBaudRate = "38400";

}  // namespace

CKeyboard::CKeyboard(CPelinDoc& doc, ViewState& view, LinkOps& link, Shell& shell,
                     CReceiveInterpreter& interpreter, KeyboardHooks hooks)
    : doc_(doc),
      view_(view),
      link_(link),
      shell_(shell),
      interpreter_(interpreter),
      hooks_(std::move(hooks)) {}

std::string CKeyboard::EchoedLine() const {
    const int row = std::clamp(doc_.cursorRow, 0, kMaxRowsLimit - 1);
    const uint8_t* cells = doc_.screenBuffer.Row(row) + kEchoedLineStart;
    std::string line;
    for (size_t i = 0; i < kEchoedLineMax && cells[i] != 0; ++i) line += static_cast<char>(cells[i]);
    return line;
}

// Enter: the controller's echo of the line decides whether it is a transfer command. sendCr
// tells whether the CR itself still goes to the controller.
void CKeyboard::Enter(bool& sendCr) {
    std::string folder;
    const std::string line = EchoedLine();
    const int result =
        hooks_.sendTransferCommand ? hooks_.sendTransferCommand(line, folder) : kNotTransferCommand;
    if (result == kRefusedTransferCode) {
        interpreter_.InterpretText(GetMessageTextCp932(kRefusedTransferCode));
        view_.transferFolder.clear();
        sendCr = true;
        return;
    }
    if (result == 0) {
        view_.transferFolder = folder;
        // The rewritten line has gone out with its own line end. Writing the echoed cells back
        // over themselves from column 1 reaches column 79, so the automatic wrap completes the
        // line (logged and kept in the history) as if the controller had sent CR LF.
        const int row = std::clamp(doc_.cursorRow, 0, kMaxRowsLimit - 1);
        std::array<uint8_t, kColumns> cells{};
        std::copy_n(doc_.screenBuffer.Row(row) + kEchoedLineStart, kColumns - kEchoedLineStart,
                    cells.begin());
        doc_.cursorColumn = kEchoedLineStart;
        int position = 0;
        int length = kColumns - kEchoedLineStart;
        interpreter_.InterpretReceived(cells.data(), position, length);
        sendCr = false;
        return;
    }
    view_.transferFolder.clear();
    sendCr = true;
}

void CKeyboard::OnChar(uint8_t byte) {
    if (doc_.connected == 0) return;  // typed characters are dropped while disconnected

    if (byte == kCr) {
        bool sendCr = true;
        Enter(sendCr);
        if (!sendCr) return;
    }

    if (doc_.isTcp == 0 && doc_.baudRate == kRebuildBaudRate) {
        CDisplayModel(doc_, view_).RebuildFromHistory(doc_.visibleRows);
        view_.historyView = 0;
        shell_.RequestRepaint();
    }

    if (keysEnabled == 0) return;
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
    link_.SendLinkByte(byte);
    return true;
}

}  // namespace tavrin
