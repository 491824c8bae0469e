#include "session/LaunchOptions.h"

#include "app/Settings.h"
#include "app/SettingsLocation.h"
#include "link/SerialPortList.h"
#include "session/DemoController.h"
#include "session/GuideLocation.h"

namespace tavrin {

LaunchOptions ParseLaunchOptions(int argc, char** argv) {
    LaunchOptions options;
    static_cast<CommandLineOptions&>(options) = ParseCommandLine(argc, argv);
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
    if (options.exeName.empty()) options.exeName = "tavrin";
    return options;
}

bool StartDemo(LaunchOptions& options, CDemoController& demo, std::string& error) {
    if (!options.demo) return true;
    const std::string connection = demo.Start(options.exePath);
    if (connection.empty()) {
        error = demo.error();
        return false;
    }
    UseDemoConnection(options, connection);
    return true;
}

void UseDemoConnection(LaunchOptions& options, const std::string& connection) {
    // A connection named on the command line wins over the demo's.
    if (!options.connection.empty()) return;
    options.connection = connection;
    options.transientConnection = connection;
}

std::string SerialPortListing(const LaunchOptions& options) {
    const std::string profile =
        !options.profilePath.empty()
            ? options.profilePath
            : DefaultSettingsFile(CurrentFolder(), options.exeName, CurrentSettingsEnvironment());
    std::string text;
    for (const SerialPortRow& row : ListSerialPorts(profile)) text += PortRowListLine(row) + "\n";
    return text;
}

}  // namespace tavrin
