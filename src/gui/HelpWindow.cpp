#include "gui/HelpWindow.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavrin {

CHelpWindow::CHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      browser_(new QTextBrowser(this)),
      back_(new QToolButton(this)),
      forward_(new QToolButton(this)),
      search_(new QLineEdit(this)),
      browserButton_(new QPushButton(this)),
      status_(new QLabel(this)) {
    setObjectName("helpWindow");
    resize(760, 620);
    back_->setObjectName("helpBack");
    forward_->setObjectName("helpForward");
    search_->setObjectName("helpSearch");
    browserButton_->setObjectName("helpOpenInBrowser");
    browser_->setObjectName("helpBrowser");
    back_->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    forward_->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    back_->setEnabled(false);
    forward_->setEnabled(false);
    search_->setClearButtonEnabled(true);
    // Links to other sites go to the browser; the guide's own pages stay here.
    browser_->setOpenExternalLinks(true);

    auto* bar = new QHBoxLayout;
    bar->addWidget(back_);
    bar->addWidget(forward_);
    bar->addWidget(search_, 1);
    bar->addWidget(status_);
    bar->addWidget(browserButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(browser_, 1);

    connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
    connect(search_, &QLineEdit::returnPressed, this,
            [this] { FindText(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier); });
    connect(search_, &QLineEdit::textChanged, status_, &QLabel::clear);
    connect(browserButton_, &QPushButton::clicked, this, &CHelpWindow::OpenInBrowser);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        search_->setFocus();
        search_->selectAll();
    });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
    Retranslate();
}

void CHelpWindow::Retranslate() {
    setWindowTitle(tr("Tavrin Help"));
    back_->setToolTip(tr("Back"));
    forward_->setToolTip(tr("Forward"));
    search_->setPlaceholderText(tr("Search the guide"));
    browserButton_->setText(tr("Open in browser"));
    status_->clear();
}

void CHelpWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) Retranslate();
    QWidget::changeEvent(event);
}

bool CHelpWindow::ShowPage(const QString& path) {
    Retranslate();
    const bool found = QFileInfo(path).isFile();
    if (found) {
        browser_->clearHistory();
        browser_->setSource(QUrl::fromLocalFile(path));
    } else {
        browser_->setPlainText(tr("The user guide is not installed here:\n%1").arg(path));
    }
    show();
    raise();
    activateWindow();
    return found;
}

bool CHelpWindow::FindText(bool backward) {
    const QString text = search_->text();
    if (text.isEmpty()) return false;
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = browser_->find(text, flags);
    if (!found) {
        // Round again from the other end.
        QTextCursor cursor = browser_->textCursor();
        cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
        browser_->setTextCursor(cursor);
        found = browser_->find(text, flags);
    }
    status_->setText(found ? QString() : tr("Not found"));
    return found;
}

void CHelpWindow::OpenInBrowser() {
    const QUrl page = browser_->source();
    if (page.isEmpty() || !QDesktopServices::openUrl(page))
        status_->setText(tr("No browser could be started"));
}

}  // namespace tavrin
