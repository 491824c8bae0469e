// Throughput of the receive interpreter, in bytes per second: controller-like text (80-column
// lines ending in CR LF) against a worst case of Shift-JIS pairs, cursor escapes and wraps at
// column 79. The physical baseline is a plain copy of the same bytes, in the same 4096-byte
// pieces, into a 16 KB ring (about the size of the screen model): the counter x_copy says how
// many times slower than that copy the interpreter is, measured in the same run.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstring>
#include <string>
#include <vector>

#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "terminal/ReceiveInterpreter.h"

namespace {

using namespace tavrin;

std::vector<uint8_t> ControllerText(size_t size) {
    std::string text;
    int line = 0;
    while (text.size() < size) {
        ++line;
        std::string row = "  " + std::to_string(line) + " POINT #p" + std::to_string(line % 97) +
                          " = TRANS(120.000, -340.500, 255.250, 0.000, 180.000, 90.000)";
        row.resize(78, ' ');
        text += row + "\r\n";
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

std::vector<uint8_t> WorstCase(size_t size) {
    std::string text;
    int step = 0;
    while (text.size() < size) {
        text += "\x82\xa0\x93\xfa\x96\x7b";  // Shift-JIS pairs
        if (++step % 5 == 0)
            text += "\x1b[" + std::to_string(step % 30) + ";" + std::to_string(step % 81) + "H";
        if (step % 7 == 0) text += "\x1b[K\x1b[1;31m";
        if (step % 11 == 0) text += "\x1b[2A\b\b";
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

constexpr size_t kRingBytes = 16384;

// The thread's CPU seconds: both sides of the ratio are timed on them, so other work on the
// machine does not move it.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One pass of the baseline: the input copied in 4096-byte pieces into the 16 KB ring.
void CopyPass(const std::vector<uint8_t>& input, std::vector<uint8_t>& ring) {
    constexpr size_t kChunk = 4096;
    size_t at = 0;
    for (size_t from = 0; from < input.size(); from += kChunk) {
        const size_t n = std::min(kChunk, input.size() - from);
        std::memcpy(ring.data() + at, input.data() + from, n);
        at = (at + n) % kRingBytes;
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(ring.data());
}

// Copies the input in 4096-byte pieces into a 16 KB ring; returns the seconds per pass.
double CopySecondsPerPass(const std::vector<uint8_t>& input) {
    static std::vector<uint8_t> ring(kRingBytes);
    int passes = 0;
    const double start = CpuSeconds();
    double now = start;
    do {
        CopyPass(input, ring);
        ++passes;
        now = CpuSeconds();
    } while (now - start < 0.2 || passes < 10);
    return (now - start) / passes;
}

void Copy(benchmark::State& state, const std::vector<uint8_t>& input) {
    std::vector<uint8_t> ring(kRingBytes);
    for (auto _ : state) CopyPass(input, ring);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}

void Interpret(benchmark::State& state, const std::vector<uint8_t>& input) {
    CPelinDoc doc;
    ViewState view;
    testing::ScriptedLink link;
    testing::RecordingShell shell;
    CReceiveInterpreter interpreter(doc, view, link, shell);
    constexpr size_t kChunk = 4096;
    std::vector<uint8_t> chunk(kChunk + 1, 0);
    double seconds = 0;
    for (auto _ : state) {
        const double start = CpuSeconds();
        for (size_t at = 0; at < input.size(); at += kChunk) {
            const size_t n = std::min(kChunk, input.size() - at);
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), n, chunk.begin());
            chunk[n] = 0;
            int position = 0;
            int length = static_cast<int>(n);
            interpreter.InterpretReceived(chunk.data(), position, length);
        }
        benchmark::DoNotOptimize(doc.screenBuffer.Row(0));
        seconds += CpuSeconds() - start;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
    const double perPass = seconds / static_cast<double>(state.iterations());
    state.counters["MB_per_s"] = static_cast<double>(input.size()) / perPass / 1e6;
    const double copy = CopySecondsPerPass(input);
    state.counters["x_copy"] = perPass / copy;
    state.counters["copy_GB_per_s"] = static_cast<double>(input.size()) / copy / 1e9;
}

void BM_CopyControllerText(benchmark::State& state) {
    Copy(state, ControllerText(1 << 20));
}
void BM_ControllerText(benchmark::State& state) {
    Interpret(state, ControllerText(1 << 20));
}
void BM_ShiftJisAndEscapes(benchmark::State& state) {
    Interpret(state, WorstCase(1 << 20));
}

BENCHMARK(BM_CopyControllerText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ControllerText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShiftJisAndEscapes)->Unit(benchmark::kMillisecond);

}  // namespace
