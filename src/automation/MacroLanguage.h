#pragma once
#include <array>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/OwnFile.h"

namespace tavrin {

// The macro language: the keyword table, the line reader of a .uas file (with its
// here-document rule) and the statement parser. No execution happens here.

inline constexpr size_t kMacroKeywordNameMax = 30;
// The quoted argument of a statement keeps at most this many bytes.
inline constexpr size_t kMacroArgumentMax = 239;
// Error message text, error pattern, repeat text and wait pattern keep at most this many bytes.
inline constexpr size_t kMacroStoredTextMax = 119;
// The keyinput text ($inputstr) keeps at most this many bytes.
inline constexpr size_t kMacroInputMax = 100;
// A macro file line longer than this is cut; the rest of that line is skipped. No statement
// can use more (its quoted argument is cut far shorter).
inline constexpr size_t kMacroLineMax = 1024;

// Statement codes: the letter each keyword row carries.
enum MacroCode : char {
    kCodeNone = 0,
    kCodeComment = 'C',
    kCodeErrorMessageBox = 'E',
    kCodeErrorCheck = 'e',
    kCodeMessageCancel = 'm',
    kCodeMessageBox = 'M',
    kCodeSendRepeat = 'R',
    kCodeTimeout = 'T',
    kCodeSendLn = 'L',
    kCodeWait = 'W',
    kCodeBaudRate = 'B',
    kCodeSendFile = 'F',
    kCodeOpenLog = 'O',
    kCodeCloseLog = 'o',
    kCodeSleep = 'S',
    kCodeEnd = 'X',
    kCodeKeyEnable = 'K',
    kCodeKeyDisable = 'k',
    kCodeContinue = 'c',
    kCodeKeyInput = 'i',
    kCodeTableEnd = 'Z',
};

struct MacroKeyword {
    std::string_view name;
    MacroCode code;
};

// Rows are compared in this order and the first whose name is a prefix of the line wins. The
// last row (empty name, code Z) only ends the table.
inline constexpr std::array<MacroKeyword, 22> kMacroKeywords = {{
    {";", kCodeComment},
    {" ", kCodeComment},
    {"\t", kCodeComment},
    {"errormessagebox", kCodeErrorMessageBox},
    {"errorcheck", kCodeErrorCheck},
    {"messagecancel", kCodeMessageCancel},
    {"messagebox", kCodeMessageBox},
    {"sendrepeat", kCodeSendRepeat},
    {"timeout", kCodeTimeout},
    {"sendln", kCodeSendLn},
    {"wait", kCodeWait},
    {"baudrate", kCodeBaudRate},
    {"sendfile", kCodeSendFile},
    {"openlog", kCodeOpenLog},
    {"closelog", kCodeCloseLog},
    {"sleep", kCodeSleep},
    {"end", kCodeEnd},
    {"keyenable", kCodeKeyEnable},
    {"keydisable", kCodeKeyDisable},
    {"continue", kCodeContinue},
    {"keyinput", kCodeKeyInput},
    {"", kCodeTableEnd},
}};

// A parsed statement: its code and the argument its keyword takes.
struct MacroStatement {
    MacroCode code = kCodeNone;
    int number = 0;    // baudrate, sleep, timeout
    std::string text;  // the quoted argument, at most kMacroArgumentMax bytes
};

// ParseMacroLine: 0 a statement (code and argument stored in `out`), 1 a comment, -1 a format
// error (no keyword matches, or its argument is missing or malformed).
int ParseMacroLine(std::string_view line, MacroStatement& out);

// Lower-cases the ASCII letters of a CP932 text, leaving both bytes of every two-byte character
// alone (a trail byte may look like an upper-case letter).
std::string LowerCp932(std::string_view text);

// Reads statement lines from an open macro file. Owns the file while it is open.
class CMacroReader {
public:
    CMacroReader() = default;
    ~CMacroReader();
    CMacroReader(const CMacroReader&) = delete;
    CMacroReader& operator=(const CMacroReader&) = delete;

    // Opens the file for binary reading; false when it cannot be opened or is not a file the
    // user may trust (OwnFile.h: a regular file of the user or root, at most 16 MiB; Refusal()
    // says why). Any file open before is closed first and the here-document state is reset.
    bool Open(const std::string& path);
    const OwnFileCheck& Refusal() const { return refusal_; }
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // ReadMacroLine: 0 a line is in `line`, 3 end of file with nothing read, -1 read error or
    // no macro file open.
    int ReadMacroLine(std::string& line);

private:
    // One raw line of the file (empty lines skipped): 0, 3 or -1 as ReadMacroLine.
    int ReadRawLine(std::string& line);

    std::FILE* file_ = nullptr;
    OwnFileCheck refusal_;
    bool hereDocument_ = false;
    std::string terminator_;
};

}  // namespace tavrin
