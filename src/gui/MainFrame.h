#pragma once
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <map>

#include "app/WindowPlacement.h"

class QAction;
class QMimeData;
class QToolBar;

namespace tavrin {

class CPelinApp;
class CPelinView;
class CTerminalWidget;
class CMacroDialog;

// The top-level window: the menu bar built from the core's menu tables, the dockable toolbar,
// the terminal widget, the context menu, the close confirmation and the window placement.
// Commands go to CPelinView; the frame itself handles only what belongs to the window (Exit
// closes it through the close confirmation, About shows the about box).
class CTransferBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Applies the stored placement of app.profilePath and creates the toolbar and the terminal.
    CMainFrame(CPelinView& view, CPelinApp& app, QWidget* parent = nullptr);

    CTerminalWidget* Terminal() const { return terminal_; }
    // The command button panel's window: created hidden with the frame.
    CMacroDialog* CommandPanel() const { return commandPanel_; }
    QToolBar* ToolBar() const { return toolbar_; }
    QMenu* ContextMenu() const { return contextMenu_; }
    // The toolbar's action of a command, nullptr when it has no button.
    QAction* ToolbarAction(int id) const;

    // Menus of the current language from the core tables (history labels, the editor item),
    // and the toolbar tips; on every language change and whenever the core asks.
    void RebuildMenus();
    // A menu, toolbar or accelerator command: ignored while disabled.
    void RunCommand(int id);
    // The placement as the platform reports it, and its saving to the settings file.
    WindowPlacement CurrentPlacement() const;
    void ApplyPlacement(const WindowPlacement& placement);
    // An idle turn soon (after every event that ran core code).
    void ScheduleIdle();
    // Widens the window (within the screen) when the terminal shows fewer than 80 columns of
    // its font: after the font is made (start, Font, Restore setup) and after Window setting.
    void FitColumns();
    // The view's destruction (disconnect, settings saved), once: on a confirmed close, or when
    // the event loop ended some other way.
    // The session ends (a termination signal): placement and settings saved, no question asked.
    void EndSession();
    void FinishView();
    // Files dropped on the terminal (local files of the data) go to the view's drop handler:
    // macros are started, text files typed. Not taken while a host editor is linked; false
    // when nothing was taken.
    bool DropFiles(const QMimeData* data);
    // Shows the context menu at a screen position.
    void ShowContextMenu(const QPoint& globalPosition);
    // The progress of a controller save or load in the status bar, with its Cancel button.
    void ShowTransferProgress(const QString& text, int percent);
    void HideTransferProgress();
    CTransferBar* TransferBar() const { return transferBar_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Files dropped on the terminal go to the view's drop handler (macros started, text files
    // typed); not accepted while a host editor is linked.
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override { return nullptr; }

private:
    void CreateToolBar();
    void UpdateToolbarStates();
    void OnIdle();
    void ApplyStatesOnShow(QMenu* menu);

    CPelinView& view_;
    CPelinApp& app_;
    CTerminalWidget* terminal_ = nullptr;
    CMacroDialog* commandPanel_ = nullptr;
    CTransferBar* transferBar_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QPointer<QMenu> contextMenu_;
    std::map<int, QAction*> toolbarActions_;
    QTimer idleTimer_;
    bool destroyed_ = false;
};

}  // namespace tavrin
