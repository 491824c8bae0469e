#pragma once
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <memory>

#include "FakeClock.h"
#include "app/Language.h"
#include "gui/MainFrame.h"
#include "gui/MenuBuilder.h"
#include "gui/QtShell.h"
#include "gui/TerminalWidget.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "session/PlatformEnvironment.h"

namespace tavrin::testing {

// A frame over a real view, with its settings file in a temporary folder. The view is not
// created (no timers, no settings read) unless a test calls OnCreate.
struct GuiFixture {
    QTemporaryDir folder;
    CQtShell shell;
    FakeClock clock;
    CPlatformEnvironment platform;
    CPelinApp app{CommandLineOptions{}, "tavrin-test"};
    CPelinDoc doc;
    std::unique_ptr<CPelinView> view;
    std::unique_ptr<CMainFrame> frame;
    int savedLanguage = CurrentLanguage();

    GuiFixture() {
        app.profilePath = QDir(folder.path()).filePath("tavrin-test.ini").toStdString();
        view = std::make_unique<CPelinView>(app, doc, shell, platform.Environment(clock));
        frame = std::make_unique<CMainFrame>(*view, app);
        shell.SetFrame(frame.get());
    }
    ~GuiFixture() {
        frame.reset();
        SetCurrentLanguage(savedLanguage);
    }
};

// The action of command id among actions and their submenus, nullptr when there is none.
inline QAction* FindAction(const QList<QAction*>& actions, int id) {
    for (QAction* action : actions) {
        if (CommandOf(action) == id) return action;
        if (action->menu())
            if (QAction* found = FindAction(action->menu()->actions(), id)) return found;
    }
    return nullptr;
}

}  // namespace tavrin::testing
