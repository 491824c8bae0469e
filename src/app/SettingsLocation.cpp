#include "app/SettingsLocation.h"

#include "app/OwnFile.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tavrin {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The entry called `name` in `folder` whatever it is (a file, link, FIFO, folder), exact name
// first, then in any ASCII case. Empty when there is none.
std::string EntryInFolder(const std::string& folder, const std::string& name) {
    const std::filesystem::path base =
        folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
    struct stat info {};
    if (lstat((base / name).c_str(), &info) == 0) return (base / name).string();
    std::error_code ec;
    std::filesystem::directory_iterator it(base, ec);
    if (ec) return {};
    const std::string wanted = Lower(name);
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (Lower(it->path().filename().string()) == wanted) return it->path().string();
    }
    return {};
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

SettingsEnvironment CurrentSettingsEnvironment() {
    SettingsEnvironment env;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) env.xdgConfigHome = xdg;
    if (const char* home = std::getenv("HOME")) env.home = home;
    return env;
}

SettingsFileChoice ChooseSettingsFile(const std::string& workingFolder, const std::string& exeName,
                                      const SettingsEnvironment& env) {
    SettingsFileChoice choice;
    const std::string fileName = exeName + ".ini";
    if (std::string existing = EntryInFolder(workingFolder, fileName); !existing.empty()) {
        choice.check = CheckOwnFile(existing, kIniFileRules);
        if (choice.check.Usable()) {
            choice.path = existing;
            return choice;
        }
        // A file the user cannot trust (planted in a shared folder, a FIFO, a binary file) is
        // passed over for the user's own folder.
        choice.passedOver = existing;
    }
    // Relative values are to be ignored: they would move with the working folder.
    std::string configHome;
    if (!env.xdgConfigHome.empty() && env.xdgConfigHome.front() == '/')
        configHome = env.xdgConfigHome;
    else if (!env.home.empty() && env.home.front() == '/')
        configHome = Join(env.home, ".config");
    choice.path =
        configHome.empty() ? Join(workingFolder, fileName) : Join(Join(configHome, "tavrin"), fileName);
    return choice;
}

std::string DefaultSettingsFile(const std::string& workingFolder, const std::string& exeName,
                                const SettingsEnvironment& env) {
    return ChooseSettingsFile(workingFolder, exeName, env).path;
}

std::string PassedOverLine(const SettingsFileChoice& choice) {
    if (choice.passedOver.empty()) return {};
    return "ignoring " + choice.passedOver + ": " + choice.check.Reason() + "; the settings file is " +
           choice.path + ".";
}

std::string SettingsFileRefusal(const std::string& settingsFile) {
    const OwnFileCheck check = CheckOwnFile(settingsFile, kIniFileRules);
    // A file that is simply missing is created at the first save; one that cannot be read for
    // want of permission is reported when the settings cannot be saved to it.
    if (check.fault == OwnFileFault::kNone || check.fault == OwnFileFault::kMissing ||
        check.fault == OwnFileFault::kUnreadable)
        return {};
    return "the settings file " + settingsFile + " cannot be used: " + check.Reason() + ".";
}

bool PrepareSettingsFolder(const std::string& settingsFile) {
    const std::filesystem::path folder = std::filesystem::path(settingsFile).parent_path();
    if (folder.empty()) return true;
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return true;
    // Created one level at a time with mode 0700: a settings folder is the user's own.
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (std::filesystem::is_directory(partial, ec)) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && !std::filesystem::is_directory(partial, ec)) return false;
    }
    return true;
}

}  // namespace tavrin
