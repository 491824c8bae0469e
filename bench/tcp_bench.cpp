// Throughput of the TCP/IP path through `tavrin --headless`, each against a plain loopback
// socket copy of the same bytes in the same run: a 10 MB burst of controller output shown on
// the terminal, and a 1 MB program saved to and loaded from the PC through tavrin-sim.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"

namespace {

using tavrin::testing::TempFolder;
using Clock = std::chrono::steady_clock;

constexpr size_t kBurstBytes = 10u << 20;
constexpr size_t kProgramBytes = 1u << 20;

// The programs are found beside this build's bench folder.
std::string BuildFile(const std::string& relative) {
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path().parent_path() / relative).string();
}

struct Listener {
    int fd = -1;
    int port = 0;
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 1);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd); }
};

int Connect(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

void WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

size_t ReadAll(int fd, size_t expected) {
    std::vector<char> buffer(65536);
    size_t got = 0;
    while (got < expected) {
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

// Controller output: 80-column lines of text, then a last line the reader waits for.
std::string BurstText() {
    std::string text;
    text.reserve(kBurstBytes + 100);
    for (int line = 0; text.size() < kBurstBytes; ++line) {
        std::string row = "  POINT #p" + std::to_string(line) + " = TRANS(100,200,300,0,90,0)";
        row.resize(78, '.');
        text += row + "\r\n";
    }
    return text + "END OF BURST\r\n";
}

// The baseline: the same bytes through one loopback connection into a reader.
void BM_BurstPlainSocket(benchmark::State& state) {
    const std::string text = BurstText();
    for (auto _ : state) {
        Listener listener;
        int client = Connect(listener.port);
        int server = ::accept(listener.fd, nullptr, nullptr);
        const auto start = Clock::now();
        std::thread writer([&] { WriteAll(server, text); });
        benchmark::DoNotOptimize(ReadAll(client, text.size()));
        writer.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        ::close(client);
        ::close(server);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The terminal shows every row on stdout; the time runs until the last row has been printed.
void BM_BurstThroughTerminal(benchmark::State& state) {
    const std::string text = BurstText();
    TempFolder folder;
    tavrin::testing::WriteSettings(folder / "t.ini", {});
    for (auto _ : state) {
        Listener listener;
        int out[2];
        if (::pipe(out) != 0) break;
        const std::string ini = "-F" + folder / "t.ini";
        const std::string connection = "-C=127.0.0.1:" + std::to_string(listener.port) + ":Burst";
        const std::string program = BuildFile("src/tavrin");
        pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            int sink[2];
            if (::pipe(sink) == 0) ::dup2(sink[0], STDIN_FILENO);  // input stays open
            if (::chdir(folder.Path().c_str()) != 0) ::_exit(126);
            ::execl(program.c_str(), program.c_str(), "--headless", ini.c_str(), connection.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        int server = ::accept(listener.fd, nullptr, nullptr);
        char offer[3];
        ReadAll(server, sizeof offer);
        const auto start = Clock::now();
        std::thread writer([&] { WriteAll(server, text); });
        std::string tail;
        std::vector<char> buffer(65536);
        for (;;) {
            ssize_t n = ::read(out[0], buffer.data(), buffer.size());
            if (n <= 0) break;
            tail.append(buffer.data(), static_cast<size_t>(n));
            if (tail.find("END OF BURST\n") != std::string::npos) break;
            if (tail.size() > 64) tail.erase(0, tail.size() - 64);
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        writer.join();
        ::kill(pid, SIGTERM);
        // Drain until the terminal has gone, so it never blocks on a full pipe.
        while (::read(out[0], buffer.data(), buffer.size()) > 0) {
        }
        ::waitpid(pid, nullptr, 0);
        ::close(out[0]);
        ::close(server);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The baseline of a save and a load: the program's bytes copied once each way.
void BM_SaveLoadPlainSocket(benchmark::State& state) {
    const std::string program = tavrin::testing::ProgramText(kProgramBytes, "big");
    for (auto _ : state) {
        Listener listener;
        int client = Connect(listener.port);
        int server = ::accept(listener.fd, nullptr, nullptr);
        const auto start = Clock::now();
        std::thread there([&] { WriteAll(server, program); });
        ReadAll(client, program.size());
        there.join();
        std::thread back([&] { WriteAll(client, program); });
        ReadAll(server, program.size());
        back.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        ::close(client);
        ::close(server);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * program.size() * 2));
}

// "save" of a 1 MB program from tavrin-sim to the PC, then "load" of it back, typed at the
// terminal; the time runs from the first command to the controller's result line of the second.
void BM_SaveLoadThroughTerminal(benchmark::State& state) {
    const std::string program = tavrin::testing::ProgramText(kProgramBytes, "big");
    TempFolder folder;
    const std::string disk = folder / "disk", pc = folder / "pc";
    std::filesystem::create_directory(disk);
    std::filesystem::create_directory(pc);
    tavrin::testing::WriteSettings(folder / "t.ini", {});
    for (auto _ : state) {
        tavrin::testing::WriteWholeFile(disk + "/big.as", program);
        tavrin::testing::SimProcess sim({"--tcp", "0", "--disk", disk}, BuildFile("tools/sim/tavrin-sim"));
        tavrin::testing::HeadlessProcess terminal(
            {"-F" + folder / "t.ini", "-C=127.0.0.1:" + std::to_string(sim.TcpPort()) + ":Big"},
            folder.Path(), {}, BuildFile("src/tavrin"));
        if (!terminal.WaitForOutput("Type help for the commands.", 5000)) {
            state.SkipWithError("the terminal did not connect");
            break;
        }
        const auto start = Clock::now();
        terminal.TypeLine("save " + pc + "/big.as");
        const bool saved = terminal.WaitForOutput("Saved big.as", 60000);
        terminal.TypeLine("load " + pc + "/big.as");
        const bool loaded = terminal.WaitForOutput("Loaded big.as", 60000);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (!saved || !loaded) {
            state.SkipWithError("the transfer did not finish");
            break;
        }
        terminal.CloseInput();
        terminal.WaitExit(5000);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * program.size() * 2));
}

}  // namespace

BENCHMARK(BM_BurstPlainSocket)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BurstThroughTerminal)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveLoadPlainSocket)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SaveLoadThroughTerminal)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
