#include "headless/HeadlessMain.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/PelinDoc.h"
#include "headless/ConsoleShell.h"
#include "headless/ConsoleTerminal.h"
#include "headless/TerminationSignals.h"
#include "session/LaunchOptions.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "session/PlatformEnvironment.h"

namespace tavrin {

namespace {

// The exit status of a batch run that was stopped rather than ending by itself.
constexpr int kBatchStoppedStatus = 2;
// The exit status of a run whose start-up connection could not be made.
constexpr int kConnectFailedStatus = 1;

}  // namespace

int RunHeadless(int argc, char** argv, const LaunchOptions& options, CRunReport* report) {
    QCoreApplication qapp(argc, argv);

    CConsoleShell shell;
    shell.ShowTitles(options.hostLink);
    CPlatformEnvironment platform;
    CPelinApp app(options, options.exeName);
    CPelinDoc doc;
    doc.transientConnection = options.transientConnection;
    const bool settingsUsable = app.FixProfilePath();
    for (const std::string& line : app.startupNotices) std::fprintf(stderr, "tavrin: %s\n", line.c_str());
    if (!settingsUsable) {
        std::fprintf(stderr, "tavrin: %s\n", app.profileRefusal.c_str());
        return 1;
    }
    CPelinView view(app, doc, shell, platform.Environment());
    view.SetRunReport(report);
    CConsoleTerminal console(view);
    shell.SetLineReader([&](const std::string& prompt) { return console.ReadLine(prompt); });
    shell.SetPaintHandler([&] { console.Repaint(); });
    view.SetRowObserver([&](const uint8_t* row) { console.RowCompleted(row); });
    view.SetReceptionObserver([&] { console.NoteReception(); });

    bool finishing = false;
    std::function<void(int)> finish = [&](int status) {
        if (finishing) return;
        // A save's last steps are running (milliseconds): the run ends when they have, so the
        // new program takes its name; a signal's deadline waits while the loop turns.
        if (view.SaveCommitting()) {
            ExtendOrderlyEnd();
            QTimer::singleShot(10, &qapp, [&finish, status] { finish(status); });
            return;
        }
        finishing = true;
        view.OnDestroy();
        shell.FlushErrors();
        QCoreApplication::exit(status);
    };
    // A batch run ended from outside (a signal, Ctrl+]) was stopped: status 2, never 0.
    const bool batch = !options.runMacro.empty();
    const int stoppedStatus = batch ? kBatchStoppedStatus : 0;
    QObject::connect(&console, &CConsoleTerminal::QuitRequested, &qapp,
                     [&](int status) { finish(batch ? kBatchStoppedStatus : status); });
    // The macro ends inside a view call: finish on the next event-loop turn.
    if (batch)
        view.SetBatchMacro(options.runMacro, [&](int status) {
            QMetaObject::invokeMethod(
                &qapp, [&, status] { finish(status); }, Qt::QueuedConnection);
        });

    // With a batch macro the end of stdin does not end the run; the macro does.
    bool consoleStarted = false;
    auto startConsole = [&] {
        if (consoleStarted) return;
        consoleStarted = true;
        console.Start(options.runMacro.empty());
    };
    // Keys piped in (a script, a file) are read once the start-up connect has ended, so none is
    // typed at a link that is still coming up. A start-up connection that cannot be made ends
    // such a run with status 1, after the failure was told: a script must not take it for a
    // session that ran. At a terminal the keys are read from the start and the operator may go
    // on.
    view.SetStartupConnectEnded([&](bool failed) {
        if (failed && !console.InteractiveInput()) {
            QMetaObject::invokeMethod(
                &qapp, [&] { finish(kConnectFailedStatus); }, Qt::QueuedConnection);
            return;
        }
        startConsole();
    });

    // SIGTERM, SIGINT and SIGHUP end the run in order: disconnect, a transfer file left open
    // dropped as not saved, settings saved.
    SetForcedExitStatus(stoppedStatus);
    HandleTerminationSignals(&qapp, [&](int) { finish(stoppedStatus); });

    if (view.OnCreate() != 0) {
        std::fprintf(stderr, "tavrin: the terminal could not start.\n");
        return 1;
    }
    app.document = &doc;
    if (console.InteractiveInput()) startConsole();
    int status = QCoreApplication::exec();
    if (!finishing) view.OnDestroy();
    return status;
}

}  // namespace tavrin
