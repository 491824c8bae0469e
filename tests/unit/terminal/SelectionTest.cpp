#include "terminal/Selection.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavrin {
namespace {

// Cells are 8 x 20 pixels; the history is not scrolled, so a cell's pixel is (column * 8,
// line * 20).
class SelectionTest : public ::testing::Test {
protected:
    SelectionTest() : selection_(doc_, view_) {
        doc_.charWidth = 8;
        doc_.charHeight = 20;
        doc_.maxRows = 50;
    }
    void PutLine(int line, const std::string& text) {
        // Text longer than a row goes on in the next rows.
        for (size_t i = 0; i < text.size(); ++i)
            doc_.historyBuffer.Row(line + static_cast<int>(i) / kColumns)[i % kColumns] =
                static_cast<uint8_t>(text[i]);
    }
    // Drags from cell (line, column) to cell (line, column); pixels are inside each cell.
    void Drag(int fromLine, int fromColumn, int toLine, int toColumn) {
        selection_.ButtonDown(fromColumn * 8 + 3, fromLine * 20 + 5);
        selection_.MouseMove(toColumn * 8 + 3, toLine * 20 + 5, 500);
        selection_.ButtonUp(toColumn * 8 + 3, toLine * 20 + 5);
    }

    CPelinDoc doc_;
    ViewState view_;
    CSelection selection_;
};

TEST_F(SelectionTest, SelectsTheCellsBetweenTheEndsInEitherDirection) {
    PutLine(0, ">save pick.as");
    struct Case {
        int fromLine, fromColumn, toLine, toColumn;
        std::string text;
    } cases[] = {
        {0, 1, 0, 5, "save"},
        {0, 5, 0, 1, "save"},  // right to left: the same cells
        {0, 6, 0, 6, ""},      // released where pressed: nothing
        {0, 0, 0, 13, ">save pick.as"},
    };
    for (const Case& c : cases) {
        Drag(c.fromLine, c.fromColumn, c.toLine, c.toColumn);
        EXPECT_EQ(selection_.Text(), c.text) << c.fromColumn << " -> " << c.toColumn;
        EXPECT_EQ(selection_.HasText(), !c.text.empty());
    }
}

TEST_F(SelectionTest, TwoLinesAreJoinedByLfAndGoToTheClipboardWithCrLf) {
    PutLine(0, std::string(78, ' ') + "ab");
    PutLine(1, "cd");
    Drag(0, 78, 1, 2);
    EXPECT_EQ(selection_.Text(), "ab\ncd");
    EXPECT_EQ(selection_.ClipboardText(), "ab\r\ncd");
}

TEST_F(SelectionTest, TwoByteCharactersAtEitherEndAreTakenWhole) {
    // "x", two CP932 characters whose second bytes are lead bytes too (columns 1-2, 3-4), "y".
    PutLine(0, "x\x88\x9f\x88\x9fy");
    struct Case {
        int from, to;
        std::string text;
    } cases[] = {
        {2, 3, "\x88\x9f"},          // from the middle of the first character to its end
        {0, 2, "x\x88\x9f"},         // ending inside it takes it whole
        {4, 1, "\x88\x9f\x88\x9f"},  // right to left, starting inside the second one
        {5, 6, "y"},
    };
    for (const Case& c : cases) {
        Drag(0, c.from, 0, c.to);
        EXPECT_EQ(selection_.Text(), c.text) << c.from << " -> " << c.to;
    }
}

TEST_F(SelectionTest, ANulCellEndsTheTextAndCellZeroReadsNothingBeforeIt) {
    PutLine(0, std::string("ab\0cd", 5));
    Drag(0, 0, 0, 5);
    EXPECT_EQ(selection_.Text(), "ab");
    doc_.historyBuffer.Row(0)[0] = 0x88;  // a lead byte at cell 0: nothing before it to look at
    Drag(0, 0, 0, 2);
    EXPECT_EQ(selection_.Text().size(), 2u);
}

TEST_F(SelectionTest, DraggingOutsideTheWindowScrollsTheHistoryAndShowsIt) {
    view_.vScrollMax = 10;
    view_.vScrollPos = 5;
    selection_.ButtonDown(10, 10);
    EXPECT_TRUE(selection_.MouseMove(10, -3, 100));
    EXPECT_EQ(view_.vScrollPos, 4);
    EXPECT_EQ(view_.historyView, 1);
    EXPECT_TRUE(selection_.MouseMove(10, 150, 100));
    EXPECT_EQ(view_.vScrollPos, 5);
    int lo = 0, hi = 0;
    EXPECT_TRUE(selection_.Highlight(lo, hi));
    selection_.HideHighlight();
    EXPECT_FALSE(selection_.Highlight(lo, hi));
}

}  // namespace
}  // namespace tavrin
