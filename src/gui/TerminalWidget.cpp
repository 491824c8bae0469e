#include "gui/TerminalWidget.h"

#include "app/Cp932.h"
#include "gui/WindowSettingDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "app/Menus.h"
#include "gui/RowCells.h"
#include "gui/TerminalFont.h"
#include "session/PelinView.h"
#include "terminal/DisplayModel.h"

namespace tavrin {

namespace {

constexpr int kFrameMs = 16;  // about 60 paints a second while output streams
constexpr qint64 kCaretBlinkQuietMs = 10000;

bool SameFont(const LogFont& a, const LogFont& b) {
    return a.height == b.height && a.width == b.width && a.weight == b.weight && a.italic == b.italic &&
           a.underline == b.underline && a.strikeOut == b.strikeOut && a.charSet == b.charSet &&
           a.pitchAndFamily == b.pitchAndFamily && a.faceName == b.faceName;
}

// Copy: Alt+C, and Ctrl+Shift+C as Linux terminals have it. Paste: Alt+V, Ctrl+Shift+V and
// Shift+Insert. Ctrl+C and Ctrl+V stay the control bytes they type. 0 for any other key.
int ClipboardCommand(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    if (mods == Qt::AltModifier || mods == ctrlShift) {
        if (key.key() == Qt::Key_C) return kCmdCopy;
        if (key.key() == Qt::Key_V) return kCmdPaste;
    }
    if (mods == Qt::ShiftModifier && key.key() == Qt::Key_Insert) return kCmdPaste;
    return 0;
}

ScrollAction ToScrollAction(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub: return ScrollAction::LineUp;
        case QAbstractSlider::SliderSingleStepAdd: return ScrollAction::LineDown;
        case QAbstractSlider::SliderPageStepSub: return ScrollAction::PageUp;
        case QAbstractSlider::SliderPageStepAdd: return ScrollAction::PageDown;
        case QAbstractSlider::SliderToMinimum: return ScrollAction::Top;
        case QAbstractSlider::SliderToMaximum: return ScrollAction::Bottom;
        default: return ScrollAction::ThumbTrack;
    }
}

}  // namespace

CTerminalWidget::CTerminalWidget(CPelinView& view, QWidget* parent)
    : QAbstractScrollArea(parent), view_(view) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        bar->setSingleStep(1);
        bar->setPageStep(kScrollPage);
    }
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int a) { OnScrollAction(true, a); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int a) { OnScrollAction(false, a); });

    const int flash = QApplication::cursorFlashTime();
    caretBlink_.setInterval(flash > 0 ? flash / 2 : 500);
    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, [this] {
        paintQueued_ = true;
        viewport()->update();
    });
    connect(&caretBlink_, &QTimer::timeout, this, [this] {
        // As desktop terminals do, a quiet terminal shows its caret steady, so the window sleeps.
        if (sinceActivity_.isValid() && sinceActivity_.elapsed() >= kCaretBlinkQuietMs) {
            caretBlink_.stop();
            caretOn_ = true;
        } else {
            caretOn_ = !caretOn_;
        }
        viewport()->update(lastCaret_);
    });
    sinceActivity_.start();
    SyncScrollBarsAndCaret();
}

void CTerminalWidget::ApplyFont() {
    CPelinDoc& doc = view_.Document();
    ResolveDefaultHeight(view_.logFont);
    const QFont font = MakeTerminalFont(view_.logFont);
    font_ = CellFont(font);
    appliedFont_ = view_.logFont;
    fontApplied_ = true;
    const QFontMetrics metrics(font_);
    doc.charWidth = CellWidth(font);
    doc.charHeight = std::max(1, metrics.height() + metrics.leading());
    RestartCaretBlink();
    viewport()->update();
    emit FontApplied();
}

void CTerminalWidget::RequestRepaint() {
    if (paintQueued_ || frameTimer_.isActive()) return;  // the coming paint shows this too
    const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMs;
    if (since >= kFrameMs) {
        // After a quiet spell (a typed key's echo) the paint comes at once.
        paintQueued_ = true;
        viewport()->update();
    } else {
        frameTimer_.start(static_cast<int>(kFrameMs - since));
    }
}

void CTerminalWidget::InputDrained() {
    if (paintQueued_ || !frameTimer_.isActive()) return;  // nothing held back
    if (sinceDrainPaint_.isValid() && sinceDrainPaint_.elapsed() < kFrameMs) return;
    sinceDrainPaint_.start();
    frameTimer_.stop();
    paintQueued_ = true;
    viewport()->update();
}

void CTerminalWidget::SyncScrollBarsAndCaret() {
    const ViewState& v = view_;
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    const QSignalBlocker blockV(vertical), blockH(horizontal);
    vertical->setRange(0, std::max(0, v.vScrollMax));
    vertical->setValue(v.vScrollPos);
    horizontal->setRange(0, std::max(0, v.hScrollMax));
    horizontal->setValue(v.hScrollPos);

    const QRect caret = CaretRect();
    if (caret != lastCaret_) {
        // While output streams the caret follows with the frame's paint, like the text.
        if (!RepaintPending()) {
            const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMs;
            if (since >= kFrameMs) {
                viewport()->update(lastCaret_);
                viewport()->update(caret);
            } else {
                frameTimer_.start(static_cast<int>(kFrameMs - since));
            }
        }
        lastCaret_ = caret;
        RestartCaretBlink();
    }
    if (caret.isNull())
        caretBlink_.stop();
    else if (!caretBlink_.isActive() && sinceActivity_.elapsed() < kCaretBlinkQuietMs)
        caretBlink_.start();
}

QRect CTerminalWidget::CaretRect() const {
    CPelinView& view = const_cast<CPelinView&>(view_);
    const CaretPlacement caret = CDisplayModel(view.Document(), view).Caret();
    if (!caret.shown || !hasFocus()) return {};
    return QRect(caret.x, caret.y, caret.width, caret.height);
}

void CTerminalWidget::RestartCaretBlink() {
    caretOn_ = true;
    sinceActivity_.start();
    if (!lastCaret_.isNull()) caretBlink_.start();
}

void CTerminalWidget::OnScrollAction(bool vertical, int action) {
    QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
    const int thumb = bar->sliderPosition();
    if (vertical)
        view_.OnVScroll(ToScrollAction(action), thumb);
    else
        view_.OnHScroll(ToScrollAction(action), thumb);
    // The core decides the position; the bar shows it.
    bar->setSliderPosition(vertical ? view_.vScrollPos : view_.hScrollPos);
    RequestRepaint();
}

void CTerminalWidget::scrollContentsBy(int, int) {
    // The core owns the scroll state and repaints; nothing is moved here.
}

void CTerminalWidget::paintEvent(QPaintEvent* event) {
    ++paintCount_;
    const bool wholeView = QRegion(viewport()->rect()).subtracted(event->region()).isEmpty();
    if (wholeView) {
        // A paint of the whole view shows whatever a held-back request wanted; a paint of the
        // caret's cell alone leaves such a request waiting.
        paintQueued_ = false;
        frameTimer_.stop();
        sincePaint_.start();
    }
    CPelinDoc& doc = view_.Document();
    if (!fontApplied_ || !SameFont(appliedFont_, view_.logFont)) ApplyFont();
    CDisplayModel model(doc, view_);
    model.UpdateGeometry(viewport()->width(), viewport()->height());

    QPainter painter(viewport());
    const QColor background = ColorFromStored(doc.bgColor);
    painter.fillRect(viewport()->rect(), background);
    painter.setFont(font_);
    painter.setPen(ColorFromStored(doc.textColor));
    const QFontMetrics metrics(font_);
    const int cw = doc.charWidth;
    const int ch = doc.charHeight;
    const int originX = model.TextOriginX();
    // Only the rows that meet the window; the rest of the maxRows rows are blank anyway.
    const int lastRow = std::min(model.PaintedRows(), viewport()->height() / std::max(1, ch) + 1);
    auto drawRow = [&](const uint8_t* row, int top) {
        for (const RowCell& cell : DecodeRow(row)) {
            const int x = originX + cell.column * cw;
            if (cell.run)
                painter.drawText(x, top + metrics.ascent(), cell.text);
            else
                painter.drawText(QRect(x, top, cell.cells * cw, ch), Qt::AlignCenter | Qt::TextDontClip,
                                 cell.text);
        }
    };
    // The selection's cells are drawn inverted: text in the background colour on the text
    // colour. Display row i shows history line vScrollPos + i.
    int selectedLo = 0, selectedHi = 0;
    const bool highlight = view_.SelectionHighlight(selectedLo, selectedHi);
    const QRect dirty = event->rect();
    for (int i = 0; i < lastRow; ++i) {
        const uint8_t* row = model.DisplayRow(i);
        const int top = i * ch;
        if (row == nullptr || top >= dirty.bottom() + 1 || top + ch <= dirty.top())
            continue;  // not asked for
        drawRow(row, top);
        if (!highlight) continue;
        const int first = (view_.vScrollPos + i) * kColumns;
        const int from = std::max(selectedLo, first) - first;
        const int to = std::min(selectedHi, first + kColumns) - first;
        if (from >= to) continue;
        const QRect cells(originX + from * cw, top, (to - from) * cw, ch);
        painter.save();
        painter.setClipRect(cells);
        painter.fillRect(cells, ColorFromStored(doc.textColor));
        painter.setPen(background);
        drawRow(row, top);
        painter.restore();
    }

    const QRect caret = CaretRect();
    if (wholeView && caret != lastCaret_) {
        // This paint draws the caret where it now is: no further paint for its move.
        lastCaret_ = caret;
        RestartCaretBlink();
    }
    if (!caret.isNull() && caretOn_) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(caret, Qt::white);
    }
    painter.end();
    SyncScrollBarsAndCaret();
    // The title follows every paint. Only a change of the core's title replaces the window's:
    // a title the core set some other way (a numbered terminal) stays until then.
    const QString title = QString::fromStdString(view_.TitleText());
    if (title != lastTitleText_) {
        lastTitleText_ = title;
        if (window()) window()->setWindowTitle(title);
    }
}

void CTerminalWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    view_.OnResize(viewport()->width(), viewport()->height());
}

bool CTerminalWidget::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // The copy and paste keys belong to the terminal before the menu mnemonics, and every
        // other key with text is typed rather than taken as a shortcut.
        if (ClipboardCommand(*static_cast<QKeyEvent*>(event)) != 0) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CTerminalWidget::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (const int command = ClipboardCommand(*event); command != 0) {
        emit CommandRequested(command);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: view_.OnChar('\r'); break;
        case Qt::Key_Backspace: view_.OnChar(0x08); break;
        case Qt::Key_Left: view_.OnArrowKey(ArrowKey::Left); break;
        case Qt::Key_Right: view_.OnArrowKey(ArrowKey::Right); break;
        case Qt::Key_Up: view_.OnArrowKey(ArrowKey::Up); break;
        case Qt::Key_Down: view_.OnArrowKey(ArrowKey::Down); break;
        default: {
            const QString text = event->text();
            if (text.isEmpty() || (mods & Qt::AltModifier)) {
                QAbstractScrollArea::keyPressEvent(event);
                return;
            }
            view_.OnText(text.toStdString());
            break;
        }
    }
    RestartCaretBlink();
    emit InputHandled();
}

void CTerminalWidget::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty()) {
        view_.OnText(event->commitString().toStdString());
        emit InputHandled();
    }
    event->accept();
}

QVariant CTerminalWidget::inputMethodQuery(Qt::InputMethodQuery query) const {
    switch (query) {
        case Qt::ImEnabled: return true;
        case Qt::ImCursorRectangle: {
            CPelinView& view = const_cast<CPelinView&>(view_);
            const CaretPlacement caret = CDisplayModel(view.Document(), view).Caret();
            return QRect(caret.x, caret.y, std::max(1, caret.width), caret.height);
        }
        case Qt::ImFont: return font_;
        default: return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void CTerminalWidget::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    view_.OnFocus(true);
    SyncScrollBarsAndCaret();
}

void CTerminalWidget::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    view_.OnFocus(false);
    SyncScrollBarsAndCaret();
}

void CTerminalWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        // The X primary selection: what was last selected in any program.
        const QString text = QApplication::clipboard()->text(QClipboard::Selection);
        if (!text.isEmpty()) {
            view_.PasteText(text.toStdString());
            emit InputHandled();
        }
        return;
    }
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    setFocus();
    view_.OnMouseDown(event->position().toPoint().x(), event->position().toPoint().y());
}

void CTerminalWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint at = event->position().toPoint();
    view_.OnMouseMove(at.x(), at.y(), viewport()->height());
}

void CTerminalWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    view_.OnMouseUp(at.x(), at.y());
    // A selection becomes the primary selection, for a middle click here or in another program.
    const std::string selected = view_.SelectionText();
    if (!selected.empty() && QApplication::clipboard()->supportsSelection())
        QApplication::clipboard()->setText(QString::fromStdString(selected), QClipboard::Selection);
    emit InputHandled();
}

void CTerminalWidget::contextMenuEvent(QContextMenuEvent* event) {
    emit ContextMenuRequested(event->globalPos());
}

bool CTerminalWidget::focusNextPrevChild(bool) {
    return false;
}  // Tab is typed

}  // namespace tavrin
