#include "gui/GuiMain.h"

#include "headless/TerminationSignals.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "app/PelinDoc.h"
#include "gui/MainFrame.h"
#include "gui/QtShell.h"
#include "gui/TerminalWidget.h"
#include "platform/posix/SteadyClock.h"
#include "session/LaunchOptions.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"

namespace tavrin {

int RunGui(int argc, char** argv, const LaunchOptions& options, const std::string& commandLine) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Tavrin");
    QApplication::setWindowIcon(QIcon(":/icons/tavrin.png"));
    // Ties the window to the installed desktop entry (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("tavrin"));

    // Start-up order: the document with its defaults, the settings file path fixed and the
    // placement read before the frame and its toolbar exist, then the view's creation, then the
    // frame shown. The first idle turn loads the menus and opens the start-up connection.
    CQtShell shell;
    CSteadyClock clock;
    CPelinApp app(commandLine, options.exeName);
    CPelinDoc doc;
    app.FixProfilePath();
    CPelinView view(app, doc, shell, clock);
    CMainFrame frame(view, app);
    shell.SetFrame(&frame);
    shell.SetActivityHandler([&frame] { frame.ScheduleIdle(); });
    if (!options.runMacro.empty()) view.SetBatchMacro(options.runMacro, [](int) {});
    if (view.OnCreate() != 0) {
        std::fprintf(stderr, "tavrin: the terminal could not start.\n");
        return 1;
    }
    frame.Terminal()->ApplyFont();
    app.document = &doc;
    frame.show();
    frame.activateWindow();
    frame.ScheduleIdle();

    // A session that ends (SIGTERM, SIGHUP) or Ctrl+C closes without asking, saving as usual.
    HandleTerminationSignals(&qapp, [&frame] { frame.EndSession(); });
    const int status = QApplication::exec();
    frame.FinishView();
    return status;
}

}  // namespace tavrin
