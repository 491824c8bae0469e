#include "session/PelinApp.h"

#include <unistd.h>

#include <array>

#include "app/CommandLine.h"
#include "app/SettingsLocation.h"

namespace tavrin {

namespace {

std::string WorkingFolder() {
    std::array<char, 4096> buffer{};
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
    return buffer.data();
}

}  // namespace

CPelinApp::CPelinApp(CommandLineOptions given, std::string exe)
    : options(std::move(given)),
      exeName(std::move(exe)),
      commandLineProfilePath(AbsoluteSettingsPath(options, WorkingFolder())) {}

bool CPelinApp::FixProfilePath() {
    if (!commandLineProfilePath.empty()) {
        profilePath = commandLineProfilePath;
        profilePathFixed_ = true;
    } else if (!profilePathFixed_) {
        const SettingsFileChoice choice =
            ChooseSettingsFile(WorkingFolder(), exeName, CurrentSettingsEnvironment());
        profilePath = choice.path;
        if (const std::string line = PassedOverLine(choice); !line.empty()) startupNotices.push_back(line);
        PrepareSettingsFolder(profilePath);
        profilePathFixed_ = true;
    }
    profileRefusal = SettingsFileRefusal(profilePath);
    return profileRefusal.empty();
}

void CPelinApp::ReplaceProfilePath(const std::string& path) {
    if (!profilePath.empty()) profilePath = path;
}

}  // namespace tavrin
