#include "app/CommandLine.h"

#include <cstring>
#include <string_view>

namespace tavrin {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Position of the first occurrence of `option` that starts a word, or npos.
size_t FindOption(std::string_view line, std::string_view option) {
    for (size_t at = line.find(option); at != std::string_view::npos; at = line.find(option, at + 1)) {
        if (at == 0 || IsBlank(line[at - 1]) || line[at - 1] == ',') return at;
    }
    return std::string_view::npos;
}

// The value after `option` up to the first of `stops`, or nothing when the option is absent.
bool OptionValue(std::string_view line, std::string_view option, const char* stops, std::string& value) {
    size_t at = FindOption(line, option);
    if (at == std::string_view::npos) return false;
    std::string_view rest = line.substr(at + option.size());
    value = std::string(rest.substr(0, rest.find_first_of(stops)));
    return true;
}

std::string TrimBlanks(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::string& rawLine) {
    CommandLineOptions options;
    std::string value;
    if (OptionValue(rawLine, "-C=", " \t,", value) && !value.empty()) {
        options.hasConnection = true;
        options.connection = value;
    }
    if (OptionValue(rawLine, "-F", ",", value)) {
        value = TrimBlanks(value);
        if (!value.empty()) {
            options.hasProfile = true;
            options.profilePath = value;
        }
    }
    options.hostLink = FindOption(rawLine, "-N") != std::string::npos;
    if (OptionValue(rawLine, "-DF", " \t,", value) && !value.empty()) {
        options.hasPanelFile = true;
        options.panelFile = value;
    }
    return options;
}

std::string SettingsPathOption(const std::string& rawLine, const std::string& workingFolder) {
    const CommandLineOptions options = ParseCommandLine(rawLine);
    if (!options.hasProfile) return {};
    if (options.profilePath.front() == '/' || workingFolder.empty()) return options.profilePath;
    std::string folder = workingFolder;
    if (folder.back() != '/') folder += '/';
    return folder + options.profilePath;
}

std::string JoinArguments(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr) break;
        std::string_view argument = argv[i];
        if (argument == "--headless" || argument == "--demo" || argument.starts_with("--run=") ||
            argument.starts_with("--report="))
            continue;
        if (argument == "--run" || argument == "--report") {
            ++i;  // and its file
            continue;
        }
        if (!line.empty()) line += ',';
        line += argument;
        if (argument == "-F" && i + 1 < argc && argv[i + 1] != nullptr) line += argv[++i];
    }
    return line;
}

}  // namespace tavrin
