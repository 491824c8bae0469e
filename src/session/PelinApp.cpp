#include "session/PelinApp.h"

#include <unistd.h>

#include <array>

#include "app/Globals.h"
#include "app/SettingsLocation.h"

namespace tavrin {

namespace {

std::string WorkingFolder() {
    std::array<char, 4096> buffer{};
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
    return buffer.data();
}

// The "-F" value: the characters after "-F" up to the first ',' or the end of the line.
bool FindSettingsOption(const std::string& line, std::string& value) {
    auto at = line.find("-F");
    if (at == std::string::npos) return false;
    auto end = line.find(',', at + 2);
    value = line.substr(at + 2, end == std::string::npos ? std::string::npos : end - at - 2);
    return true;
}

}  // namespace

CPelinApp::CPelinApp(std::string raw, std::string exe)
    : rawCommandLine(std::move(raw)), exeName(std::move(exe)) {}

void CPelinApp::FixProfilePath() {
    std::string value;
    if (FindSettingsOption(rawCommandLine, value) && !value.empty()) {
        profilePath = value;
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
