// Serial receive throughput: bytes written at full speed on a pty's master side, read by
// `tavrin --headless` through its serial poll into the screen (timed until the last row is
// printed on its stdout), against the same bytes read from a pty by `cat` in the same run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "e2e/HeadlessProcess.h"

namespace {

using tavrin::testing::HeadlessProcess;
using tavrin::testing::TempFolder;
using tavrin::testing::WriteWholeFile;
using Clock = std::chrono::steady_clock;

constexpr size_t kBurstBytes = 2u << 20;
constexpr char kLastRow[] = "END OF BURST";

std::string BuildFile(const std::string& relative) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / relative).string();
}

// 78 printable characters and CR LF a row, then the closing row.
std::string Burst() {
    std::string text;
    for (int row = 0; text.size() + 80 <= kBurstBytes; ++row) {
        std::string line = "row " + std::to_string(row) + " ";
        while (line.size() < 78) line += static_cast<char>('A' + line.size() % 26);
        text += line + "\r\n";
    }
    return text + kLastRow + "\r\n";
}

struct Pty {
    int master = -1;
    std::string slavePath;
    Pty() {
        int slave = -1;
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        // Raw, so the reader gets the bytes as they are and nothing is echoed back.
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);
        slavePath = name;
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    void WriteAll(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<size_t>(n);
            if (n < 0 && errno != EINTR && errno != EAGAIN) return;
        }
    }
};

void BM_SerialBurstThroughTerminal(benchmark::State& state) {
    const std::string burst = Burst();
    for (auto _ : state) {
        TempFolder folder("tavrin-poll-bench");
        Pty pty;
        WriteWholeFile(folder / "tavrin.ini", "[Ports]\r\nCOM3=" + pty.slavePath + "\r\n");
        HeadlessProcess tavrin({"-C=COM3:115200:8:1:none", "-F" + (folder / "tavrin.ini")}, folder.Path(), {},
                               BuildFile("src/tavrin"));
        // The terminal has opened and purged its port when its line feed arrives.
        // Until then the master reports a hang-up (nobody holds the slave), so poll again.
        bool opened = false;
        for (const auto deadline = Clock::now() + std::chrono::seconds(5);
             !opened && Clock::now() < deadline;) {
            pollfd p{pty.master, POLLIN, 0};
            char lf = 0;
            if (::poll(&p, 1, 50) > 0 && ::read(pty.master, &lf, 1) == 1)
                opened = lf == '\n';
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!opened) {
            state.SkipWithError("the terminal did not open the pty");
            break;
        }
        const auto start = Clock::now();
        std::thread writer([&] { pty.WriteAll(burst); });
        const bool shown = tavrin.WaitForOutput(std::string(kLastRow) + "\n", 60000);
        const auto end = Clock::now();
        writer.join();
        if (!shown) {
            state.SkipWithError("the last row never reached stdout");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        tavrin.Terminate();
        tavrin.WaitExit(5000);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * burst.size()));
}

void BM_SerialBurstThroughCat(benchmark::State& state) {
    const std::string burst = Burst();
    for (auto _ : state) {
        Pty pty;
        int out[2];
        if (::pipe(out) != 0) break;
        pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execlp("cat", "cat", pty.slavePath.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // Wait until cat holds the slave open, or its input would be lost with nobody reading.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = Clock::now();
        std::thread writer([&] { pty.WriteAll(burst); });
        size_t got = 0;
        char buffer[65536];
        while (got < burst.size()) {
            ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        const auto end = Clock::now();
        writer.join();
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        ::close(out[0]);
        if (got < burst.size()) {
            state.SkipWithError("cat did not deliver every byte");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * burst.size()));
}

// The baseline first, then the terminal: compare the bytes_per_second of the two.
BENCHMARK(BM_SerialBurstThroughCat)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerialBurstThroughTerminal)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
