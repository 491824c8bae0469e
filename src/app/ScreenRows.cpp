#include "app/ScreenRows.h"

#include <algorithm>
#include <cstring>

namespace tavrin {

void CScreenRows::Fill(uint8_t byte) {
    cells_.fill(byte);
    ring_ = 0;
    start_ = 0;
}

// Lays the ring out in row order again, so that row r is stored at r * 80.
void CScreenRows::Straighten() {
    if (start_ != 0) {
        const auto first = cells_.begin();
        std::rotate(first, first + static_cast<std::ptrdiff_t>(start_) * kColumns,
                    first + static_cast<std::ptrdiff_t>(ring_) * kColumns);
    }
    ring_ = 0;
    start_ = 0;
}

void CScreenRows::ScrollUp(int count) {
    count = std::clamp(count, 1, kBufferRows);
    if (count != ring_) {
        Straighten();
        ring_ = count;
    }
    // The storage of row 0 becomes the blank last row of the ring.
    std::memset(cells_.data() + Offset(0), ' ', kColumns);
    start_ = start_ + 1 == ring_ ? 0 : start_ + 1;
}

}  // namespace tavrin
