#pragma once
#include <string>

namespace tavrin {

inline constexpr const char* kDefaultPanelFile = "MacroDlg.INI";

// The system's own command-line options, found in the raw command line (the text after the
// program name). Options are case-sensitive and may come in any order and combination.
//
// An option counts where it starts a word: at the start of the line or right after a blank or a
// ','. (A plain search anywhere would take the "-F" in "-C=10.0.0.2:23:Cell-F2" for the
// settings-file option.)
//   "-C=" connection descriptor to open at start: up to the first blank, ',' or the end.
//   "-F"  settings file path: up to the first ',' or the end; blanks inside are kept, blanks at
//         either end are dropped. An empty path counts as no "-F": the default settings file
//         stays, since every read and write of an empty path would fail silently.
//   "-N"  link to a host editor; no value.
//   "-DF" command button panel file: up to the first blank, ',' or the end; "MacroDlg.INI"
//         when absent or empty. ("-DF" never counts as "-F": "-F" must start a word.)
struct CommandLineOptions {
    bool hasConnection = false;
    std::string connection;
    bool hasProfile = false;
    std::string profilePath;
    bool hostLink = false;
    bool hasPanelFile = false;
    std::string panelFile = kDefaultPanelFile;
};

CommandLineOptions ParseCommandLine(const std::string& rawLine);

// The settings file named by "-F" (ParseCommandLine's rule), made absolute against
// workingFolder when it is relative, so that a later change of the working folder (the
// "Folder" setting) cannot send the settings to another file. Empty when there is no "-F".
std::string SettingsPathOption(const std::string& rawLine, const std::string& workingFolder);

// The raw command line from argv, leaving out the program name and the options that only the
// Linux front ends know (--headless, --demo, --run FILE, --run=FILE, --report FILE,
// --report=FILE). The arguments are joined
// with ',' rather than a blank: the shell has already split them, so "-F/home/op/a.ini -N"
// given as two arguments must not become one settings path "/home/op/a.ini -N". A quoted
// argument with blanks ("-F/home/op/my cfg.ini") stays whole. "-F" given alone takes the next
// argument as its value ("-F /home/op/a.ini").
std::string JoinArguments(int argc, char** argv);

}  // namespace tavrin
