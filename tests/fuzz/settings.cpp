// The settings readers on an arbitrary settings file: the "Settings" section, the terminal
// look, the fonts, the connection list, and the terminal setup's restore that runs them all.
// Whatever the file holds, the values read must stay inside the limits the rest of the
// program indexes with, and a save followed by a load must give the same values.
#include <unistd.h>

#include <fstream>
#include <string>

#include "FuzzFolder.h"
#include "RecordingShell.h"
#include "app/PelinDoc.h"
#include "app/Settings.h"
#include "app/TermSettings.h"
#include "app/TerminalSetup.h"
#include "app/ViewState.h"
#include "link/ConnectionListStore.h"

using namespace tavrin;

namespace {

[[noreturn]] void Broken(const char* what) {
    fprintf(stderr, "settings: %s\n", what);
    abort();
}

const std::string& Folder() {
    static const std::string folder = [] {
        const std::string made = tavrin::fuzz::MakeFuzzFolder("settings");
        return made + "/";
    }();
    return folder;
}

void CheckLimits(const CPelinDoc& doc) {
    if (doc.maxRows < 1 || doc.maxRows > kMaxRowsLimit) Broken("MaxRows outside 1 ... 200");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = Folder() + "tavrin.ini";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    CPelinDoc doc;
    LoadSettings(doc, path);
    ReadTermSettings(doc, path);
    CheckLimits(doc);
    LogFont font;
    ReadFontSetting(path, "Font", font);
    LoadConnectionList(doc, path);

    // What was read is written and read again: the same values come back.
    const std::string copy = Folder() + "copy.ini";
    ::unlink(copy.c_str());
    SaveSettings(doc, copy);
    WriteTermSettings(doc, copy);
    SaveConnectionList(doc, copy);
    CPelinDoc again;
    LoadSettings(again, copy);
    ReadTermSettings(again, copy);
    LoadConnectionList(again, copy);
    if (again.maxRows != doc.maxRows || again.bgColor != doc.bgColor || again.textColor != doc.textColor)
        Broken("terminal look changed by a save and load");
    if (again.connections.size() != doc.connections.size())
        Broken("connection list changed by a save and load");

    // The terminal setup's restore without its dialog.
    CPelinDoc restored;
    ViewState view;
    std::string profile = path;
    tavrin::testing::RecordingShell shell;
    CTerminalSetup setup(restored, view, profile, shell, TerminalSetupHooks{});
    setup.LoadTerminalSetup(false);
    CheckLimits(restored);
    return 0;
}
