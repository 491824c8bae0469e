#include "app/CommandLine.h"

#include <string_view>

namespace tavrin {
namespace {

// The long options: a flag (flag set) or one with a value (value set, and what it needs).
struct LongOption {
    std::string_view name;
    bool CommandLineOptions::*flag;
    std::string CommandLineOptions::*value;
    const char* valueName;
};

constexpr LongOption kLongOptions[] = {
    {"headless", &CommandLineOptions::headless, nullptr, nullptr},
    {"demo", &CommandLineOptions::demo, nullptr, nullptr},
    {"list-ports", &CommandLineOptions::listPorts, nullptr, nullptr},
    {"help", &CommandLineOptions::help, nullptr, nullptr},
    {"version", &CommandLineOptions::version, nullptr, nullptr},
    {"run", nullptr, &CommandLineOptions::runMacro, "a macro file"},
    {"report", nullptr, &CommandLineOptions::reportFile, "a file"},
};

// The short options with a value: the value follows the name in the same argument, or (where
// allowed) is the next argument. "-DF" comes before "-F" only for clarity: "-F" never matches
// "-DF..." since both are compared from the first character.
struct ShortOption {
    std::string_view name;
    bool separateValue;  // "-F PATH" as well as "-FPATH"
    std::string CommandLineOptions::*value;
    const char* valueName;
};

constexpr ShortOption kShortOptions[] = {
    {"-C=", false, &CommandLineOptions::connection, "a connection"},
    {"-DF", true, &CommandLineOptions::panelFile, "a file"},
    {"-F", true, &CommandLineOptions::profilePath, "a file"},
};

bool IsMacroFile(std::string_view arg) {
    if (arg.size() <= 4 || arg.front() == '-') return false;
    const std::string_view ext = arg.substr(arg.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'u' && (ext[2] | 0x20) == 'a' && (ext[3] | 0x20) == 's';
}

class Reader {
public:
    explicit Reader(const std::vector<std::string>& args) : args_(args) {}

    CommandLineOptions Read() {
        for (at_ = 0; at_ < args_.size(); ++at_) {
            const std::string& arg = args_[at_];
            if (arg.starts_with("--")) {
                Long(arg);
            } else if (arg == "-h") {
                options_.help = true;
            } else if (arg == "-N") {
                options_.hostLink = true;
            } else if (arg.starts_with("-")) {
                Short(arg);
            } else if (IsMacroFile(arg)) {
                // A macro file named on its own (the desktop entry passes the files it opens).
                // The first macro named counts, and --run beats one named alone.
                if (options_.runMacro.empty()) options_.runMacro = arg;
            } else {
                Fail("unexpected argument '" + arg + "'");
            }
        }
        return std::move(options_);
    }

private:
    void Fail(std::string reason) {
        if (options_.error.empty()) options_.error = std::move(reason);
    }

    // The next argument as the value of option; false (and the error set) when there is none.
    bool NextValue(std::string_view option, const char* valueName, std::string& value) {
        if (at_ + 1 >= args_.size()) {
            Fail("option '" + std::string(option) + "' needs " + valueName);
            return false;
        }
        value = args_[++at_];
        return true;
    }

    void Set(std::string_view option, const char* valueName, std::string CommandLineOptions::*field,
             std::string value) {
        if (value.empty()) {
            Fail("option '" + std::string(option) + "' needs " + valueName);
            return;
        }
        options_.*field = std::move(value);
    }

    void Long(const std::string& arg) {
        const size_t equals = arg.find('=');
        const std::string_view name =
            std::string_view(arg).substr(2, equals == std::string::npos ? arg.npos : equals - 2);
        for (const LongOption& o : kLongOptions) {
            if (o.name != name) continue;
            const std::string option = "--" + std::string(name);
            if (o.flag != nullptr) {
                if (equals != std::string::npos)
                    Fail("option '" + option + "' takes no value");
                else
                    options_.*o.flag = true;
                return;
            }
            std::string value;
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
            else if (!NextValue(option, o.valueName, value))
                return;
            Set(option, o.valueName, o.value, std::move(value));
            return;
        }
        Fail("unknown option '" + arg + "'");
    }

    void Short(const std::string& arg) {
        for (const ShortOption& o : kShortOptions) {
            if (!arg.starts_with(o.name)) continue;
            std::string value = arg.substr(o.name.size());
            if (value.empty() && o.separateValue && !NextValue(o.name, o.valueName, value)) return;
            Set(o.name, o.valueName, o.value, std::move(value));
            return;
        }
        if (arg == "-C")
            Fail("option '-C=' needs a connection");
        else
            Fail("unknown option '" + arg + "'");
    }

    const std::vector<std::string>& args_;
    size_t at_ = 0;
    CommandLineOptions options_;
};

}  // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::string>& arguments) {
    return Reader(arguments).Read();
}

CommandLineOptions ParseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) arguments.emplace_back(argv[i]);
    return ParseCommandLine(arguments);
}

std::string AbsoluteSettingsPath(const CommandLineOptions& options, const std::string& workingFolder) {
    const std::string& path = options.profilePath;
    if (path.empty() || path.front() == '/' || workingFolder.empty()) return path;
    std::string folder = workingFolder;
    if (folder.back() != '/') folder += '/';
    return folder + path;
}

}  // namespace tavrin
