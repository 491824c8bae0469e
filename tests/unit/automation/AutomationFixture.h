#pragma once
#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "app/Language.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "automation/LogFile.h"
#include "automation/MacroEngine.h"
#include "unit/automation/TempFolder.h"

namespace tavrin::testing {

// A macro engine with every neighbour faked, for the engine's own tests and the parts built
// around it (execution, send file, drops): the watch buffer is the string `received`, the
// transfer-command check answers transferResult, the serial reopen answers reopenResult.
struct AutomationFixture {
    AutomationFixture() {
        doc.connected = 1;
        SetCurrentLanguage(1);
        MacroHooks hooks;
        hooks.sendTransferCommand = [this](const std::string& line) {
            transferLines.push_back(line);
            if (transferResult == 0)
                link.SendLinkBytes(reinterpret_cast<const uint8_t*>(line.data()), line.size());
            return transferResult;
        };
        hooks.printLocalText = [this](const std::string& text) { printed += text; };
        hooks.reopenSerial = [this](int baud) {
            reopenedAt.push_back(baud);
            return reopenResult;
        };
        hooks.clearReceivedText = [this] { received.clear(); };
        hooks.checkWaitPatterns = [this](const std::string& wait, const std::string& error) {
            int result = 0;
            if (received.find(wait) != std::string::npos) result = 2;
            if (!error.empty() && received.find(error) != std::string::npos) result = 5;
            return result;
        };
        hooks.onStopped = [this](int status) { stops.push_back(status); };
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
    std::string transferFolder = "/tmp/";
    std::vector<std::string> transferLines;
    std::string printed;
    int reopenResult = -1;
    std::vector<int> reopenedAt;
    std::vector<int> stops;
    std::unique_ptr<CMacroEngine> engine;
};

}  // namespace tavrin::testing
