#pragma once
#include <string>
#include <vector>

namespace tavrin {

inline constexpr const char* kDefaultPanelFile = "MacroDlg.INI";

// Exit status for a command line that cannot be used (an unknown option, a missing value).
inline constexpr int kUsageErrorStatus = 2;

// Everything the command line asks for, read once from argv at start and handed to whatever
// needs it. Options are case-sensitive and may come in any order; when one is given twice the
// last one counts.
//
// The controller terminal's own options (one dash):
//   -C=TEXT        connection to open at start (the text the Com menu shows for it)
//   -FPATH, -F PATH      settings file
//   -N             link to a host editor
//   -DFPATH, -DF PATH    command button panel file ("MacroDlg.INI" when absent)
// A value is the argument as the shell passed it: blanks and commas are part of it. The
// separate form takes the next argument whole, even one that begins with '-'.
//
// The Linux front ends' options: --headless, --demo, --run FILE (--run=FILE), --report FILE
// (--report=FILE), --list-ports, -h/--help, --version. An argument naming a ".uas" file (any
// case of the extension) runs that macro as --run does; the first one named counts.
//
// Anything else (an unknown option, short or long, a value missing or empty, a value given to
// an option that takes none, a stray argument) makes error a one-line reason naming the
// argument; main() prints it and ends with kUsageErrorStatus. The first error counts, but the
// rest is still read, so that --help anywhere still answers.
struct CommandLineOptions {
    std::string connection;                     // -C=; empty: none
    std::string profilePath;                    // -F, as given; empty: none
    bool hostLink = false;                      // -N
    std::string panelFile = kDefaultPanelFile;  // -DF

    bool headless = false;
    bool demo = false;
    bool help = false;
    bool version = false;
    bool listPorts = false;
    std::string runMacro;
    std::string reportFile;

    std::string error;
};

// Reads the arguments after the program name.
CommandLineOptions ParseCommandLine(const std::vector<std::string>& arguments);
// Reads argv (argv[0], the program, is skipped).
CommandLineOptions ParseCommandLine(int argc, const char* const* argv);

// The -F settings file made absolute against workingFolder when it is relative, so that a later
// change of the working folder (the "Folder" setting) cannot send the settings to another file.
// Empty when there is no -F.
std::string AbsoluteSettingsPath(const CommandLineOptions& options, const std::string& workingFolder);

}  // namespace tavrin
