#pragma once
#include <QString>
#include <cstdint>
#include <vector>

namespace tavrin {

// One piece of a screen row as drawn: text starting at a column and covering `cells` cells.
// An ASCII run is drawn as one string (the terminal font is fixed pitch); every other
// character is drawn alone, centred in its cells, so a glyph from a fallback font never shifts
// the columns after it: a Shift-JIS pair covers two cells, a half-width character one.
struct RowCell {
    int column = 0;
    int cells = 0;
    QString text;
    bool run = false;  // an ASCII run, one cell per character
};

// The row of 80 CP932 bytes as drawable pieces. Blanks are left out (the background shows);
// control bytes show as blanks; a lead byte without its trail byte (in the last column) shows
// as one replacement character.
std::vector<RowCell> DecodeRow(const uint8_t* row80);

}  // namespace tavrin
