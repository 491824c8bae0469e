// Batch macros of `tavrin --headless --run FILE` over loopback TCP/IP against tavrin-sim: an
// unattended backup with its log, the exit statuses, the start-up macro, Send File pacing, and
// the replay of the log a macro wrote.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RecordingShell.h"
#include "automation/LogReplay.h"
#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"
#include "platform/posix/SteadyClock.h"

namespace tavrin::testing {
namespace {

// A simulator serving disk/ and a terminal running the macro in the scratch folder.
struct Batch : TcpScene {
    // Runs the macro text as macro.uas (none when empty) against port.
    std::unique_ptr<HeadlessProcess> Run(int port, const std::string& macro,
                                         const std::vector<std::string>& settings) {
        if (macro.empty()) return StartTerminal(port, settings);
        WriteWholeFile(folder / "macro.uas", macro);
        return StartTerminal(port, settings, {"--run", "macro.uas"});
    }
};

// One row of the log: the 80 screen cells and CR LF.
std::string LogRow(const std::string& text) {
    return text + std::string(80 - text.size(), ' ') + "\r\n";
}

TEST(HeadlessBatchE2E, BackupMacroSavesTwoProgramsAndLogsTheSession) {
    Batch batch;
    const std::string pick = ProgramText(1500, "pick");
    const std::string place = ProgramText(6000, "place");
    WriteWholeFile(batch.disk + "/pick.as", pick);
    WriteWholeFile(batch.disk + "/place.as", place);
    auto sim = batch.StartSim({"--login"});
    ASSERT_TRUE(sim->Started());
    const std::string macro =
        "; unattended backup\r\n"
        "errormessagebox 'backup failed'\r\n"
        "timeout=20\r\n"
        "openlog 'session.log'\r\n"
        "sendln 'ver'\r\n"
        "wait '>'\r\n"
        "sendln 'save " +
        batch.pc +
        "/pick.as'\r\n"
        "wait '>'\r\n"
        "sendln 'save " +
        batch.pc +
        "/place.as'\r\n"
        "wait '>'\r\n"
        "closelog\r\n"
        "end\r\n";
    auto terminal = batch.Run(sim->TcpPort(), macro, {"IsAutoLogin=1"});
    ASSERT_EQ(terminal->WaitExit(20000), 0) << terminal->Output() << terminal->Errors();
    EXPECT_EQ(terminal->Errors(), "");
    EXPECT_NE(terminal->Output().find("User zu."), std::string::npos);  // logged in first
    EXPECT_EQ(ReadWholeFile(batch.pc + "/pick.as"), pick);
    EXPECT_EQ(ReadWholeFile(batch.pc + "/place.as"), place);
    // The prompt row open when the log began, then every completed row until it closed; the
    // rewritten transfer lines are taken off the screen, so their rows read ">".
    EXPECT_EQ(ReadWholeFile(batch.folder / "session.log"),
              LogRow(">ver") + LogRow("Tavrin controller simulator 1.0") + LogRow(">") +
                  LogRow("Saved pick.as, 1500 bytes.") + LogRow(">") + LogRow("Saved place.as, 6000 bytes."));

    // Replaying that log types exactly its prompt lines: the command after ">" and a line feed.
    RecordingShell shell;
    CSteadyClock clock;
    std::string typed;
    CLogReplay replay(shell, clock, [&](uint8_t c) { typed.push_back(static_cast<char>(c)); });
    shell.files = {batch.folder / "session.log"};
    replay.StartReplay();
    replay.Join();
    shell.RunPosted();
    EXPECT_EQ(typed, "ver\n\n\n");
}

TEST(HeadlessBatchE2E, ExitStatusTellsHowTheMacroEnded) {
    struct Case {
        const char* what;
        std::string macro;
        bool controllerThere;
        int status;
        std::string stderrText;
    };
    const Case cases[] = {
        {"ends by itself", "timeout=5\r\nsendln 'ver'\r\nwait 'simulator'\r\nend\r\n", true, 0, ""},
        {"end of file", "sendln 'ver'\r\n", true, 0, ""},
        {"wait times out", "timeout=1\r\nsendln 'ver'\r\nwait 'never printed'\r\nend\r\n", true, 2,
         "Tavrin: wait timeout !\n"},
        {"error text seen",
         "errormessagebox 'controller error'\r\nerrorcheck 'E0101'\r\ntimeout=5\r\n"
         "sendln 'nonsense'\r\nwait '>'\r\nend\r\n",
         true, 2, "Tavrin: controller error\n"},
        {"format error", "Sendln 'ver'\r\n", true, 2, "Execute file format error!!"},
        {"no connection", "end\r\n", false, 1, "Tavrin: Connection failed. Retry ? [No]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Batch batch;
        std::unique_ptr<SimProcess> sim;
        int port = UnusedLoopbackPort();
        if (c.controllerThere) {
            sim = batch.StartSim();
            ASSERT_TRUE(sim->Started());
            port = sim->TcpPort();
        }
        auto terminal = batch.Run(port, c.macro, {});
        EXPECT_EQ(terminal->WaitExit(10000), c.status) << terminal->Output() << terminal->Errors();
        if (c.stderrText.empty()) {
            EXPECT_EQ(terminal->Errors(), "");
        } else {
            EXPECT_NE(terminal->Errors().find(c.stderrText), std::string::npos) << terminal->Errors();
        }
    }
}

// Autoexec.uas runs after the first prompt and not again when the link is renewed.
TEST(HeadlessBatchE2E, StartUpMacroRunsOnceAcrossReconnections) {
    Batch batch;
    WriteWholeFile(batch.folder / "Autoexec.uas", "sendln 'ver'\r\nend\r\n");
    auto sim = batch.StartSim();
    ASSERT_TRUE(sim->Started());
    auto terminal = batch.Run(sim->TcpPort(), "", {"IsAutoConnect=1", "TimeoutSec=1"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (CountOf(ReadWholeFile(batch.log), "# session 3") == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(CountOf(ReadWholeFile(batch.log), "# session 3"), 1u) << terminal->Output();
    EXPECT_EQ(CountOf(ReadSimLog(batch.log).received, "ver\r\n"), 1u);
    terminal->Terminate();
    EXPECT_EQ(terminal->WaitExit(5000), 0);
    EXPECT_EQ(terminal->Errors(), "");
}

TEST(HeadlessBatchE2E, SendFileGoesOutWholeIn400ByteTicks) {
    Batch batch;
    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>('a' + i % 26);
    WriteWholeFile(batch.folder / "data.bin", data);
    auto sim = batch.StartSim();
    ASSERT_TRUE(sim->Started());
    auto terminal = batch.Run(sim->TcpPort(), "sendfile 'data.bin'\r\nend\r\n", {});
    ASSERT_EQ(terminal->WaitExit(10000), 0) << terminal->Errors();
    const SimLogBytes bytes = ReadSimLogUntil(batch.log, 3 + 11 + data.size(), 0);
    EXPECT_EQ(bytes.received.substr(3 + 11), data);
    // One tick each: the simulator echoes between them, so its log shows three reads.
    std::vector<size_t> reads;
    for (const std::string& r : ReadSimWrites(batch.log, "RX"))
        if (r.find('a') != std::string::npos) reads.push_back(r.size());
    EXPECT_EQ(reads, (std::vector<size_t>{400, 400, 200}));
}

}  // namespace
}  // namespace tavrin::testing
