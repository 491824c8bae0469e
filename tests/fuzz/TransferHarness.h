#pragma once
// The transfer protocol against arbitrary controller bytes, on a scripted link with a clock
// that jumps, with a temporary transfer folder and the file guard armed while a request runs.
#include <dirent.h>

#include <fstream>
#include <string>

#include "FakeClock.h"
#include "FileGuard.h"
#include "FuzzFolder.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "TransferDriver.h"
#include "app/PelinDoc.h"
#include "app/ViewState.h"

namespace tavrin::fuzz {

// The transfer folder of every run: a file to load and a file to delete or replace are put
// there before each input, everything else is removed.
inline const std::string& TransferFolder() {
    static const std::string folder = [] {
        SentinelFolder();  // the working folder first, so nothing lands beside the program
        const std::string made = tavrin::fuzz::MakeFuzzFolder("transfer");
        return made + "/";
    }();
    return folder;
}

inline void ResetTransferFolder() {
    const std::string& folder = TransferFolder();
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((folder + name).c_str());
        }
        closedir(dir);
    }
    std::ofstream(folder + "a.as", std::ios::binary) << ".PROGRAM a()\r\n  HOME\r\n  SPEED 50\r\n.END\r\n";
    std::ofstream(folder + "x", std::ios::binary) << "x";
}

// Everything one input needs; a fresh one per input so that inputs do not depend on each other.
struct TransferScene {
    explicit TransferScene(bool tcp) {
        doc.isTcp = tcp ? 1 : 0;
        // An empty read costs half a second, so each time-out takes a few dozen reads.
        link.onEmptyRead = [this] { clock.Advance(500); };
        protocol.ResetTcpState();
        protocol.session.Hooks().printText = [](const std::string&) {};
    }
    // One request with the guard armed.
    int Handle() {
        GuardedFolder() = TransferFolder();
        const int rc = protocol.HandleTransferRequest(TransferFolder());
        GuardedFolder().clear();
        return rc;
    }

    CPelinDoc doc;
    ViewState view;
    tavrin::testing::ScriptedLink link;
    tavrin::testing::FakeClock clock;
    tavrin::testing::RecordingShell shell;
    tavrin::testing::TransferDriver protocol{doc, link, clock, view};
};

}  // namespace tavrin::fuzz
