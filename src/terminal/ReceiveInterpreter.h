#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "link/LinkOps.h"
#include "platform/Shell.h"

namespace tavrin {

inline constexpr int kLastColumn = kColumns - 1;
inline constexpr size_t kTelnetCollectSize = 16;    // extended telnet collection buffer
inline constexpr size_t kControlSequenceSize = 17;  // ESC [ ... reader: 16 bytes and a NUL
inline constexpr int kControlSequenceLimit = 16;

// What the interpreter calls outside the terminal. session/ fills these; an empty function does
// nothing (a query answers false, the transfer request answers 0).
struct InterpreterHooks {
    // ENQ arrived: the transfer session takes over. rest holds the bytes after the ENQ in this
    // chunk; the hook returns how many of them it took, and the interpreter carries on after
    // them. While the session wants bytes the pipeline feeds them to it instead of here.
    std::function<size_t(const uint8_t* rest, size_t count)> transferStarted;
    // The log: writes the 80 bytes of a completed row followed by CR LF. False on a write
    // error; the owner then closes the log and reception carries on without it.
    std::function<bool(const uint8_t* row80)> writeLogRow;
    std::function<bool()> logOpen;
    // The host editor link: sent for every byte that reaches the prompt bookkeeping while the
    // terminal is linked (hostWindow != 0). busy is 0 when that byte was the prompt '>'.
    std::function<void(int busy)> reportHostBusy;
    // The prompt answered a transfer command that a macro sent.
    std::function<void()> clearMacroTransferFlag;
    // Typed as key characters later (the automatic login's "zu" and LF).
    std::function<void(const std::string& chars)> postChars;
    // The cursor moved where the caret must follow (BS, CR, LF): called once at the end of a
    // chunk or a local text that moved it, and before a transfer hand-off.
    std::function<void()> caretMoved;
};

// The receive interpreter: everything the controller sends, and every line the terminal
// prints for itself, is written into the 80-column screen and its history by this class. It
// filters telnet negotiation, runs the control bytes and the cursor escapes the controller
// uses, hands ENQ to the transfer protocol and types the automatic login.
//
// One instance serves the one view; the state below lives between chunks. Single-threaded.
class CReceiveInterpreter {
public:
    CReceiveInterpreter(CPelinDoc& doc, ViewState& view, LinkOps& link, Shell& shell,
                        InterpreterHooks hooks = {});

    // Interprets data[position] .. data[length - 1], advancing position to length. The byte
    // data[length] must exist (room for a NUL): the automatic login reads the chunk as a
    // string. Bytes after an ENQ that the transfer session takes are not shown.
    void InterpretReceived(const uint8_t* data, int& position, int& length);
    // Prints a NUL-terminated text of the terminal's own (CP932) through the same screen logic,
    // without telnet, prompt and transfer handling. Texts end in "\n\r".
    void PrintLocalText(const char* text);

    // Convenience for the terminal's own callers: interprets a whole CP932 byte string as if it
    // had been received (used for the Enter key's read-back and the transfer error texts).
    void InterpretText(const std::string& cp932);

    InterpreterHooks& Hooks() { return hooks_; }

    // Inspection for tests and the front ends.
    int PlainTelnetState() const { return plainState_; }
    int TelnetCollectLength() const { return static_cast<int>(telnetLength_); }
    bool Escaping() const { return receivedEscape_; }
    int ControlSequenceCount() const { return controlCount_; }

private:
    enum class Step { Next, Continue };

    Step ReceiveByte(const uint8_t* data, int length, int& position);
    void FilterExtendedTelnet(uint8_t byte);
    void SendTelnetReply(const uint8_t* reply, size_t count);
    Step HandOffTransfer(const uint8_t* data, int length, int& position);
    bool serialHandOff_ = false;  // this chunk's ENQ went to the serial exchange

    void LineFeed();
    void CarriageReturn();
    void PrintByte(uint8_t byte, uint8_t& pendingLead);
    void PutCell(int column, uint8_t byte);
    int TakeRun(const uint8_t* data, int available);                   // bytes taken at once, 0 if none
    int TakeWholeControlSequence(const uint8_t* data, int available);  // ESC [ ... final

    // The ESC [ reader shared by both operations: true when the sequence is finished.
    bool FeedControlSequence(uint8_t byte);
    void RunControlSequence(char final, const char* parameters);
    void FinishControlSequence();
    void EraseInScreen(int mode);
    void EraseInLine(int mode);

    void CheckAutomaticLogin(const uint8_t* data, int length);
    void ClearTelnetCollection();
    void EnterOutput();
    void SanitizeCursor();
    void MoveCaret();   // the caret is to follow the cursor ...
    void PlaceCaret();  // ... and does so now, once for all the moves since the last time

    // maxRows and visibleRows within 1 .. 200, and the rows the cursor may use: the larger.
    int MaxRows() const { return std::clamp(doc_.maxRows, 1, kMaxRowsLimit); }
    int VisibleRows() const { return std::clamp(doc_.visibleRows, 1, kMaxRowsLimit); }
    int RowLimit() const { return std::max(MaxRows(), VisibleRows()); }

    CPelinDoc& doc_;
    ViewState& view_;
    LinkOps& link_;
    Shell& shell_;
    InterpreterHooks hooks_;

    // Plain-mode telnet: 0 idle, 1 after IAC, 2 after IAC DO, 3 after IAC SB, 4 inside the
    // terminal-type subnegotiation.
    int plainState_ = 0;
    // Extended-mode telnet collection.
    std::array<uint8_t, kTelnetCollectSize> telnetBuffer_{};
    size_t telnetLength_ = 0;
    bool telnetSwallow_ = false;

    bool caretMoved_ = false;
    bool receivedEscape_ = false;
    bool localEscape_ = false;
    std::array<char, kControlSequenceSize> controlBuffer_{};
    int controlCount_ = 0;

    // A lead byte held over the wrap at column 79 (0: none; lead bytes are never 0).
    uint8_t receivedLead_ = 0;
    uint8_t localLead_ = 0;

    bool repaintWanted_ = false;
};

}  // namespace tavrin
