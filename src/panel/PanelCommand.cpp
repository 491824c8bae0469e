#include "panel/PanelCommand.h"

#include <array>
#include <string_view>

#include "app/Cp932.h"

namespace tavrin {

namespace {

constexpr int64_t kMaxDecimal = 0x7FFFFFFF;

struct Word {
    std::string_view prefix;
    PanelCommandKind kind;
};

// Tested in this order; none is a prefix of another once its blank is counted.
constexpr std::array<Word, 4> kWords{{
    {"MACRO ", PanelCommandKind::Macro},
    {"MESSAGEBOX ", PanelCommandKind::MessageBox},
    {"MESSAGECANCEL ", PanelCommandKind::MessageCancel},
    {"SLEEP ", PanelCommandKind::Sleep},
}};

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::string UpperCp932(const std::string& cp932) {
    std::string out = cp932;
    for (size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<uint8_t>(out[i]);
        if (IsCp932LeadByte(byte)) {
            ++i;  // its trail byte stays as it is
        } else if (byte >= 'a' && byte <= 'z') {
            out[i] = static_cast<char>(byte - 'a' + 'A');
        }
    }
    return out;
}

PanelCommand ParsePanelCommand(const std::string& cp932) {
    PanelCommand command;
    command.text = UpperCp932(cp932);
    if (command.text.empty()) return command;
    command.kind = PanelCommandKind::Line;
    for (const Word& word : kWords) {
        if (std::string_view(command.text).substr(0, word.prefix.size()) != word.prefix) continue;
        command.kind = word.kind;
        size_t start = word.prefix.size();
        while (start < command.text.size() && IsWhite(command.text[start])) ++start;
        command.argument = command.text.substr(start);
        command.writtenArgument = cp932.substr(start);
        break;
    }
    return command;
}

int64_t ParseDecimal(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsWhite(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kMaxDecimal) value = kMaxDecimal;
    }
    return negative ? -value : value;
}

}  // namespace tavrin
