#include "gui/GuiSession.h"

#include "gui/TerminalWidget.h"

#include <cstdio>

namespace tavrin {

namespace {

CPelinApp& WithProfilePathFixed(CPelinApp& app) {
    app.FixProfilePath();
    return app;
}

}  // namespace

CGuiSession::CGuiSession(const CommandLineOptions& options, const std::string& exeName)
    : app(options, exeName),
      view(WithProfilePathFixed(app), doc, shell, platform.Environment()),
      frame(view, app) {
    shell.SetFrame(&frame);
    shell.SetActivityHandler([this] { frame.ScheduleIdle(); });
}

bool CGuiSession::Start() {
    // The path was fixed before the frame existed; its lines are said now, as the console's.
    for (const std::string& line : app.startupNotices) std::fprintf(stderr, "tavrin: %s\n", line.c_str());
    if (!app.profileRefusal.empty()) {
        std::fprintf(stderr, "tavrin: %s\n", app.profileRefusal.c_str());
        return false;
    }
    if (view.OnCreate() != 0) return false;
    frame.Terminal()->ApplyFont();
    app.document = &doc;
    frame.show();
    frame.activateWindow();
    frame.ScheduleIdle();
    return true;
}

}  // namespace tavrin
