#pragma once
#include <cstdint>

#include "app/PelinDoc.h"
#include "app/ViewState.h"

namespace tavrin {

// A scroll-bar request, as the front end's scroll bars report it.
enum class ScrollRequest {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    ThumbPosition,  // the thumb was released at a position
    ThumbTrack,     // the thumb is being dragged
    Other,          // anything else (to top, to bottom, end of scroll): the position stays
};

inline constexpr int kScrollPage = 5;         // lines (or columns) per page request
inline constexpr int kCaretWidthDivisor = 4;  // the caret is a quarter of a cell wide

// Where the caret goes, in client pixels. shown is false while the caret must not be drawn.
struct CaretPlacement {
    bool shown = false;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The viewport between the screen model and the terminal widget: how many rows fit, which
// buffer rows are shown, the scroll ranges and positions, and where the caret goes. It works on
// the document's screen model and the view's scroll fields and keeps no state of its own, so
// every holder of the document and the view may make one.
class CDisplayModel {
public:
    CDisplayModel(CPelinDoc& doc, ViewState& view) : doc_(doc), view_(view) {}

    // Rows that fit in a client area of this height: min(height / charHeight, maxRows).
    int RowsForHeight(int clientHeight) const;
    // Columns that fit in a client area of this width: width / charWidth.
    int ColumnsForWidth(int clientWidth) const;

    // The geometry step of every paint: recomputes visibleRows (rebuilding the screen from the
    // history when it changes to a non-zero value) and the horizontal scroll range. Returns true
    // when visibleRows changed.
    bool UpdateGeometry(int clientWidth, int clientHeight);

    // Lays the screen out anew for this many visible rows: the history lines above and the
    // current line in the last row that the history reaches. Also used after Enter at 38400 baud.
    void RebuildFromHistory(int rows);

    // The scroll bars; a position outside the bar's range is pulled into it. VScroll shows the
    // history from then on (historyView = 1) until the next output; HScroll shifts the columns.
    // The caller repaints.
    void VScroll(ScrollRequest request, int thumbPosition);
    void HScroll(ScrollRequest request, int thumbPosition);

    // The 80 bytes shown in display row i (history while scrolled back, otherwise the screen),
    // or nullptr when the row is painted blank (i at or beyond visibleRows, or outside the
    // buffers).
    const uint8_t* DisplayRow(int i) const;
    // Rows the paint covers: every row up to maxRows, the ones past visibleRows blank.
    int PaintedRows() const { return doc_.maxRows; }
    // The x of the first column: negative while the display is shifted right.
    int TextOriginX() const { return -doc_.horizontalOffset * doc_.charWidth; }

    // Focus gained or lost: the caret exists only while the view has the focus.
    void SetFocus(bool focused);
    CaretPlacement Caret() const;

    // The scroll state of a newly created view: no history, vertical range 0..0, horizontal
    // range 0..79, both at 0.
    void ResetScroll();

private:
    static int Clamp(int value, int low, int high);
    static int Step(ScrollRequest request, int position, int top, int thumbPosition);
    static void CopyRow(CScreenRows& to, int toRow, const CScreenRows& from, int fromRow);
    void BlankRow(int row);

    CPelinDoc& doc_;
    ViewState& view_;
};

}  // namespace tavrin
