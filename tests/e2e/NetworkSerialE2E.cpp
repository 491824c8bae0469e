// The network serial port end to end: tavrin --headless reaches tavrin-sim's pty through a real
// ser2net speaking telnet with the COM-PORT-OPTION (RFC 2217). The frame the terminal asks for
// reaches the pty, transfers are byte-exact, a server that goes away is an unplug followed by a
// reconnect, and a port another client holds is reported in use.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "e2e/HeadlessSerialSession.h"
#include "e2e/Ser2netProcess.h"

namespace tavrin::testing {
namespace {

// About 20 KB of program text with CP932 bytes and every byte value the telnet layer escapes.
std::string ProgramText(int variant) {
    std::string text =
        ".PROGRAM conveyor()\n  ; \x83\x52\x83\x93\x83\x78\x83\x41 v" + std::to_string(variant) + "\n";
    for (int i = 0; text.size() < 20000; ++i)
        text += "  LMOVE SHIFT(p BY " + std::to_string(i % 9 * 25) + ", 0, 0)\n  SIGNAL " +
                std::to_string(i % 32) + "\n";
    return text + ".END\n";
}

// 0xFF, telnet's IAC, in every position of a plain block.
std::string IacData(int variant) {
    std::string bytes;
    for (int i = 0; i < 900; ++i) bytes += static_cast<char>(i % 3 == 0 ? 0xFF : (i * 11 + variant) % 256);
    return bytes;
}

std::string SttyLine(const std::string& device) {
    std::string line;
    FILE* pipe = ::popen(("stty -F " + device + " -a 2>&1").c_str(), "r");
    if (pipe == nullptr) return line;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) line += buffer;
    ::pclose(pipe);
    return line;
}

bool HasWord(const std::string& text, const std::string& word) {
    const std::string padded = " " + text + " ";
    size_t at = 0;
    while ((at = padded.find(word, at)) != std::string::npos) {
        const char before = padded[at - 1];
        const char after = padded[at + word.size()];
        if ((before == ' ' || before == '\n') && (after == ' ' || after == '\n' || after == ';')) return true;
        ++at;
    }
    return false;
}

struct NetworkSession {
    explicit NetworkSession(const std::vector<std::string>& simArgs = {}) {
        if (!s.StartSim(simArgs)) return;
        port = UnusedLoopbackPort();
        server = std::make_unique<Ser2netProcess>(s.folder.Path(), s.sim->PtyPath(), port);
        started = server->Start();
    }
    std::string Address() const { return "rfc2217://127.0.0.1:" + std::to_string(port); }

    HeadlessSerialSession s;
    int port = 0;
    std::unique_ptr<Ser2netProcess> server;
    bool started = false;
};

TEST(NetworkSerialE2E, TheFrameReachesThePtyAndSavesAndLoadsAreByteExact) {
    if (!Ser2netAvailable()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps test)";
    NetworkSession n;
    ASSERT_TRUE(n.started);
    // The saved connection names COM3; [Ports] maps it to the server.
    n.s.StartTerminal(n.Address(), "COM3:115200:8:2:odd");
    ASSERT_TRUE(n.s.tavrin->WaitForOutput(kBannerEnd, 5000)) << n.s.tavrin->Output() << n.s.tavrin->Errors();

    // A pty keeps the rate, the stop bits and the parity's sense (not the parity's presence).
    const std::string stty = SttyLine(n.s.sim->PtyPath());
    EXPECT_NE(stty.find("speed 115200 baud"), std::string::npos) << stty;
    EXPECT_TRUE(HasWord(stty, "cstopb")) << stty;
    EXPECT_TRUE(HasWord(stty, "parodd")) << stty;
    EXPECT_TRUE(HasWord(stty, "-crtscts")) << stty;

    struct Case {
        const char* name;
        const char* word;
        const char* file;
        std::string (*content)(int);
        bool compressed;
    };
    const Case cases[] = {
        {"plain, every 0xFF escaped", "save", "iac.dat", IacData, false},
        {"plain program", "save", "conveyor.as", ProgramText, false},
        {"compressed program", "save/c", "conveyor.as", ProgramText, true},
    };
    int variant = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string suffix = c.compressed ? " (compressed)." : ".";
        const std::string pcFile = n.s.Progs() + "/" + c.file;
        WriteWholeFile(n.s.Disk() + "/" + c.file, c.content(variant));
        ASSERT_TRUE(n.s.Command(std::string(c.word) + " " + pcFile,
                                "Saved " + std::string(c.file) + ", " +
                                    std::to_string(c.content(variant).size()) + " bytes" + suffix,
                                10000))
            << n.s.tavrin->Output();
        EXPECT_EQ(ReadWholeFile(pcFile), c.content(variant));
        ++variant;
        WriteWholeFile(pcFile, c.content(variant));
        std::string load = c.word;
        load.replace(0, 4, "load");
        ASSERT_TRUE(n.s.Command(load + " " + pcFile,
                                "Loaded " + std::string(c.file) + ", " +
                                    std::to_string(c.content(variant).size()) + " bytes" + suffix,
                                10000))
            << n.s.tavrin->Output();
        EXPECT_EQ(ReadWholeFile(n.s.Disk() + "/" + c.file), c.content(variant));
        ++variant;
    }
    EXPECT_EQ(n.s.tavrin->Output().find("Communication error"), std::string::npos) << n.s.tavrin->Output();
    EXPECT_EQ(n.s.Finish(), 0) << n.s.tavrin->Errors();
}

TEST(NetworkSerialE2E, AServerThatGoesAwayIsAnUnplugAndItsReturnReconnects) {
    if (!Ser2netAvailable()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps test)";
    NetworkSession n;
    ASSERT_TRUE(n.started);
    n.s.StartTerminal(n.Address(), n.Address() + ":9600:8:1:none");
    ASSERT_TRUE(n.s.tavrin->WaitForOutput(kBannerEnd, 5000)) << n.s.tavrin->Output() << n.s.tavrin->Errors();

    const size_t mark = n.s.tavrin->OutputMark();
    n.server->Stop();
    ASSERT_TRUE(n.s.tavrin->WaitForOutput(n.Address() + " was lost: disconnected.", 5000, mark))
        << n.s.tavrin->Output();
    EXPECT_TRUE(n.s.tavrin->WaitForOutput("Waiting for " + n.Address() + " to come back.", 2000, mark));

    ASSERT_TRUE(n.server->Start());
    ASSERT_TRUE(n.s.tavrin->WaitForOutput(n.Address() + " is back: reconnected.", 5000, mark))
        << n.s.tavrin->Output();
    EXPECT_TRUE(n.s.Command("dir", "programs,")) << n.s.tavrin->Output();
    EXPECT_EQ(n.s.Finish(), 0) << n.s.tavrin->Errors();
}

TEST(NetworkSerialE2E, APortAnotherClientHoldsIsReportedInUse) {
    if (!Ser2netAvailable()) GTEST_SKIP() << "ser2net is not installed (scripts/install-deps test)";
    NetworkSession n;
    ASSERT_TRUE(n.started);
    n.s.StartTerminal(n.Address(), n.Address() + ":9600:8:1:none");
    ASSERT_TRUE(n.s.tavrin->WaitForOutput(kBannerEnd, 5000)) << n.s.tavrin->Output();

    const std::string second = n.s.folder.Path() + "/second";
    ::mkdir(second.c_str(), 0755);
    HeadlessProcess other({"-C=" + n.Address() + ":9600:8:1:none", "-F" + second + "/tavrin.ini"}, second);
    ASSERT_TRUE(other.WaitForOutput("is in use by another client of the server", 5000))
        << other.Output() << other.Errors();
    // The server's own words, across the 80-column rows they wrap over (the last row may come
    // a moment later).
    auto joined = [&other] {
        std::string text = other.Output();
        text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
        return text;
    };
    for (int i = 0; i < 100 && joined().find("Port already in use") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(joined().find("Port already in use"), std::string::npos) << other.Output();
    // The first terminal keeps its port.
    EXPECT_TRUE(n.s.Command("dir", "programs,")) << n.s.tavrin->Output();
    other.CloseInput();
    EXPECT_EQ(n.s.Finish(), 0);
}

}  // namespace
}  // namespace tavrin::testing
