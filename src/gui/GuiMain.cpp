#include "gui/GuiMain.h"

#include "headless/TerminationSignals.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "gui/GuiSession.h"
#include "session/LaunchOptions.h"

namespace tavrin {

namespace {

constexpr int kStoppedStatus = 2;

}  // namespace

int RunGui(int argc, char** argv, const LaunchOptions& options, CRunReport* report) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Tavrin");
    QApplication::setWindowIcon(QIcon(":/icons/tavrin.png"));
    // Ties the window to the installed desktop entry (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("tavrin"));

    CGuiSession session(options, options.exeName);
    CMainFrame& frame = session.frame;
    session.doc.transientConnection = options.transientConnection;
    // A batch run the window ends by a signal before the macro has ended was stopped: status 2.
    const bool batch = !options.runMacro.empty();
    bool batchEnded = false;
    // Taken when the signal comes: ending the session stops the macro, which then has ended too.
    bool stopped = false;
    session.view.SetRunReport(report);
    if (batch) session.view.SetBatchMacro(options.runMacro, [&batchEnded](int) { batchEnded = true; });
    if (!session.Start()) {
        std::fprintf(stderr, "tavrin: the terminal could not start.\n");
        return 1;
    }

    // A session that ends (SIGTERM, SIGHUP) or Ctrl+C closes without asking, saving as usual.
    SetForcedExitStatus(batch ? kStoppedStatus : 0);
    HandleTerminationSignals(&qapp, [&](int) {
        stopped = batch && !batchEnded;
        frame.EndSession();
    });
    const int status = QApplication::exec();
    frame.FinishView();
    return stopped ? kStoppedStatus : status;
}

}  // namespace tavrin
