#pragma once
#include <string>

#include "app/PelinDoc.h"
#include "gui/MainFrame.h"
#include "gui/QtShell.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "session/PlatformEnvironment.h"

namespace tavrin {

// The window session as the program builds it: the document with its defaults, the settings
// file path fixed before the view and the frame exist (the frame's placement and toolbar are
// read from it), and the shell tied to the frame, whose idle turn follows every event the shell
// hands on. A QApplication must exist first.
class CGuiSession {
public:
    CGuiSession(const CommandLineOptions& options, const std::string& exeName);
    CGuiSession(const CGuiSession&) = delete;
    CGuiSession& operator=(const CGuiSession&) = delete;

    // The view's creation, then the frame shown; its first idle turn loads the menus and opens
    // the start-up connection. False when the terminal could not start.
    bool Start();

    CQtShell shell;
    CPlatformEnvironment platform;  // the serial device, port list, sockets, host channel, clock
    CPelinApp app;
    CPelinDoc doc;
    CPelinView view;
    CMainFrame frame;
};

}  // namespace tavrin
