#pragma once
// The view's subsystems, shared by the files that make up CPelinView. Only those files include
// this header.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/Menus.h"
#include "app/TerminalSetup.h"
#include "app/Title.h"
#include "automation/DroppedFiles.h"
#include "automation/LogFile.h"
#include "automation/LogReplay.h"
#include "automation/MacroEngine.h"
#include "automation/SendFile.h"
#include "link/ConnectionControl.h"
#include "link/ConnectionListStore.h"
#include "link/LinkChannel.h"
#include "link/SerialChannel.h"
#include "panel/CommandPanel.h"
#include "session/HostLink.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "session/ViewEnvironment.h"
#include "terminal/DisplayModel.h"
#include "terminal/Keyboard.h"
#include "terminal/ReceiveInterpreter.h"
#include "terminal/Selection.h"
#include "terminal/WatchBuffer.h"
#include "transfer/TransferSession.h"

namespace tavrin {

// Every subsystem of the one terminal, wired together. Members are declared in the order they
// are built: each takes references to the ones before it.
struct CPelinView::Parts {
    Parts(CPelinView& view, CPelinDoc& doc, Shell& shell, const ViewEnvironment& env, CPelinApp& app)
        : display(doc, view),
          serialDevice(env.serialDevice),
          serialPorts(env.serialPorts),
          serialPortEvents(env.serialPortEvents),
          serial(env.serialDevice, env.clock, [&app] { return app.profilePath; }),
          link(doc, serial, shell),
          interpreter(doc, view, link, shell),
          keyboard(doc, view, link, shell, interpreter, env.clock),
          transfer(doc, link, env.clock, view),
          connection(doc, view, serial, link, shell, env.clock, env.makeSocket, &env.serialPorts),
          macro(doc, view, link, shell, env.clock, log, view.MakeMacroHooks()),
          replay(shell, env.clock, [&view](uint8_t c) { view.OnChar(c); }),
          sendFile(macro, shell),
          drops(doc, macro, shell, env.clock, [&view](uint8_t c) { view.OnChar(c); }),
          selection(doc, view),
          setup(doc, view, app.profilePath, shell, SetupHooks(view, doc)),
          panel(view, shell, env.clock, PanelHooksFor(view)),
          host(view, doc, shell, env.makeHostChannel()) {
        // A save's flush to disk runs on a thread of its own where the environment has them.
        if (env.background != nullptr)
            transfer.Files().runDiskWork = [background = env.background, &shell](std::function<void()> work,
                                                                                 std::function<void()> done) {
                background->Run(shell, std::move(work), std::move(done));
            };
    }

    PanelHooks PanelHooksFor(CPelinView& view) {
        PanelHooks hooks;
        hooks.typeKey = [&view](uint8_t c) { view.OnChar(c); };
        hooks.startMacro = [this](const std::string& path) { return macro.StartMacro(path); };
        hooks.stopMacroAndReport = [this] { macro.StopMacroAndReport(); };
        hooks.macroRunning = [this] { return macro.IsMacroFileOpen(); };
        return hooks;
    }

    TerminalSetupHooks SetupHooks(CPelinView& view, CPelinDoc& doc) {
        TerminalSetupHooks hooks;
        hooks.loadConnectionList = [&doc](const std::string& path) { LoadConnectionList(doc, path); };
        hooks.saveConnectionList = [&doc](const std::string& path) { return SaveConnectionList(doc, path); };
        hooks.setLanguageAndMenus = [&view](int lang) { view.SetLanguageAndMenus(lang); };
        hooks.typeKey = [&view](uint8_t c) { view.OnChar(c); };
        hooks.terminalCleared = [this] { selection.HideHighlight(); };
        return hooks;
    }

    CDisplayModel display;
    SerialDevice& serialDevice;           // the environment's
    SerialPortEnumerator& serialPorts;    // the environment's
    SerialPortMonitor* serialPortEvents;  // the environment's; nullptr without device events
    CSerialChannel serial;
    CLinkChannel link;
    CReceiveInterpreter interpreter;
    CKeyboard keyboard;
    CWatchBuffer watch;
    CTransferSession transfer;
    CConnectionControl connection;
    CLogFile log;
    CMacroEngine macro;
    CLogReplay replay;
    CSendFile sendFile;
    CDroppedFiles drops;
    CSelection selection;
    CTerminalSetup setup;
    CCommandPanel panel;
    CHostLink host;
    CTitle title;

    std::function<void(const uint8_t*)> rowObserver;
    std::function<void()> receptionObserver;
    std::string batchMacro;
    std::function<void(int)> batchFinished;
    std::function<void(bool failed)> startupConnectEnded;
    CRunReport* report = nullptr;  // --report, owned by the front end
    bool batchStarted = false;
    bool firstIdlePending = true;  // the first idle turn has its one-time work (the start-up connect) to do
    bool startupConnectPending = false;  // the first connect of the run has not ended yet
    bool startupConnectTried = false;    // and it was a connect (a -C= text or the current one)
    bool idleScheduled = false;
    int pollTimerPeriodMs = 0;                // 0: stopped
    int64_t keysTimerDeadline = kNoDeadline;  // when the keys' timer is set to fire
    bool progressShown = false;
    int watchedSerialFd = -1;
    int serialEventFd = -1;  // udev's device events, -1 without them
    bool destroyed = false;
    std::string numberedTitle;  // the numbered frame text last set
    // The last state of each command: some rules leave it as it was in some states.
    mutable std::map<int, MenuCommandState> commandStates;
};

}  // namespace tavrin
