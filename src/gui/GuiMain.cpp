#include "gui/GuiMain.h"

#include "headless/TerminationSignals.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "gui/GuiSession.h"
#include "session/LaunchOptions.h"

namespace tavrin {

int RunGui(int argc, char** argv, const LaunchOptions& options, const std::string& commandLine) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Tavrin");
    QApplication::setWindowIcon(QIcon(":/icons/tavrin.png"));
    // Ties the window to the installed desktop entry (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("tavrin"));

    CGuiSession session(commandLine, options.exeName);
    CMainFrame& frame = session.frame;
    if (!options.runMacro.empty()) session.view.SetBatchMacro(options.runMacro, [](int) {});
    if (!session.Start()) {
        std::fprintf(stderr, "tavrin: the terminal could not start.\n");
        return 1;
    }

    // A session that ends (SIGTERM, SIGHUP) or Ctrl+C closes without asking, saving as usual.
    HandleTerminationSignals(&qapp, [&frame] { frame.EndSession(); });
    const int status = QApplication::exec();
    frame.FinishView();
    return status;
}

}  // namespace tavrin
