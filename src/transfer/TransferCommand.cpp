#include "transfer/TransferCommand.h"

#include <cctype>
#include <vector>

#include "app/Cp932.h"

namespace tavrin {

namespace {

constexpr uint8_t kCanByte = 0x18;
constexpr int kZbsave = 4;

const std::array<TransferWord, kTransferWords + 1> kWords = {{
    {0, "save", 2},
    {1, "vsave", 5},
    {2, "vsavepro", 6},
    {3, "vsavecal", 6},
    {4, "zbsave", 6},
    {5, "load", 2},
    {6, "vload", 5},
    {7, "vloadpro", 6},
    {8, "vloadcal", 6},
    {9, "zbload", 6},
    {10, "fdirectory", 3},
    {11, "fdelete", 4},
    {12, "format", 6},
    {13, "zsrvdl", 5},
    {-1, "", 0},
}};

bool IsRefusedWord(int code) {
    return code == 10 || code == 11 || code == 12;
}

std::vector<std::string> SplitAtSpaces(const std::string& text) {
    std::vector<std::string> tokens;
    size_t at = 0;
    while (at < text.size()) {
        size_t start = text.find_first_not_of(' ', at);
        if (start == std::string::npos) break;
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        tokens.push_back(text.substr(start, end - start));
        at = end;
    }
    return tokens;
}

// A switch for the controller, not a file: "/Q". "/home/op/p.as" holds a further '/' and is an
// absolute file argument.
bool IsSwitch(const std::string& token) {
    return !token.empty() && token[0] == '/' && token.find('/', 1) == std::string::npos;
}

}  // namespace

const std::array<TransferWord, kTransferWords + 1>& GetTransferWords() {
    return kWords;
}

int LookupTransferWord(const std::string& word) {
    const std::string head = word.substr(0, word.find('/'));
    for (const TransferWord& row : kWords) {
        if (row.code < 0) break;
        const std::string full = row.word;
        if (head.size() < static_cast<size_t>(row.shortest) || head.size() > full.size()) continue;
        bool prefix = true;
        for (size_t i = 0; i < head.size() && prefix; ++i)
            prefix = std::tolower(static_cast<unsigned char>(head[i])) == full[i];
        if (prefix) return row.code;
    }
    return -1;
}

void CTransferCommand::SendText(const std::string& text) {
    link_.SendLinkBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void CTransferCommand::SendLineEnd() {
    SendText(doc_.isTcp ? "\r\n" : "\r");
}

bool CTransferCommand::StartsWithTransferWord(const std::string& line) {
    const std::vector<std::string> tokens = SplitAtSpaces(line.substr(0, line.find_first_of("\r\n")));
    if (tokens.empty()) return false;
    const int code = LookupTransferWord(tokens[0]);
    return code >= 0 && !IsRefusedWord(code);
}

int CTransferCommand::SendTransferCommand(const std::string& line, std::string& folder, bool fromMacro,
                                          int& awaited) {
    awaited = kNothingAwaited;
    std::string text = CutCp932(line, kTransferLineLimit);
    if (text.empty()) return -1;
    text = text.substr(0, text.find('\n'));
    // "prog.as=name" is two tokens for the controller.
    std::string spaced;
    for (char c : text) {
        if (c == '=') spaced += ' ';
        spaced += c;
    }
    std::vector<std::string> tokens = SplitAtSpaces(spaced);
    if (tokens.empty()) return -1;
    const int code = LookupTransferWord(tokens[0]);
    if (code < 0) return -1;

    if (IsRefusedWord(code)) {
        if ((tokens.size() > 1 && tokens[1][0] == '=') || tokens.size() > 2) return -1;
        SendLineEnd();
        awaited = '>';
        return kRefusedTransferCommand;
    }

    size_t fileToken = 0;
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (!IsSwitch(tokens[i])) {
            fileToken = i;
            break;
        }
    }
    if (fileToken == 0) return -1;  // nothing names a file on this side
    const std::string& argument = tokens[fileToken];
    const size_t slash = argument.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : argument.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? argument : argument.substr(slash + 1);
    if (name.empty()) return -1;  // a folder alone: sent unchanged by the caller
    tokens[fileToken] = name;

    std::string joined = tokens[0];
    for (size_t i = 1; i < tokens.size(); ++i) {
        joined += (code == kZbsave && i > 1) ? ',' : ' ';
        joined += tokens[i];
    }

    folder = directory;
    if (fromMacro && !doc_.isTcp) {
        SendText(joined);  // the macro's own CR ends it; the controller answers in its time
        return 0;
    }
    // The typed characters have already reached the controller one by one: CAN drops them.
    link_.SendLinkByte(kCanByte);
    SendText(joined);
    SendLineEnd();
    awaited = '\n';  // the controller's echo of the rewritten line
    return 0;
}

}  // namespace tavrin
