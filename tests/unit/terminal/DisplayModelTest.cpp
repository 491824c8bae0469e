#include "terminal/DisplayModel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tavrin {
namespace {

std::string Row(const CScreenRows& buffer, int row) {
    std::string text(reinterpret_cast<const char*>(buffer.Row(row)), kColumns);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

void PutRow(CScreenRows& buffer, int row, const std::string& text) {
    std::memset(buffer.Row(row), ' ', kColumns);
    std::memcpy(buffer.Row(row), text.data(), std::min<size_t>(text.size(), kColumns));
}

std::string Line(int n) {
    return "H" + std::to_string(100 + n).substr(1);
}

// A terminal that has completed `lines` lines on a screen of `rows` rows, laid out as the line
// feed leaves it: history lines 0..lines-1, the current line "CUR" mirrored at history[lines],
// the newest lines on the screen with the current line under them.
struct Fixture {
    CPelinDoc doc;
    ViewState view;
    CDisplayModel model{doc, view};

    Fixture(int lines, int rows, int maxRows = 50) {
        doc.maxRows = maxRows;
        doc.visibleRows = rows;
        view.historyCount = lines;
        for (int i = 0; i < lines; ++i) PutRow(doc.historyBuffer, i, Line(i));
        PutRow(doc.historyBuffer, lines, "CUR");
        const int cursor = std::min(lines, rows - 1);
        for (int r = 0; r < cursor; ++r) PutRow(doc.screenBuffer, r, Line(lines - cursor + r));
        PutRow(doc.screenBuffer, cursor, "CUR");
        doc.cursorRow = cursor;
        if (lines >= rows) view.vScrollMax = view.vScrollPos = lines - rows + 1;
    }
};

TEST(DisplayModelTest, RowsFollowHeightCappedByMaxRows) {
    struct Case {
        int height, charHeight, maxRows, rows;
    } cases[] = {
        {500, 20, 50, 25}, {519, 20, 50, 25},    {520, 20, 50, 26},    {500, 20, 10, 10}, {19, 20, 50, 0},
        {0, 20, 50, 0},    {5000, 20, 200, 200}, {5000, 10, 350, 200}, {500, 0, 50, 0},   {500, 20, -3, 0},
    };
    for (const auto& c : cases) {
        CPelinDoc doc;
        ViewState view;
        doc.charHeight = c.charHeight;
        doc.maxRows = c.maxRows;
        EXPECT_EQ(CDisplayModel(doc, view).RowsForHeight(c.height), c.rows)
            << c.height << "/" << c.charHeight << " max " << c.maxRows;
    }
}

TEST(DisplayModelTest, HorizontalRangeWhenFewerThan80ColumnsFit) {
    struct Case {
        int columns, priorPosition, max, offset;
    } cases[] = {
        {80, 0, 0, 0},  {80, 12, 0, 0},   {120, 5, 0, 0}, {60, 0, 20, 0},
        {60, 7, 20, 7}, {60, 30, 20, 20}, {79, 0, 1, 0},  {0, 90, 80, 80},
    };
    for (const auto& c : cases) {
        CPelinDoc doc;
        ViewState view;
        view.hScrollPos = c.priorPosition;
        CDisplayModel model(doc, view);
        model.UpdateGeometry(c.columns * doc.charWidth + doc.charWidth - 1, 25 * doc.charHeight);
        EXPECT_EQ(view.hScrollMax, c.max) << c.columns << " columns";
        EXPECT_EQ(view.hScrollPos, c.offset) << c.columns << " columns";
        EXPECT_EQ(doc.horizontalOffset, c.offset) << c.columns << " columns";
    }
}

TEST(DisplayModelTest, ShrinkingTo10RowsKeepsTheNewestHistoryAboveTheCurrentLine) {
    Fixture f(30, 25);
    EXPECT_TRUE(f.model.UpdateGeometry(80 * 8, 10 * 20 + 7));
    EXPECT_EQ(f.doc.visibleRows, 10);
    for (int r = 0; r < 9; ++r) EXPECT_EQ(Row(f.doc.screenBuffer, r), Line(21 + r)) << "row " << r;
    EXPECT_EQ(Row(f.doc.screenBuffer, 9), "CUR");
    EXPECT_EQ(f.doc.cursorRow, 9);
    EXPECT_EQ(f.view.vScrollMax, 21);
    EXPECT_EQ(f.view.vScrollPos, 21);
}

TEST(DisplayModelTest, GrowingPastTheHistoryPutsTheCurrentLineUnderTheLastHistoryLine) {
    struct Case {
        int lines, fromRows, toRows;
    } cases[] = {{3, 10, 25}, {0, 5, 20}, {24, 25, 40}, {9, 5, 10}};
    for (const auto& c : cases) {
        Fixture f(c.lines, c.fromRows);
        // An older, taller layout left text below the current line.
        for (int r = f.doc.cursorRow + 1; r < c.toRows; ++r) PutRow(f.doc.screenBuffer, r, "STALE");
        f.model.UpdateGeometry(80 * 8, c.toRows * 20);
        ASSERT_EQ(f.doc.visibleRows, c.toRows);
        for (int r = 0; r < c.lines; ++r) EXPECT_EQ(Row(f.doc.screenBuffer, r), Line(r));
        EXPECT_EQ(Row(f.doc.screenBuffer, c.lines), "CUR") << c.lines << " lines";
        EXPECT_EQ(f.doc.cursorRow, c.lines);
        for (int r = c.lines + 1; r < c.toRows; ++r) EXPECT_EQ(Row(f.doc.screenBuffer, r), "") << "row " << r;
        EXPECT_EQ(f.view.vScrollMax, 0);
        EXPECT_EQ(f.view.vScrollPos, 0);
    }
}

TEST(DisplayModelTest, UnchangedOrTooLowHeightDoesNotRebuild) {
    struct Case {
        int height;
        const char* what;
    } cases[] = {
        {25 * 20, "same rows"}, {25 * 20 + 19, "same rows, extra pixels"}, {12, "too low"}, {0, "zero"}};
    for (const auto& c : cases) {
        Fixture f(30, 25);
        PutRow(f.doc.screenBuffer, 3, "MARK");
        EXPECT_FALSE(f.model.UpdateGeometry(640, c.height)) << c.what;
        EXPECT_EQ(f.doc.visibleRows, 25) << c.what;
        EXPECT_EQ(Row(f.doc.screenBuffer, 3), "MARK") << c.what;
        EXPECT_EQ(f.doc.cursorRow, 24) << c.what;
    }
}

TEST(DisplayModelTest, RebuildKeepsTheCursorRowInsideTheBuffer) {
    // A cursor escape may leave the cursor far below the visible rows.
    Fixture f(4, 25, 200);
    f.doc.cursorRow = 199;
    PutRow(f.doc.screenBuffer, 199, "LOW");
    f.model.RebuildFromHistory(10);
    EXPECT_EQ(f.doc.cursorRow, 4);
    EXPECT_EQ(Row(f.doc.screenBuffer, 4), "LOW");
}

TEST(DisplayModelTest, VerticalScrollSteps) {
    // top = historyCount - visibleRows + 1
    struct Case {
        ScrollRequest request;
        int history, rows, position, thumb, expected;
    } cases[] = {
        {ScrollRequest::PageDown, 27, 25, 0, 0, 3},  // page down from 0 with top 3 lands on 3
        {ScrollRequest::PageDown, 40, 25, 0, 0, 5},       {ScrollRequest::PageDown, 40, 25, 14, 0, 16},
        {ScrollRequest::PageUp, 40, 25, 3, 0, 0},         {ScrollRequest::PageUp, 40, 25, 12, 0, 7},
        {ScrollRequest::LineUp, 40, 25, 0, 0, 0},         {ScrollRequest::LineUp, 40, 25, 9, 0, 8},
        {ScrollRequest::LineDown, 40, 25, 16, 0, 16},     {ScrollRequest::LineDown, 40, 25, 15, 0, 16},
        {ScrollRequest::ThumbTrack, 40, 25, 2, 11, 11},   {ScrollRequest::ThumbPosition, 40, 25, 2, 99, 16},
        {ScrollRequest::ThumbPosition, 40, 25, 2, -4, 0}, {ScrollRequest::Other, 40, 25, 6, 0, 6},
        {ScrollRequest::LineDown, 3, 25, 0, 0, 0},        {ScrollRequest::PageDown, 3, 25, 0, 0, 0},
    };
    for (const auto& c : cases) {
        CPelinDoc doc;
        ViewState view;
        doc.visibleRows = c.rows;
        view.historyCount = c.history;
        view.vScrollPos = c.position;
        CDisplayModel(doc, view).VScroll(c.request, c.thumb);
        EXPECT_EQ(view.vScrollPos, c.expected) << "request " << static_cast<int>(c.request) << " from "
                                               << c.position << " history " << c.history;
        EXPECT_EQ(view.historyView, 1);
    }
}

TEST(DisplayModelTest, HorizontalScrollStepsWithinTheColumnRange) {
    struct Case {
        ScrollRequest request;
        int position, thumb, expected;
    } cases[] = {
        {ScrollRequest::PageDown, 0, 0, 5},     {ScrollRequest::PageDown, 18, 0, 20},
        {ScrollRequest::LineDown, 20, 0, 20},   {ScrollRequest::LineUp, 0, 0, 0},
        {ScrollRequest::PageUp, 4, 0, 0},       {ScrollRequest::ThumbTrack, 0, 13, 13},
        {ScrollRequest::ThumbTrack, 0, 40, 20}, {ScrollRequest::Other, 9, 0, 9},
    };
    for (const auto& c : cases) {
        CPelinDoc doc;
        ViewState view;
        CDisplayModel model(doc, view);
        model.UpdateGeometry(60 * doc.charWidth, 25 * doc.charHeight);  // range 0..20
        view.hScrollPos = doc.horizontalOffset = c.position;
        model.HScroll(c.request, c.thumb);
        EXPECT_EQ(view.hScrollPos, c.expected)
            << "request " << static_cast<int>(c.request) << " from " << c.position;
        EXPECT_EQ(doc.horizontalOffset, c.expected);
        EXPECT_EQ(view.historyView, 0);
    }
}

TEST(DisplayModelTest, DisplayRowsComeFromScreenOrHistoryAndAreBlankPastVisibleRows) {
    Fixture f(40, 25);
    EXPECT_EQ(f.model.PaintedRows(), 50);
    EXPECT_EQ(Row(f.doc.screenBuffer, 0), Line(16));
    // Live screen.
    ASSERT_NE(f.model.DisplayRow(0), nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.model.DisplayRow(0)), 3), Line(16));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.model.DisplayRow(24)), 3), "CUR");
    EXPECT_EQ(f.model.DisplayRow(25), nullptr);
    EXPECT_EQ(f.model.DisplayRow(49), nullptr);
    EXPECT_EQ(f.model.DisplayRow(-1), nullptr);
    // Scrolled back to the top of the history.
    f.model.VScroll(ScrollRequest::ThumbPosition, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.model.DisplayRow(0)), 3), Line(0));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.model.DisplayRow(24)), 3), Line(24));
    // And to the bottom: the same rows as the live screen.
    f.model.VScroll(ScrollRequest::PageDown, 0);
    f.model.VScroll(ScrollRequest::ThumbPosition, 1000);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.model.DisplayRow(24)), 3), "CUR");
    EXPECT_EQ(f.model.DisplayRow(25), nullptr);
}

TEST(DisplayModelTest, HistoryViewRowsNeverLeaveTheBuffer) {
    CPelinDoc doc;
    ViewState view;
    CDisplayModel model(doc, view);
    doc.maxRows = 200;
    doc.visibleRows = 200;
    view.historyView = 1;
    view.vScrollPos = 150;  // inconsistent position from an outside caller
    for (int i = 0; i < 200; ++i) {
        const uint8_t* row = model.DisplayRow(i);
        if (row) {
            EXPECT_EQ(row, doc.historyBuffer.Row(150 + i)) << "row " << i;
        }
    }
}

TEST(DisplayModelTest, CaretPlacement) {
    struct Case {
        int column, row, offset, historyView, focused;
        bool shown;
        int x, y;
    } cases[] = {
        {0, 0, 0, 0, 1, true, 0, 0},      {10, 3, 0, 0, 1, true, 80, 60},  {10, 3, 4, 0, 1, true, 48, 60},
        {10, 3, 11, 0, 1, false, -8, 60}, {10, 3, 0, 1, 1, false, 80, 60}, {10, 3, 0, 0, 0, false, 80, 60},
        {0, 25, 0, 0, 1, false, 0, 500},
    };
    for (const auto& c : cases) {
        CPelinDoc doc;
        ViewState view;
        CDisplayModel model(doc, view);
        doc.cursorColumn = c.column;
        doc.cursorRow = c.row;
        doc.horizontalOffset = c.offset;
        view.historyView = c.historyView;
        model.SetFocus(c.focused != 0);
        EXPECT_EQ(doc.caretCreated, c.focused);
        const CaretPlacement caret = model.Caret();
        EXPECT_EQ(caret.shown, c.shown) << c.column << "," << c.row << " offset " << c.offset;
        EXPECT_EQ(caret.x, c.x);
        EXPECT_EQ(caret.y, c.y);
        EXPECT_EQ(caret.width, 2);  // charWidth 8 / 4
        EXPECT_EQ(caret.height, 20);
    }
}

TEST(DisplayModelTest, NewViewScrollState) {
    CPelinDoc doc;
    ViewState view;
    view.historyCount = 9;
    view.historyView = 1;
    view.vScrollMax = view.vScrollPos = 4;
    view.hScrollMax = 3;
    view.hScrollPos = 2;
    CDisplayModel(doc, view).ResetScroll();
    EXPECT_EQ(view.historyCount, 0);
    EXPECT_EQ(view.historyView, 0);
    EXPECT_EQ(view.vScrollMax, 0);
    EXPECT_EQ(view.vScrollPos, 0);
    EXPECT_EQ(view.hScrollMax, 79);
    EXPECT_EQ(view.hScrollPos, 0);
}

}  // namespace
}  // namespace tavrin
