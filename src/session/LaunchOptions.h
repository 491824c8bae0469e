#pragma once
#include <string>

#include "app/CommandLine.h"

namespace tavrin {

// The command line of this run (read once, see CommandLineOptions) and what the program knows
// of itself.
struct LaunchOptions : CommandLineOptions {
    std::string exeName;  // the program's file name without folder and extension
    std::string exePath;  // the running program's path (/proc/self/exe; argv[0] if unreadable)
    // The connection of this run that is not the operator's and is not to be stored: the demo
    // controller's, when no connection was named; else empty.
    std::string transientConnection;
};

// Reads argv once: the options (ParseCommandLine) and the program's name and path.
LaunchOptions ParseLaunchOptions(int argc, char** argv);

// --list-ports: the serial port list (see PortRowListLine), one line each, for the settings
// file the command line names with -F (else the settings file a start here would use).
std::string SerialPortListing(const LaunchOptions& options);

class CDemoController;

// With --demo: starts the demo controller and, unless the command line names a connection,
// makes its connection the one opened at start. False with error set when the demo controller
// cannot start.
bool StartDemo(LaunchOptions& options, CDemoController& demo, std::string& error);

// The demo controller's connection becomes the one opened at start, and the run's transient
// one, unless the command line names a connection.
void UseDemoConnection(LaunchOptions& options, const std::string& connection);

}  // namespace tavrin
