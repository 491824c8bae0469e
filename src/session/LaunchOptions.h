#pragma once
#include <string>

namespace tavrin {

// The options the Linux front ends add to the system's own (-C=, -F, -N, -DF).
struct LaunchOptions {
    bool headless = false;       // --headless
    bool demo = false;           // --demo
    bool help = false;           // --help or -h: print the usage and end
    bool version = false;        // --version: print the version and end
    std::string runMacro;        // --run FILE
    std::string reportFile;      // --report FILE: JSON Lines of the transfers and the run's end
    bool listPorts = false;      // --list-ports: print the serial ports and exit
    std::string rawCommandLine;  // every other argument, joined by ',': the system's options
    std::string exeName;         // the program's file name without folder and extension
    std::string exePath;         // the running program's path (/proc/self/exe; argv[0] if unreadable)
    std::string error;           // non-empty when the arguments are unusable (e.g. --run without FILE)
};

// Exit status for arguments that cannot be used (an unknown --option, --run or --report without
// FILE).
inline constexpr int kUsageErrorStatus = 2;

// Reads the options of the Linux front ends. An argument beginning with "--" that is none of
// them is an error; every other argument (the system's own -C=, -F, -N, -DF, with their lenient
// rules) goes to rawCommandLine untouched, but for a bare argument naming a ".uas" file: the
// first such file is the macro to run, as with --run.
LaunchOptions ParseLaunchOptions(int argc, char** argv);

// --list-ports: the serial port list (see PortRowListLine), one line each, for the settings
// file the command line names with -F (else the settings file a start here would use).
std::string SerialPortListing(const LaunchOptions& options);

class CDemoController;

// The system's command line for this run: with --demo the demo controller is started and its
// connection named with "-C=" (unless the command line names one). Empty with error set when
// the demo controller cannot start.
std::string StartupCommandLine(const LaunchOptions& options, CDemoController& demo, std::string& error);

// The connection of this run that is not the operator's and is not to be stored: the demo
// controller's, when the demo put it on the command line; else empty.
std::string TransientConnection(const LaunchOptions& options, const std::string& commandLine);

}  // namespace tavrin
