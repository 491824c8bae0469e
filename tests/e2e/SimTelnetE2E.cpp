// The simulator's telnet service: what it asks at connect, what it keeps out of the console,
// its login prompt and its byte log.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

const std::string kTypeRequest("\xff\xfd\x18\xff\xfa\x18\x01\xff\xf0", 9);
const std::string kVt100Answer("\xff\xfa\x18\x00VT100\xff\xf0", 11);
// What the terminal offers in its extended mode: WILL TT, DO SGA, WILL SGA, DO ECHO, WILL NAWS.
const std::string kExtendedOffer("\xff\xfb\x18\xff\xfd\x03\xff\xfb\x03\xff\xfd\x01\xff\xfb\x1f", 15);

TEST(SimTelnetTest, AsksForTheTerminalTypeBeforeAnythingElse) {
    SimProcess sim({"--tcp", "0"});
    SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
    const std::string first = wire.ReadUntil("commands.\r\n>", 3000);
    ASSERT_GE(first.size(), kTypeRequest.size());
    EXPECT_EQ(first.substr(0, kTypeRequest.size()), kTypeRequest);
    EXPECT_EQ(first.find('\xff', kTypeRequest.size()), std::string::npos) << "only one request";
}

TEST(SimTelnetTest, KeepsNegotiationOutOfTheConsoleAndRecordsTheType) {
    struct Case {
        const char* name;
        std::string sent;
        const char* type;
        const char* options;
    } cases[] = {
        {"plain offer and answer", std::string("\xff\xfb\x18", 3) + kVt100Answer, "VT100", "WILL 24"},
        {"extended offer", kExtendedOffer + std::string("\xff\xfa\x18\x00vt100\xff\xf0", 11), "vt100",
         "WILL 24 DO 3 WILL 3 DO 1 WILL 31"},
        {"answer split into bytes", "", "VT100", "(none)"},
        {"no answer", "", "(none)", "(none)"},
    };
    for (const Case& c : cases) {
        SimProcess sim({"--tcp", "0"});
        SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
        wire.ReadUntil("commands.\r\n>", 3000);
        if (std::string(c.name) == "answer split into bytes") {
            for (char b : kVt100Answer) {
                wire.Write(std::string(1, b));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        } else {
            wire.Write(c.sent);
        }
        // Telnet bytes typed amid a command line vanish from it: IAC NOP inside "sta|tus".
        wire.Write(std::string("sta\xff\xf1tus\r\n", 10));
        const std::string reply = wire.ReadUntil("Last transfer: none\r\n>", 3000);
        EXPECT_EQ(reply.substr(0, 8), "status\r\n") << c.name << ": " << reply;
        EXPECT_EQ(reply.find('\xff'), std::string::npos) << c.name;
        EXPECT_NE(reply.find(std::string("terminal type: ") + c.type + "\r\n"), std::string::npos)
            << c.name << reply;
        EXPECT_NE(reply.find(std::string("from the terminal: ") + c.options + "\r\n"), std::string::npos)
            << c.name << reply;
    }
}

TEST(SimTelnetTest, DoubledIacIsTheDataByte0xFF) {
    SimProcess sim({"--tcp", "0"});
    SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
    wire.ReadUntil("commands.\r\n>", 3000);
    wire.Write(std::string("x\xff\xffy\r\n", 6));
    EXPECT_EQ(wire.ReadUntil("\r\n>", 3000),
              std::string("x\xffy\r\n(E0101) Unknown command: x\xffy\r\n>", 36));
}

TEST(SimTelnetTest, LoginPromptEndsItsChunkAndTheNameIsGreeted) {
    SimProcess sim({"--tcp", "0", "--login"});
    SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
    const std::string first = wire.ReadUntil("login: ", 3000);
    EXPECT_EQ(first, kTypeRequest + "login: ");
    // Nothing follows the prompt until a name is typed.
    EXPECT_EQ(wire.ReadFor(300), "");
    wire.Write(kVt100Answer + "zu\n");
    const std::string banner = wire.ReadUntil("commands.\r\n>", 3000);
    EXPECT_EQ(banner.substr(0, 4), "zu\r\n");
    EXPECT_NE(banner.find("User zu."), std::string::npos) << banner;
}

TEST(SimTelnetTest, LogHoldsEveryByteByDirection) {
    const std::string log =
        (std::filesystem::temp_directory_path() / ("sim-log-" + std::to_string(::getpid()))).string();
    {
        SimProcess sim({"--tcp", "0", "--log", log});
        SimWire wire = SimWire::ConnectTcp(sim.TcpPort());
        const std::string received = wire.ReadUntil("commands.\r\n>", 3000);
        wire.Write(kExtendedOffer);
        wire.Write(kVt100Answer + "ver\r\n");
        const std::string reply = wire.ReadUntil("1.0\r\n>", 3000);
        const std::string typed = kExtendedOffer + kVt100Answer + "ver\r\n";
        SimLogBytes bytes = ReadSimLogUntil(log, typed.size(), received.size() + reply.size());
        EXPECT_EQ(bytes.received, typed);
        EXPECT_EQ(bytes.sent, received + reply);
    }
    std::filesystem::remove(log);
}

}  // namespace
}  // namespace tavrin::testing
