// A 10 MB burst of controller output through the receive interpreter into the terminal widget
// (offscreen), one event-loop turn per received chunk, against the interpreter alone in the
// same run, timed until the burst's final state has been painted. The counters say how many
// paints the burst cost and how much slower it is than the interpreter on its own.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <string>

#include "FakeClock.h"
#include "RecordingShell.h"
#include "app/PelinDoc.h"
#include "gui/MainFrame.h"
#include "gui/QtShell.h"
#include "gui/TerminalWidget.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin {
namespace {

constexpr size_t kBurstBytes = 10 * 1024 * 1024;
constexpr int kChunk = 4096;  // one TCP/IP receive chunk per event-loop turn

// Controller-like output: program listings with a Japanese comment every fourth line, CR LF.
const std::string& Burst() {
    static const std::string burst = [] {
        std::string out;
        out.reserve(kBurstBytes + 128);
        int n = 0;
        while (out.size() < kBurstBytes) {
            std::string line = "  " + std::to_string(n) + " JMOVE #p" + std::to_string(n % 97) + "  ; step";
            if (n % 4 == 0) line += " \x83\x8d\x83\x7b\x83\x62\x83\x67 \x93\xae\x8d\xec";  // ロボット 動作
            out += line + "\r\n";
            ++n;
        }
        out.resize(kBurstBytes);
        return out;
    }();
    return burst;
}

class CNullLink : public LinkOps {
public:
    int ReadLinkByte() override { return -1; }
    void SendLinkByte(uint8_t) override {}
    void SendLinkBytes(const uint8_t*, size_t) override {}
    size_t SendOnSocket(const uint8_t*, size_t count) override { return count; }
    void PurgeComPort() override {}
};

void Feed(CReceiveInterpreter& interpreter, const std::function<void()>& afterChunk) {
    const std::string& data = Burst();
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t at = 0; at < data.size(); at += kChunk) {
        int position = 0;
        int length = static_cast<int>(std::min<size_t>(kChunk, data.size() - at));
        interpreter.InterpretReceived(bytes + at, position, length);
        if (afterChunk) afterChunk();
    }
}

QApplication& App() {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "window_bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

double aloneSecondsPerBurst = 0;
double aloneCpuPerBurst = 0;

// The thread's CPU seconds: the second ratio, x_cpu, leaves out the time the machine gave to
// other work (and the wait for the frame of the final paint).
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_InterpreterAlone(benchmark::State& state) {
    Burst();
    CPelinDoc doc;
    ViewState view;
    CNullLink link;
    testing::RecordingShell shell;
    CReceiveInterpreter interpreter(doc, view, link, shell);
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        Feed(interpreter, nullptr);
        cpu += CpuSeconds() - cpuStart;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    aloneSecondsPerBurst = seconds / static_cast<double>(state.iterations());
    aloneCpuPerBurst = cpu / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBurstBytes));
    state.counters["repaint_requests"] = benchmark::Counter(shell.repaintRequests / state.iterations());
}
BENCHMARK(BM_InterpreterAlone)->Unit(benchmark::kMillisecond);

void BM_InterpreterIntoWidget(benchmark::State& state) {
    Burst();
    App();
    CQtShell shell;
    testing::FakeClock clock;
    CPelinApp app("", "window_bench");
    app.profilePath = "/nonexistent/window_bench.ini";
    CPelinDoc doc;
    CPelinView view(app, doc, shell, clock);
    CMainFrame frame(view, app);
    shell.SetFrame(&frame);
    frame.Terminal()->ApplyFont();
    frame.show();
    QCoreApplication::processEvents();
    CReceiveInterpreter interpreter(doc, view, view, shell);
    double seconds = 0;
    double cpu = 0;
    int paints = 0;
    for (auto _ : state) {
        const int before = frame.Terminal()->PaintCount();
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = CpuSeconds();
        Feed(interpreter, [] { QCoreApplication::processEvents(); });
        // The burst is over when its final state is on the screen.
        while (frame.Terminal()->RepaintPending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        cpu += CpuSeconds() - cpuStart;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        paints += frame.Terminal()->PaintCount() - before;
    }
    const double perBurst = seconds / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBurstBytes));
    state.counters["paints"] = benchmark::Counter(paints / static_cast<double>(state.iterations()));
    state.counters["chunks"] = benchmark::Counter(static_cast<double>((kBurstBytes + kChunk - 1) / kChunk));
    if (aloneSecondsPerBurst > 0) state.counters["x_interpreter_alone"] = perBurst / aloneSecondsPerBurst;
    if (aloneCpuPerBurst > 0)
        state.counters["x_cpu"] = cpu / static_cast<double>(state.iterations()) / aloneCpuPerBurst;
}
BENCHMARK(BM_InterpreterIntoWidget)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrin
