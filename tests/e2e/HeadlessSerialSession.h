#pragma once
// A headless terminal on the serial line of a pty: tavrin-sim (or the test itself) plays the
// controller on the master side, tavrin --headless opens the slave through the settings file's
// [Ports] mapping. The folder holds work/ (the terminal's working folder and settings file),
// disk/ (the simulator's disk) and progs/ (the PC folder the transfers use).
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {

constexpr char kBannerEnd[] = "Type help for the commands.";

class HeadlessSerialSession {
public:
    HeadlessSerialSession() {
        ::mkdir(Work().c_str(), 0755);
        ::mkdir(Disk().c_str(), 0755);
        ::mkdir(Progs().c_str(), 0755);
    }

    std::string Work() const { return folder / "work"; }
    std::string Disk() const { return folder / "disk"; }
    std::string Progs() const { return folder / "progs"; }
    std::string Settings() const { return Work() + "/tavrin.ini"; }

    // Starts tavrin-sim --pty --disk disk/ with the extra switches.
    bool StartSim(const std::vector<std::string>& simArgs) {
        std::vector<std::string> args{"--pty", "--disk", Disk()};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        sim = std::make_unique<SimProcess>(args);
        return sim->Started() && !sim->PtyPath().empty();
    }

    // Writes the settings file mapping COM3 to device and starts the terminal on it. The
    // connection is given before -F, whose value runs to a ',' or the end of the line.
    void StartTerminal(const std::string& device, const std::string& connection = "COM3:115200:8:1:none",
                       const std::string& moreSettings = "") {
        WriteWholeFile(Settings(), "[Ports]\r\nCOM3=" + device + "\r\n" + moreSettings);
        tavrin = std::make_unique<HeadlessProcess>(
            std::vector<std::string>{"-C=" + connection, "-F" + Settings()}, Work());
    }

    // Simulator and terminal, up to the simulator's banner on the terminal's stdout.
    bool Start(const std::vector<std::string>& simArgs = {}) {
        if (!StartSim(simArgs)) return false;
        StartTerminal(sim->PtyPath());
        return tavrin->WaitForOutput(kBannerEnd, 5000);
    }

    // Types line (Enter follows its echo) and waits for expected on stdout after it.
    bool Command(const std::string& line, const std::string& expected, int timeoutMs = 5000) {
        const size_t mark = tavrin->OutputMark();
        tavrin->TypeLine(line);
        return tavrin->WaitForOutput(expected, timeoutMs, mark);
    }

    // What stdout holds from mark on.
    std::string OutputSince(size_t mark) const { return tavrin->Output().substr(mark); }

    // Ends the input and waits for the terminal to quit on its own.
    int Finish(int timeoutMs = 10000) {
        tavrin->CloseInput();
        return tavrin->WaitExit(timeoutMs);
    }

    TempFolder folder{"tavrin-serial"};
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<HeadlessProcess> tavrin;
};

}  // namespace tavrin::testing
