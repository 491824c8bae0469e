#include "terminal/Selection.h"

#include <algorithm>

#include "app/Cp932.h"

namespace tavrin {

namespace {

// Lead bytes of the two-byte code page that goes with the font's character set.
bool IsLeadByteFor(int charSet, uint8_t byte) {
    switch (charSet) {
        case 1: return false;  // Western: no two-byte characters
        case 129:
            return (byte >= 0x84 && byte <= 0xD3) || (byte >= 0xD8 && byte <= 0xDE) ||
                   (byte >= 0xE0 && byte <= 0xF9);
        case 134:
        case 136: return byte >= 0x81 && byte <= 0xFE;
        default: return IsCp932LeadByte(byte);
    }
}

int FloorDiv(int a, int b) {
    return a / b;
}  // truncating toward zero, as the hit test is defined

}  // namespace

int CSelection::HitTest(int x, int y) const {
    const int cw = std::max(1, doc_.charWidth);
    const int ch = std::max(1, doc_.charHeight);
    return (view_.vScrollPos + FloorDiv(y, ch)) * kColumns + view_.hScrollPos + FloorDiv(x, cw);
}

bool CSelection::IsTrail(int cell) const {
    if (cell <= 0 || cell >= kBufferRows * kColumns) return false;
    // Whether a byte is the second of a pair depends on what comes before it in the line: walk
    // the line from its start.
    const uint8_t* const row = doc_.historyBuffer.Row(cell / kColumns);
    bool trail = false;
    for (int i = 0; i < cell % kColumns; ++i) trail = !trail && IsLeadByteFor(view_.logFont.charSet, row[i]);
    return trail;
}

void CSelection::Bounds(int a, int b, int& lo, int& hi) const {
    lo = std::min(a, b);
    hi = std::max(a, b);
    // Never half a two-byte character at either end.
    if (lo < hi && IsTrail(lo)) --lo;
    if (lo < hi && IsTrail(hi)) ++hi;
}

void CSelection::ButtonDown(int x, int y) {
    dragging_ = true;
    highlightShown_ = false;
    anchor_ = HitTest(x, y);
    current_ = anchor_;
    text_.clear();
}

bool CSelection::MouseMove(int x, int y, int clientHeight) {
    if (!dragging_) return false;
    bool changed = false;
    if (y < 0 && view_.vScrollPos > 0) {
        --view_.vScrollPos;
        view_.historyView = 1;
        changed = true;
    } else if (y >= clientHeight && view_.vScrollPos < view_.vScrollMax) {
        ++view_.vScrollPos;
        view_.historyView = 1;
        changed = true;
    }
    const int now = HitTest(x, y);
    if (now != current_) changed = true;
    current_ = now;
    highlightShown_ = current_ != anchor_;
    return changed;
}

void CSelection::ButtonUp(int x, int y) {
    if (!dragging_) return;
    dragging_ = false;
    current_ = HitTest(x, y);
    int lo = 0, hi = 0;
    Bounds(anchor_, current_, lo, hi);
    highlightShown_ = lo != hi;
    if (lo == hi) return;

    const int cells = std::clamp(doc_.maxRows, 1, kMaxRowsLimit) * kColumns;
    std::string scratch;
    for (int cell = std::max(lo, 0); cell < std::min(hi, cells) && scratch.size() < kSelectionScratch - 1;
         ++cell) {
        const uint8_t byte = doc_.historyBuffer.Row(cell / kColumns)[cell % kColumns];
        if (byte == 0) break;  // a NUL (the filler of a wrapped two-byte character) ends the text
        scratch += static_cast<char>(byte);
        if ((cell + 1) % kColumns == 0 && cell + 1 < hi) scratch += '\n';
    }
    text_ = scratch;
}

std::string CSelection::ClipboardText() const {
    std::string out;
    out.reserve(text_.size() * 2);
    for (size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '\n' && (i == 0 || text_[i - 1] != '\r')) out += '\r';
        out += text_[i];
    }
    return out;
}

bool CSelection::Highlight(int& lo, int& hi) const {
    if (!highlightShown_) return false;
    Bounds(anchor_, current_, lo, hi);
    lo = std::max(0, lo);
    return lo < hi;
}

}  // namespace tavrin
