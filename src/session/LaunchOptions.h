#pragma once
#include <string>

namespace tavrin {

// The options the Linux front ends add to the system's own (-C=, -F, -N, -DF).
struct LaunchOptions {
    bool headless = false;       // --headless
    bool demo = false;           // --demo
    std::string runMacro;        // --run FILE
    bool listPorts = false;      // --list-ports: print the serial ports and exit
    std::string rawCommandLine;  // every other argument, joined by ',': the system's options
    std::string exeName;         // the program's file name without folder and extension
    std::string exePath;         // the program's path as started (argv[0])
    std::string error;           // non-empty when the arguments are unusable (e.g. --run without FILE)
};

LaunchOptions ParseLaunchOptions(int argc, char** argv);

// --list-ports: the serial port list (see PortRowListLine), one line each, for the settings
// file the command line names with -F (else <working folder>/<exeName>.ini).
std::string SerialPortListing(const LaunchOptions& options);

class CDemoController;

// The system's command line for this run: with --demo the demo controller is started and its
// connection named with "-C=" (unless the command line names one). Empty with error set when
// the demo controller cannot start.
std::string StartupCommandLine(const LaunchOptions& options, CDemoController& demo, std::string& error);

}  // namespace tavrin
