#pragma once
#include <string>

namespace tavrin {

// Where the settings file lives when "-F" names none.
//
// The file named after the program in the working folder ("tavrin.ini") is kept whenever it is
// already there (settings copied from another machine, portable setups): the exact name first,
// then a case-insensitive match, since files copied from Windows keep other cases. Otherwise the
// file goes where Linux keeps a user's settings: $XDG_CONFIG_HOME/tavrin/<name>.ini, or
// ~/.config/tavrin/<name>.ini when XDG_CONFIG_HOME is unset, empty or not absolute. When neither
// variable gives an absolute folder, the working folder is used after all.
struct SettingsEnvironment {
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME
    std::string home;           // $HOME
};

// The environment of this process.
SettingsEnvironment CurrentSettingsEnvironment();

// The settings file to use. Only looks; creates nothing.
std::string DefaultSettingsFile(const std::string& workingFolder, const std::string& exeName,
                                const SettingsEnvironment& env);

// Creates the folder that holds `settingsFile` (and its parents, user-only) when it is missing,
// so the first save can create the file there. Returns false when it cannot be created.
bool PrepareSettingsFolder(const std::string& settingsFile);

}  // namespace tavrin
