// The simulator's console seen from a terminal: echo, line editing, prompt, line ends, sessions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

constexpr char kVersionLine[] = "Tavrin controller simulator 1.0\r\n";

std::string Banner(SimWire& wire) {
    return wire.ReadUntil("commands.\r\n>", 3000);
}

struct ConsoleCase {
    const char* name;
    std::string typed;
    std::string expected;  // everything the console sends back, up to and with its prompt
};

const std::vector<ConsoleCase>& ConsoleCases(const std::string& lineEnd) {
    static std::vector<ConsoleCase> cases[2];
    auto& c = cases[lineEnd.size() - 1];
    if (c.empty()) {
        c = {
            {"command", "ver" + lineEnd, "ver\r\n" + std::string(kVersionLine) + ">"},
            {"empty line", lineEnd, "\r\n>"},
            {"backspace", "verx\b" + lineEnd, "verx\b \b\r\n" + std::string(kVersionLine) + ">"},
            {"backspace on empty line", "\bver" + lineEnd, "ver\r\n" + std::string(kVersionLine) + ">"},
            {"cancel drops the line", "zzz\x18ver" + lineEnd,
             "zzz\b\b\b\x1b[Kver\r\n" + std::string(kVersionLine) + ">"},
            {"unknown command", "bogus" + lineEnd, "bogus\r\n(E0101) Unknown command: bogus\r\n>"},
            {"cursor keys not echoed",
             "v\x14\x0c\x12\x0e"
             "er" +
                 lineEnd,
             "ver\r\n" + std::string(kVersionLine) + ">"},
            {"case-insensitive", "VER" + lineEnd, "VER\r\n" + std::string(kVersionLine) + ">"},
        };
    }
    return c;
}

void CheckConsole(SimWire& wire, const std::string& lineEnd) {
    for (const ConsoleCase& c : ConsoleCases(lineEnd)) {
        ASSERT_TRUE(wire.Write(c.typed)) << c.name;
        EXPECT_EQ(wire.ReadUntil(c.expected, 3000), c.expected) << c.name;
        // One command, one prompt: nothing may follow.
        EXPECT_EQ(wire.ReadFor(100), "") << c.name;
    }
}

TEST(SimConsoleTest, EchoesEditsAndPromptsOverPty) {
    SimProcess sim({"--pty"});
    ASSERT_TRUE(sim.Started()) << sim.FirstLine();
    ASSERT_FALSE(sim.PtyPath().empty()) << sim.FirstLine();
    SimWire wire = SimWire::OpenPty(sim.PtyPath());
    ASSERT_TRUE(wire.IsOpen());
    const std::string banner = Banner(wire);
    ASSERT_NE(banner.find(kVersionLine), std::string::npos) << banner;
    // The Japanese greeting is CP932: "robot" in katakana begins 83 8D 83 7B.
    EXPECT_NE(banner.find("\x83\x8d\x83\x7b"), std::string::npos);
    EXPECT_EQ(banner.find('\xff'), std::string::npos) << "no telnet on a serial line";
    CheckConsole(wire, "\r");
}

TEST(SimConsoleTest, EchoesEditsAndPromptsOverTcpWithCrLf) {
    SimProcess sim({"--tcp", "0"});
    ASSERT_TRUE(sim.Started()) << sim.FirstLine();
    ASSERT_GT(sim.TcpPort(), 0) << sim.FirstLine();
    SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
    ASSERT_TRUE(wire.IsOpen());
    Banner(wire);
    CheckConsole(wire, "\r\n");
}

TEST(SimConsoleTest, BackspaceErasesShiftJisPairAsOneCharacter) {
    SimProcess sim({"--pty"});
    SimWire wire = SimWire::OpenPty(sim.PtyPath());
    Banner(wire);
    // "a" then the pair 82 A0 (hiragana a): one BS takes both bytes and two columns.
    wire.Write("a\x82\xa0\b\b\r");
    EXPECT_EQ(wire.ReadUntil("\r\n>", 3000), "a\x82\xa0\b\b  \b\b\b \b\r\n>");
}

TEST(SimConsoleTest, OverlongLineRingsAndKeepsItsStart) {
    SimProcess sim({"--pty"});
    SimWire wire = SimWire::OpenPty(sim.PtyPath());
    Banner(wire);
    wire.Write(std::string(260, 'x'));
    const std::string echo = wire.ReadUntil("\a\a\a\a\a", 3000);
    EXPECT_EQ(echo, std::string(255, 'x') + "\a\a\a\a\a");
    wire.Write("\r");
    EXPECT_NE(wire.ReadUntil("\r\n>", 3000).find("Unknown command: " + std::string(255, 'x')),
              std::string::npos);
}

TEST(SimConsoleTest, DiskCommandsListAndTypePrograms) {
    SimProcess sim({"--tcp", "0"});
    SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
    Banner(wire);
    wire.Write("dir\r\n");
    const std::string dir = wire.ReadUntil("bytes\r\n>", 3000);
    EXPECT_NE(dir.find("pick.as"), std::string::npos) << dir;
    EXPECT_NE(dir.find("place.as"), std::string::npos) << dir;
    const size_t pallet = dir.find("pallet.as");
    ASSERT_NE(pallet, std::string::npos) << dir;
    EXPECT_GT(std::atoi(dir.c_str() + dir.find_first_not_of(' ', pallet + 9)), 10 * 1024);
    EXPECT_NE(dir.find("3 programs"), std::string::npos);

    wire.Write("type pick.as\r\n");
    const std::string text = wire.ReadUntil("end program\r\n>", 3000);
    EXPECT_NE(text.find("\r\nprogram pick\r\n"), std::string::npos) << text;
    // Every line end is CR LF, and nothing in a program may look like the prompt.
    EXPECT_EQ(text.find(">"), text.size() - 1);
    for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1))
        EXPECT_EQ(text[i - 1], '\r');

    wire.Write("type nothing.as\r\n");
    EXPECT_NE(wire.ReadUntil("\r\n>", 3000).find("No such program: nothing.as"), std::string::npos);
}

TEST(SimConsoleTest, OnceEndsWhenTheTerminalCloses) {
    for (const char* mode : {"pty", "tcp"}) {
        SimProcess sim(std::string(mode) == "pty" ? std::vector<std::string>{"--pty", "--once"}
                                                  : std::vector<std::string>{"--tcp", "0", "--once"});
        ASSERT_TRUE(sim.Started()) << mode;
        {
            SimWire wire =
                sim.TcpPort() ? SimWire::ConnectTcp(sim.TcpPort()) : SimWire::OpenPty(sim.PtyPath());
            Banner(wire);
            EXPECT_EQ(sim.WaitExit(200), -1) << mode << ": still serving while the terminal is there";
        }
        EXPECT_EQ(sim.WaitExit(3000), 0) << mode;
    }
}

TEST(SimConsoleTest, ServesTheNextTerminalAfterOneLeaves) {
    for (const char* mode : {"pty", "tcp"}) {
        SimProcess sim(std::string(mode) == "pty" ? std::vector<std::string>{"--pty"}
                                                  : std::vector<std::string>{"--tcp", "0"});
        for (int session = 0; session < 2; ++session) {
            SimWire wire =
                sim.TcpPort() ? SimWire::ConnectTcp(sim.TcpPort()) : SimWire::OpenPty(sim.PtyPath());
            ASSERT_NE(Banner(wire).find(kVersionLine), std::string::npos) << mode << " session " << session;
            wire.Write(sim.TcpPort() ? "ver\r\n" : "ver\r");
            EXPECT_NE(wire.ReadUntil("1.0\r\n>", 3000).find(kVersionLine), std::string::npos);
            wire.Close();
            // A pty shows its hang-up only while no one holds the slave: a terminal that
            // reopens within microseconds would look like the same session.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
}

TEST(SimConsoleTest, FolderDiskListsTheFolder) {
    const auto folder = std::filesystem::temp_directory_path() / ("sim-disk-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "weld.as") << "program weld\r\nend program\r\n";
    std::ofstream(folder / ".hidden") << "x";
    SimProcess sim({"--tcp", "0", "--disk", folder.string()});
    SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
    Banner(wire);
    wire.Write("dir\r\n");
    const std::string dir = wire.ReadUntil("bytes\r\n>", 3000);
    EXPECT_NE(dir.find("weld.as"), std::string::npos) << dir;
    EXPECT_EQ(dir.find("pick.as"), std::string::npos) << "samples belong to the built-in disk only";
    EXPECT_EQ(dir.find(".hidden"), std::string::npos);
    EXPECT_NE(dir.find("1 programs, 27 bytes"), std::string::npos) << dir;
    std::filesystem::remove_all(folder);
}

TEST(SimConsoleTest, RejectsBadArguments) {
    for (std::vector<std::string> args : {std::vector<std::string>{},
                                          {"--tcp"},
                                          {"--tcp", "70000"},
                                          {"--pty", "--fault", "gremlins"},
                                          {"--pty", "--baud", "x"},
                                          {"--pty", "--disk", "/nonexistent/dir"}}) {
        SimProcess sim(args);
        EXPECT_FALSE(sim.Started());
        EXPECT_EQ(sim.WaitExit(3000), 2) << (args.empty() ? "(none)" : args.back());
    }
}

TEST(SimConsoleTest, PacesOutputAtTheBaudRate) {
    SimProcess sim({"--pty", "--baud", "9600"});
    SimWire wire = SimWire::OpenPty(sim.PtyPath());
    Banner(wire);
    const auto start = std::chrono::steady_clock::now();
    wire.Write("help\r");
    const std::string help = wire.ReadUntil("on the PC\r\n>", 5000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_GT(help.size(), 400u);
    // 10 bit times per byte at 9600 baud; allow for the first slice going out at once.
    EXPECT_GE(seconds, 0.8 * help.size() * 10 / 9600) << help.size() << " bytes";
}

}  // namespace
}  // namespace tavrin::testing
