#pragma once
#include <string>

#include "app/OwnFile.h"

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

// The settings file to use, and the working folder's file passed over on the way.
//
// The working folder's file is kept only when the user may trust it (OwnFile.h): a regular file
// of the user or root, reached through no link of another user, at most 1 MiB, no NUL bytes.
// Anything else of that name (a link planted by another user in a shared folder, a FIFO, a
// folder, a binary file) is passed over for the configuration folder.
struct SettingsFileChoice {
    std::string path;        // the settings file
    std::string passedOver;  // the working folder's entry of that name that was refused, or empty
    OwnFileCheck check;      // why it was refused
};
SettingsFileChoice ChooseSettingsFile(const std::string& workingFolder, const std::string& exeName,
                                      const SettingsEnvironment& env);

// The path of ChooseSettingsFile. Only looks; creates nothing.
std::string DefaultSettingsFile(const std::string& workingFolder, const std::string& exeName,
                                const SettingsEnvironment& env);

// The start-up line for a passed-over file ("ignoring <file>: <reason>; the settings file is
// <path>."), empty when nothing was passed over. English: the language is not known yet.
std::string PassedOverLine(const SettingsFileChoice& choice);

// Why the settings file cannot be used at all ("the settings file <path> cannot be used:
// <reason>."), or empty when it can, or is missing (the first save creates it), or merely
// cannot be read for want of permission (reported when the settings cannot be saved to it).
std::string SettingsFileRefusal(const std::string& settingsFile);

// Creates the folder that holds `settingsFile` (and its parents, user-only) when it is missing,
// so the first save can create the file there. Returns false when it cannot be created.
bool PrepareSettingsFolder(const std::string& settingsFile);

}  // namespace tavrin
