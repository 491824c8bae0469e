// Serial transfer efficiency: tavrin-sim emulates a 115200-baud line with two stop bits (11 bits
// a byte, 10,472 bytes/s) in both directions, and `tavrin --headless` saves a 20 KB program to
// the PC and loads it back, plain and compressed. Each is timed from the typed command to the
// controller's result line; file bytes per second are set against the line rate measured in
// the same run (the controller printing the program on the same paced line), so the
// terminal's own turnaround delays show as the gap between the two.
//
// The record protocol's own framing (ENQ/ACK/EOT turns, record headers, checksums, the request
// records of a load) costs line time too. The simulator logs every byte of the link, so each
// transfer's framing limit is the time the line needs for the bytes that actually passed in
// both directions during it (the exchanges take turns, so the two directions add up); the
// counter of_framing_limit is that time over the measured time.
//
// The BM_NetworkSerial... runs do the same through ser2net (telnet with the COM-PORT-OPTION on
// loopback) in front of the same paced pty: the terminal's side is then a network serial port
// ("rfc2217://127.0.0.1:PORT" in [Ports]), and its share of the framing limit should match the
// local port's.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "e2e/HeadlessProcess.h"
#include "e2e/Ser2netProcess.h"
#include "e2e/SimProcess.h"

namespace {

using tavrin::testing::HeadlessProcess;
using tavrin::testing::ReadWholeFile;
using tavrin::testing::SimProcess;
using tavrin::testing::SimWire;
using tavrin::testing::TempFolder;
using tavrin::testing::WriteWholeFile;
using Clock = std::chrono::steady_clock;

constexpr double kLineBytesPerSecond = 115200.0 / 11.0;

std::string BuildFile(const std::string& relative) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / relative).string();
}

std::string PalletProgram() {
    std::string text = ".PROGRAM pallet()\n";
    for (int i = 0; text.size() < 20000; ++i)
        text += "  LMOVE SHIFT(base BY " + std::to_string(i % 7 * 50) + ", " + std::to_string(i / 7 * 40) +
                ", 0)\n  BREAK\n";
    return text + ".END\n";
}

std::vector<std::string> PacedSim(const std::string& disk, const std::string& log = "") {
    std::vector<std::string> args{"--pty", "--disk", disk, "--baud", "115200", "--frame-bits", "11"};
    if (!log.empty()) args.insert(args.end(), {"--log", log, "--log-turns"});
    return args;
}

// Bytes of the link that the simulator's log holds from byte `from` of the log file on: each
// "RX"/"TX" line lists the bytes of one chunk in hex. `end` receives where the log ended;
// turnSeconds and turns (both or neither) get the waits for the terminal's answers added
// ("# turn MICROSECONDS").
size_t LoggedLinkBytes(const std::string& log, std::streamoff from, std::streamoff& end,
                       double* turnSeconds = nullptr, size_t* turns = nullptr) {
    std::ifstream in(log, std::ios::binary);
    in.seekg(from);
    size_t bytes = 0;
    std::string line;
    std::streamoff complete = from;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // a line still being written is counted next time
        complete = in.tellg();
        if (turnSeconds != nullptr && line.rfind("# turn ", 0) == 0) {
            *turnSeconds += std::stod(line.substr(7)) / 1e6;
            ++*turns;
        }
        if (line.rfind("RX ", 0) != 0 && line.rfind("TX ", 0) != 0) continue;
        std::istringstream hex(line.substr(3));
        std::string token;
        while (hex >> token) ++bytes;
    }
    end = complete;
    return bytes;
}

// The machine's own turn: a byte written on a pty's master and echoed by a bare loop in another
// process on the slave, back on the master. Each wait of the transfer for the terminal's answer
// holds such a turn (two trips through the pty, two processes woken), whatever the terminal
// does; a terminal that answered at once would wait this long. The mean over 500 turns, in us.
double PtyEchoTurnMicroseconds() {
    int master = -1;
    int slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master, &slave, nullptr, &raw, nullptr) != 0) return 0;
    const pid_t echo = ::fork();
    if (echo == 0) {
        ::close(master);
        uint8_t byte = 0;
        for (;;) {
            pollfd p{slave, POLLIN, 0};
            ::poll(&p, 1, -1);
            if (::read(slave, &byte, 1) != 1 || ::write(slave, &byte, 1) != 1) ::_exit(0);
        }
    }
    ::close(slave);
    double total = 0;
    constexpr int kTurns = 500;
    for (int i = 0; i < kTurns; ++i) {
        uint8_t byte = 0x05;
        const auto start = Clock::now();
        if (::write(master, &byte, 1) != 1) break;
        pollfd p{master, POLLIN, 0};
        ::poll(&p, 1, 1000);
        if (::read(master, &byte, 1) != 1) break;
        total += std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        ::usleep(200);  // both sides asleep again, as between the turns of a transfer
    }
    ::close(master);
    ::kill(echo, SIGTERM);
    ::waitpid(echo, nullptr, 0);
    return total / kTurns;
}

// Rate counters are taken over CPU time, so the share of the line rate is worked out here from
// the timed seconds.
void SetLineCounters(benchmark::State& state, size_t bytes, double seconds) {
    const double total = static_cast<double>(state.iterations() * bytes);
    state.SetBytesProcessed(static_cast<int64_t>(total));
    if (seconds > 0) state.counters["of_line_rate"] = total / seconds / kLineBytesPerSecond;
}

// The baseline: the paced line itself, carrying the program's listing (LF sent as CR LF) from
// the controller to a plain reader of the pty.
void BM_PacedLineListing(benchmark::State& state) {
    TempFolder folder("tavrin-transfer-bench");
    ::mkdir((folder / "disk").c_str(), 0755);
    WriteWholeFile(folder / "disk/pallet.as", PalletProgram());
    SimProcess sim(PacedSim(folder / "disk"), BuildFile("tools/sim/tavrin-sim"));
    SimWire wire = SimWire::OpenPty(sim.PtyPath());
    if (wire.ReadUntil("commands.\r\n>", 5000).empty()) {
        state.SkipWithError("no banner from the simulator");
        return;
    }
    size_t listed = 0;
    double seconds = 0;
    for (auto _ : state) {
        wire.Write("type pallet.as\r");
        wire.ReadUntil("\r\n", 2000);  // the echo
        const auto start = Clock::now();
        const std::string listing = wire.ReadUntil(".END\r\n>", 20000);
        const auto end = Clock::now();
        listed = listing.size();
        const double elapsed = std::chrono::duration<double>(end - start).count();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    SetLineCounters(state, listed, seconds);
}

// word: save or load with its switch; the program goes one way each iteration.
void RunTransfer(benchmark::State& state, const std::string& word, const char* result, bool network = false) {
    TempFolder folder("tavrin-transfer-bench");
    ::mkdir((folder / "disk").c_str(), 0755);
    ::mkdir((folder / "progs").c_str(), 0755);
    const std::string program = PalletProgram();
    WriteWholeFile(folder / "disk/pallet.as", program);
    WriteWholeFile(folder / "progs/pallet.as", program);
    const std::string log = folder / "link.log";
    SimProcess sim(PacedSim(folder / "disk", log), BuildFile("tools/sim/tavrin-sim"));
    std::string device = sim.PtyPath();
    std::unique_ptr<tavrin::testing::Ser2netProcess> server;
    if (network) {
        if (!tavrin::testing::Ser2netAvailable()) {
            state.SkipWithError("ser2net is not installed");
            return;
        }
        const int port = tavrin::testing::UnusedLoopbackPort();
        // As docs/serial-ports.md advises: bytes from the controller go on at once.
        server = std::make_unique<tavrin::testing::Ser2netProcess>(
            folder.Path(), device, port, "    kickolduser: false\n    chardelay: false\n");
        if (!server->Start()) {
            state.SkipWithError("ser2net did not start");
            return;
        }
        device = "rfc2217://127.0.0.1:" + std::to_string(port);
    }
    WriteWholeFile(folder / "tavrin.ini", "[Ports]\r\nCOM3=" + device + "\r\n");
    HeadlessProcess tavrin({"-C=COM3:115200:8:2:none", "-F" + (folder / "tavrin.ini")}, folder.Path(), {},
                           BuildFile("src/tavrin"));
    if (!tavrin.WaitForOutput("Type help for the commands.", 10000)) {
        state.SkipWithError("no banner on the terminal");
        return;
    }
    const std::string command = word + " " + (folder / "progs/pallet.as");
    double seconds = 0;
    double lineSeconds = 0;  // what the line needs for the bytes of the transfers
    double turnSeconds = 0;  // what the line waited for the terminal's answers
    size_t turns = 0;
    std::streamoff logAt = 0;
    LoggedLinkBytes(log, 0, logAt);
    for (auto _ : state) {
        const size_t mark = tavrin.OutputMark();
        const auto start = Clock::now();
        tavrin.TypeLine(command);
        const bool done = tavrin.WaitForOutput(result, 60000, mark);
        const auto end = Clock::now();
        if (!done || tavrin.Output().find("error", mark) != std::string::npos) {
            state.SkipWithError(("the transfer failed: " + tavrin.Output().substr(mark)).c_str());
            break;
        }
        const double elapsed = std::chrono::duration<double>(end - start).count();
        seconds += elapsed;
        state.SetIterationTime(elapsed);
        state.PauseTiming();
        ::usleep(100000);  // the log's last lines
        lineSeconds += static_cast<double>(LoggedLinkBytes(log, logAt, logAt, &turnSeconds, &turns)) /
                       kLineBytesPerSecond;
        state.ResumeTiming();
    }
    if (seconds > 0) {
        state.counters["of_framing_limit"] = lineSeconds / seconds;
        state.counters["not_waiting_for_terminal"] = 1 - turnSeconds / seconds;
        if (turns > 0) {
            const double echo = PtyEchoTurnMicroseconds();
            state.counters["turn_us"] = turnSeconds * 1e6 / static_cast<double>(turns);
            state.counters["pty_echo_turn_us"] = echo;
            // The same transfer with each of the terminal's turns taken by the bare echo: what
            // a terminal answering at once could reach on this machine.
            state.counters["echo_of_framing_limit"] =
                lineSeconds / (seconds - turnSeconds + static_cast<double>(turns) * echo / 1e6);
        }
        state.counters["framing_share_of_line"] =
            static_cast<double>(state.iterations() * program.size()) / kLineBytesPerSecond / lineSeconds;
    }
    if (ReadWholeFile(folder / "progs/pallet.as") != program ||
        ReadWholeFile(folder / "disk/pallet.as") != program)
        state.SkipWithError("the program changed on the way");
    SetLineCounters(state, program.size(), seconds);
}

void BM_SerialSave(benchmark::State& state) {
    RunTransfer(state, "save", "Saved pallet.as");
}
void BM_SerialSaveCompressed(benchmark::State& state) {
    RunTransfer(state, "save/c", "Saved pallet.as");
}
void BM_SerialLoad(benchmark::State& state) {
    RunTransfer(state, "load", "Loaded pallet.as");
}
void BM_SerialLoadCompressed(benchmark::State& state) {
    RunTransfer(state, "load/c", "Loaded pallet.as");
}

void BM_NetworkSerialSave(benchmark::State& state) {
    RunTransfer(state, "save", "Saved pallet.as", true);
}
void BM_NetworkSerialSaveCompressed(benchmark::State& state) {
    RunTransfer(state, "save/c", "Saved pallet.as", true);
}
void BM_NetworkSerialLoad(benchmark::State& state) {
    RunTransfer(state, "load", "Loaded pallet.as", true);
}
void BM_NetworkSerialLoadCompressed(benchmark::State& state) {
    RunTransfer(state, "load/c", "Loaded pallet.as", true);
}

BENCHMARK(BM_PacedLineListing)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerialSave)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerialSaveCompressed)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerialLoad)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerialLoadCompressed)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK(BM_NetworkSerialSave)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetworkSerialSaveCompressed)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetworkSerialLoad)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NetworkSerialLoadCompressed)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
