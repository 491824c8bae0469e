// A 10 MB burst of controller output through the terminal window (offscreen), arriving on its
// own TCP/IP connection from a controller thread and timed until the burst's final state has
// been painted, against two baselines in the same run: the receive interpreter alone on the same
// bytes in memory, and the interpreter alone reading them from the same kind of connection (the
// kernel's receive costs the same with or without a window). The counters say how many paints
// the burst cost and how much slower the window is than each baseline.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "RecordingShell.h"
#include "app/CommandLine.h"
#include "app/Language.h"
#include "app/PelinDoc.h"
#include "gui/GuiSession.h"
#include "gui/TerminalWidget.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin {
namespace {

constexpr size_t kBurstBytes = 10 * 1024 * 1024;
constexpr int kChunk = 4096;          // one TCP/IP receive chunk
constexpr size_t kReadBlock = 65536;  // one read of the socket

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
    void SendLinkByte(uint8_t) override {}
    void SendLinkBytes(const uint8_t*, size_t) override {}
    size_t SendOnSocket(const uint8_t*, size_t count) override { return count; }
    void PurgeComPort() override {}
};

void Feed(CReceiveInterpreter& interpreter) {
    const std::string& data = Burst();
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t at = 0; at < data.size(); at += kChunk) {
        int position = 0;
        int length = static_cast<int>(std::min<size_t>(kChunk, data.size() - at));
        interpreter.InterpretReceived(bytes + at, position, length);
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
double fromSocketSecondsPerBurst = 0;

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
        Feed(interpreter);
        cpu += CpuSeconds() - cpuStart;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    aloneSecondsPerBurst = seconds / static_cast<double>(state.iterations());
    aloneCpuPerBurst = cpu / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBurstBytes));
    state.counters["repaint_requests"] = benchmark::Counter(shell.repaintRequests / state.iterations());
}
BENCHMARK(BM_InterpreterAlone)->Unit(benchmark::kMillisecond);

// A loopback listener standing in for the controller's telnet port.
struct Controller {
    int listener = -1;
    int port = 0;
    int connection = -1;
    Controller() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(listener, 1) == 0 &&
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
    }
    ~Controller() {
        if (connection >= 0) ::close(connection);
        if (listener >= 0) ::close(listener);
    }
    bool Accept() {
        connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        return connection >= 0;
    }
    // Writes the whole burst, blocking as the terminal's reading allows.
    void Send(const std::string& data) const {
        size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::write(connection, data.data() + sent, data.size() - sent);
            if (n <= 0) return;
            sent += static_cast<size_t>(n);
        }
    }
};

// The interpreter alone, reading the burst from a loopback TCP/IP connection as the window's
// connection does (reads of up to 64 KB handed on in chunks of up to 4096 bytes, waiting in poll
// when the socket is empty).
void BM_InterpreterFromSocket(benchmark::State& state) {
    Burst();
    Controller controller;
    const int reader = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(controller.port));
    if (controller.port == 0 ||
        ::connect(reader, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !controller.Accept()) {
        state.SkipWithError("no loopback connection");
        if (reader >= 0) ::close(reader);
        return;
    }
    CPelinDoc doc;
    ViewState view;
    CNullLink link;
    testing::RecordingShell shell;
    CReceiveInterpreter interpreter(doc, view, link, shell);
    const std::string& data = Burst();
    std::vector<uint8_t> block(kReadBlock);
    std::array<uint8_t, kChunk + 1> chunk{};
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::thread sender([&] { controller.Send(data); });
        size_t received = 0;
        while (received < data.size()) {
            const ssize_t n = ::recv(reader, block.data(), block.size(), MSG_DONTWAIT);
            if (n > 0) {
                received += static_cast<size_t>(n);
                for (size_t at = 0; at < static_cast<size_t>(n); at += kChunk) {
                    const size_t piece = std::min<size_t>(kChunk, static_cast<size_t>(n) - at);
                    std::memcpy(chunk.data(), block.data() + at, piece);
                    chunk[piece] = 0;
                    int position = 0;
                    int length = static_cast<int>(piece);
                    interpreter.InterpretReceived(chunk.data(), position, length);
                }
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p{reader, POLLIN, 0};
                ::poll(&p, 1, -1);
            } else {
                break;
            }
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sender.join();
    }
    ::close(reader);
    fromSocketSecondsPerBurst = seconds / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBurstBytes));
    if (aloneSecondsPerBurst > 0)
        state.counters["x_interpreter_alone"] = fromSocketSecondsPerBurst / aloneSecondsPerBurst;
}
BENCHMARK(BM_InterpreterFromSocket)->Unit(benchmark::kMillisecond);

// The window built as the program builds it (the frame's idle turn after every readiness
// included), connected through its own TCP/IP connection to a controller that sends the burst
// from a thread of its own, as a controller on the network does. CPU time is this thread's:
// the terminal's, without the sender's.
void BM_BurstThroughWindow(benchmark::State& state) {
    Burst();
    App();
    Controller controller;
    char folderTemplate[] = "/tmp/window_bench.XXXXXX";
    const char* folder = ::mkdtemp(folderTemplate);
    if (controller.port == 0 || folder == nullptr) {
        state.SkipWithError("no loopback listener or temporary folder");
        return;
    }
    const std::string ini = std::string(folder) + "/bench.ini";
    if (FILE* f = std::fopen(ini.c_str(), "w")) {
        std::fputs("[Settings]\r\nLanguage=1\r\nIsAutoConnect=0\r\n", f);
        std::fclose(f);
    }
    {
        CGuiSession session(
            ParseCommandLine({"-F" + ini, "-C=127.0.0.1:" + std::to_string(controller.port) + ":Bench"}),
            "window_bench");
        CPelinDoc& doc = session.doc;
        CMainFrame& frame = session.frame;
        size_t received = 0;
        session.view.SetReceptionObserver(
            [&] { received += static_cast<size_t>(std::max(doc.tcpChunk.length, 0)); });
        session.Start();
        for (int turn = 0; turn < 1000 && doc.connected == 0; ++turn)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (doc.connected == 0 || !controller.Accept()) {
            state.SkipWithError("the window did not connect");
        } else {
            const std::string& data = Burst();
            double seconds = 0;
            double cpu = 0;
            double tailSeconds = 0;
            int paints = 0;
            for (auto _ : state) {
                const int before = frame.Terminal()->PaintCount();
                received = 0;
                const auto start = std::chrono::steady_clock::now();
                const double cpuStart = CpuSeconds();
                std::thread sender([&] { controller.Send(data); });
                while (received < data.size()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                const auto got = std::chrono::steady_clock::now();
                while (frame.Terminal()->RepaintPending())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                const auto end = std::chrono::steady_clock::now();
                cpu += CpuSeconds() - cpuStart;
                sender.join();
                tailSeconds += std::chrono::duration<double>(end - got).count();
                seconds += std::chrono::duration<double>(end - start).count();
                paints += frame.Terminal()->PaintCount() - before;
            }
            const double perBurst = seconds / static_cast<double>(state.iterations());
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBurstBytes));
            state.counters["paints"] = benchmark::Counter(paints / static_cast<double>(state.iterations()));
            state.counters["tail_ms"] = tailSeconds * 1000 / static_cast<double>(state.iterations());
            if (aloneSecondsPerBurst > 0)
                state.counters["x_interpreter_alone"] = perBurst / aloneSecondsPerBurst;
            if (fromSocketSecondsPerBurst > 0)
                state.counters["x_interpreter_from_socket"] = perBurst / fromSocketSecondsPerBurst;
            if (aloneCpuPerBurst > 0)
                state.counters["x_cpu"] = cpu / static_cast<double>(state.iterations()) / aloneCpuPerBurst;
        }
        frame.FinishView();
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_BurstThroughWindow)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrin
