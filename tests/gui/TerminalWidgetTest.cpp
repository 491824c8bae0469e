#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTest>
#include <array>
#include <cstring>
#include <thread>

#include "GuiFixture.h"
#include "gui/RowCells.h"
#include "gui/TerminalFont.h"
#include "gui/TerminalFontDialog.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin {
namespace {

using testing::GuiFixture;

void PutRow(CPelinDoc& doc, int row, const std::string& bytes) {
    std::memset(doc.screenBuffer.Row(row), ' ', kColumns);
    std::memcpy(doc.screenBuffer.Row(row), bytes.data(), std::min<size_t>(bytes.size(), kColumns));
}

// Whether any pixel of the cell range differs from the background.
bool Inked(const QImage& image, QRect cells, int cw, int ch, QRgb background) {
    const QRect area(cells.x() * cw, cells.y() * ch, cells.width() * cw, cells.height() * ch);
    for (int y = area.top(); y <= area.bottom() && y < image.height(); ++y)
        for (int x = area.left(); x <= area.right() && x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) return true;
    return false;
}

TEST(RowCellsTest, DecodesARowIntoCells) {
    struct Cell {
        int column, cells;
        QString text;
        bool run;
    };
    struct Case {
        const char* what;
        std::string row;
        std::vector<Cell> cells;
    };
    const Case cases[] = {
        {"blank", "", {}},
        {"ascii run with inner blanks", ">save  a.as", {{0, 11, ">save  a.as", true}}},
        {"double-width pair in two cells",
         "AB\x93\xfa\x96\x7b!",
         {{0, 2, "AB", true},
          {2, 2, QString::fromUtf8("日"), false},
          {4, 2, QString::fromUtf8("本"), false},
          {6, 1, "!", true}}},
        {"half-width katakana one cell",
         "\xb1\xb2 x",
         {{0, 1, QString::fromUtf8("ｱ"), false}, {1, 1, QString::fromUtf8("ｲ"), false}, {3, 1, "x", true}}},
        {"control bytes show as blanks",
         std::string("a\x01\x07") + "b",
         {{0, 1, "a", true}, {3, 1, "b", true}}},
        {"lead byte in the last column",
         std::string(79, ' ') + "\x93",
         {{79, 1, QString(QChar(0xFFFD)), false}}},
    };
    for (const auto& c : cases) {
        std::array<uint8_t, kColumns> row;
        row.fill(' ');
        std::memcpy(row.data(), c.row.data(), std::min<size_t>(c.row.size(), kColumns));
        const std::vector<RowCell> got = DecodeRow(row.data());
        ASSERT_EQ(got.size(), c.cells.size()) << c.what;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].column, c.cells[i].column) << c.what << " " << i;
            EXPECT_EQ(got[i].cells, c.cells[i].cells) << c.what << " " << i;
            EXPECT_EQ(got[i].text, c.cells[i].text) << c.what << " " << i;
            EXPECT_EQ(got[i].run, c.cells[i].run) << c.what << " " << i;
        }
    }
}

TEST(TerminalWidgetTest, ManyRepaintRequestsMakeOnePaint) {
    GuiFixture f;
    f.frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
    QCoreApplication::processEvents();
    CTerminalWidget& terminal = *f.frame->Terminal();
    const int before = terminal.PaintCount();
    for (int i = 0; i < 5000; ++i) f.shell.RequestRepaint();
    while (terminal.RepaintPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(terminal.PaintCount(), before + 1);
    terminal.viewport()->repaint();  // a paint of its own counts apart
    EXPECT_EQ(terminal.PaintCount(), before + 2);
}

// Output streaming in chunks, each followed by one event-loop turn: at most one paint per
// display frame, the final rows always painted when the stream stops, and a single chunk after
// a quiet spell painted in the very next turn.
TEST(TerminalWidgetTest, StreamingPaintsOncePerFrameAndAlwaysTheEnd) {
    GuiFixture f;
    f.frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
    CTerminalWidget& terminal = *f.frame->Terminal();
    CPelinDoc& doc = f.doc;
    while (terminal.RepaintPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    QTest::qWait(40);  // quiet
    int before = terminal.PaintCount();
    PutRow(doc, 0, "echo");
    f.shell.RequestRepaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(terminal.PaintCount(), before + 1) << "a lone chunk waits for nothing";

    before = terminal.PaintCount();
    QElapsedTimer clock;
    clock.start();
    int chunks = 0;
    while (clock.elapsed() < 200) {
        PutRow(doc, 1, "chunk " + std::to_string(++chunks));
        f.shell.RequestRepaint();
        QCoreApplication::processEvents();
    }
    const qint64 streamed = clock.elapsed();
    const int paints = terminal.PaintCount() - before;
    EXPECT_LE(paints, streamed / 16 + 2) << chunks << " chunks in " << streamed << " ms";
    EXPECT_GE(paints, 2) << "the screen moves while output streams";

    // The last chunk of a stream, with no request after it: it is painted all the same.
    PutRow(doc, 1, "last");
    f.shell.RequestRepaint();
    const int atEnd = terminal.PaintCount();
    QTest::qWait(60);
    EXPECT_GE(terminal.PaintCount(), atEnd + 1);
    EXPECT_FALSE(terminal.RepaintPending());
}

// Output arriving on a watched descriptor, read a chunk per readiness into the interpreter.
// While the descriptor still holds bytes after each read, the window paints at most once a
// frame; the read that empties it ends the burst, and its state is painted in that same turn
// with no further paint left pending (the caret's move included). A line that empties at
// every read brings a paint forward at most once a frame.
TEST(TerminalWidgetTest, BurstFromADescriptorIsPaintedWhenTheDescriptorEmpties) {
    GuiFixture f;
    f.frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
    f.frame->Terminal()->setFocus();
    CTerminalWidget& terminal = *f.frame->Terminal();
    CReceiveInterpreter interpreter(f.doc, *f.view, *f.view, f.shell);
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    for (int end : ends) ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    size_t received = 0;
    f.shell.WatchDescriptor(ends[0], [&] {
        std::array<uint8_t, 512> chunk{};
        const ssize_t n = ::read(ends[0], chunk.data(), chunk.size());
        if (n <= 0) return;
        received += static_cast<size_t>(n);
        int position = 0;
        int length = static_cast<int>(n);
        interpreter.InterpretReceived(chunk.data(), position, length);
    });
    auto send = [&](const std::string& bytes) {
        if (bytes.empty()) return;
        ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    };
    while (terminal.RepaintPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    struct Case {
        const char* what;
        size_t backlog;  // bytes kept waiting on the descriptor before each turn
        int paintsPerFrame;
        bool endPaintedAtOnce;  // a trickle's end may wait for the frame it falls in
    };
    const Case cases[] = {
        {"a burst that keeps the descriptor full", 2048, 1, true},
        {"a line that empties at every read", 1, 2, false},
    };
    size_t sent = 0;
    for (const Case& c : cases) {
        const int before = terminal.PaintCount();
        QElapsedTimer clock;
        clock.start();
        int line = 0;
        while (clock.elapsed() < 200) {
            std::string bytes;
            while (sent + bytes.size() - received < c.backlog)
                bytes += "line " + std::to_string(++line) + "\r\n";
            send(bytes);
            sent += bytes.size();
            QCoreApplication::processEvents();
        }
        const qint64 streamed = clock.elapsed();
        // The burst's end: every byte is read, and its paint follows in the same turn.
        send("last\r\n");
        sent += 6;
        while (received < sent) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        if (c.endPaintedAtOnce) {
            EXPECT_FALSE(terminal.RepaintPending()) << c.what;
        }
        QTest::qWait(40);
        EXPECT_FALSE(terminal.RepaintPending()) << c.what << ": nothing was left for a later frame";
        const int paints = terminal.PaintCount() - before;
        EXPECT_LE(paints, c.paintsPerFrame * (streamed / 16 + 2)) << c.what << ": " << line << " lines";
        EXPECT_GE(paints, 2) << c.what;
    }
    f.shell.UnwatchDescriptor(ends[0]);
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(TerminalWidgetTest, PaintsJapaneseInTwoCellsAndRowsPastVisibleRowsBlank) {
    GuiFixture f;
    f.doc.bgColor = 0x102030;
    f.doc.textColor = 0xF0F0F0;
    f.frame->Terminal()->ApplyFont();
    const int cw = f.doc.charWidth, ch = f.doc.charHeight;
    ASSERT_GT(cw, 2);
    f.frame->Terminal()->resize(80 * cw + 40, 10 * ch + 40);
    f.frame->Terminal()->viewport()->grab();  // the first paint settles the visible rows
    PutRow(f.doc, 0, "AB\x93\xfa\x96\x7b");   // "AB日本"
    PutRow(f.doc, 1, ">");
    PutRow(f.doc, 12, "HIDDEN");  // beyond the 10 visible rows
    const QImage image = f.frame->Terminal()->viewport()->grab().toImage();
    ASSERT_EQ(f.doc.visibleRows, std::min(f.doc.maxRows, f.frame->Terminal()->viewport()->height() / ch));
    // Colours are stored 0x00BBGGRR: 0x102030 is red 0x30, green 0x20, blue 0x10.
    const QRgb bg = qRgb(0x30, 0x20, 0x10);
    EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1) & 0xFFFFFF, bg & 0xFFFFFF);
    EXPECT_TRUE(Inked(image, QRect(0, 0, 2, 1), cw, ch, bg));
    // Each double-width character reaches into both of its cells.
    EXPECT_TRUE(Inked(image, QRect(2, 0, 1, 1), cw, ch, bg));
    EXPECT_TRUE(Inked(image, QRect(3, 0, 1, 1), cw, ch, bg));
    EXPECT_TRUE(Inked(image, QRect(5, 0, 1, 1), cw, ch, bg));
    EXPECT_FALSE(Inked(image, QRect(7, 0, 73, 1), cw, ch, bg));
    EXPECT_TRUE(Inked(image, QRect(0, 1, 1, 1), cw, ch, bg));
    EXPECT_FALSE(Inked(image, QRect(0, 2, 80, 8), cw, ch, bg));
}

TEST(TerminalWidgetTest, ScrollBarsFollowTheCore) {
    GuiFixture f;
    CTerminalWidget* t = f.frame->Terminal();
    f.doc.visibleRows = 25;
    f.view->historyCount = 34;  // top = 10
    f.view->vScrollMax = 10;
    f.view->vScrollPos = 10;
    f.view->hScrollMax = 20;
    f.view->hScrollPos = 3;
    t->SyncScrollBarsAndCaret();
    EXPECT_EQ(t->verticalScrollBar()->maximum(), 10);
    EXPECT_EQ(t->verticalScrollBar()->value(), 10);
    EXPECT_EQ(t->horizontalScrollBar()->maximum(), 20);
    EXPECT_EQ(t->horizontalScrollBar()->value(), 3);

    struct Case {
        QAbstractSlider::SliderAction action;
        int expected;
    } cases[] = {{QAbstractSlider::SliderPageStepSub, 5},   {QAbstractSlider::SliderSingleStepSub, 4},
                 {QAbstractSlider::SliderPageStepSub, 0},   {QAbstractSlider::SliderSingleStepSub, 0},
                 {QAbstractSlider::SliderPageStepAdd, 5},   {QAbstractSlider::SliderPageStepAdd, 10},
                 {QAbstractSlider::SliderSingleStepAdd, 10}};
    for (const auto& c : cases) {
        t->verticalScrollBar()->triggerAction(c.action);
        EXPECT_EQ(f.view->vScrollPos, c.expected) << c.action;
        EXPECT_EQ(t->verticalScrollBar()->value(), c.expected) << c.action;
        EXPECT_EQ(f.view->historyView, 1);
    }
    t->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.doc.horizontalOffset, 8);
}

TEST(QtShellTest, NameFiltersFromPipeSeparatedPairs) {
    struct Case {
        std::string filter;
        QStringList expected;
    } cases[] = {
        {"*.bin|*.bin|*.*|*.*||", {"*.bin (*.bin)", "*.* (*.*)"}},
        {"Log files (*.log)|*.log", {"Log files (*.log) (*.log)"}},
        {"Macro|*.uas;*.txt", {"Macro (*.uas *.txt)"}},
        {"", {}},
        {"odd|", {"odd ()"}},
    };
    for (const auto& c : cases) EXPECT_EQ(CQtShell::NameFilters(c.filter), c.expected) << c.filter;
}

TEST(QtShellTest, TimersAndWatchesMayStopThemselves) {
    CQtShell shell;
    int ticks = 0;
    shell.SetTimerHandler([&](int id) {
        EXPECT_EQ(id, 7);
        if (++ticks == 3) shell.StopTimer(7);
    });
    shell.StartTimer(7, 1);
    QTest::qWait(60);
    EXPECT_EQ(ticks, 3);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int reads = 0;
    shell.WatchDescriptor(fds[0], [&] {
        char c;
        ASSERT_EQ(read(fds[0], &c, 1), 1);
        ++reads;
        shell.UnwatchDescriptor(fds[0]);
    });
    ASSERT_EQ(write(fds[1], "ab", 2), 2);
    QTest::qWait(30);
    EXPECT_EQ(reads, 1);  // unwatched after the first byte
    close(fds[0]);
    close(fds[1]);
}

TEST(QtShellTest, PostFromAnotherThreadRunsOnTheWindowThread) {
    CQtShell shell;
    std::thread::id ranOn;
    std::thread worker([&] { shell.Post([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    QTest::qWait(20);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// Whatever the font, a row of 80 characters drawn as one string ends at the 80th cell, and the
// window is widened to show all 80 columns beside the vertical scroll bar. A description
// without a height (a first start) gets the height it is drawn with, so it is saved as shown.
TEST(TerminalWidgetTest, EightyColumnsFitEveryFont) {
    struct Case {
        const char* face;
        int height;
    };
    // Each fits the offscreen screen (800 pixels across).
    const Case cases[] = {{"Fixedsys", 0}, {"Fixedsys", 14}, {"DejaVu Sans Mono", -15}, {"NoSuchFace", -13}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.face) + " " + std::to_string(c.height));
        testing::GuiFixture f;
        f.view->logFont.faceName = c.face;
        f.view->logFont.height = c.height;
        f.frame->resize(300, 300);
        f.frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
        f.frame->Terminal()->ApplyFont();
        QTest::qWait(20);
        EXPECT_NE(f.view->logFont.height, 0);
        const int cw = f.doc.charWidth;
        const QFontMetricsF metrics(f.frame->Terminal()->TerminalFont());
        EXPECT_NEAR(metrics.horizontalAdvance(QString(kColumns, QLatin1Char('M'))), kColumns * cw, 0.5);
        const QScrollBar* bar = f.frame->Terminal()->verticalScrollBar();
        EXPECT_GE(f.frame->Terminal()->viewport()->width(), kColumns * cw + bar->sizeHint().width());
    }
}

// A face this machine lacks is drawn with one and the same family every time, the one the
// Font dialog then opens on.
TEST(TerminalWidgetTest, MissingFaceIsTheSystemsFixedFamilyInTerminalAndDialog) {
    LogFont description;
    description.faceName = "Fixedsys";
    description.height = -13;
    const QFont drawn = MakeTerminalFont(description);
    EXPECT_EQ(QFontInfo(drawn).family(), QFontInfo(MakeTerminalFont(description)).family());
    EXPECT_EQ(FontForDialog(description).family(), drawn.family());
    EXPECT_NE(drawn.family(), QStringLiteral("Fixedsys"));
    EXPECT_TRUE(QFontInfo(drawn).fixedPitch());
}

}  // namespace
}  // namespace tavrin
