#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "app/PelinDoc.h"
#include "app/ViewState.h"

namespace tavrin {

inline constexpr size_t kSelectionScratch = 32000;

// The mouse selection over the history: a drag with the left button marks the cells between
// its two ends (cell index = history line * 80 + column; negative above the window), the
// release copies them into the selection text, lines joined by LF. A two-byte character at
// either end is taken whole. Single-threaded.
class CSelection {
public:
    CSelection(const CPelinDoc& doc, ViewState& view) : doc_(doc), view_(view) {}

    // The cell under client pixel (x, y), from the scroll positions and the character size.
    int HitTest(int x, int y) const;

    // Button down: a new drag starts and the old selection text is dropped.
    void ButtonDown(int x, int y);
    // Pointer moved while the button is down. clientHeight tells whether the pointer has left
    // the window above or below, which scrolls the history by one line (historyView = 1).
    // Returns true when the highlight or the scroll position changed.
    bool MouseMove(int x, int y, int clientHeight);
    // Button up: the cells between the two ends become the selection text.
    void ButtonUp(int x, int y);

    bool Dragging() const { return dragging_; }
    bool HasText() const { return !text_.empty(); }
    const std::string& Text() const { return text_; }  // CP932, lines joined by LF
    // The text for the clipboard: every LF not after a CR becomes CR LF.
    std::string ClipboardText() const;

    // The highlighted cells [lo, hi) while one is shown; false when none is.
    bool Highlight(int& lo, int& hi) const;
    // The next paint shows no highlight (after Copy, and when output arrives).
    void HideHighlight() { highlightShown_ = false; }

private:
    // True when the cell holds the second byte of a two-byte character.
    bool IsTrail(int cell) const;
    // The cells [lo, hi) between two drag ends, widened so no two-byte character is cut.
    void Bounds(int a, int b, int& lo, int& hi) const;

    const CPelinDoc& doc_;
    ViewState& view_;
    bool dragging_ = false;
    bool highlightShown_ = false;
    int anchor_ = 0;
    int current_ = 0;
    std::string text_;
};

}  // namespace tavrin
