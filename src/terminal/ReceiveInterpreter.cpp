#include "terminal/ReceiveInterpreter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "app/Cp932.h"
#include "app/MessageTable.h"
#include "terminal/ControlSequence.h"

namespace tavrin {

namespace {

constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kBel = 0x07;
constexpr uint8_t kBs = 0x08;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kPrompt = '>';

// Telnet bytes.
constexpr uint8_t kIac = 0xFF;
constexpr uint8_t kSb = 0xFA;
constexpr uint8_t kSe = 0xF0;
constexpr uint8_t kWill = 0xFB;
constexpr uint8_t kDont = 0xFE;
constexpr uint8_t kDo = 0xFD;
constexpr uint8_t kTerminalType = 0x18;

constexpr int kTelnetReplyFailedCode = -200;

// IAC SB TERMINAL-TYPE IS "VT100" IAC SE: the controller's own telnet server wants upper case.
constexpr std::array<uint8_t, 11> kPlainTerminalType = {0xFF, 0xFA, 0x18, 0x00, 'V', 'T',
                                                        '1',  '0',  '0',  0xFF, 0xF0};

struct TelnetEntry {
    std::array<uint8_t, 7> received;
    size_t receivedSize;
    std::array<uint8_t, 11> reply;
    size_t replySize;
};

// What a standard telnet server offers before the first prompt, and our answers. Compared in
// this order; a sequence matches when its whole length has been collected.
constexpr std::array<TelnetEntry, 20> kTelnetTable = {{
    {{0xFF, 0xFB, 0x01}, 3, {}, 0},  // WILL ECHO
    {{0xFF, 0xFE, 0x01}, 3, {}, 0},  // DONT ECHO
    {{0xFF, 0xFB, 0x03}, 3, {}, 0},  // WILL SUPPRESS-GO-AHEAD
    {{0xFF, 0xFD, 0x03}, 3, {}, 0},  // DO SUPPRESS-GO-AHEAD
    {{0xFF, 0xFB, 0x18}, 3, {}, 0},  // WILL TERMINAL-TYPE
    {{0xFF, 0xFD, 0x18}, 3, {}, 0},  // DO TERMINAL-TYPE
    {{0xFF, 0xFB, 0x1F}, 3, {}, 0},  // WILL NAWS
    // DO NAWS: the window is 80 columns by 24 rows.
    {{0xFF, 0xFD, 0x1F}, 3, {0xFF, 0xFA, 0x1F, 0x00, 0x50, 0x00, 0x18, 0xFF, 0xF0}, 9},
    // Terminal type SEND, and its form with the SEND byte doubled.
    {{0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0},
     6,
     {0xFF, 0xFA, 0x18, 0x00, 'v', 't', '1', '0', '0', 0xFF, 0xF0},
     11},
    {{0xFF, 0xFA, 0x18, 0x01, 0x01, 0xFF, 0xF0},
     7,
     {0xFF, 0xFA, 0x18, 0x00, 'v', 't', '1', '0', '0', 0xFF, 0xF0},
     11},
    {{0xFF, 0xFD, 0x23}, 3, {0xFF, 0xFC, 0x23}, 3},  // DO X-DISPLAY-LOCATION: WONT
    {{0xFF, 0xFD, 0x27}, 3, {0xFF, 0xFC, 0x27}, 3},  // DO NEW-ENVIRON: WONT
    {{0xFF, 0xFD, 0x24}, 3, {0xFF, 0xFC, 0x24}, 3},  // DO ENVIRON: WONT
    {{0xFF, 0xFE, 0x23}, 3, {0xFF, 0xFC, 0x23}, 3},  // DONT X-DISPLAY-LOCATION: WONT
    {{0xFF, 0xFE, 0x27}, 3, {0xFF, 0xFC, 0x27}, 3},  // DONT NEW-ENVIRON: WONT
    {{0xFF, 0xFE, 0x24}, 3, {0xFF, 0xFC, 0x24}, 3},  // DONT ENVIRON: WONT
    {{0xFF, 0xFD, 0x01}, 3, {0xFF, 0xFC, 0x01}, 3},  // DO ECHO: WONT
    {{0xFF, 0xFB, 0x05}, 3, {0xFF, 0xFE, 0x05}, 3},  // WILL STATUS: DONT
    {{0xFF, 0xFD, 0x21}, 3, {0xFF, 0xFC, 0x21}, 3},  // DO REMOTE-FLOW-CONTROL: WONT
    {{0xFF, 0xFD, 0x20}, 3, {0xFF, 0xFC, 0x20}, 3},  // DO TERMINAL-SPEED: WONT
}};

// Bytes that, away from column 79 and outside telnet and escape sequences, are only written at
// the cursor: printable text and Shift-JIS bytes, but not the prompt '>' or telnet's IAC.
constexpr std::array<bool, 256> kPlainByte = [] {
    std::array<bool, 256> plain{};
    for (int b = 0x20; b < 0x100; ++b) plain[static_cast<size_t>(b)] = b != kPrompt && b != kIac;
    return plain;
}();

// How many of the first `limit` bytes are plain, eight at a time where none of the eight is a
// control byte, '>' or 0xFF (the word tests below are exact about whether any byte matches).
int PlainRunLength(const uint8_t* data, int limit) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    // The high bit of each byte below n; exact up to and including the lowest such byte.
    auto below = [](uint64_t x, uint64_t n) { return (x - kOnes * n) & ~x & kHighs; };
    int n = 0;
    while (n + 8 <= limit) {
        uint64_t word = 0;
        std::memcpy(&word, data + n, sizeof word);
        const uint64_t special = below(word, 0x20) | below(word ^ (kOnes * kPrompt), 1) | below(~word, 1);
        if (special != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return n + std::countr_zero(special) / 8;  // the first special byte
            break;
        }
        n += 8;
    }
    while (n < limit && kPlainByte[data[n]]) ++n;
    return n;
}

}  // namespace

CReceiveInterpreter::CReceiveInterpreter(CPelinDoc& doc, ViewState& view, LinkOps& link, Shell& shell,
                                         InterpreterHooks hooks)
    : doc_(doc), view_(view), link_(link), shell_(shell), hooks_(std::move(hooks)) {}

// The cursor and the history index come from other parts too (the display rebuild, the
// settings); whatever they hold, no write may leave the 200 rows of the buffers.
void CReceiveInterpreter::SanitizeCursor() {
    doc_.cursorRow = std::clamp(doc_.cursorRow, 0, RowLimit() - 1);
    doc_.cursorColumn = std::clamp(doc_.cursorColumn, 0, kLastColumn);
    view_.historyCount = std::clamp(view_.historyCount, 0, MaxRows() - 1);
}

// The caret follows the cursor once per chunk, not at every CR, LF and BS of it.
void CReceiveInterpreter::MoveCaret() {
    caretMoved_ = true;
}

void CReceiveInterpreter::PlaceCaret() {
    if (!caretMoved_) return;
    caretMoved_ = false;
    if (hooks_.caretMoved) hooks_.caretMoved();
}

// Any output snaps the display back to the live screen at column 0.
void CReceiveInterpreter::EnterOutput() {
    view_.historyView = 0;
    doc_.horizontalOffset = 0;
    view_.hScrollPos = 0;
    SanitizeCursor();
}

void CReceiveInterpreter::InterpretText(const std::string& cp932) {
    std::vector<uint8_t> chunk(cp932.begin(), cp932.end());
    chunk.push_back(0);
    int position = 0;
    int length = static_cast<int>(cp932.size());
    InterpretReceived(chunk.data(), position, length);
}

void CReceiveInterpreter::InterpretReceived(const uint8_t* data, int& position, int& length) {
    EnterOutput();
    if (data == nullptr) return;
    if (position < 0) position = 0;
    serialHandOff_ = false;
    while (position < length) {
        const int taken = TakeRun(data + position, length - position);
        if (taken > 0) {
            position += taken;
            continue;
        }
        const Step step = ReceiveByte(data, length, position);
        if (step == Step::Next) ++position;
    }
    if (serialHandOff_) {
        // The serial exchange discarded the rest of the chunk: it is neither shown nor looked at
        // for the login prompt.
        PlaceCaret();
        if (repaintWanted_) shell_.RequestRepaint();
        repaintWanted_ = false;
        return;
    }

    CheckAutomaticLogin(data, length);
    PlaceCaret();
    shell_.RequestRepaint();
    repaintWanted_ = false;
}

CReceiveInterpreter::Step CReceiveInterpreter::ReceiveByte(const uint8_t* data, int length, int& position) {
    const uint8_t byte = data[position];
    // Telnet option filter.
    const bool extendedActive = doc_.isLinuxTelnet != 0 && doc_.promptSeen == 0;
    if (doc_.isLinuxTelnet == 0) {
        if (plainState_ == 4) {
            if (byte == kSe) {
                plainState_ = 0;
                SendTelnetReply(kPlainTerminalType.data(), kPlainTerminalType.size());
            }
            return Step::Next;
        }
        if (plainState_ == 2) {  // the option code after IAC DO: not answered
            plainState_ = 0;
            return Step::Next;
        }
    } else if (extendedActive) {
        FilterExtendedTelnet(byte);
    } else {
        // After the prompt the negotiation is over; a sequence still being collected then
        // would otherwise swallow everything for the rest of the session.
        telnetLength_ = 0;
        telnetSwallow_ = false;
    }

    // Prompt bookkeeping.
    if (byte == kPrompt) doc_.promptSeen = 1;
    view_.hostBusy = byte != kPrompt ? 1 : 0;
    if (view_.hostWindow != 0 && hooks_.reportHostBusy) hooks_.reportHostBusy(view_.hostBusy);

    if (extendedActive && telnetSwallow_) return Step::Next;

    if (byte == kPrompt && view_.autoexecDone == 0) view_.autoexecRequested = 1;

    // Control bytes; each ends a plain-mode telnet sequence.
    switch (byte) {
        case kEnq: plainState_ = 0; return HandOffTransfer(data, length, position);
        case kBel:
            plainState_ = 0;
            shell_.Beep();
            return Step::Next;
        case kBs:
            plainState_ = 0;
            if (doc_.cursorColumn > 0) --doc_.cursorColumn;
            MoveCaret();
            return Step::Next;
        case kLf:
            plainState_ = 0;
            LineFeed();
            return Step::Next;
        case kCr:
            plainState_ = 0;
            CarriageReturn();
            return Step::Next;
        case kEsc:
            plainState_ = 0;
            receivedEscape_ = true;  // a second ESC keeps what has been collected
            return Step::Next;
        case kPrompt:
            plainState_ = 0;
            if (hooks_.clearMacroTransferFlag) hooks_.clearMacroTransferFlag();
            break;
        default: break;
    }

    // Plain-mode telnet: only IAC DO x and the terminal-type subnegotiation are known; IAC
    // WILL, WONT and DONT lose their IAC and the rest prints.
    if (doc_.isLinuxTelnet == 0) {
        if (byte == kIac) {
            plainState_ = 1;
        } else if (byte == kDo && plainState_ == 1) {
            plainState_ = 2;
        } else if (byte == kSb && plainState_ == 1) {
            plainState_ = 3;
        } else if (byte == kTerminalType && plainState_ == 3) {
            plainState_ = 4;
        } else {
            plainState_ = 0;
        }
        if (plainState_ != 0) return Step::Next;
    }

    if (receivedEscape_) {
        if (FeedControlSequence(byte)) receivedEscape_ = false;
        return Step::Next;
    }

    PrintByte(byte, receivedLead_);
    return Step::Next;
}

// The extended filter sets telnetSwallow_ for the bytes of a negotiation. A sequence that can
// no longer become an entry of the table ends at once and is dropped: a two-byte command after
// its second byte, WILL/WONT/DO/DONT after the option, a subnegotiation at IAC SE, anything
// at the 16-byte limit. The text after it prints.
void CReceiveInterpreter::FilterExtendedTelnet(uint8_t byte) {
    if (telnetLength_ == 0) {
        if (byte == kIac) {
            telnetBuffer_.fill(0);
            telnetBuffer_[0] = byte;
            telnetLength_ = 1;
            telnetSwallow_ = true;
        } else {
            telnetSwallow_ = false;
        }
        return;
    }
    if (telnetLength_ >= kTelnetCollectSize) {  // cannot happen: the limit ends a sequence
        ClearTelnetCollection();
        return;
    }
    telnetBuffer_[telnetLength_++] = byte;

    bool prefixOfEntry = false;
    for (const TelnetEntry& entry : kTelnetTable) {
        const bool prefix =
            entry.receivedSize >= telnetLength_ &&
            std::equal(telnetBuffer_.begin(), telnetBuffer_.begin() + telnetLength_, entry.received.begin());
        if (prefix && entry.receivedSize == telnetLength_) {
            telnetLength_ = 0;
            if (entry.replySize > 0) SendTelnetReply(entry.reply.data(), entry.replySize);
            return;
        }
        prefixOfEntry = prefixOfEntry || prefix;
    }

    bool goesOn = prefixOfEntry;
    if (!goesOn) {
        const uint8_t command = telnetBuffer_[1];
        if (command == kSb) {
            goesOn = !(telnetLength_ >= 4 && telnetBuffer_[telnetLength_ - 2] == kIac &&
                       telnetBuffer_[telnetLength_ - 1] == kSe);
        } else if (command >= kWill && command <= kDont) {
            goesOn = telnetLength_ < 3;
        }
    }
    if (!goesOn || telnetLength_ >= kTelnetCollectSize) telnetLength_ = 0;
}

void CReceiveInterpreter::ClearTelnetCollection() {
    telnetBuffer_.fill(0);
    telnetLength_ = 0;
}

void CReceiveInterpreter::SendTelnetReply(const uint8_t* reply, size_t count) {
    const size_t sent = link_.SendOnSocket(reply, count);
    if (sent < count) {
        shell_.Tell(GetMessageText(kTelnetReplyFailedCode));
    }
}

CReceiveInterpreter::Step CReceiveInterpreter::HandOffTransfer(const uint8_t* data, int length,
                                                               int& position) {
    doc_.transferWork = 0;
    serialHandOff_ = doc_.isTcp == 0;
    PlaceCaret();  // where the controller's text ended, for as long as the transfer runs
    const auto rest = static_cast<size_t>(length - position - 1);
    const size_t taken = hooks_.transferStarted ? hooks_.transferStarted(data + position + 1, rest) : 0;
    position += 1 + static_cast<int>(std::min(taken, rest));
    return Step::Continue;
}

void CReceiveInterpreter::CarriageReturn() {
    doc_.cursorColumn = 0;
    MoveCaret();
}

void CReceiveInterpreter::LineFeed() {
    SanitizeCursor();
    const uint8_t* const row = doc_.screenBuffer.Row(doc_.cursorRow);

    if (hooks_.logOpen && hooks_.writeLogRow && hooks_.logOpen()) hooks_.writeLogRow(row);

    // The current line goes into the history; a full history drops its oldest line.
    const int maxRows = MaxRows();
    std::memcpy(doc_.historyBuffer.Row(view_.historyCount), row, kColumns);
    ++view_.historyCount;
    if (view_.historyCount >= maxRows) {
        doc_.historyBuffer.ScrollUp(maxRows);
        view_.historyCount = maxRows - 1;
    }

    const int visible = VisibleRows();
    if (view_.historyCount >= visible) {
        view_.vScrollMax = view_.historyCount - visible + 1;
        view_.vScrollPos = view_.vScrollMax;
    }

    // A cursor placed below the last visible row moves on without scrolling, but never past
    // the rows the buffer holds.
    ++doc_.cursorRow;
    if (doc_.cursorRow == visible) {
        doc_.screenBuffer.ScrollUp(visible);
        doc_.cursorRow = visible - 1;
    } else if (doc_.cursorRow >= RowLimit()) {
        doc_.cursorRow = RowLimit() - 1;
    }
    MoveCaret();
}

void CReceiveInterpreter::PutCell(int column, uint8_t byte) {
    doc_.screenBuffer.Row(doc_.cursorRow)[column] = byte;
    doc_.historyBuffer.Row(view_.historyCount)[column] = byte;
}

// A run of bytes that need no decision of their own: printable text and Shift-JIS bytes (no
// control byte, '>' or IAC), CR, LF, BS, ESC and the bytes of cursor escapes, with no telnet
// sequence under way. Text is written at the cursor in one step up to column 78 (column 79
// decides about a lead byte and wraps, byte by byte); escape bytes go to the sequence reader.
// Every byte's own bookkeeping is kept: the busy state, the telnet filter's reset, and a busy
// report per byte while linked to the host editor, sent before the hooks of a later CR, LF or BS.
// Returns the bytes taken, 0 when the first needs the byte-by-byte path.
int CReceiveInterpreter::TakeRun(const uint8_t* data, int available) {
    if (doc_.isLinuxTelnet == 0) {
        if (plainState_ != 0) return 0;
    } else if (telnetLength_ != 0) {
        return 0;
    }
    const bool reporting = view_.hostWindow != 0 && static_cast<bool>(hooks_.reportHostBusy);
    int unreported = 0;
    auto report = [&] {
        for (; unreported > 0; --unreported) hooks_.reportHostBusy(1);
    };
    // Nothing in the run changes the row limits; the cursor is pulled into them as before
    // every write.
    const int maxRows = MaxRows();
    const int rowLimit = std::max(maxRows, VisibleRows());
    int n = 0;
    while (n < available) {
        const uint8_t byte = data[n];
        if (byte == kEsc) {
            const int whole = controlCount_ == 0 ? TakeWholeControlSequence(data + n, available - n) : 0;
            if (whole > 0) {
                n += whole;
                continue;
            }
            receivedEscape_ = true;  // a second ESC keeps what has been collected
            ++n;
            continue;
        }
        if (byte == kCr || byte == kLf || byte == kBs) {
            telnetSwallow_ = false;
            view_.hostBusy = 1;
            ++n;
            if (reporting) {
                unreported += n;  // every byte taken so far, this one included
                report();
                unreported = -n;  // counted already
            }
            if (byte == kCr) {
                CarriageReturn();
            } else if (byte == kLf) {
                LineFeed();
            } else {
                if (doc_.cursorColumn > 0) --doc_.cursorColumn;
                MoveCaret();
            }
            continue;
        }
        if (!kPlainByte[byte]) break;
        if (receivedEscape_) {
            if (controlCount_ == 0 && byte == '[') {
                controlBuffer_[0] = '[';  // the sequence opens
                controlCount_ = 1;
            } else if (controlCount_ > 0 && controlCount_ < kControlSequenceLimit &&
                       !IsControlSequenceFinal(byte)) {
                controlBuffer_[static_cast<size_t>(controlCount_++)] =
                    static_cast<char>(byte);  // a parameter
            } else if (FeedControlSequence(byte)) {
                receivedEscape_ = false;
            }
            ++n;
            continue;
        }
        doc_.cursorRow = std::clamp(doc_.cursorRow, 0, rowLimit - 1);
        doc_.cursorColumn = std::clamp(doc_.cursorColumn, 0, kLastColumn);
        view_.historyCount = std::clamp(view_.historyCount, 0, maxRows - 1);
        const int column = doc_.cursorColumn;
        if (column == 0 && receivedLead_ != 0) break;
        const int count = PlainRunLength(data + n, std::min(available - n, kLastColumn - column));
        if (count == 0) break;
        std::memcpy(doc_.screenBuffer.Row(doc_.cursorRow) + column, data + n, static_cast<size_t>(count));
        std::memcpy(doc_.historyBuffer.Row(view_.historyCount) + column, data + n,
                    static_cast<size_t>(count));
        doc_.cursorColumn = column + count;
        repaintWanted_ = true;
        n += count;
    }
    if (n == 0) return 0;
    telnetSwallow_ = false;
    view_.hostBusy = 1;
    if (reporting) {
        unreported += n;
        report();
    }
    return n;
}

// ESC [ parameters final, whole within the data, is run in one step; it leaves the reader as
// the byte-by-byte path would. Returns its length, or 0 when the sequence is not whole here, is
// too long to run, or holds a byte that needs a decision of its own.
int CReceiveInterpreter::TakeWholeControlSequence(const uint8_t* data, int available) {
    constexpr int kMostParameters = kControlSequenceLimit - 2;  // '[' and the final byte
    if (available < 3 || data[1] != '[') return 0;
    const int end = std::min(available, 2 + kMostParameters + 1);
    for (int at = 2; at < end; ++at) {
        const uint8_t byte = data[at];
        if (!kPlainByte[byte]) return 0;
        if (!IsControlSequenceFinal(byte)) continue;
        const int parameters = at - 2;
        controlBuffer_[0] = '[';
        std::memcpy(controlBuffer_.data() + 1, data + 2, static_cast<size_t>(parameters));
        controlBuffer_[static_cast<size_t>(parameters) + 1] = '\0';
        RunControlSequence(static_cast<char>(byte), controlBuffer_.data() + 1);
        FinishControlSequence();
        receivedEscape_ = false;
        return at + 1;
    }
    return 0;
}

void CReceiveInterpreter::PrintByte(uint8_t byte, uint8_t& pendingLead) {
    SanitizeCursor();
    if (doc_.cursorColumn == kLastColumn && IsCp932LeadByte(byte)) {
        // A two-byte character never straddles two rows: column 79 keeps a 0x00 and the lead
        // byte opens the next row.
        pendingLead = byte;
        byte = 0x00;
    } else if (doc_.cursorColumn == 0 && pendingLead != 0) {
        PutCell(0, pendingLead);
        doc_.cursorColumn = 1;
        pendingLead = 0;
    }
    PutCell(doc_.cursorColumn, byte);
    repaintWanted_ = true;
    if (doc_.cursorColumn < kLastColumn) {
        ++doc_.cursorColumn;
    } else {
        // Automatic wrap after the 80th column: CR and the whole line feed, log included.
        CarriageReturn();
        LineFeed();
    }
}

void CReceiveInterpreter::PrintLocalText(const char* text) {
    EnterOutput();
    if (text == nullptr) return;
    for (const char* p = text; *p != '\0'; ++p) {
        const uint8_t byte = static_cast<uint8_t>(*p);
        if (byte == kLf) {
            LineFeed();
        } else if (byte == kCr) {
            CarriageReturn();
        } else if (byte == kEsc) {
            localEscape_ = true;
        } else if (localEscape_) {
            if (FeedControlSequence(byte)) localEscape_ = false;
        } else {
            PrintByte(byte, localLead_);
        }
    }
    PlaceCaret();
    shell_.RequestRepaint();
    repaintWanted_ = false;
}

// A telnet service that ends a chunk with its login prompt gets the user name "zu", typed
// like keys. The chunk is read as a string, so it ends at its first NUL.
void CReceiveInterpreter::CheckAutomaticLogin(const uint8_t* data, int length) {
    if (doc_.isAutoLogin == 0) return;
    const std::string& prompt = doc_.loginPrompt;
    if (prompt.empty()) return;  // an empty prompt would log in after every chunk
    const size_t limit = static_cast<size_t>(std::max(length, 0));
    size_t size = 0;
    while (size < limit && data[size] != 0) ++size;
    if (size < prompt.size()) return;
    if (std::memcmp(data + size - prompt.size(), prompt.data(), prompt.size()) != 0) return;
    if (hooks_.postChars) hooks_.postChars(std::string("zu\n"));
    ClearTelnetCollection();
}

}  // namespace tavrin
