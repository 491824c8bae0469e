#include "session/PelinApp.h"

#include <unistd.h>

#include <array>

#include "app/CommandLine.h"
#include "app/Globals.h"
#include "app/SettingsLocation.h"

namespace tavrin {

namespace {

std::string WorkingFolder() {
    std::array<char, 4096> buffer{};
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
    return buffer.data();
}

}  // namespace

CPelinApp::CPelinApp(std::string raw, std::string exe)
    : rawCommandLine(std::move(raw)),
      exeName(std::move(exe)),
      commandLineProfilePath(SettingsPathOption(rawCommandLine, WorkingFolder())) {}

void CPelinApp::FixProfilePath() {
    if (!commandLineProfilePath.empty()) {
        profilePath = commandLineProfilePath;
        profilePathPending = 0;
        return;
    }
    if (profilePathPending) {
        profilePath = DefaultSettingsFile(WorkingFolder(), exeName, CurrentSettingsEnvironment());
        PrepareSettingsFolder(profilePath);
        profilePathPending = 0;
    }
}

void CPelinApp::ReplaceProfilePath(const std::string& path) {
    if (!profilePath.empty()) profilePath = path;
}

}  // namespace tavrin
