#include "terminal/ControlSequence.h"

#include <algorithm>
#include <cstring>

#include "terminal/ReceiveInterpreter.h"

// The cursor escapes the controller uses (ESC [ ... H f A B C D J K m), shared by received text
// and the terminal's own texts.

namespace tavrin {

namespace {

constexpr int kNumberCeiling = 1000000;  // escape parameters saturate here

// A leading decimal number as "%d" reads it: blanks, an optional sign, digits. Saturates
// instead of overflowing. False (and p unmoved) when there is no number.
bool ParseNumber(const char*& p, int& value) {
    const char* q = p;
    while (*q == ' ' || *q == '\t' || *q == '\n' || *q == '\r' || *q == '\v' || *q == '\f') ++q;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = *q++ == '-';
    if (*q < '0' || *q > '9') return false;
    long long n = 0;
    while (*q >= '0' && *q <= '9') {
        n = std::min<long long>(n * 10 + (*q - '0'), kNumberCeiling);
        ++q;
    }
    value = static_cast<int>(negative ? -n : n);
    p = q;
    return true;
}

// One parameter: empty text gives the default, otherwise the leading number (0 if none).
int SingleParameter(const char* parameters, int fallback) {
    if (*parameters == '\0') return fallback;
    int value = 0;
    ParseNumber(parameters, value);
    return value;
}

// The count of a cursor movement: empty means 1, a negative count means 0.
int Count(const char* parameters) {
    return std::max(SingleParameter(parameters, 1), 0);
}

}  // namespace

bool CReceiveInterpreter::FeedControlSequence(uint8_t byte) {
    if (controlCount_ >= kControlSequenceLimit) {
        FinishControlSequence();
        return true;
    }
    if (controlCount_ == 0) {
        if (byte == '[') {
            controlBuffer_[0] = '[';
            controlCount_ = 1;
            return false;
        }
        FinishControlSequence();
        return true;
    }
    controlBuffer_[controlCount_++] = static_cast<char>(byte);
    if (IsControlSequenceFinal(byte)) {
        controlBuffer_[controlCount_ - 1] = '\0';
        RunControlSequence(static_cast<char>(byte), controlBuffer_.data() + 1);
        FinishControlSequence();
        return true;
    }
    return false;
}

void CReceiveInterpreter::FinishControlSequence() {
    controlBuffer_.fill('\0');
    controlCount_ = 0;
}

// The handlers move the cursor and erase cells; the repaint at the end of the chunk shows it.
// Every result is pulled into the buffer whatever the parameters say.
void CReceiveInterpreter::RunControlSequence(char final, const char* parameters) {
    SanitizeCursor();
    const int lastRow = MaxRows() - 1;
    switch (final) {
        case 'H':
        case 'f': {
            int row = 0;
            int column = 0;
            const char* p = parameters;
            if (ParseNumber(p, row) && *p == ';') {
                ++p;
                ParseNumber(p, column);
            }
            row = std::clamp(row, 1, MaxRows());
            column = std::clamp(column, 1, kColumns);
            doc_.cursorRow = row - 1;
            doc_.cursorColumn = column - 1;
            break;
        }
        // A negative count ("ESC [-5A") moves nowhere rather than the other way.
        case 'A': doc_.cursorRow = std::max(doc_.cursorRow - Count(parameters), 0); break;
        case 'B': doc_.cursorRow = std::min(doc_.cursorRow + Count(parameters), lastRow); break;
        case 'C': doc_.cursorColumn = std::min(doc_.cursorColumn + Count(parameters), kLastColumn); break;
        case 'D': doc_.cursorColumn = std::max(doc_.cursorColumn - Count(parameters), 0); break;
        case 'J': EraseInScreen(std::min(SingleParameter(parameters, 0), 2)); break;
        case 'K': EraseInLine(std::min(SingleParameter(parameters, 0), 2)); break;
        default: break;  // 'm': no colours or attributes
    }
}

void CReceiveInterpreter::EraseInScreen(int mode) {
    CScreenRows& screen = doc_.screenBuffer;
    const int cursorRow = doc_.cursorRow;
    const int cursorColumn = doc_.cursorColumn;
    if (mode == 0) {
        uint8_t* row = screen.Row(cursorRow);
        std::fill(row + cursorColumn, row + kColumns, ' ');
        for (int r = cursorRow + 1; r < kBufferRows; ++r) std::memset(screen.Row(r), ' ', kColumns);
    } else if (mode == 1) {
        for (int r = 0; r < cursorRow; ++r) std::memset(screen.Row(r), ' ', kColumns);
        uint8_t* row = screen.Row(cursorRow);
        std::fill(row, row + cursorColumn + 1, ' ');
    } else {
        screen.Fill(' ');
        doc_.cursorRow = 0;
        doc_.cursorColumn = 0;
    }
}

void CReceiveInterpreter::EraseInLine(int mode) {
    uint8_t* const row = doc_.screenBuffer.Row(doc_.cursorRow);
    if (mode == 0) {
        std::fill(row + doc_.cursorColumn, row + kColumns, ' ');
    } else if (mode == 1) {
        std::fill(row, row + doc_.cursorColumn, ' ');
    } else {
        std::fill(row, row + kColumns, ' ');
    }
}

}  // namespace tavrin
