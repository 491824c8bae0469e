// Throughput of the receive interpreter, in bytes per second: controller-like text (80-column
// lines ending in CR LF) against a worst case of Shift-JIS pairs, cursor escapes and wraps at
// column 79. Compare the two in the same run; the absolute numbers depend on the machine.
#include <benchmark/benchmark.h>

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

void Interpret(benchmark::State& state, const std::vector<uint8_t>& input) {
    CPelinDoc doc;
    ViewState view;
    testing::ScriptedLink link;
    testing::RecordingShell shell;
    CReceiveInterpreter interpreter(doc, view, link, shell);
    constexpr size_t kChunk = 4096;
    std::vector<uint8_t> chunk(kChunk + 1, 0);
    for (auto _ : state) {
        for (size_t at = 0; at < input.size(); at += kChunk) {
            const size_t n = std::min(kChunk, input.size() - at);
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), n, chunk.begin());
            chunk[n] = 0;
            int position = 0;
            int length = static_cast<int>(n);
            interpreter.InterpretReceived(chunk.data(), position, length);
        }
        benchmark::DoNotOptimize(doc.screenBuffer.Row(0));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
}

void BM_ControllerText(benchmark::State& state) {
    Interpret(state, ControllerText(1 << 20));
}
void BM_ShiftJisAndEscapes(benchmark::State& state) {
    Interpret(state, WorstCase(1 << 20));
}

BENCHMARK(BM_ControllerText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShiftJisAndEscapes)->Unit(benchmark::kMillisecond);

}  // namespace
