#include "terminal/DisplayModel.h"

#include <algorithm>
#include <cstring>

namespace tavrin {

namespace {

bool RowInBuffer(int row) {
    return row >= 0 && row < kBufferRows;
}

}  // namespace

int CDisplayModel::Clamp(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

int CDisplayModel::RowsForHeight(int clientHeight) const {
    if (doc_.charHeight <= 0 || clientHeight <= 0) return 0;
    const int limit = Clamp(doc_.maxRows, 0, kMaxRowsLimit);
    return std::min(clientHeight / doc_.charHeight, limit);
}

int CDisplayModel::ColumnsForWidth(int clientWidth) const {
    if (doc_.charWidth <= 0 || clientWidth <= 0) return 0;
    return clientWidth / doc_.charWidth;
}

bool CDisplayModel::UpdateGeometry(int clientWidth, int clientHeight) {
    bool changed = false;
    // A client area too low for one row (a minimised window) keeps the row count it had: with
    // no visible rows the line feed could never scroll and the cursor would run off the screen.
    const int rows = RowsForHeight(clientHeight);
    if (rows != 0 && rows != doc_.visibleRows) {
        RebuildFromHistory(rows);
        doc_.visibleRows = rows;
        changed = true;
    }

    const int columns = ColumnsForWidth(clientWidth);
    if (columns >= kColumns) {
        view_.hScrollMax = 0;
        view_.hScrollPos = 0;
        doc_.horizontalOffset = 0;
    } else {
        view_.hScrollMax = kColumns - columns;
        view_.hScrollPos = Clamp(view_.hScrollPos, 0, view_.hScrollMax);
        doc_.horizontalOffset = view_.hScrollPos;
    }
    return changed;
}

void CDisplayModel::CopyRow(CScreenRows& to, int toRow, const CScreenRows& from, int fromRow) {
    if (!RowInBuffer(toRow) || !RowInBuffer(fromRow)) return;
    if (&to == &from && toRow == fromRow) return;
    std::memmove(to.Row(toRow), from.Row(fromRow), kColumns);
}

void CDisplayModel::BlankRow(int row) {
    if (!RowInBuffer(row)) return;
    std::memset(doc_.screenBuffer.Row(row), ' ', kColumns);
}

void CDisplayModel::RebuildFromHistory(int rows) {
    const int v = Clamp(rows, 1, kMaxRowsLimit);
    const int h = Clamp(view_.historyCount, 0, kMaxRowsLimit);
    auto& screen = doc_.screenBuffer;
    const int current = Clamp(doc_.cursorRow, 0, kBufferRows - 1);

    if (h < v) {
        // Every history line fits: they fill rows 0..h-1 and the current line follows them.
        view_.vScrollMax = 0;
        view_.vScrollPos = 0;
        CopyRow(screen, h, screen, current);
        for (int i = 0; i < h; ++i) CopyRow(screen, i, doc_.historyBuffer, i);
        // Rows below the current line held an older layout; they show nothing now.
        for (int i = h + 1; i < v; ++i) BlankRow(i);
        doc_.cursorRow = h;
    } else {
        // The current line goes to the last row, the newest v-1 history lines above it, and
        // the vertical bar reaches back to the oldest line.
        CopyRow(screen, v - 1, screen, current);
        doc_.cursorRow = v - 1;
        for (int i = 0; i < v - 1; ++i) CopyRow(screen, i, doc_.historyBuffer, h - v + 1 + i);
        view_.vScrollMax = h - v + 1;
        view_.vScrollPos = h - v + 1;
    }
}

int CDisplayModel::Step(ScrollRequest request, int position, int top, int thumbPosition) {
    switch (request) {
        case ScrollRequest::LineUp: return position > 0 ? position - 1 : position;
        case ScrollRequest::LineDown: return position < top ? position + 1 : position;
        case ScrollRequest::PageUp: return std::max(position - kScrollPage, 0);
        case ScrollRequest::PageDown: return std::min(position + kScrollPage, top);
        case ScrollRequest::ThumbPosition:
        case ScrollRequest::ThumbTrack: return thumbPosition;
        case ScrollRequest::Other: break;
    }
    return position;
}

void CDisplayModel::VScroll(ScrollRequest request, int thumbPosition) {
    const int top = view_.historyCount - doc_.visibleRows + 1;
    const int p = Step(request, view_.vScrollPos, top, thumbPosition);
    view_.vScrollPos = Clamp(p, 0, std::max(0, top));
    view_.historyView = 1;
}

void CDisplayModel::HScroll(ScrollRequest request, int thumbPosition) {
    const int top = view_.hScrollMax;
    const int p = Step(request, view_.hScrollPos, top, thumbPosition);
    view_.hScrollPos = Clamp(p, 0, std::max(0, top));
    doc_.horizontalOffset = view_.hScrollPos;
}

const uint8_t* CDisplayModel::DisplayRow(int i) const {
    if (i < 0 || i >= doc_.visibleRows) return nullptr;
    if (view_.historyView == 1) {
        const int line = view_.vScrollPos + i;
        return doc_.historyBuffer.Row(line);
    }
    return doc_.screenBuffer.Row(i);
}

void CDisplayModel::SetFocus(bool focused) {
    doc_.caretCreated = focused ? 1 : 0;
}

CaretPlacement CDisplayModel::Caret() const {
    CaretPlacement caret;
    // At least one pixel wide, so a very narrow font still shows a caret.
    caret.width = std::max(1, doc_.charWidth / kCaretWidthDivisor);
    caret.height = doc_.charHeight;
    // The caret marks the live cursor: it follows the shifted columns, and it is hidden while
    // the history is shown or while the cursor's cell is out of sight.
    caret.x = (doc_.cursorColumn - doc_.horizontalOffset) * doc_.charWidth;
    caret.y = doc_.cursorRow * doc_.charHeight;
    caret.shown = doc_.caretCreated != 0 && view_.historyView == 0 && doc_.cursorRow < doc_.visibleRows &&
                  doc_.cursorColumn >= doc_.horizontalOffset;
    return caret;
}

void CDisplayModel::ResetScroll() {
    view_.historyCount = 0;
    view_.historyView = 0;
    view_.vScrollMax = 0;
    view_.vScrollPos = 0;
    view_.hScrollMax = kColumns - 1;
    view_.hScrollPos = 0;
}

}  // namespace tavrin
