// `tavrin --headless` over loopback TCP/IP against tavrin-sim: the telnet offers and answers,
// transfers through the terminal byte for byte, the controller hanging up mid-save, a refused
// connection, the automatic login and the silent reconnection.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

const std::string kPlainOffer("\xFF\xFB\x18", 3);
const std::string kLinuxOffer("\xFF\xFB\x18\xFF\xFD\x03\xFF\xFB\x03\xFF\xFD\x01\xFF\xFB\x1F", 15);

using Bench = TcpScene;

TEST(HeadlessTcpE2E, OffersTelnetOptionsAndAnswersTheTerminalTypeInEachMode) {
    struct Case {
        int linuxTelnet;
        std::string offer;
        std::string answer;
    };
    const Case cases[] = {
        {0, kPlainOffer, std::string("\xFF\xFA\x18\x00VT100\xFF\xF0", 11)},
        {1, kLinuxOffer, std::string("\xFF\xFA\x18\x00vt100\xFF\xF0", 11)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.linuxTelnet);
        Bench bench;
        auto sim = bench.StartSim({});
        ASSERT_TRUE(sim->Started());
        auto terminal =
            bench.StartTerminal(sim->TcpPort(), {"IsLinuxTelnet=" + std::to_string(c.linuxTelnet)});
        ASSERT_TRUE(terminal->WaitForOutput("Type help for the commands.", 5000)) << terminal->Output();
        terminal->TypeLine("status");
        ASSERT_TRUE(terminal->WaitForOutput("Telnet options from the terminal", 5000));
        const SimLogBytes bytes = ReadSimLogUntil(bench.log, c.offer.size() + c.answer.size(), 0);
        EXPECT_EQ(bytes.received.substr(0, c.offer.size() + c.answer.size()), c.offer + c.answer);
        // Nothing of the negotiation reaches the screen.
        EXPECT_EQ(terminal->Output().find("\xC3\xBF"), std::string::npos) << terminal->Output();
        terminal->CloseInput();
        EXPECT_EQ(terminal->WaitExit(5000), 0);
        EXPECT_EQ(terminal->Errors(), "");
    }
}

// The request records the simulator wrote, and the replies the terminal wrote, by letter.
size_t CountRecords(const std::string& stream, char first, char letter) {
    return CountOf(stream, std::string{first, '\x02', letter});
}

TEST(HeadlessTcpE2E, SaveAndLoadThroughTheTerminalAreByteExact) {
    Bench bench;
    const std::string saved = ProgramText(20000, "pallet");
    WriteWholeFile(bench.disk + "/pallet.as", saved);
    const std::string loaded = ProgramText(9000, "upload");
    WriteWholeFile(bench.pc + "/upload.as", loaded);
    // Paced at 300 bytes a write, every 516-byte write request reaches the terminal in pieces.
    auto sim = bench.StartSim({"--baud", "300000"});
    ASSERT_TRUE(sim->Started());
    auto terminal = bench.StartTerminal(sim->TcpPort(), {});
    ASSERT_TRUE(terminal->WaitForOutput("Type help for the commands.", 5000));

    terminal->TypeLine("save " + bench.pc + "/pallet.as");
    ASSERT_TRUE(terminal->WaitForOutput("Saved pallet.as, 20000 bytes.", 10000)) << terminal->Output();
    EXPECT_EQ(ReadWholeFile(bench.pc + "/pallet.as"), saved);

    terminal->TypeLine("load " + bench.pc + "/upload.as");
    ASSERT_TRUE(terminal->WaitForOutput("Loaded upload.as, 9000 bytes.", 10000)) << terminal->Output();
    EXPECT_EQ(ReadWholeFile(bench.disk + "/upload.as"), loaded);

    // The save's write requests did arrive split: some write of the simulator ends inside one.
    const std::vector<std::string> writes = ReadSimWrites(bench.log);
    const bool splitRecord = std::any_of(writes.begin(), writes.end(), [](const std::string& w) {
        const size_t start = w.rfind(std::string("\x05\x02\x44", 3));
        return start != std::string::npos && w.find('\x17', start) == std::string::npos;
    });
    EXPECT_TRUE(splitRecord);
    EXPECT_EQ(CountRecords(ReadSimLog(bench.log).sent, '\x05', 'D'), 40u);  // 20000 / 512
    terminal->CloseInput();
    EXPECT_EQ(terminal->WaitExit(5000), 0);
    EXPECT_EQ(terminal->Errors(), "");
}

// Loads of several sizes: the last read replies as the terminal sends them, data then the end
// mark SUB; a file that fills its 8192-byte disk read exactly gives an empty reply first.
TEST(HeadlessTcpE2E, ALoadEndsWithTheEndOfFileMark) {
    struct Case {
        size_t size;
        size_t dataReplies;
        bool emptyBeforeEnd;
    };
    const Case cases[] = {{100, 1, false}, {8192, 16, true}, {8193, 17, false}};
    Bench bench;
    for (const Case& c : cases)
        WriteWholeFile(bench.pc + "/f" + std::to_string(c.size) + ".as", ProgramText(c.size, "f"));
    auto sim = bench.StartSim({});
    ASSERT_TRUE(sim->Started());
    auto terminal = bench.StartTerminal(sim->TcpPort(), {});
    ASSERT_TRUE(terminal->WaitForOutput("Type help for the commands.", 5000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string name = "f" + std::to_string(c.size) + ".as";
        const size_t before = ReadSimLog(bench.log).received.size();
        terminal->TypeLine("load " + bench.pc + "/" + name);
        ASSERT_TRUE(
            terminal->WaitForOutput("Loaded " + name + ", " + std::to_string(c.size) + " bytes.", 10000));
        EXPECT_EQ(ReadWholeFile(bench.disk + "/" + name), ProgramText(c.size, "f"));
        const std::string replies = ReadSimLog(bench.log).received.substr(before);
        // The read replies: STX 'C' status(5) data ETB.
        std::vector<std::string> data;
        for (size_t at = replies.find("\x02"
                                      "C");
             at != std::string::npos; at = replies.find("\x02"
                                                        "C",
                                                        at + 1)) {
            const size_t end = replies.find('\x17', at);
            ASSERT_NE(end, std::string::npos);
            data.push_back(replies.substr(at + 7, end - at - 7));
        }
        ASSERT_EQ(data.size(), c.dataReplies + (c.emptyBeforeEnd ? 2 : 1));
        EXPECT_EQ(data.back(), "\x1A");
        if (c.emptyBeforeEnd) {
            EXPECT_EQ(data[data.size() - 2], "");
        }
        size_t carried = 0;
        for (size_t i = 0; i < c.dataReplies; ++i) carried += data[i].size();
        EXPECT_EQ(carried, c.size);
    }
    terminal->CloseInput();
    EXPECT_EQ(terminal->WaitExit(5000), 0);
}

TEST(HeadlessTcpE2E, TheControllerHangingUpMidSaveClosesFileAndLink) {
    Bench bench;
    WriteWholeFile(bench.disk + "/pallet.as", ProgramText(20000, "pallet"));
    auto sim = bench.StartSim({"--fault", "close-mid-save"});
    ASSERT_TRUE(sim->Started());
    auto terminal = bench.StartTerminal(sim->TcpPort(), {});
    ASSERT_TRUE(terminal->WaitForOutput("Type help for the commands.", 5000));
    terminal->TypeLine("save " + bench.pc + "/pallet.as");
    ASSERT_TRUE(terminal->WaitForOutput("The controller closed the connection.", 10000))
        << terminal->Output();
    EXPECT_NE(terminal->Output().find("Communication error(remorte terminal).\n"), std::string::npos);

    // The half-written save is dropped: nothing under the program's name, no temporary file,
    // and the terminal says which file was not saved.
    const std::string path = bench.pc + "/pallet.as";
    ASSERT_TRUE(terminal->WaitForOutput("The save did not complete; not saved: " + path, 2000))
        << terminal->Output();
    EXPECT_TRUE(std::filesystem::is_empty(bench.pc));
    // A flush to disk that was running keeps its own descriptor until it ends.
    auto openUnderPc = [&] {
        const std::vector<std::string> open = OpenFilesOf(terminal->Pid());
        return std::count_if(open.begin(), open.end(),
                             [&](const std::string& f) { return f.rfind(bench.pc, 0) == 0; });
    };
    for (int waited = 0; openUnderPc() != 0 && waited < 3000; waited += 20) usleep(20000);
    EXPECT_EQ(openUnderPc(), 0);

    // Not connected: a typed line goes nowhere, and the simulator sees no second session.
    terminal->TypeLine("ver");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(CountOf(ReadWholeFile(bench.log), "# session 2"), 0u);
    EXPECT_EQ(ReadSimLog(bench.log).received.find("ver"), std::string::npos);
    terminal->CloseInput();
    EXPECT_EQ(terminal->WaitExit(5000), 0);
    EXPECT_EQ(terminal->Errors(), "");  // no message box
}

TEST(HeadlessTcpE2E, ARefusedConnectionFailsAtOnce) {
    Bench bench;
    const int port = UnusedLoopbackPort();
    auto terminal = bench.StartTerminal(port, {});
    terminal->CloseInput();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(terminal->WaitForErrors("Tavrin: Connection failed. Retry ? [No]\n", 5000))
        << terminal->Errors();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(terminal->WaitExit(5000), 1);
    EXPECT_EQ(CountOf(terminal->Errors(), "Retry ?"), 1u);
}

// A script pipes its keys in at once and ends its input; the connect still runs on then. The
// keys go out once the link is up, and the run ends after the controller's answer.
TEST(HeadlessTcpE2E, KeysPipedInBeforeTheLinkIsUpReachTheController) {
    Bench bench;
    auto sim = bench.StartSim({});
    ASSERT_TRUE(sim->Started());
    auto terminal = bench.StartTerminal(sim->TcpPort(), {});
    terminal->TypeLine("dir");
    terminal->CloseInput();
    EXPECT_EQ(terminal->WaitExit(10000), 0);
    EXPECT_NE(terminal->Output().find("programs, 0 bytes"), std::string::npos) << terminal->Output();
}

TEST(HeadlessTcpE2E, AutomaticLoginAnswersTheLoginPrompt) {
    struct Case {
        int autoLogin;
        bool loggedIn;
    };
    for (const Case& c : {Case{1, true}, Case{0, false}}) {
        SCOPED_TRACE(c.autoLogin);
        Bench bench;
        auto sim = bench.StartSim({"--login"});
        ASSERT_TRUE(sim->Started());
        auto terminal = bench.StartTerminal(sim->TcpPort(), {"IsAutoLogin=" + std::to_string(c.autoLogin)});
        const bool greeted = terminal->WaitForOutput("User zu.", c.loggedIn ? 5000 : 1500);
        EXPECT_EQ(greeted, c.loggedIn) << terminal->Output();
        const SimLogBytes bytes =
            ReadSimLogUntil(bench.log, kPlainOffer.size() + 11 + (c.loggedIn ? 3 : 0), 0);
        EXPECT_EQ(bytes.received.substr(kPlainOffer.size() + 11), c.loggedIn ? "zu\n" : "");
        terminal->Terminate();
        EXPECT_EQ(terminal->WaitExit(5000), 0);
    }
}

// With IsAutoConnect on, a link silent for TimeoutSec is renewed and a lost one retried; the
// notice shows once per run of failures.
TEST(HeadlessTcpE2E, SilentReconnectionShowsItsNoticeOncePerRunOfFailures) {
    Bench bench;
    auto sim = bench.StartSim({});
    ASSERT_TRUE(sim->Started());
    const int port = sim->TcpPort();
    auto terminal = bench.StartTerminal(port, {"IsAutoConnect=1", "TimeoutSec=1"});
    ASSERT_TRUE(terminal->WaitForOutput("Type help for the commands.", 5000));
    // A silent link is renewed: a second session greets again.
    ASSERT_TRUE(terminal->WaitForOutput("Type help for the commands.", 5000, terminal->OutputMark()));
    EXPECT_EQ(CountOf(terminal->Output(), "Reconnecting  ..."), 0u);

    sim.reset();  // the controller goes away: several attempts fail
    ASSERT_TRUE(terminal->WaitForOutput("Reconnecting  ...", 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(4500));
    EXPECT_EQ(CountOf(terminal->Output(), "Reconnecting  ..."), 1u);

    sim = bench.StartSim({}, port);  // back on the same port
    ASSERT_TRUE(sim->Started());
    const size_t back = terminal->OutputMark();
    ASSERT_TRUE(terminal->WaitForOutput("Type help for the commands.", 8000, back)) << terminal->Output();
    EXPECT_EQ(CountOf(terminal->Output().substr(back), "Reconnecting  ..."), 0u);

    sim.reset();  // and away again: the notice comes once more
    const size_t lost = terminal->OutputMark();
    ASSERT_TRUE(terminal->WaitForOutput("Reconnecting  ...", 5000, lost));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(CountOf(terminal->Output().substr(lost), "Reconnecting  ..."), 1u);
    EXPECT_EQ(terminal->Errors(), "");  // silent: never a message box
    terminal->Terminate();
    EXPECT_EQ(terminal->WaitExit(5000), 0);
}

}  // namespace
}  // namespace tavrin::testing
