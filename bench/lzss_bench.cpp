// LZSS block coder throughput on controller-program-like text, in bytes of plain text per
// second. The copy baseline in the same run gives the ratios that matter.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "transfer/Lzss.h"

namespace {

using tavrin::CLzssCoder;

std::string ProgramText(size_t size) {
    static const char* lines[] = {".PROGRAM pick.place()\r\n",
                                  "  SPEED 50 ALWAYS\r\n",
                                  "  JMOVE #home\r\n",
                                  "  LMOVE pick[i]\r\n",
                                  "  CLAMP 1\r\n",
                                  "  TWAIT 0.5\r\n",
                                  "  IF SIG(1001) THEN\r\n",
                                  "    POINT a = SHIFT(b BY 10,0,0)\r\n",
                                  "  END\r\n",
                                  ".END\r\n"};
    std::mt19937 rng(7);
    std::string text;
    while (text.size() < size) {
        text += lines[rng() % 10];
        if (rng() % 4 == 0) text += "  ; step " + std::to_string(rng() % 1000) + "\r\n";
    }
    text.resize(size);
    return text;
}

constexpr size_t kTextSize = 256 * 1024;
constexpr size_t kChunk = 4096;  // the serial load compresses one file chunk per call

std::vector<uint8_t> CompressAll(const std::string& text) {
    CLzssCoder coder;
    std::vector<uint8_t> codes;
    std::vector<uint8_t> out(CLzssCoder::CompressedBound(kChunk) + 1);
    std::vector<uint8_t> piece(kChunk + 1);
    for (size_t at = 0; at < text.size(); at += kChunk) {
        const size_t n = std::min(kChunk, text.size() - at);
        std::memcpy(piece.data(), text.data() + at, n);
        piece[n] = 0;
        const size_t got = coder.CompressText(piece.data(), out.data(), 0);
        codes.insert(codes.end(), out.begin(), out.begin() + got);
    }
    const uint8_t empty[1] = {0};
    const size_t got = coder.CompressText(empty, out.data(), 1);
    codes.insert(codes.end(), out.begin(), out.begin() + got);
    return codes;
}

void BM_CopyBaseline(benchmark::State& state) {
    const std::string text = ProgramText(kTextSize);
    std::vector<uint8_t> out(kChunk + 1);
    for (auto _ : state) {
        for (size_t at = 0; at < text.size(); at += kChunk) {
            std::memcpy(out.data(), text.data() + at, std::min(kChunk, text.size() - at));
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_Compress(benchmark::State& state) {
    const std::string text = ProgramText(kTextSize);
    size_t codes = 0;
    for (auto _ : state) {
        codes = CompressAll(text).size();
        benchmark::DoNotOptimize(codes);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["ratio"] = double(codes) / double(text.size());
}

void BM_Decompress(benchmark::State& state) {
    const std::string text = ProgramText(kTextSize);
    const std::vector<uint8_t> codes = CompressAll(text);
    std::vector<uint8_t> out(4096 + 1);
    const size_t block = 128;  // serial blocks
    for (auto _ : state) {
        CLzssCoder coder;
        size_t plain = 0;
        for (size_t at = 0; at < codes.size(); at += block)
            plain += coder.DecompressBlock(codes.data() + at, std::min(block, codes.size() - at), out.data(),
                                           out.size());
        benchmark::DoNotOptimize(plain);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

BENCHMARK(BM_CopyBaseline);
BENCHMARK(BM_Compress);
BENCHMARK(BM_Decompress);

}  // namespace
