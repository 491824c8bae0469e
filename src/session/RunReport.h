#pragma once
// The report of an unattended run (--report FILE): JSON Lines appended to a file, one object a
// line, for the scripts and schedulers that watch backups.
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

struct CPelinDoc;
struct TransferOutcome;

// One transfer as the report tells it (UTF-8 texts).
struct TransferReportLine {
    int64_t endUnixMs = 0;   // when it ended, ms since 1970-01-01 UTC
    std::string connection;  // the Com menu's text of the connection, e.g. "127.0.0.1:23:Robot1"
    bool save = false;       // save: controller to PC; load: PC to controller
    std::string controller;  // the controller's name on TCP/IP, else the COM port name
    std::string file;        // the path on this PC
    uint64_t bytes = 0;
    int64_t durationMs = 0;
    int code = 0;         // 0 ok, or a negative code
    std::string message;  // why it failed; "" when ok
};

// text as a JSON string with its quotes. '"', '\\' and every control byte (and DEL) are escaped,
// the controls as \u00XX; a byte that is no part of valid UTF-8 becomes U+FFFD, so the line is
// always valid UTF-8 JSON.
std::string JsonString(std::string_view text);

// "2026-12-09T08:52:12.345Z".
std::string IsoTimeUtc(int64_t unixMs);

// The lines (each ending in '\n') of a transfer and of the end of the run.
std::string TransferLine(const TransferReportLine& record);
std::string EndLine(int64_t unixMs, int exitStatus);

// The document's connection as a connection text, the form the Com menu shows:
// "COM3:9600:8:1:none" or "127.0.0.1:23:Robot1" (CP932, as the document holds it).
std::string ConnectionText(const CPelinDoc& doc);

// The record of a transfer that has just ended, at endUnixMs, on the document's connection. A
// file named without a folder was in workingFolder (the current folder; CP932): the record
// names it whole.
TransferReportLine MakeTransferReportLine(const TransferOutcome& outcome, const CPelinDoc& doc,
                                          int64_t endUnixMs, const std::string& workingFolder);

// The wall clock in ms since 1970-01-01 UTC.
int64_t WallClockMs();

// The open report file. Each record goes out in one write(2) to a file opened O_APPEND, so runs
// that share one report (a timer per controller) never interleave inside a line.
class CRunReport {
public:
    CRunReport() = default;
    ~CRunReport();
    CRunReport(const CRunReport&) = delete;
    CRunReport& operator=(const CRunReport&) = delete;

    // Opens (creating it 0644) the file to append to. False with error set ("cannot open report
    // file 'PATH': reason") when it cannot be opened.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }

    void Transfer(const TransferReportLine& record) { Write(TransferLine(record)); }
    // The last record: how the run ended. Nothing more is written after it.
    void End(int exitStatus);

    // Writes one line; false when it could not be written whole.
    bool Write(const std::string& line);

private:
    int fd_ = -1;
    bool ended_ = false;
};

}  // namespace tavrin
