// The macro language and engine: arbitrary macro text run for a bounded number of steps on a
// fake link, clock and shell, with arbitrary controller text arriving between steps. File
// names in the macro cannot leave the run's own folder ('/' is replaced), which is also the
// working folder, so log files and sent files stay inside it.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "FakeClock.h"
#include "FuzzFolder.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "app/Language.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"
#include "automation/LogFile.h"
#include "automation/MacroEngine.h"

using namespace tavrin;

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        const std::string made = tavrin::fuzz::MakeFuzzFolder("macro");
        if (chdir(made.c_str()) != 0) abort();
        std::ofstream(made + "/send.txt") << "line one\nline two\n";
        return made + "/";
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::string text = in.ConsumeRandomLengthString(4096);
    std::replace(text.begin(), text.end(), '/', '_');
    const std::string path = Folder() + "fuzz.uas";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

    CPelinDoc doc;
    doc.connected = 1;
    doc.isTcp = in.ConsumeBool() ? 1 : 0;
    ViewState view;
    tavrin::testing::ScriptedLink link;
    tavrin::testing::RecordingShell shell;
    tavrin::testing::FakeClock clock;
    CLogFile log;
    SetCurrentLanguage(in.ConsumeBool() ? 1 : 0);
    std::string received;
    for (int i = 0; i < 3; ++i) shell.inputs.push_back(in.ConsumeRandomLengthString(64));
    const int transferResult = in.ConsumeBool() ? 0 : -1;

    MacroHooks hooks;
    hooks.sendTransferCommand = [&](const std::string& line) {
        if (transferResult == 0)
            link.SendLinkBytes(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        return transferResult;
    };
    hooks.printLocalText = [](const std::string&) {};
    hooks.reopenSerial = [](int) { return -1; };
    hooks.clearReceivedText = [&] { received.clear(); };
    hooks.checkWaitPatterns = [&](const std::string& wait, const std::string& error) {
        int result = 0;
        if (!wait.empty() && received.find(wait) != std::string::npos) result = 2;
        if (!error.empty() && received.find(error) != std::string::npos) result = 5;
        return result;
    };
    CMacroEngine engine(doc, view, link, shell, clock, log, hooks);
    if (engine.StartMacro(path) == 1) {
        for (int step = 0; step < 2000 && engine.IsRunning(); ++step) {
            if (in.remaining_bytes() > 0 && in.ConsumeIntegralInRange(0, 3) == 0)
                received += in.ConsumeRandomLengthString(32);
            clock.Advance(in.remaining_bytes() > 0 ? in.ConsumeIntegralInRange(0, 3000) : 1000);
            engine.MacroStep();
        }
        if (engine.IsRunning()) engine.StopMacro();
    }
    log.CloseLogFile();
    return 0;
}
