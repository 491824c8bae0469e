#pragma once
#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QTimer>

#include "app/ViewState.h"

namespace tavrin {

class CPelinView;

// The terminal view's window: paints what the display model shows, keeps the caret and the two
// scroll bars in step with the view's state, and hands keys, IME text, focus, resizes and
// scroll-bar requests to CPelinView. It knows nothing of buffer layout.
class CTerminalWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CTerminalWidget(CPelinView& view, QWidget* parent = nullptr);

    // Makes the terminal font from the view's font description (see MakeTerminalFont; a
    // description without a height gets the one drawn) and measures it into the document's
    // charWidth and charHeight. Also done by the next paint whenever the description has
    // changed.
    void ApplyFont();
    const QFont& TerminalFont() const { return font_; }

    // A repaint at the next event-loop turn, or, while output streams, at the next display
    // frame: at most one paint per frame, and the last request is always painted. Any number of
    // requests before the paint make one paint.
    void RequestRepaint();
    // The source of received data has been read empty: if a paint is being held back for the
    // end of the frame, the burst it belongs to is over, so it is made at once. While data keeps
    // arriving nothing changes; a line that trickles in and empties at every read brings a paint
    // forward at most once a frame.
    void InputDrained();
    // A paint has been asked for and has not happened yet.
    bool RepaintPending() const { return paintQueued_ || frameTimer_.isActive(); }
    // Scroll bars and caret from the view's state.
    void SyncScrollBarsAndCaret();

    int PaintCount() const { return paintCount_; }

signals:
    // Alt+C and Alt+V, the Copy and Paste accelerators.
    void CommandRequested(int id);
    void ContextMenuRequested(const QPoint& globalPosition);
    // Something was typed: the frame runs an idle turn afterwards.
    void InputHandled();
    // A font was made: the frame widens itself to show 80 columns of it.
    void FontApplied();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    void OnScrollAction(bool vertical, int action);
    QRect CaretRect() const;
    void RestartCaretBlink();

    CPelinView& view_;
    QFont font_;
    LogFont appliedFont_;
    bool fontApplied_ = false;
    QTimer caretBlink_;
    QElapsedTimer sinceActivity_;    // input or output; the caret stops blinking after 10 s of none
    QTimer frameTimer_;              // holds a request back until the current frame is over
    QElapsedTimer sincePaint_;       // invalid until the first paint
    QElapsedTimer sinceDrainPaint_;  // invalid until a paint is brought forward by InputDrained
    bool paintQueued_ = false;       // update() called, paintEvent not yet run
    bool caretOn_ = true;
    QRect lastCaret_;
    int paintCount_ = 0;
    QString lastTitleText_;
};

}  // namespace tavrin
