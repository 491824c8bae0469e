// The INI store: an arbitrary file, then arbitrary reads and writes. A write that succeeds must
// read back (for names and values that the reading rules keep as they are), and must leave the
// other keys' values as they were.
#include <fuzzer/FuzzedDataProvider.h>

#include <fstream>
#include <string>

#include "FuzzFolder.h"
#include "app/IniFile.h"

using namespace tavrin;

namespace {

[[noreturn]] void Broken(const std::string& what) {
    fprintf(stderr, "INI store: %s\n", what.c_str());
    abort();
}

const std::string& IniPath() {
    static const std::string path = [] {
        const std::string made = tavrin::fuzz::MakeFuzzFolder("ini");
        return made + "/fuzz.ini";
    }();
    return path;
}

// Names and values the reading rules return unchanged: no blanks at either end, no quotes
// around, nothing that ends a line or reads as a header, comment or key.
bool Plain(const std::string& text, bool name) {
    if (text.empty() || text.size() > 200) return false;
    for (unsigned char c : text) {
        if (c < 0x21 || c > 0x7E || c == '"' || c == '\'' || c == '[' || c == ']' || c == ';' || c == '=')
            return false;
        if (name && !isalnum(c)) return false;
    }
    return true;
}

// Whether two section or key names name the same thing: the store drops blanks and tabs at
// either end of a name and compares the rest without case.
std::string Trimmed(const std::string& name) {
    const size_t first = name.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

bool SameName(const std::string& untrimmedA, const std::string& untrimmedB) {
    const std::string a = Trimmed(untrimmedA);
    const std::string b = Trimmed(untrimmedB);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string& path = IniPath();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        const std::string content = in.ConsumeRandomLengthString(8192);
        file.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    // A key to watch while others are written.
    const std::string watchSection = in.ConsumeRandomLengthString(16);
    const std::string watchKey = in.ConsumeRandomLengthString(16);
    for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
        const std::string section = in.ConsumeRandomLengthString(24);
        const std::string key = in.ConsumeRandomLengthString(24);
        switch (in.ConsumeIntegralInRange(0, 4)) {
            case 0: {
                const std::string value = ReadProfileString(path, section, key, "default");
                if (value.size() > kMaxProfileValue) Broken("value longer than the limit");
                break;
            }
            case 1: ReadProfileInt(path, section, key, in.ConsumeIntegral<int>()); break;
            case 2: ReadProfileKeys(path, section); break;
            case 3: {
                const std::string value = in.ConsumeRandomLengthString(300);
                const std::string watched = ReadProfileString(path, watchSection, watchKey, "\x01none");
                const bool written = WriteProfileString(path, section, key, value);
                if (written && Plain(section, true) && Plain(key, true) && Plain(value, false) &&
                    ReadProfileString(path, section, key, "\x01none") != value)
                    Broken("a written value does not read back: [" + section + "] " + key + "=" + value);
                if (written && !(SameName(section, watchSection) && SameName(key, watchKey)) &&
                    Plain(watchSection, true) && Plain(watchKey, true) &&
                    ReadProfileString(path, watchSection, watchKey, "\x01none") != watched)
                    Broken("a write changed another key: [" + watchSection + "] " + watchKey);
                break;
            }
            case 4: {
                ProfileEntries entries;
                const int n = in.ConsumeIntegralInRange(0, 4);
                for (int i = 0; i < n; ++i)
                    entries.emplace_back(in.ConsumeRandomLengthString(16), in.ConsumeRandomLengthString(64));
                WriteProfileStrings(path, section, entries);
                break;
            }
        }
    }
    return 0;
}
