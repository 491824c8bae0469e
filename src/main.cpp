#include <cstdio>
#include <cstdlib>

#include "gui/GuiMain.h"
#include "headless/HeadlessMain.h"
#include "link/SerialPortList.h"
#include "platform/linux/UdevSerialPorts.h"
#include "session/DemoController.h"
#include "session/LaunchOptions.h"

namespace {

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    return (x && *x) || (wayland && *wayland) || (qpa && *qpa);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavrin;
    const LaunchOptions options = ParseLaunchOptions(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "tavrin: %s\n", options.error.c_str());
        return 1;
    }
    if (options.listPorts) {
        CUdevSerialPorts ports;
        SetSerialPortEnumerator(&ports);
        std::fputs(SerialPortListing(options).c_str(), stdout);
        SetSerialPortEnumerator(nullptr);
        return 0;
    }
    bool headless = options.headless;
    if (!headless && !HasDisplay()) {
        std::fprintf(stderr, "tavrin: no display found; starting the console front end (--headless).\n");
        headless = true;
    }
    // The demo controller lives as long as the front end runs.
    CDemoController demo;
    std::string error;
    const std::string commandLine = StartupCommandLine(options, demo, error);
    if (!error.empty()) {
        std::fprintf(stderr, "tavrin: %s\n", error.c_str());
        return 1;
    }
    return headless ? RunHeadless(argc, argv, options, commandLine)
                    : RunGui(argc, argv, options, commandLine);
}
