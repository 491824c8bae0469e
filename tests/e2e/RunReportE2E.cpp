// The report of unattended runs (`tavrin --headless --run FILE --report REPORT`) over loopback
// TCP/IP against tavrin-sim: a line for each transfer, one for the end, whatever the end was.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

const std::string kTime = R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z")";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    if (at < text.size()) lines.push_back(text.substr(at) + " (no line end)");
    return lines;
}

std::string Escaped(const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

TEST(RunReportE2E, BackupWritesATransferLineAndTheEnd) {
    TcpScene scene;
    WriteWholeFile(scene.disk + "/pick.as", ProgramText(1500, "pick"));
    WriteWholeFile(scene.disk + "/place.as", ProgramText(700, "place"));
    auto sim = scene.StartSim();
    ASSERT_TRUE(sim->Started());
    WriteWholeFile(scene.folder / "backup.uas",
                   "timeout=20\r\nsendln 'save " + scene.pc +
                       "/pick.as'\r\nwait '>'\r\nsendln 'save place.as'\r\nwait '>'\r\nend\r\n");
    // An earlier run's lines stay: the report is appended to.
    WriteWholeFile(scene.folder / "report.jsonl", "{\"type\":\"end\"}\n");
    auto terminal =
        scene.StartTerminal(sim->TcpPort(), {}, {"--run", "backup.uas", "--report", "report.jsonl"});
    ASSERT_EQ(terminal->WaitExit(20000), 0) << terminal->Output() << terminal->Errors();
    EXPECT_EQ(terminal->Errors(), "");

    const std::vector<std::string> lines = Lines(ReadWholeFile(scene.folder / "report.jsonl"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "{\"type\":\"end\"}");
    const auto transfer = [&](const std::string& file, int bytes) {
        return std::regex(R"(\{"type":"transfer",)" + kTime + R"(,"connection":"127\.0\.0\.1:)" +
                          std::to_string(sim->TcpPort()) +
                          R"(:Sim","direction":"save","controller":"Sim","file":")" + Escaped(file) +
                          R"(","bytes":)" + std::to_string(bytes) +
                          R"(,"duration_ms":\d+,"result":"ok","code":0,"message":""\})");
    };
    EXPECT_TRUE(std::regex_match(lines[1], transfer(scene.pc + "/pick.as", 1500))) << lines[1];
    // Saved without a folder: into the current folder, named whole.
    EXPECT_TRUE(std::regex_match(lines[2], transfer(scene.folder / "place.as", 700))) << lines[2];
    EXPECT_TRUE(
        std::regex_match(lines[3], std::regex(R"(\{"type":"end",)" + kTime + R"(,"exit_status":0\})")))
        << lines[3];
}

TEST(RunReportE2E, ASaveCutOffByTheControllerIsReportedFailed) {
    TcpScene scene;
    WriteWholeFile(scene.disk + "/pallet.as", ProgramText(20000, "pallet"));
    auto sim = scene.StartSim({"--fault", "close-mid-save"});
    ASSERT_TRUE(sim->Started());
    WriteWholeFile(scene.folder / "backup.uas",
                   "timeout=5\r\nsendln 'save " + scene.pc + "/pallet.as'\r\nwait '>'\r\nend\r\n");
    auto terminal =
        scene.StartTerminal(sim->TcpPort(), {}, {"--run", "backup.uas", "--report", "report.jsonl"});
    ASSERT_TRUE(terminal->WaitForOutput("not saved", 10000)) << terminal->Output();
    // The run does not end by itself once the link is gone; a signal ends it, stopped.
    terminal->Terminate();
    ASSERT_EQ(terminal->WaitExit(5000), 2) << terminal->Output() << terminal->Errors();
    std::vector<std::string> lines = Lines(ReadWholeFile(scene.folder / "report.jsonl"));
    for (std::string& line : lines) line = std::regex_replace(line, std::regex("," + kTime), "");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(
        lines[0],
        std::regex(R"(\{"type":"transfer",.*"direction":"save",.*"file":")" + Escaped(scene.pc) +
                   R"(/pallet\.as","bytes":\d+,)" + R"("duration_ms":\d+,"result":"failed","code":-\d+,)" +
                   R"("message":"link lost"\})")))
        << lines[0];
    EXPECT_EQ(lines[1], "{\"type\":\"end\",\"exit_status\":2}");
}

TEST(RunReportE2E, EveryEndIsReportedAndAnUnusableReportStopsTheStart) {
    const struct {
        const char* what;
        std::string macro;
        bool controllerThere;
        std::string report;  // relative to the scratch folder
        int status;
        std::vector<std::string> lines;  // expected, time left out
        std::string stderrText;
    } cases[] = {
        {"no connection", "end\r\n", false, "report.jsonl", 1, {"{\"type\":\"end\",\"exit_status\":1}"}, ""},
        {"stopped",
         "timeout=1\r\nsendln 'ver'\r\nwait 'never printed'\r\nend\r\n",
         true,
         "report.jsonl",
         2,
         {"{\"type\":\"end\",\"exit_status\":2}"},
         ""},
        {"report in a missing folder",
         "end\r\n",
         true,
         "missing/report.jsonl",
         1,
         {},
         "tavrin: cannot open report file 'missing/report.jsonl': No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TcpScene scene;
        std::unique_ptr<SimProcess> sim;
        int port = UnusedLoopbackPort();
        if (c.controllerThere) {
            sim = scene.StartSim();
            ASSERT_TRUE(sim->Started());
            port = sim->TcpPort();
        }
        WriteWholeFile(scene.folder / "macro.uas", c.macro);
        auto terminal = scene.StartTerminal(port, {}, {"--run", "macro.uas", "--report", c.report});
        EXPECT_EQ(terminal->WaitExit(10000), c.status) << terminal->Output() << terminal->Errors();
        if (!c.stderrText.empty()) {
            EXPECT_EQ(terminal->Errors(), c.stderrText);
        }
        std::vector<std::string> lines = Lines(ReadWholeFile(scene.folder / c.report));
        for (std::string& line : lines) line = std::regex_replace(line, std::regex("," + kTime), "");
        EXPECT_EQ(lines, c.lines);
    }
}

}  // namespace
}  // namespace tavrin::testing
