#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrin {

inline constexpr int kColumns = 80;
inline constexpr size_t kScreenBytes = 16281;  // room for 201 rows of 81
// Rows of 80 that fit whole in kScreenBytes: the rows a screen or history buffer holds.
inline constexpr int kBufferRows = static_cast<int>(kScreenBytes / kColumns);

// The rows of the screen or of its history: kBufferRows rows of exactly 80 bytes. Row(r) is
// the one way to a row's cells; a row's 80 bytes are contiguous, but consecutive rows need not
// be, so no reader walks from one row into the next by pointer.
//
// ScrollUp moves the first rows up by one at the cost of one row: the first `count` rows are
// kept as a ring whose start advances, and the rows from `count` on stay in place. A different
// `count` lays the ring out straight once before it starts over (a resize, a new row limit).
class CScreenRows {
public:
    CScreenRows() { Fill(' '); }

    // The 80 cells of row r (0 .. kBufferRows - 1), or nullptr for any other r.
    uint8_t* Row(int r) { return r >= 0 && r < kBufferRows ? cells_.data() + Offset(r) : nullptr; }
    const uint8_t* Row(int r) const {
        return r >= 0 && r < kBufferRows ? cells_.data() + Offset(r) : nullptr;
    }

    // Every cell of every row.
    void Fill(uint8_t byte);
    // Rows 0 .. count-1 move up one row: row 0 leaves, row count-1 becomes blank (' '). Rows
    // from count on are not touched. count is pulled into 1 .. kBufferRows.
    void ScrollUp(int count);

private:
    size_t Offset(int r) const {
        int physical = r;
        if (r < ring_) {
            physical = start_ + r;
            if (physical >= ring_) physical -= ring_;
        }
        return static_cast<size_t>(physical) * kColumns;
    }
    void Straighten();

    std::array<uint8_t, static_cast<size_t>(kBufferRows) * kColumns> cells_;
    int ring_ = 0;   // rows 0 .. ring_-1 rotate; the rest are stored in order
    int start_ = 0;  // where row 0 of the ring is stored
};

}  // namespace tavrin
