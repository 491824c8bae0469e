#include "gui/MainFrame.h"

#include <QCoreApplication>

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/Language.h"
#include "app/Menus.h"
#include "app/MessageTable.h"
#include "gui/AboutBox.h"
#include "gui/CommandPanel.h"
#include "gui/MenuBuilder.h"
#include "gui/TerminalWidget.h"
#include "gui/TransferBar.h"
#include "headless/TerminationSignals.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"

// The icons are linked in from a static library: their registration must be pulled in by name.
static void InitResources() {
    Q_INIT_RESOURCE(resources);
}

namespace tavrin {

namespace {

// How often an ending session looks again whether a save's last steps have run.
constexpr int kCommitCheckMs = 10;

// Our own toolbar artwork, one image per button (resources/icons).
const char* IconName(int id) {
    switch (id) {
        case kCmdOpenLog: return "log_open";
        case kCmdCloseLog: return "log_close";
        case kCmdCopy: return "copy";
        case kCmdPaste: return "paste";
        case kCmdSendFile: return "send_file";
        case kCmdMacro: return "macro";
        case kCmdDialog: return "panel";
        case kCmdConnectByList: return "connect_list";
        case kCmdReconnect: return "reconnect";
        case kCmdDisconnect: return "disconnect";
        case kCmdOptions: return "options";
        case kCmdHelpContents: return "help";
        default: return "";
    }
}

}  // namespace

CMainFrame::CMainFrame(CPelinView& view, CPelinApp& app, QWidget* parent)
    : QMainWindow(parent), view_(view), app_(app) {
    InitResources();
    setObjectName("mainFrame");
    setWindowIcon(QIcon(":/icons/tavrin.png"));
    if (const auto placement = ReadWindowPlacement(app_.profilePath)) ApplyPlacement(*placement);
    CreateToolBar();
    terminal_ = new CTerminalWidget(view_, this);
    terminal_->setObjectName("terminal");
    setCentralWidget(terminal_);
    terminal_->setFocus();
    connect(terminal_, &CTerminalWidget::CommandRequested, this, &CMainFrame::RunCommand);
    connect(terminal_, &CTerminalWidget::ContextMenuRequested, this, &CMainFrame::ShowContextMenu);
    connect(terminal_, &CTerminalWidget::InputHandled, this, &CMainFrame::ScheduleIdle);
    // Once the layout has given the terminal its width.
    connect(terminal_, &CTerminalWidget::FontApplied, this,
            [this] { QTimer::singleShot(0, this, &CMainFrame::FitColumns); });

    // A top-level window of its own, hidden until the panel shows itself.
    commandPanel_ = new CMacroDialog(view_.Panel(), this);
    commandPanel_->setWindowIcon(windowIcon());

    // Drops land on the terminal view; the frame takes them there.
    terminal_->setAcceptDrops(true);
    terminal_->installEventFilter(this);

    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(0);
    connect(&idleTimer_, &QTimer::timeout, this, &CMainFrame::OnIdle);
}

void CMainFrame::CreateToolBar() {
    toolbar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolbar_->setObjectName("toolbar");
    toolbar_->setMovable(true);
    toolbar_->setFloatable(true);
    toolbar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolbar_->setIconSize(QSize(16, 15));
    for (int id : ToolbarSlots()) {
        if (id == 0) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action =
            toolbar_->addAction(QIcon(QStringLiteral(":/icons/%1.png").arg(IconName(id))), QString());
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
        toolbarActions_[id] = action;
    }
    addToolBar(Qt::TopToolBarArea, toolbar_);
    toolbar_->setVisible(view_.Document().toolbarVisible != 0);
}

QAction* CMainFrame::ToolbarAction(int id) const {
    auto it = toolbarActions_.find(id);
    return it == toolbarActions_.end() ? nullptr : it->second;
}

void CMainFrame::RebuildMenus() {
    const CPelinDoc& doc = view_.Document();
    const HistoryLabels labels = MakeHistoryLabels(doc.connections);
    auto onCommand = [this](int id) { RunCommand(id); };

    // A command chosen from the old menus may be what asked for new ones: the old ones are
    // deleted once that command has returned.
    auto* bar = new QMenuBar(this);
    for (QMenu* popup : FillMenuBar(bar, BuildMainMenu(CurrentLanguage(), labels), onCommand))
        connect(popup, &QMenu::aboutToShow, this, [this, popup] { ApplyStatesOnShow(popup); });
    setMenuBar(bar);

    if (contextMenu_) contextMenu_->deleteLater();
    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName("contextMenu");
    const bool numbered = view_.hostWindow != 0 && view_.terminalNumber != 0;
    std::vector<QMenu*> popups =
        FillMenu(contextMenu_, BuildContextMenu(CurrentLanguage(), labels, numbered), 1, onCommand);
    popups.push_back(contextMenu_);
    for (QMenu* popup : popups)
        connect(popup, &QMenu::aboutToShow, this, [this, popup] { ApplyStatesOnShow(popup); });

    // The Tool Bar command flips toolbarVisible in the core and asks for new menus.
    toolbar_->setVisible(doc.toolbarVisible != 0);
    for (const auto& [id, action] : toolbarActions_) {
        const QString tip = QString::fromStdString(GetToolbarTip(id));
        action->setText(tip);
        action->setToolTip(tip);
    }
}

void CMainFrame::ApplyStatesOnShow(QMenu* menu) {
    ApplyCommandStates(menu, [this](int id, MenuCommandState) {
        const CommandState s = view_.QueryCommand(id);
        return MenuCommandState{s.enabled, s.checked};
    });
}

void CMainFrame::UpdateToolbarStates() {
    for (const auto& [id, action] : toolbarActions_) action->setEnabled(view_.QueryCommand(id).enabled);
}

void CMainFrame::RunCommand(int id) {
    if (!view_.QueryCommand(id).enabled) return;
    switch (id) {
        case kCmdExit: close(); return;
        case kCmdAbout: ShowAboutBox(this); break;
        case kCmdToolBar: {
            CPelinDoc& doc = view_.Document();
            doc.toolbarVisible = doc.toolbarVisible ? 0 : 1;
            toolbar_->setVisible(doc.toolbarVisible != 0);
            break;
        }
        default: view_.OnCommand(id); break;
    }
    if (id == kCmdWindowSetting) FitColumns();
    ScheduleIdle();
}

void CMainFrame::FitColumns() {
    if (destroyed_ || isMaximized() || isFullScreen()) return;
    // Room for the vertical scroll bar too, which comes as soon as the history holds a line.
    const QScrollBar* bar = terminal_->verticalScrollBar();
    const int barRoom = bar->isVisible() ? 0 : bar->sizeHint().width();
    const int missing = kColumns * view_.Document().charWidth + barRoom - terminal_->viewport()->width();
    if (missing <= 0) return;
    int width = this->width() + missing;
    if (const QScreen* shown = screen()) width = std::min(width, shown->availableGeometry().width());
    resize(width, height());
}

void CMainFrame::ShowContextMenu(const QPoint& globalPosition) {
    RebuildMenus();  // the history labels are current
    if (contextMenu_) contextMenu_->exec(globalPosition);
}

void CMainFrame::ScheduleIdle() {
    if (!destroyed_ && !idleTimer_.isActive()) idleTimer_.start();
}

void CMainFrame::OnIdle() {
    if (destroyed_) return;
    view_.OnIdle();
    UpdateToolbarStates();
}

WindowPlacement CMainFrame::CurrentPlacement() const {
    WindowPlacement p;
    const bool maximised = isMaximized();
    const bool minimised = isMinimized();
    p.flags = maximised ? kPlacementMaximised : 0;
    p.showCmd = maximised ? kShowMaximised : minimised ? kShowMinimised : kShowNormal;
    // The normal rectangle, its corner where the window's frame begins, as placement applies it.
    const QRect normal = (maximised || minimised) ? normalGeometry() : geometry();
    const QPoint decoration = geometry().topLeft() - pos();
    p.left = normal.x() - decoration.x();
    p.top = normal.y() - decoration.y();
    p.right = p.left + normal.width();
    p.bottom = p.top + normal.height();
    return p;
}

void CMainFrame::ApplyPlacement(const WindowPlacement& placement) {
    move(placement.left, placement.top);
    resize(placement.Width(), placement.Height());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (destroyed_) {
        event->accept();
        return;
    }
    if (!view_.ConfirmClose()) {
        event->ignore();
        return;
    }
    if (view_.SaveCommitting()) {
        event->ignore();
        EndSession();
        return;
    }
    SaveWindowPlacement(app_.profilePath, CurrentPlacement());
    FinishView();
    event->accept();
}

namespace {

std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
    return files;
}

}  // namespace

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched != terminal_) return QMainWindow::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (view_.hostWindow == 0 && !LocalFiles(drag->mimeData()).empty()) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (DropFiles(drop->mimeData())) drop->acceptProposedAction();
        return true;
    }
    return false;
}

bool CMainFrame::DropFiles(const QMimeData* data) {
    const std::vector<std::string> files = LocalFiles(data);
    if (files.empty() || view_.hostWindow != 0) return false;
    view_.OnDropFiles(files);
    ScheduleIdle();
    return true;
}

void CMainFrame::EndSession() {
    if (destroyed_) return;
    // A save's last steps are running (milliseconds): the session ends when they have, so the
    // new program takes its name; a signal's deadline waits while the loop turns.
    if (view_.SaveCommitting()) {
        ExtendOrderlyEnd();
        QTimer::singleShot(kCommitCheckMs, this, [this] { EndSession(); });
        return;
    }
    SaveWindowPlacement(app_.profilePath, CurrentPlacement());
    FinishView();
    QCoreApplication::exit(0);
}

void CMainFrame::FinishView() {
    if (destroyed_) return;
    destroyed_ = true;
    idleTimer_.stop();
    view_.OnDestroy();
}

void CMainFrame::ShowTransferProgress(const QString& text, int percent) {
    if (transferBar_ == nullptr) {
        transferBar_ = new CTransferBar([this] { view_.CancelTransfer(); }, this);
        statusBar()->addPermanentWidget(transferBar_, 1);
    }
    transferBar_->ShowProgress(text, percent);
    transferBar_->show();
    statusBar()->show();
}

void CMainFrame::HideTransferProgress() {
    if (transferBar_ == nullptr) return;
    transferBar_->hide();
    statusBar()->hide();
}

}  // namespace tavrin
