#include "session/LaunchOptions.h"

#include "app/CommandLine.h"
#include "app/Settings.h"
#include "app/SettingsLocation.h"
#include "link/SerialPortList.h"
#include "session/DemoController.h"
#include "session/GuideLocation.h"

#include <cstring>

namespace tavrin {

namespace {

// A bare argument naming a ".uas" file (any case of the extension).
bool IsMacroFileArgument(const char* arg) {
    const size_t length = std::strlen(arg);
    if (arg[0] == '-' || length <= 4) return false;
    const char* ext = arg + length - 4;
    return ext[0] == '.' && (ext[1] | 0x20) == 'u' && (ext[2] | 0x20) == 'a' && (ext[3] | 0x20) == 's';
}

}  // namespace

LaunchOptions ParseLaunchOptions(int argc, char** argv) {
    LaunchOptions options;
    if (argc > 0 && argv[0]) {
        // The folder the program runs from must not depend on the working folder: a bare
        // "tavrin" found on PATH would otherwise look for its simulator in ".".
        options.exePath = RunningProgramPath();
        if (options.exePath.empty()) options.exePath = argv[0];
        std::string name = argv[0];
        if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
        if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
        options.exeName = name;
    }
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(arg, "--demo") == 0) {
            options.demo = true;
        } else if (std::strcmp(arg, "--run") == 0) {
            if (i + 1 >= argc) {
                if (options.error.empty()) options.error = "--run needs a macro file";
                break;
            }
            options.runMacro = argv[++i];
        } else if (std::strcmp(arg, "--report") == 0) {
            if (i + 1 >= argc) {
                if (options.error.empty()) options.error = "--report needs a file";
                break;
            }
            options.reportFile = argv[++i];
        } else if (std::strncmp(arg, "--report=", 9) == 0) {
            options.reportFile = arg + 9;
            if (options.reportFile.empty() && options.error.empty()) options.error = "--report needs a file";
        } else if (std::strcmp(arg, "--list-ports") == 0) {
            options.listPorts = true;
        } else if (std::strncmp(arg, "--run=", 6) == 0) {
            options.runMacro = arg + 6;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
        } else if (std::strncmp(arg, "--", 2) == 0) {
            if (options.error.empty()) options.error = std::string("unknown option '") + arg + "'";
        } else if (IsMacroFileArgument(arg)) {
            // A macro file named on its own (the desktop entry passes the files it opens): run
            // like --run FILE. One macro runs at a time, so the first one named is taken.
            if (options.runMacro.empty()) options.runMacro = arg;
        } else {
            // The shell has split the arguments already: join them with ',' so that an option's
            // value ends where its argument did ("-F/x/a.ini" "-N" must not read as one path).
            if (!options.rawCommandLine.empty()) options.rawCommandLine += ',';
            options.rawCommandLine += arg;
        }
    }
    if (options.exeName.empty()) options.exeName = "tavrin";
    return options;
}

}  // namespace tavrin

namespace tavrin {

std::string StartupCommandLine(const LaunchOptions& options, CDemoController& demo, std::string& error) {
    std::string raw = options.rawCommandLine;
    if (!options.demo) return raw;
    const std::string connection = demo.Start(options.exePath);
    if (connection.empty()) {
        error = demo.error();
        return {};
    }
    // A connection named on the command line wins over the demo's.
    if (ParseCommandLine(raw).hasConnection) return raw;
    return "-C=" + connection + (raw.empty() ? "" : "," + raw);
}

std::string TransientConnection(const LaunchOptions& options, const std::string& commandLine) {
    if (!options.demo || ParseCommandLine(options.rawCommandLine).hasConnection) return {};
    return ParseCommandLine(commandLine).connection;
}

}  // namespace tavrin

namespace tavrin {

std::string SerialPortListing(const LaunchOptions& options) {
    const CommandLineOptions line = ParseCommandLine(options.rawCommandLine);
    const std::string profile =
        line.hasProfile && !line.profilePath.empty()
            ? line.profilePath
            : DefaultSettingsFile(CurrentFolder(), options.exeName, CurrentSettingsEnvironment());
    std::string text;
    for (const SerialPortRow& row : ListSerialPorts(profile)) text += PortRowListLine(row) + "\n";
    return text;
}

}  // namespace tavrin
