// The connection list in the settings file: save and load of 64 and 256 entries, as every start
// and exit of the program does, in a file that also holds the other settings sections. The
// numbers are compared with the same benchmark on earlier code in docs/benchmarks.md.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/PelinDoc.h"
#include "link/ConnectionListStore.h"

namespace {

using namespace tavrin;

struct Folder {
    std::string path;
    Folder() {
        char pattern[] = "/tmp/tavrin-settings-bench-XXXXXX";
        const char* made = mkdtemp(pattern);
        path = made != nullptr ? made : "/tmp";
    }
    ~Folder() {
        std::error_code ignored;
        if (path != "/tmp") std::filesystem::remove_all(path, ignored);
    }
};

CPelinDoc ListOf(int entries) {
    CPelinDoc doc;
    for (int i = 0; i < entries; ++i) {
        ConnectionEntry e;
        e.IsTcp = i % 2;
        e.Order = i;
        e.Item = e.IsTcp ? "192.168.0." + std::to_string(i % 250) + ":23:Robot" + std::to_string(i)
                         : "COM" + std::to_string(i % 9 + 1) + ":9600:8:2:none";
        e.TcpName = "Robot" + std::to_string(i);
        e.Ip = "192.168.0." + std::to_string(i % 250);
        e.TcpPort = 23;
        e.ComPort = i % 9;
        e.Baud = 9600;
        e.DataBits = 8;
        e.StopBits = 2;
        doc.connections.push_back(e);
    }
    return doc;
}

void WriteOtherSettings(const std::string& file) {
    std::ofstream out(file, std::ios::binary);
    out << "[Settings]\r\nLanguage=1\r\nTimeout=600\r\nLoginPrompt=login: \r\n\r\n[Font]\r\nHeight=-16\r\n"
           "FaceName=Fixedsys\r\n\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n";
}

void BM_SaveConnectionList(benchmark::State& state) {
    Folder folder;
    const std::string file = folder.path + "/tavrin.ini";
    const CPelinDoc doc = ListOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        WriteOtherSettings(file);
        state.ResumeTiming();
        if (!SaveConnectionList(doc, file)) state.SkipWithError("the list was not saved");
    }
}

void BM_LoadConnectionList(benchmark::State& state) {
    Folder folder;
    const std::string file = folder.path + "/tavrin.ini";
    const int entries = static_cast<int>(state.range(0));
    WriteOtherSettings(file);
    SaveConnectionList(ListOf(entries), file);
    CPelinDoc doc;
    for (auto _ : state) {
        if (LoadConnectionList(doc, file) != entries) state.SkipWithError("the list did not load whole");
    }
}

BENCHMARK(BM_SaveConnectionList)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadConnectionList)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

}  // namespace
