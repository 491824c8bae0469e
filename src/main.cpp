#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/SettingsLocation.h"

#include "gui/GuiMain.h"
#include "headless/HeadlessMain.h"
#include "link/SerialPortList.h"
#include "platform/linux/UdevSerialPorts.h"
#include "session/DemoController.h"
#include "session/GuideLocation.h"
#include "session/LaunchOptions.h"
#include "session/RunReport.h"
#include "session/Usage.h"

namespace {

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    return (x && *x) || (wayland && *wayland) || (qpa && *qpa);
}

// The settings file a start with these options would use; looks only, creates nothing.
std::string SettingsFileForHelp(const tavrin::LaunchOptions& options) {
    if (!options.profilePath.empty()) return options.profilePath;
    std::array<char, 4096> cwd{};
    const std::string folder = getcwd(cwd.data(), cwd.size()) ? cwd.data() : "";
    return tavrin::DefaultSettingsFile(folder, options.exeName, tavrin::CurrentSettingsEnvironment());
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavrin;
    LaunchOptions options = ParseLaunchOptions(argc, argv);
    // Help and version come before anything else: no display, no settings file, no demo.
    if (options.help) {
        std::fputs(
            UsageText(options.exeName, SettingsFileForHelp(options), GuideFile(1), GuideFile(0)).c_str(),
            stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(VersionText(options.exeName).c_str(), stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s: %s (try '%s --help')\n", options.exeName.c_str(), options.error.c_str(),
                     options.exeName.c_str());
        return kUsageErrorStatus;
    }
    if (options.listPorts) {
        CUdevSerialPorts ports;
        SetSerialPortEnumerator(&ports);
        std::fputs(SerialPortListing(options).c_str(), stdout);
        SetSerialPortEnumerator(nullptr);
        return 0;
    }
    // The report is opened before anything runs: a run whose report cannot be written is not
    // started unattended only to leave no trace.
    CRunReport report;
    if (!options.reportFile.empty()) {
        std::string reportError;
        if (!report.Open(options.reportFile, reportError)) {
            std::fprintf(stderr, "tavrin: %s\n", reportError.c_str());
            return 1;
        }
    }
    // Every end from here on is recorded (the report ignores it when there is none).
    auto end = [&report](int status) {
        report.End(status);
        return status;
    };
    bool headless = options.headless;
    if (!headless && !HasDisplay()) {
        std::fprintf(stderr, "tavrin: no display found; starting the console front end (--headless).\n");
        headless = true;
    }
    // The demo controller lives as long as the front end runs.
    CDemoController demo;
    std::string error;
    if (!StartDemo(options, demo, error)) {
        std::fprintf(stderr, "tavrin: %s\n", error.c_str());
        return end(1);
    }
    CRunReport* reportTo = report.IsOpen() ? &report : nullptr;
    return end(headless ? RunHeadless(argc, argv, options, reportTo) : RunGui(argc, argv, options, reportTo));
}
