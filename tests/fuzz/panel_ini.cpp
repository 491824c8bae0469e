// The command button panel on an arbitrary MacroDlg.INI: loaded and shown, pages turned,
// buttons pressed and their commands run by the panel's timer for a bounded number of steps.
// The input is the file up to its first NUL; the bytes after it drive the presses.
#include <unistd.h>

#include <fstream>
#include <string>

#include "FakeClock.h"
#include "FuzzFolder.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "panel/CommandPanel.h"

using namespace tavrin;

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        const std::string made = tavrin::fuzz::MakeFuzzFolder("panel");
        if (chdir(made.c_str()) != 0) abort();
        return made;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find('\0');
    const std::string file = input.substr(0, cut);
    // At most 16 presses and page turns, each followed by eight timer steps (every page shown
    // reads the file once per button entry, so more would make each input slow).
    const std::string actions = cut == std::string::npos ? std::string() : input.substr(cut + 1, 16);
    std::ofstream(Folder() + "/MacroDlg.INI", std::ios::binary | std::ios::trunc) << file;

    tavrin::testing::ScriptedLink link;
    tavrin::testing::RecordingShell shell;
    tavrin::testing::FakeClock clock;
    bool macroRunning = false;
    PanelHooks hooks;
    hooks.startMacro = [&](const std::string&) {
        macroRunning = true;
        return 1;
    };
    hooks.stopMacroAndReport = [&] { macroRunning = false; };
    hooks.macroRunning = [&] { return macroRunning; };
    {
        CCommandPanel panel(link, shell, clock, hooks);
        panel.SetFile("MacroDlg.INI", Folder());
        panel.AttachWindow([] {});
        panel.LoadAndShow();
        for (int i = 0; i < 3; ++i) panel.TimerStep();
        for (unsigned char action : actions) {
            switch (action % 8) {
                case 0: panel.Next(); break;
                case 1: panel.Back(); break;
                case 2: panel.ShowPage(action / 8); break;
                case 3: panel.CancelButton(); break;
                case 4:
                    if (macroRunning) {
                        macroRunning = false;
                        panel.OnMacroStopped(action / 8 % 4);
                    }
                    break;
                default: panel.Press(action / 8 % 14); break;
            }
            for (int i = 0; i < 8; ++i) {
                clock.Advance(10);
                panel.TimerStep();
            }
        }
        panel.Close();
    }
    return 0;
}
