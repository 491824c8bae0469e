#include "gui/GuiSession.h"

#include "gui/TerminalWidget.h"

namespace tavrin {

namespace {

CPelinApp& WithProfilePathFixed(CPelinApp& app) {
    app.FixProfilePath();
    return app;
}

}  // namespace

CGuiSession::CGuiSession(const std::string& commandLine, const std::string& exeName)
    : app(commandLine, exeName), view(WithProfilePathFixed(app), doc, shell, clock), frame(view, app) {
    shell.SetFrame(&frame);
    shell.SetActivityHandler([this] { frame.ScheduleIdle(); });
}

bool CGuiSession::Start() {
    if (view.OnCreate() != 0) return false;
    frame.Terminal()->ApplyFont();
    app.document = &doc;
    frame.show();
    frame.activateWindow();
    frame.ScheduleIdle();
    return true;
}

}  // namespace tavrin
