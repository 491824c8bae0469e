#include "app/SettingsLocation.h"

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

bool IsRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// The existing file called `name` in `folder`, exact name first, then in any ASCII case.
std::string ExistingFileInFolder(const std::string& folder, const std::string& name) {
    const std::filesystem::path base =
        folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
    if (IsRegularFile(base / name)) return (base / name).string();
    std::error_code ec;
    std::filesystem::directory_iterator it(base, ec);
    if (ec) return {};
    const std::string wanted = Lower(name);
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (Lower(it->path().filename().string()) == wanted && IsRegularFile(it->path()))
            return it->path().string();
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

std::string DefaultSettingsFile(const std::string& workingFolder, const std::string& exeName,
                                const SettingsEnvironment& env) {
    const std::string fileName = exeName + ".ini";
    if (std::string existing = ExistingFileInFolder(workingFolder, fileName); !existing.empty())
        return existing;
    // Relative values are to be ignored: they would move with the working folder.
    std::string configHome;
    if (!env.xdgConfigHome.empty() && env.xdgConfigHome.front() == '/')
        configHome = env.xdgConfigHome;
    else if (!env.home.empty() && env.home.front() == '/')
        configHome = Join(env.home, ".config");
    if (configHome.empty()) return Join(workingFolder, fileName);
    return Join(Join(configHome, "tavrin"), fileName);
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
