#pragma once
#include <memory>
#include <string>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "app/Globals.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "automation/LogFile.h"
#include "automation/MacroEngine.h"
#include "unit/automation/TempFolder.h"

namespace tavrin::testing {

// A macro engine on fakes, for the parts built around it (execution, send file, drops). The
// transfer-command check answers transferResult; the watch buffer is the string `received`.
struct AutomationFixture {
    AutomationFixture() {
        doc.connected = 1;
        keysEnabled = 1;
        language = 1;
        MacroHooks hooks;
        hooks.sendTransferCommand = [this](const std::string& line, std::string& folder) {
            if (transferResult == 0) {
                link.SendLinkBytes(reinterpret_cast<const uint8_t*>(line.data()), line.size());
                folder = "/tmp/";
            }
            return transferResult;
        };
        hooks.clearReceivedText = [this] { received.clear(); };
        hooks.checkWaitPatterns = [this](const std::string& wait, const std::string&) {
            return received.find(wait) != std::string::npos ? 2 : 0;
        };
        engine = std::make_unique<CMacroEngine>(doc, view, link, shell, clock, log, hooks);
    }

    std::string Sent() const { return std::string(link.sent.begin(), link.sent.end()); }

    TempFolder folder;
    CPelinDoc doc;
    ViewState view;
    ScriptedLink link;
    RecordingShell shell;
    FakeClock clock;
    CLogFile log;
    std::string received;
    int transferResult = -1;
    std::unique_ptr<CMacroEngine> engine;
};

}  // namespace tavrin::testing
