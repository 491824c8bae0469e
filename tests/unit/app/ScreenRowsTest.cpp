#include "app/ScreenRows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tavrin {
namespace {

// The straightforward layout the rows stand for: row r at r * 80, a scroll moves the bytes.
struct FlatRows {
    std::vector<uint8_t> cells = std::vector<uint8_t>(static_cast<size_t>(kBufferRows) * kColumns, ' ');
    uint8_t* Row(int r) { return cells.data() + static_cast<size_t>(r) * kColumns; }
    void ScrollUp(int count) {
        std::memmove(Row(0), Row(1), static_cast<size_t>(count - 1) * kColumns);
        std::memset(Row(count - 1), ' ', kColumns);
    }
};

std::string Text(const uint8_t* row) {
    return {reinterpret_cast<const char*>(row), kColumns};
}

void ExpectSame(const CScreenRows& rows, FlatRows& flat, const std::string& when) {
    for (int r = 0; r < kBufferRows; ++r)
        ASSERT_EQ(Text(rows.Row(r)), Text(flat.Row(r))) << when << ", row " << r;
}

TEST(ScreenRowsTest, RowsOutsideTheBufferAreNull) {
    CScreenRows rows;
    EXPECT_EQ(rows.Row(-1), nullptr);
    EXPECT_EQ(rows.Row(kBufferRows), nullptr);
    EXPECT_NE(rows.Row(kBufferRows - 1), nullptr);
}

// Scrolls of one size, then of another (a resize or a new row limit between them), with rows
// written in between: every row reads as in the flat layout, and rows below the scrolled ones
// never move.
TEST(ScreenRowsTest, ScrollsLikeAMoveOfTheRows) {
    struct Case {
        std::vector<int> counts;  // one scroll size per phase
        int scrollsPerPhase;
    };
    const Case cases[] = {
        {{25}, 3},          {{25}, 60},         {{1, 2, 1}, 5},       {{200, 25, 200}, 230},
        {{50, 10, 50}, 49}, {{kBufferRows}, 7}, {{3, 0, 500, 4}, 11},  // counts out of range
    };
    for (const Case& c : cases) {
        CScreenRows rows;
        FlatRows flat;
        int stamp = 0;
        for (int r = 0; r < kBufferRows; ++r) {
            const std::string mark = "R" + std::to_string(r);
            std::memcpy(rows.Row(r), mark.data(), mark.size());
            std::memcpy(flat.Row(r), mark.data(), mark.size());
        }
        for (int count : c.counts) {
            const int clamped = std::clamp(count, 1, kBufferRows);
            for (int i = 0; i < c.scrollsPerPhase; ++i) {
                rows.ScrollUp(count);
                flat.ScrollUp(clamped);
                const std::string mark = "S" + std::to_string(++stamp);
                const int at = (stamp * 7) % kBufferRows;  // also rows below the scrolled ones
                std::memcpy(rows.Row(at) + 10, mark.data(), mark.size());
                std::memcpy(flat.Row(at) + 10, mark.data(), mark.size());
            }
            ExpectSame(rows, flat, "count " + std::to_string(count));
        }
        rows.Fill('x');
        std::memset(flat.cells.data(), 'x', flat.cells.size());
        ExpectSame(rows, flat, "after Fill");
    }
}

TEST(ScreenRowsTest, RandomScrollsAndWritesMatchTheFlatLayout) {
    std::mt19937 rng(14);
    CScreenRows rows;
    FlatRows flat;
    std::uniform_int_distribution<int> row(0, kBufferRows - 1), what(0, 9), byte(0x21, 0x7e);
    int count = 25;
    for (int step = 0; step < 20000; ++step) {
        const int w = what(rng);
        if (w == 0) count = std::uniform_int_distribution<int>(1, kBufferRows)(rng);
        if (w < 5) {
            rows.ScrollUp(count);
            flat.ScrollUp(count);
        } else {
            const int r = row(rng);
            const int column = step % kColumns;
            rows.Row(r)[column] = flat.Row(r)[column] = static_cast<uint8_t>(byte(rng));
        }
        if (step % 997 == 0) ExpectSame(rows, flat, "step " + std::to_string(step));
    }
    ExpectSame(rows, flat, "end");
}

}  // namespace
}  // namespace tavrin
