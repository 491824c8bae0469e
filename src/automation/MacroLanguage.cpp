#include "automation/MacroLanguage.h"

#include <unistd.h>

#include <climits>
#include <cstdint>

#include "app/Cp932.h"

namespace tavrin {

namespace {

constexpr int kSub = 0x1A;  // the old end-of-text mark some editors still write

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// "=" followed by optional blanks and a decimal integer, as %d would read it.
bool ReadNumberArgument(std::string_view line, int& out) {
    size_t at = line.find('=');
    if (at == std::string_view::npos) return false;
    ++at;
    while (at < line.size() && IsBlank(line[at])) ++at;
    bool negative = false;
    if (at < line.size() && (line[at] == '+' || line[at] == '-')) {
        negative = line[at] == '-';
        ++at;
    }
    if (at >= line.size() || line[at] < '0' || line[at] > '9') return false;
    int64_t value = 0;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') {
        value = value * 10 + (line[at] - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) return false;  // does not fit an int
        ++at;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return false;
    out = static_cast<int>(value);
    return true;
}

// The text between the first "'" and the next one; no escapes.
bool ReadQuotedArgument(std::string_view line, std::string& out) {
    size_t open = line.find('\'');
    if (open == std::string_view::npos) return false;
    size_t close = line.find('\'', open + 1);
    if (close == std::string_view::npos) return false;
    out = CutCp932(std::string(line.substr(open + 1, close - open - 1)), kMacroArgumentMax);
    return true;
}

}  // namespace

std::string LowerCp932(std::string_view text) {
    std::string lower(text);
    for (size_t i = 0; i < lower.size(); ++i) {
        auto byte = static_cast<uint8_t>(lower[i]);
        if (IsCp932LeadByte(byte)) {
            ++i;  // the trail byte belongs to the character
        } else if (byte >= 'A' && byte <= 'Z') {
            lower[i] = static_cast<char>(byte - 'A' + 'a');
        }
    }
    return lower;
}

int ParseMacroLine(std::string_view line, MacroStatement& out) {
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    std::string_view rest = line.substr(start);
    if (!rest.empty() && rest.front() == ';') return 1;

    const MacroKeyword* found = nullptr;
    for (const MacroKeyword& row : kMacroKeywords) {
        if (row.code == kCodeTableEnd) break;
        if (rest.substr(0, row.name.size()) == row.name) {
            found = &row;
            break;
        }
    }
    if (found == nullptr) return -1;

    out = MacroStatement{};
    out.code = found->code;
    switch (found->code) {
        case kCodeComment: return 1;
        case kCodeBaudRate:
        case kCodeSleep:
        case kCodeTimeout: return ReadNumberArgument(rest, out.number) ? 0 : -1;
        case kCodeErrorMessageBox:
        case kCodeSendFile:
        case kCodeSendLn:
        case kCodeMessageBox:
        case kCodeOpenLog:
        case kCodeSendRepeat:
        case kCodeWait:
        case kCodeErrorCheck:
        case kCodeKeyInput:
        case kCodeMessageCancel: return ReadQuotedArgument(rest, out.text) ? 0 : -1;
        default: return 0;  // no argument; the rest of the line is ignored
    }
}

CMacroReader::~CMacroReader() {
    Close();
}

bool CMacroReader::Open(const std::string& path) {
    Close();
    // A macro steers the controller: only a regular file of the user (or root), never a FIFO
    // that would hold the program in open() or read().
    const int fd = OpenOwnFile(path, kMacroFileRules, refusal_);
    if (fd < 0) return false;
    file_ = ::fdopen(fd, "rb");
    if (file_ == nullptr) ::close(fd);
    return file_ != nullptr;
}

void CMacroReader::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    hereDocument_ = false;
    terminator_.clear();
}

int CMacroReader::ReadRawLine(std::string& line) {
    line.clear();
    for (;;) {
        int c = std::fgetc(file_);
        if (c == EOF) {
            if (std::ferror(file_)) return -1;
            return line.empty() ? 3 : 0;
        }
        if (c == '\r' || c == '\n' || c == kSub) {
            if (!line.empty()) return 0;
            continue;  // empty lines are skipped
        }
        if (line.size() < kMacroLineMax) line.push_back(static_cast<char>(c));
    }
}

int CMacroReader::ReadMacroLine(std::string& line) {
    if (file_ == nullptr) return -1;
    static constexpr std::string_view kHereStart = "sendln << ";
    for (;;) {
        std::string raw;
        int result = ReadRawLine(raw);
        if (result != 0) return result;
        std::string lower = LowerCp932(raw);
        if (lower.compare(0, kHereStart.size(), kHereStart) == 0) {
            terminator_.clear();
            for (char c : lower.substr(kHereStart.size())) {
                if (c != '\'' && c != '"') terminator_.push_back(c);
            }
            hereDocument_ = true;
            continue;
        }
        if (hereDocument_) {
            if (lower == terminator_) {
                hereDocument_ = false;
                continue;
            }
            line = "sendln '" + lower + "'";
            return 0;
        }
        line = std::move(raw);
        return 0;
    }
}

}  // namespace tavrin
