// What an operator, a paste or a program driving `tavrin --headless` through a pipe types, as
// fast as it comes, against tavrin-sim; and saves that are broken off.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/HeadlessSerialSession.h"
#include "e2e/HeadlessTcpSupport.h"

namespace tavrin::testing {
namespace {

using Clock = std::chrono::steady_clock;

size_t HiddenFiles(const std::string& folder) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        count += entry.path().filename().string().front() == '.';
    return count;
}

// The whole command and the next one written into stdin at once: Enter waits for the
// controller's echo, the next line waits for the end of the transfer.
TEST(TypedCommandsE2E, ASaveWrittenAtFullSpeedIntoStdinSavesTheProgramOnBothMedia) {
    const std::string program = ProgramText(6000, "fast");
    {
        SCOPED_TRACE("TCP/IP");
        TcpScene scene;
        WriteWholeFile(scene.disk + "/x.as", program);
        auto sim = scene.StartSim();
        ASSERT_TRUE(sim->Started());
        auto terminal = scene.StartTerminal(sim->TcpPort(), {});
        ASSERT_TRUE(terminal->WaitForOutput(kBannerEnd, 5000));
        terminal->Type("save " + scene.pc + "/x.as\nver\n");
        ASSERT_TRUE(terminal->WaitForOutput("Saved x.as", 10000)) << terminal->Output();
        ASSERT_TRUE(terminal->WaitForOutput("Tavrin controller simulator 1.0", 5000,
                                            terminal->Output().find("Saved x.as")))
            << terminal->Output();
        EXPECT_EQ(ReadWholeFile(scene.pc + "/x.as"), program);
        EXPECT_EQ(terminal->Output().find("File name missing"), std::string::npos) << terminal->Output();
        terminal->CloseInput();
        EXPECT_EQ(terminal->WaitExit(10000), 0);
    }
    {
        SCOPED_TRACE("serial");
        HeadlessSerialSession s;
        WriteWholeFile(s.Disk() + "/x.as", program);
        ASSERT_TRUE(s.Start()) << s.tavrin->Output();
        s.tavrin->Type("save " + s.Progs() + "/x.as\nver\n");
        ASSERT_TRUE(s.tavrin->WaitForOutput("Saved x.as", 15000)) << s.tavrin->Output();
        ASSERT_TRUE(s.tavrin->WaitForOutput("Tavrin controller simulator 1.0", 5000,
                                            s.tavrin->Output().find("Saved x.as")))
            << s.tavrin->Output();
        EXPECT_EQ(ReadWholeFile(s.Progs() + "/x.as"), program);
        EXPECT_EQ(s.Finish(), 0);
    }
}

// Ctrl+C for a running controller command: the byte goes out at once, with nothing after it.
TEST(TypedCommandsE2E, ALoneEtxOnStdinReachesTheControllerAtOnce) {
    TcpScene scene;
    auto sim = scene.StartSim();
    ASSERT_TRUE(sim->Started());
    auto terminal = scene.StartTerminal(sim->TcpPort(), {});
    ASSERT_TRUE(terminal->WaitForOutput(kBannerEnd, 5000));
    const size_t before = ReadSimLog(scene.log).received.size();
    const auto typed = Clock::now();
    terminal->Type("\x03");
    auto arrived = [&] { return ReadSimLog(scene.log).received.find('\x03', before) != std::string::npos; };
    while (!arrived() && Clock::now() - typed < std::chrono::seconds(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - typed).count();
    ASSERT_TRUE(arrived()) << "the ETX never left the terminal";
    RecordProperty("etx_latency_ms", static_cast<int>(latency));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string received = ReadSimLog(scene.log).received;
    const std::string after = received.substr(received.find('\x03', before) + 1);
    EXPECT_EQ(after.find_first_of("\r\n"), std::string::npos) << "no line end after it";
    terminal->CloseInput();
    EXPECT_EQ(terminal->WaitExit(10000), 0);
}

// The simulator stopped in the middle of a save: the PC keeps its earlier program and backup.
TEST(TypedCommandsE2E, ASaveCutOffByAStoppedControllerLeavesTheEarlierFiles) {
    TcpScene scene;
    WriteWholeFile(scene.disk + "/pallet.as", ProgramText(20000, "new"));
    const std::string pcFile = scene.pc + "/pallet.as";
    const std::string earlier = ProgramText(9000, "earlier");
    WriteWholeFile(pcFile, earlier);
    WriteWholeFile(scene.pc + "/pallet.Bas", "older backup");
    // Paced so that the save is still running when the controller stops.
    auto sim = scene.StartSim({"--baud", "40000"});
    ASSERT_TRUE(sim->Started());
    auto terminal = scene.StartTerminal(sim->TcpPort(), {});
    ASSERT_TRUE(terminal->WaitForOutput(kBannerEnd, 5000));
    terminal->TypeLine("save " + pcFile);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (HiddenFiles(scene.pc) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(HiddenFiles(scene.pc), 1u) << "the save is under way";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sim->Stop();
    ASSERT_TRUE(terminal->WaitForOutput("The save did not complete; not saved: " + pcFile, 5000))
        << terminal->Output();
    EXPECT_EQ(ReadWholeFile(pcFile), earlier);
    EXPECT_EQ(ReadWholeFile(scene.pc + "/pallet.Bas"), "older backup");
    EXPECT_EQ(HiddenFiles(scene.pc), 0u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scene.pc), {}), 2);
    terminal->CloseInput();
    EXPECT_EQ(terminal->WaitExit(10000), 0);
}

// A folder that does not exist: the controller gets the bad-path status, the operator the
// folder's name; a load of a missing file stays "file not found".
TEST(TypedCommandsE2E, ASaveIntoAMissingFolderNamesTheFolder) {
    TcpScene scene;
    WriteWholeFile(scene.disk + "/x.as", ProgramText(500, "x"));
    auto sim = scene.StartSim();
    ASSERT_TRUE(sim->Started());
    auto terminal = scene.StartTerminal(sim->TcpPort(), {});
    ASSERT_TRUE(terminal->WaitForOutput(kBannerEnd, 5000));
    const std::string missing = scene.pc + "/no/such/";
    terminal->TypeLine("save " + missing + "x.as");
    ASSERT_TRUE(terminal->WaitForOutput("(E6107) PC file error -1028.", 10000)) << terminal->Output();
    EXPECT_NE(terminal->Output().find("The folder does not exist: " + missing), std::string::npos)
        << terminal->Output();
    terminal->TypeLine("load " + scene.pc + "/absent.as");
    EXPECT_TRUE(terminal->WaitForOutput("(E6107) PC file error -1052.", 10000)) << terminal->Output();
    EXPECT_FALSE(std::filesystem::exists(scene.pc + "/no"));
    terminal->CloseInput();
    EXPECT_EQ(terminal->WaitExit(10000), 0);
}

}  // namespace
}  // namespace tavrin::testing
