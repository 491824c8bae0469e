#include "SimConsole.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <thread>

namespace tavrin::sim {

namespace {

struct WordEntry {
    int code;
    const char* word;
    size_t shortest;
};

constexpr WordEntry kWords[] = {
    {CSimConsole::kSave, "save", 2},
    {CSimConsole::kVsave, "vsave", 5},
    {CSimConsole::kVsavepro, "vsavepro", 6},
    {CSimConsole::kVsavecal, "vsavecal", 6},
    {CSimConsole::kZbsave, "zbsave", 6},
    {CSimConsole::kLoad, "load", 2},
    {CSimConsole::kVload, "vload", 5},
    {CSimConsole::kVloadpro, "vloadpro", 6},
    {CSimConsole::kVloadcal, "vloadcal", 6},
    {CSimConsole::kZbload, "zbload", 6},
    {CSimConsole::kFdirectory, "fdirectory", 3},
    {CSimConsole::kFdelete, "fdelete", 4},
    {CSimConsole::kFormat, "format", 6},
    {CSimConsole::kZsrvdl, "zsrvdl", 5},
};

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

std::vector<std::string> SplitTokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!current.empty()) tokens.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) tokens.push_back(std::move(current));
    return tokens;
}

// "Welcome to the robot control simulator" in CP932.
constexpr char kJapaneseGreeting[] =
    "\x83\x8d\x83\x7b\x83\x62\x83\x67\x90\xa7\x8c\xe4\x83\x56\x83\x7e\x83\x85\x83\x8c\x81\x5b\x83\x5e"
    " \x82\xe6\x82\xa4\x82\xb1\x82\xbb";
// "Ready" in CP932.
constexpr char kJapaneseReady[] = "\x8f\x80\x94\xf5\x8a\xae\x97\xb9";

constexpr char kVersion[] = "Tavrin controller simulator 1.0";

}  // namespace

int CSimConsole::LookupTransferWord(std::string_view word) {
    word = word.substr(0, word.find('/'));
    const std::string lower = Lower(word);
    for (const WordEntry& e : kWords) {
        const std::string_view full = e.word;
        if (lower.size() >= e.shortest && lower.size() <= full.size() &&
            full.substr(0, lower.size()) == lower)
            return e.code;
    }
    return -1;
}

CSimConsole::CSimConsole(CSimLine& line, CSimDisk& disk, const SimOptions& options)
    : line(line), disk(disk), options(options), transfer(line, options) {}

int CSimConsole::NextByte(int timeoutMs) {
    for (;;) {
        int b = line.ReadByte(timeoutMs);
        if (b < 0) return b;
        if (!line.IsSocket() || telnet.Feed(static_cast<uint8_t>(b))) return b;
    }
}

void CSimConsole::Run() {
    if (line.IsSocket()) {
        line.Send(CTelnetFilter::ConnectRequest());
        if (options.login && !Login()) return;
    }
    Banner();
    while (!line.IsClosed()) {
        int b = NextByte(-1);
        if (b >= 0) HandleByte(b);
    }
}

bool CSimConsole::Login() {
    // The prompt goes out on its own, so it ends the chunk the terminal receives.
    line.Send("login: ");
    std::string name;
    for (;;) {
        int b = NextByte(-1);
        if (b < 0) return false;
        if (b == '\r' || b == '\n') break;
        if (b == 0x08 || b == 0x7F) {
            if (!name.empty()) {
                name.pop_back();
                line.Send("\b \b");
            }
            continue;
        }
        if (b < 0x20 || name.size() >= 64) continue;
        name += static_cast<char>(b);
        line.Send(std::string(1, static_cast<char>(b)));
    }
    lastWasCr = true;  // an LF after the CR belongs to the same line end
    userName = name;
    line.Send("\r\n");
    return true;
}

void CSimConsole::Banner() {
    std::string text = "\r\n";
    text += kVersion;
    text += "\r\n";
    text += kJapaneseGreeting;
    text += "\r\n";
    if (!userName.empty()) text += "User " + userName + ". ";
    text += "Type help for the commands.\r\n>";
    line.Send(text);
}

void CSimConsole::EraseLastCharacter() {
    // A Shift-JIS pair is erased as one character of two columns.
    size_t last = 0;
    for (size_t i = 0; i < typed.size();) {
        last = i;
        i += (IsLeadByte(static_cast<uint8_t>(typed[i])) && i + 1 < typed.size()) ? 2 : 1;
    }
    const size_t width = typed.size() - last;
    typed.resize(last);
    line.Send(std::string(width, '\b') + std::string(width, ' ') + std::string(width, '\b'));
}

void CSimConsole::HandleByte(int byte) {
    const bool afterCr = lastWasCr;
    lastWasCr = false;
    switch (byte) {
        case '\n':
            if (afterCr) return;  // the LF of a CR LF line end
            [[fallthrough]];
        case '\r': {
            lastWasCr = byte == '\r';
            line.Send("\r\n");
            std::string text;
            text.swap(typed);
            const bool afterCan = lineAfterCan;
            lineAfterCan = false;
            Execute(text, afterCan);
            return;
        }
        case 0x08:
        case 0x7F:
            if (!typed.empty()) EraseLastCharacter();
            return;
        case 0x18:  // CAN: the typed line is dropped
            if (!typed.empty()) line.Send(std::string(typed.size(), '\b') + "\x1b[K");
            typed.clear();
            lineAfterCan = true;
            return;
        default:
            // Other control bytes (the line editor's cursor keys among them) are not echoed.
            if (byte < 0x20) return;
            if (typed.size() >= kLineMax) {
                line.Send("\x07");
                return;
            }
            typed += static_cast<char>(byte);
            line.Send(std::string(1, static_cast<char>(byte)));
    }
}

void CSimConsole::Execute(const std::string& text, bool afterCan) {
    const std::vector<std::string> tokens = SplitTokens(text);
    std::string out;
    if (!tokens.empty()) {
        const std::string word = Lower(tokens[0]);
        const int code = LookupTransferWord(tokens[0]);
        if (code >= 0) {
            std::string result = RunTransfer(code, tokens);
            if (line.IsClosed()) return;
            // After CAN the terminal took our echo of the retyped line off the screen, so the
            // cursor still stands behind the line the operator typed.
            out = (afterCan ? "\r\n" : "") + result + "\r\n";
        } else if (word == "help" || word == "?") {
            out =
                "help              this list\r\n"
                "dir               programs on the controller's disk\r\n"
                "type NAME         print a program\r\n"
                "ver               version\r\n"
                "here              current pose of the arm\r\n"
                "status            controller and link state\r\n"
                "save NAME [/c]    send a program to the PC (vsave, zbsave, ...)\r\n"
                "load NAME [/c]    read a file from the PC (vload, zbload, ...)\r\n"
                "fdelete NAME      delete a file on the PC\r\n";
        } else if (word == "dir") {
            out = Directory();
        } else if (word == "type") {
            out = tokens.size() < 2 ? "(E6203) File name missing.\r\n" : TypeFile(tokens[1]);
        } else if (word == "ver") {
            out = std::string(kVersion) + "\r\n";
        } else if (word == "here") {
            out =
                "     X[mm]     Y[mm]     Z[mm]    O[deg]    A[deg]    T[deg]\r\n"
                "   512.500   -60.000   275.000     0.000   180.000    90.000\r\n";
        } else if (word == "status") {
            out = Status();
        } else {
            out = "(E0101) Unknown command: " + tokens[0] + "\r\n";
        }
    }
    line.Send(out + ">");
}

std::string CSimConsole::RunTransfer(int code, const std::vector<std::string>& tokens) {
    if (code == kFormat) return "(E6302) format is not available on this controller.";
    if (code == kFdirectory) return Directory() + "(end of list)";

    bool compress = options.compress;
    const std::string& word = tokens[0];
    if (auto slash = word.find('/');
        slash != std::string::npos && Lower(word.substr(slash)).find('c') != std::string::npos)
        compress = true;
    std::string name;
    std::vector<std::string> names;
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t[0] == '/') {
            if (Lower(t).find('c') != std::string::npos) compress = true;
            continue;
        }
        if (t[0] == '=') continue;  // "=program" parts name what to save; the sim saves by file
        names.push_back(t);
    }
    if (names.empty()) return "(E6203) File name missing.";
    name = names[0];
    if (code == kZbsave || code == kZbload) name = name.substr(0, name.find(','));
    if (!CSimDisk::IsValidName(name)) return "(E6204) Bad file name: " + name;

    std::string result;
    if (code == kFdelete) {
        for (const std::string& n : names) {
            if (!result.empty()) result += "\r\n";
            int r = CSimDisk::IsValidName(n) ? transfer.Delete(n) : kSimBadReply;
            result +=
                r == 0 ? "Deleted " + n + " on the PC." : CSimTransfer::ResultText(r, transfer.PcStatus());
            if (r == kSimClosed) break;
        }
        if (options.faults.slowResult) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        lastTransfer = result;
        return result;
    }
    if (code <= kZbsave) {
        // "save PROGRAM FILE" saves the program into a file of another name.
        std::string program = name;
        if (code != kZbsave && names.size() >= 2) {
            name = names[1];
            if (!CSimDisk::IsValidName(name)) return "(E6204) Bad file name: " + name;
        }
        std::string data;
        if (auto file = disk.Read(program)) {
            data = *file;
        } else {
            // A name that is not on the disk saves every program under that name.
            for (auto& [stored, size] : disk.List()) data += disk.Read(stored).value_or("");
            if (data.empty()) return "(E6201) No such program: " + program;
        }
        int r = transfer.Save(name, data, compress);
        result = r == 0 ? "Saved " + name + ", " + std::to_string(data.size()) + " bytes" +
                              (transfer.Compressed() ? " (compressed)." : ".")
                        : CSimTransfer::ResultText(r, transfer.PcStatus());
    } else {
        std::string data;
        int r = transfer.Load(name, compress, data);
        if (r == 0 && disk.Write(name, data) != 0) {
            result = "(E6205) Cannot store " + name + " on the controller's disk.";
        } else {
            result = r == 0 ? "Loaded " + name + ", " + std::to_string(data.size()) + " bytes" +
                                  (transfer.Compressed() ? " (compressed)." : ".")
                            : CSimTransfer::ResultText(r, transfer.PcStatus());
        }
    }
    if (options.faults.slowResult) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    lastTransfer = result;
    return result;
}

std::string CSimConsole::Directory() const {
    std::string out;
    char row[128];
    size_t total = 0;
    const auto list = disk.List();
    for (auto& [name, size] : list) {
        std::snprintf(row, sizeof row, "%-32s %8zu\r\n", name.c_str(), size);
        out += row;
        total += size;
    }
    std::snprintf(row, sizeof row, "%zu programs, %zu bytes\r\n", list.size(), total);
    return out + row;
}

std::string CSimConsole::TypeFile(const std::string& name) const {
    auto file = disk.Read(name);
    if (!file) return "(E6201) No such program: " + name + "\r\n";
    std::string out;
    out.reserve(file->size() + file->size() / 16);
    char previous = 0;
    for (char c : *file) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n' && previous != '\r') out += '\r';
        // ENQ and other control bytes would start things on the terminal; show them as dots.
        if (u < 0x20 && c != '\r' && c != '\n' && c != '\t')
            out += '.';
        else
            out += c;
        previous = c;
    }
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    return out;
}

std::string CSimConsole::Status() const {
    std::string out = "Mode: teach   Servo: on   Speed: 30%   ";
    out += kJapaneseReady;
    out += "\r\n";
    if (line.IsSocket()) {
        out += "Link: TCP/IP   terminal type: " +
               (telnet.TerminalType().empty() ? std::string("(none)") : telnet.TerminalType()) + "\r\n";
        out += "Telnet options from the terminal: " +
               (telnet.OptionsSeen().empty() ? std::string("(none)") : telnet.OptionsSeen()) + "\r\n";
    } else {
        out += "Link: serial";
        if (options.baud > 0) out += " " + std::to_string(options.baud) + " baud";
        out += "\r\n";
    }
    out += "Compression: " + std::string(options.compress ? "on" : "off") + "\r\n";
    out += "Last transfer: " + lastTransfer + "\r\n";
    return out;
}

}  // namespace tavrin::sim
