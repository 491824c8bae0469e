// The window's event loop while a serial save runs: the real window (CGuiSession, as the
// program builds it) on a pty served by tavrin-sim, with a 1 ms probe timer in the same event
// loop. Every handler that keeps the loop busy makes the probe's next tick late; the longest gap
// between two ticks, less the 1 ms period, is the longest time the window could not react to
// anything (a key, a click on Cancel, a paint).
//
// - BM_SaveFromSilentController: `--fault silence`: the controller goes quiet after the first
//   write block; the terminal retries its ENQ and gives up (about 6 s), the controller then
//   prints its error line. Measured from the typed command until the controller's prompt after
//   the error.
// - BM_SaveAt9600Baud: a 4 KB program saved on a line paced at 9600 baud (about 5 s).
// - BM_ProbeAlone: the probe with no window, the machine's own noise.
// - BM_UnplugMidSave: the simulator killed during a 4800-baud save: time to the window's
//   disconnect line, CPU meanwhile.
//
// Counters: max_stall_ms (the goal is one display frame, 16 ms), stalls_over_16ms, p99_gap_ms,
// ticks, span_s.
// QT_QPA_PLATFORM defaults to offscreen; set it to xcb (with DISPLAY) for a real X connection.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Language.h"
#include "app/ScreenRows.h"
#include "e2e/HeadlessProcess.h"
#include "e2e/SimProcess.h"
#include "gui/GuiSession.h"

#ifndef TAVRIN_SIM_BIN_PATH
#define TAVRIN_SIM_BIN_PATH "tools/sim/tavrin-sim"
#endif

namespace tavrin {
namespace {

using testing::SimProcess;
using testing::TempFolder;
using testing::WriteWholeFile;

QApplication& App() {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "event_loop_stall_bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

std::string ProgramText(size_t bytes) {
    std::string text = ".PROGRAM cell()\r\n";
    for (int step = 1; text.size() < bytes; ++step)
        text += "  LMOVE SHIFT(base BY " + std::to_string(step * 11 % 300) + ", 0, 0)\r\n";
    return text + ".END\r\n";
}

// Gaps between the ticks of a 1 ms timer while the event loop runs until done() holds.
struct Probe {
    std::vector<double> gapsMs;
    double spanS = 0;

    template <typename Done>
    bool RunUntil(Done done, int timeoutMs) {
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            gapsMs.push_back(static_cast<double>(now - last) / 1e6);
            last = now;
        });
        tick.start();
        // The loop itself sleeps between events: the check runs on a timer of its own.
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done() || clock.elapsed() >= timeoutMs) loop.quit();
        });
        check.start(10);
        loop.exec();
        tick.stop();
        spanS = static_cast<double>(clock.elapsed()) / 1000;
        return done();
    }
    double MaxStallMs() const {
        return gapsMs.empty() ? 0 : std::max(0.0, *std::max_element(gapsMs.begin(), gapsMs.end()) - 1);
    }
    int GapsOver(double ms) const {
        return static_cast<int>(
            std::count_if(gapsMs.begin(), gapsMs.end(), [ms](double g) { return g - 1 > ms; }));
    }
    double Percentile(double p) const {
        if (gapsMs.empty()) return 0;
        std::vector<double> sorted = gapsMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<size_t>(p * static_cast<double>(sorted.size() - 1))];
    }
};

// One save of prog.as into the PC folder, the controller run with simArgs; the probe runs from
// the typed command until the rows show endText.
void RunSave(benchmark::State& state, const std::vector<std::string>& simArgs, size_t programBytes,
             const std::string& endText, int timeoutMs) {
    App();
    for (auto _ : state) {
        TempFolder folder{"tavrin-stall"};
        const std::string disk = folder / "disk";
        const std::string pc = folder / "pc";
        std::filesystem::create_directory(disk);
        std::filesystem::create_directory(pc);
        WriteWholeFile(disk + "/prog.as", ProgramText(programBytes));
        std::vector<std::string> args{"--pty", "--baud", "9600", "--disk", disk};
        args.insert(args.end(), simArgs.begin(), simArgs.end());
        SimProcess sim(args, TAVRIN_SIM_BIN_PATH);
        if (!sim.Started() || sim.PtyPath().empty()) {
            state.SkipWithError("tavrin-sim did not start");
            return;
        }
        const std::string ini = folder / "bench.ini";
        WriteWholeFile(
            ini, "[Settings]\r\nLanguage=1\r\nIsAutoConnect=0\r\n[Ports]\r\nCOM3=" + sim.PtyPath() + "\r\n");
        CGuiSession session(ParseCommandLine({"-C=COM3:9600:8:1:none", "-F" + ini}),
                            "event_loop_stall_bench");
        std::string rows;
        session.view.SetRowObserver([&](const uint8_t* row) {
            rows.append(reinterpret_cast<const char*>(row), kColumns);
            rows += '\n';
        });
        auto shown = [&](const std::string& text) { return rows.find(text) != std::string::npos; };
        if (!session.Start()) {
            state.SkipWithError("the window did not start");
            return;
        }
        Probe ready;
        if (!ready.RunUntil([&] { return shown("Type help for the commands."); }, 15000)) {
            state.SkipWithError("no banner from the controller");
            session.frame.FinishView();
            return;
        }
        const size_t mark = rows.size();
        session.view.OnText("save " + pc + "/prog.as");
        session.view.OnChar('\r');
        Probe probe;
        const bool ended =
            probe.RunUntil([&] { return rows.find(endText, mark) != std::string::npos; }, timeoutMs);
        if (!ended) state.SkipWithError(("no '" + endText + "' after the save").c_str());
        state.counters["max_stall_ms"] = probe.MaxStallMs();
        state.counters["p99_gap_ms"] = probe.Percentile(0.99);
        state.counters["stalls_over_16ms"] = probe.GapsOver(16);
        state.counters["ticks"] = static_cast<double>(probe.gapsMs.size());
        state.counters["span_s"] = probe.spanS;
        session.frame.FinishView();
    }
}

// The noise floor: the same probe in an event loop with nothing else to do, for 5 s. On a
// machine shared with other work, its gaps are the time the scheduler gave to others.
void BM_ProbeAlone(benchmark::State& state) {
    App();
    for (auto _ : state) {
        Probe probe;
        probe.RunUntil([] { return false; }, 5000);
        state.counters["max_stall_ms"] = probe.MaxStallMs();
        state.counters["p99_gap_ms"] = probe.Percentile(0.99);
        state.counters["stalls_over_16ms"] = probe.GapsOver(16);
        state.counters["ticks"] = static_cast<double>(probe.gapsMs.size());
        state.counters["span_s"] = probe.spanS;
    }
}
BENCHMARK(BM_ProbeAlone)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveFromSilentController(benchmark::State& state) {
    RunSave(state, {"--fault", "silence"}, 4096, "(E6104)", 40000);
}
BENCHMARK(BM_SaveFromSilentController)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The window's side of an unplug mid-save: a 16 KB save at 4800 baud, the simulator killed 3 s
// into it (its pty master closes, as when an adapter is pulled). Counters: ms from the kill to
// the window's "unplugged or hung up" row, the process's CPU over that span, the longest stall.
void BM_UnplugMidSave(benchmark::State& state) {
    App();
    for (auto _ : state) {
        TempFolder folder{"tavrin-stall"};
        const std::string disk = folder / "disk";
        const std::string pc = folder / "pc";
        std::filesystem::create_directory(disk);
        std::filesystem::create_directory(pc);
        WriteWholeFile(disk + "/prog.as", ProgramText(16384));
        SimProcess sim({"--pty", "--baud", "4800", "--disk", disk}, TAVRIN_SIM_BIN_PATH);
        if (!sim.Started() || sim.PtyPath().empty()) {
            state.SkipWithError("tavrin-sim did not start");
            return;
        }
        const std::string ini = folder / "bench.ini";
        WriteWholeFile(
            ini, "[Settings]\r\nLanguage=1\r\nIsAutoConnect=0\r\n[Ports]\r\nCOM3=" + sim.PtyPath() + "\r\n");
        CGuiSession session(ParseCommandLine({"-C=COM3:4800:8:1:none", "-F" + ini}),
                            "event_loop_stall_bench");
        std::string rows;
        session.view.SetRowObserver([&](const uint8_t* row) {
            rows.append(reinterpret_cast<const char*>(row), kColumns);
            rows += '\n';
        });
        if (!session.Start()) {
            state.SkipWithError("the window did not start");
            return;
        }
        Probe ready;
        if (!ready.RunUntil([&] { return rows.find("Type help for the commands.") != std::string::npos; },
                            15000)) {
            state.SkipWithError("no banner from the controller");
            session.frame.FinishView();
            return;
        }
        session.view.OnText("save " + pc + "/prog.as");
        session.view.OnChar('\r');
        QElapsedTimer saving;
        saving.start();
        Probe during;
        during.RunUntil([&] { return saving.elapsed() >= 3000; }, 3000);
        const size_t mark = rows.size();
        timespec cpu0{}, cpu1{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
        QElapsedTimer sinceKill;
        sinceKill.start();
        ::kill(sim.Pid(), SIGKILL);
        Probe probe;
        const bool seen = probe.RunUntil(
            [&] { return rows.find("unplugged or hung up", mark) != std::string::npos; }, 10000);
        const double ms = static_cast<double>(sinceKill.nsecsElapsed()) / 1e6;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
        if (!seen) state.SkipWithError("no disconnect line");
        const double cpuMs = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) * 1e3 +
                             static_cast<double>(cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
        state.counters["kill_to_line_ms"] = ms;
        state.counters["cpu_ms"] = cpuMs;
        state.counters["max_stall_ms"] = std::max(during.MaxStallMs(), probe.MaxStallMs());
        state.counters["temp_files_left"] = static_cast<double>(
            std::distance(std::filesystem::directory_iterator(pc), std::filesystem::directory_iterator()));
        session.frame.FinishView();
    }
}
BENCHMARK(BM_UnplugMidSave)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveAt9600Baud(benchmark::State& state) {
    RunSave(state, {}, 4096, "Saved prog.as", 40000);
}
BENCHMARK(BM_SaveAt9600Baud)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tavrin
