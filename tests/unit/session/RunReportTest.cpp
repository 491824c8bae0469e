#include "session/RunReport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/PelinDoc.h"
#include "transfer/TransferSession.h"

namespace tavrin {
namespace {

TEST(RunReportTest, StringsAreEscapedIntoValidUtf8Json) {
    const struct {
        std::string text, json;
    } cases[] = {
        {"", "\"\""},
        {"/home/op/pick.as", "\"/home/op/pick.as\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line\nnext\r\ttab", "\"line\\u000anext\\u000d\\u0009tab\""},
        {std::string("nul\0end", 7), "\"nul\\u0000end\""},
        {"\x1b[0m\x7f", "\"\\u001b[0m\\u007f\""},
        {"/\xE3\x83\x90\xE3\x83\x83\xE3\x82\xAF/", "\"/\xE3\x83\x90\xE3\x83\x83\xE3\x82\xAF/\""},  // バック
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},                                              // U+1F600
        // Not UTF-8: each stray byte becomes U+FFFD, the rest is kept.
        {"a\x93\x5f"
         "b",
         "\"a\xEF\xBF\xBD_b\""},                                       // CP932 left unconverted
        {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // overlong '/'
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // a surrogate
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // beyond U+10FFFF
        {"end\xE3\x83", "\"end\xEF\xBF\xBD\xEF\xBF\xBD\""},                            // cut short
    };
    for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.text;
}

TEST(RunReportTest, TimesAreUtcWithMilliseconds) {
    EXPECT_EQ(IsoTimeUtc(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(IsoTimeUtc(1796806332007), "2026-12-09T08:52:12.007Z");
    EXPECT_EQ(IsoTimeUtc(951782400999), "2000-02-29T00:00:00.999Z");
}

TEST(RunReportTest, LinesCarryEveryFieldOnOneLine) {
    TransferReportLine r;
    r.endUnixMs = 1796806332007;
    r.connection = "127.0.0.1:23:Robot1";
    r.save = true;
    r.controller = "Robot1";
    r.file = "/backup/a\nb.as";
    r.bytes = 6000;
    r.durationMs = 412;
    EXPECT_EQ(
        TransferLine(r),
        "{\"type\":\"transfer\",\"time\":\"2026-12-09T08:52:12.007Z\",\"connection\":\"127.0.0.1:23:Robot1\","
        "\"direction\":\"save\",\"controller\":\"Robot1\",\"file\":\"/backup/a\\u000ab.as\",\"bytes\":6000,"
        "\"duration_ms\":412,\"result\":\"ok\",\"code\":0,\"message\":\"\"}\n");
    r.save = false;
    r.code = -107;
    r.message = "link lost";
    const std::string failed = TransferLine(r);
    EXPECT_NE(failed.find("\"direction\":\"load\""), std::string::npos);
    EXPECT_NE(failed.find("\"result\":\"failed\",\"code\":-107,\"message\":\"link lost\"}"),
              std::string::npos);
    EXPECT_EQ(EndLine(0, 2), "{\"type\":\"end\",\"time\":\"1970-01-01T00:00:00.000Z\",\"exit_status\":2}\n");
}

TEST(RunReportTest, RecordTakesTheConnectionAndControllerFromTheDocument) {
    TransferOutcome outcome;
    outcome.save = true;
    outcome.path = "/pc/\x83\x6f\x83\x62\x83\x4e.as";  // バック in CP932
    outcome.bytes = 10;
    outcome.durationMs = 5;
    const struct {
        int isTcp;
        std::string port, speed, name;  // COM port and baud rate, or address, telnet port and name
        int dataBits, stopBits, parity;
        int result;
        std::string reason, connection, controller, message;
    } cases[] = {
        {1, "127.0.0.1", "23", "Robot1", 8, 0, 0, 0, "", "127.0.0.1:23:Robot1", "Robot1", ""},
        {1, "10.0.0.7", "2323", "\x83\x8d\x83\x7b", 8, 0, 0, 0, "", "10.0.0.7:2323:\xE3\x83\xAD\xE3\x83\x9C",
         "\xE3\x83\xAD\xE3\x83\x9C", ""},  // ロボ
        {0, "COM3", "9600", "", 8, 0, 0, -103, "incomplete", "COM3:9600:8:1:none", "COM3", "incomplete"},
        {0, "COM1", "19200", "", 7, 2, 2, 0, "", "COM1:19200:7:2:even", "COM1", ""},
        {0, "/dev/ttyUSB0", "115200", "", 8, 1, 1, 0, "", "/dev/ttyUSB0:115200:8:1.5:odd", "/dev/ttyUSB0",
         ""},
        // A failure without a text still says something.
        {0, "COM3", "9600", "", 8, 0, 4, -120, "", "COM3:9600:8:1:space", "COM3", "error -120"},
    };
    for (const auto& c : cases) {
        CPelinDoc doc;
        // The connection list's newest entry is not the connection in use after a -C= start.
        doc.connections.resize(1);
        doc.connections[0].Item = "192.168.9.9:23:Other";
        doc.connections[0].Order = 0;
        doc.isTcp = c.isTcp;
        if (c.isTcp) {
            doc.ipAddress = c.port;
            doc.telnetPort = c.speed;
            doc.tcpName = c.name;
        } else {
            doc.comPort = c.port;
            doc.baudRate = c.speed;
            doc.tcpName = "Stale";
        }
        doc.dataBits = static_cast<uint8_t>(c.dataBits);
        doc.stopBits = static_cast<uint8_t>(c.stopBits);
        doc.parity = static_cast<uint8_t>(c.parity);
        outcome.result = c.result;
        outcome.reason = c.reason;
        const TransferReportLine r = MakeTransferReportLine(outcome, doc, 77, "/elsewhere");
        EXPECT_EQ(r.connection, c.connection) << c.connection;
        EXPECT_EQ(r.controller, c.controller) << c.connection;
        EXPECT_EQ(r.code, c.result) << c.connection;
        EXPECT_EQ(r.message, c.message) << c.connection;
        EXPECT_EQ(r.file, "/pc/\xE3\x83\x90\xE3\x83\x83\xE3\x82\xAF.as");
        EXPECT_EQ(r.endUnixMs, 77);
        EXPECT_TRUE(r.save);
        EXPECT_EQ(r.bytes, 10u);
        EXPECT_EQ(r.durationMs, 5);
    }
}

TEST(RunReportTest, FileNamedWithoutAFolderIsNamedWhole) {
    const struct {
        std::string path, folder, file;
    } cases[] = {
        {"all.as", "/var/lib/b/R1", "/var/lib/b/R1/all.as"},
        {"all.as", "/", "/all.as"},
        {"sub/all.as", "/home/op", "/home/op/sub/all.as"},
        {"/abs/all.as", "/home/op", "/abs/all.as"},
        {"all.as", "", "all.as"},  // the folder could not be read
        {"\x83\x6f.as", "/\x83\x6f", "/\xE3\x83\x90/\xE3\x83\x90.as"},
    };
    for (const auto& c : cases) {
        TransferOutcome outcome;
        outcome.path = c.path;
        EXPECT_EQ(MakeTransferReportLine(outcome, CPelinDoc(), 0, c.folder).file, c.file) << c.path;
    }
}

std::string Scratch(const char* name) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("tavrin-report-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return (folder / name).string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(RunReportTest, FileIsAppendedToOneLineARecordAndEndsOnce) {
    const std::string path = Scratch("append.jsonl");
    std::filesystem::remove(path);
    {
        std::ofstream earlier(path);
        earlier << "{\"type\":\"end\",\"time\":\"x\",\"exit_status\":0}\n";
    }
    std::string error;
    CRunReport first;
    CRunReport second;  // another run sharing the file
    ASSERT_TRUE(first.Open(path, error)) << error;
    ASSERT_TRUE(second.Open(path, error)) << error;
    TransferReportLine r;
    r.file = "a.as";
    first.Transfer(r);
    second.Transfer(r);
    first.End(0);
    first.End(2);  // only the first end counts
    const std::string text = ReadAll(path);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "{\"type\":\"end\",\"time\":\"x\",\"exit_status\":0}\n");
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 4u) << text;
    EXPECT_EQ(text.find("\"exit_status\":2"), std::string::npos);
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::others_write,
              std::filesystem::perms::none);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

TEST(RunReportTest, FileThatCannotBeOpenedIsNamedWithTheReason) {
    CRunReport report;
    std::string error;
    EXPECT_FALSE(report.Open("/nonexistent-folder/r.jsonl", error));
    EXPECT_EQ(error, "cannot open report file '/nonexistent-folder/r.jsonl': No such file or directory");
    EXPECT_FALSE(report.IsOpen());
    EXPECT_FALSE(report.Write("x\n"));
}

}  // namespace
}  // namespace tavrin
