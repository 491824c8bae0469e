#include "app/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <string_view>
#include <unordered_map>

#include "app/Cp932.h"
#include "app/OwnFile.h"

namespace tavrin {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

enum class LineKind { kOther, kSection, kKey };

// A value read as a decimal integer, as ReadProfileInt describes.
int IntValue(const std::string& text, int defaultValue);

struct ParsedLine {
    LineKind kind = LineKind::kOther;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed, quotes still on
};

// The file split into lines without their line ends; a UTF-8 byte-order mark is kept apart so
// that the first line still parses and a rewrite keeps the mark.
struct IniText {
    std::string bom;
    std::vector<std::string> lines;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

ParsedLine ParseLine(const std::string& line) {
    ParsedLine parsed;
    std::string_view text = Trim(line);
    if (text.empty() || text[0] == ';') return parsed;  // blank line or comment
    if (text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos) return parsed;  // malformed header: skipped
        parsed.kind = LineKind::kSection;
        parsed.name = std::string(Trim(text.substr(1, close - 1)));
        return parsed;
    }
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) return parsed;  // no '=': skipped
    std::string_view name = Trim(text.substr(0, equals));
    if (name.empty()) return parsed;
    parsed.kind = LineKind::kKey;
    parsed.name = std::string(name);
    parsed.value = std::string(Trim(text.substr(equals + 1)));
    return parsed;
}

// 0 when the file was read, ENOENT when it does not exist, another errno when it cannot be read
// or is refused (not a regular file of the user, too large, holding NUL bytes: see OwnFile.h).
int ReadWholeFile(const std::string& path, std::string& contents) {
    const OwnFileCheck check = ReadOwnFile(path, kIniFileRules, contents);
    return check.Errno();
}

IniText SplitLines(const std::string& contents) {
    IniText ini;
    std::string_view rest = contents;
    if (rest.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        ini.bom = std::string(kUtf8Bom);
        rest.remove_prefix(kUtf8Bom.size());
    }
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ini.lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return ini;
}

IniText LoadIni(const std::string& path) {
    std::string contents;
    if (ReadWholeFile(path, contents) != 0) return {};
    return SplitLines(contents);
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Finds the first line of `key` in any occurrence of `section`. Returns its index, or -1.
int FindKeyLine(const IniText& ini, std::string_view section, std::string_view key, ParsedLine* found) {
    section = Trim(section);
    key = Trim(key);
    bool inSection = false;
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        ParsedLine parsed = ParseLine(ini.lines[i]);
        if (parsed.kind == LineKind::kSection) {
            inSection = EqualsNoCase(parsed.name, section);
        } else if (parsed.kind == LineKind::kKey && inSection && EqualsNoCase(parsed.name, key)) {
            if (found != nullptr) *found = std::move(parsed);
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool CanStore(const std::string& section, const std::string& key, const std::string& value) {
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);
    if (sectionName.empty() || keyName.empty()) return false;
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    // A NUL would make the whole file one that is no settings text and is no longer read.
    if (section.find('\0') != std::string::npos || key.find('\0') != std::string::npos ||
        value.find('\0') != std::string::npos)
        return false;
    if (sectionName.find(']') != std::string_view::npos) return false;
    // A key that would read back as a header, a comment or another key cannot be stored.
    if (keyName.find('=') != std::string_view::npos || keyName[0] == '[' || keyName[0] == ';') return false;
    return true;
}

std::string Folded(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = FoldAscii(c);
    return folded;
}

// A batch of key writes applied to the file's lines in one pass: the lines are parsed once,
// and each write then costs a look-up. The result is the same text as writing the keys one
// after another: a write replaces the value of the first line of `key` in any occurrence of
// `section` (the file's own spelling of the key stays), or adds the key to the first occurrence
// of `section` after its last non-blank line (so the blank lines that separate it from the
// next section stay), or adds the section at the end of the file.
class CIniEditor {
public:
    explicit CIniEditor(IniText& ini) : ini_(ini) {
        after_.resize(ini.lines.size());
        std::string section;
        bool inSection = false;  // keys before the first header belong to no section
        Place* first = nullptr;  // the first occurrence of `section`, while inside it
        for (size_t i = 0; i < ini.lines.size(); ++i) {
            ParsedLine parsed = ParseLine(ini.lines[i]);
            if (parsed.kind == LineKind::kSection) {
                section = Folded(parsed.name);
                inSection = true;
                auto [place, isNew] = sections_.try_emplace(section, Place{false, i, nullptr});
                first = isNew ? &place->second : nullptr;
                continue;
            }
            if (first != nullptr && !Trim(ini.lines[i]).empty()) first->line = i;
            if (parsed.kind == LineKind::kKey && inSection)
                keys_[section].try_emplace(Folded(parsed.name), Key{&ini.lines[i], parsed.name});
        }
    }

    void Set(const std::string& section, const std::string& key, const std::string& value) {
        const std::string foldedSection = Folded(section);
        auto& keys = keys_[foldedSection];
        const std::string foldedKey = Folded(key);
        if (auto found = keys.find(foldedKey); found != keys.end()) {
            *found->second.line = found->second.name + "=" + value;
            return;
        }
        std::deque<std::string>* lines = nullptr;
        if (auto place = sections_.find(foldedSection); place != sections_.end()) {
            lines = place->second.added ? place->second.newLines : &after_[place->second.line];
        } else {
            added_.push_back(NewSection{"[" + section + "]", {}});
            lines = &added_.back().lines;
            sections_[foldedSection] = Place{true, 0, lines};
        }
        lines->push_back(key + "=" + value);
        keys.emplace(foldedKey, Key{&lines->back(), key});
    }

    // The file's text with every write in place, each line ending in CR LF.
    std::string Text() const {
        std::string output = ini_.bom;
        auto put = [&output](const std::string& line) {
            output += line;
            output += "\r\n";
        };
        for (size_t i = 0; i < ini_.lines.size(); ++i) {
            put(ini_.lines[i]);
            for (const std::string& line : after_[i]) put(line);
        }
        // New sections go at the end, each after a blank line unless the file is empty or
        // already ends in a blank line.
        bool blankBefore = !ini_.lines.empty() && !Trim(ini_.lines.back()).empty();
        for (const NewSection& section : added_) {
            if (blankBefore) put("");
            put(section.header);
            for (const std::string& line : section.lines) put(line);
            blankBefore = true;
        }
        return output;
    }

private:
    struct Place {
        bool added;   // a section this batch adds at the end
        size_t line;  // else: its first occurrence's last non-blank line (or its header)
        std::deque<std::string>* newLines;
    };
    struct Key {
        std::string* line;  // deques and the line vector keep their elements in place
        std::string name;   // as spelled where the key first appears
    };
    struct NewSection {
        std::string header;
        std::deque<std::string> lines;
    };

    IniText& ini_;
    std::vector<std::deque<std::string>> after_;  // lines added after line i
    std::deque<NewSection> added_;
    std::unordered_map<std::string, Place> sections_;
    std::unordered_map<std::string, std::unordered_map<std::string, Key>> keys_;
};

// Where the new text goes: the target of a symbolic link, so the link itself survives.
std::string ResolveTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            std::string resolved = real;
            free(real);
            return resolved;
        }
    }
    return path;
}

bool WriteAll(int fd, const std::string& data) {
    size_t written = 0;
    while (written < data.size()) {
        ssize_t n = write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

// The first write that failed since the last TakeProfileWriteError: its file and errno.
std::string failedWritePath;
int failedWriteError = 0;

bool NoteWriteFailure(const std::string& path, int error) {
    if (failedWriteError == 0) {
        failedWritePath = path;
        failedWriteError = error != 0 ? error : EIO;
    }
    return false;
}

// Writes `contents` to a new file beside `target` and renames it over `target`. A file without
// any write permission is one the user made read-only: it is not replaced.
bool ReplaceFileAtomically(const std::string& target, const std::string& contents) {
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));

    struct stat old {};
    bool hadFile = stat(target.c_str(), &old) == 0;
    if (hadFile && ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(target.c_str(), W_OK) != 0))
        return NoteWriteFailure(target, EACCES);

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(attempt);
        // 0666 under the umask, like any newly created file; an existing file keeps its mode.
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return NoteWriteFailure(target, errno);
    }
    if (fd < 0) return NoteWriteFailure(target, EEXIST);

    bool ok = WriteAll(fd, contents);
    if (ok && hadFile) ok = fchmod(fd, old.st_mode & 07777) == 0 || errno == EPERM;
    if (ok) ok = fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return NoteWriteFailure(target, error);
    }
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue) {
    IniText ini = LoadIni(path);
    ParsedLine found;
    if (FindKeyLine(ini, section, key, &found) < 0) return defaultValue;
    return CutCp932(Unquote(found.value), kMaxProfileValue);
}

int ReadProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int defaultValue) {
    return IntValue(ReadProfileString(path, section, key, ""), defaultValue);
}

CProfileReader::CProfileReader(const std::string& path) {
    const IniText ini = LoadIni(path);
    std::unordered_map<std::string, std::string>* section = nullptr;
    for (const std::string& line : ini.lines) {
        ParsedLine parsed = ParseLine(line);
        if (parsed.kind == LineKind::kSection) {
            section = &values_[Folded(parsed.name)];
        } else if (parsed.kind == LineKind::kKey && section != nullptr) {
            section->try_emplace(Folded(parsed.name), std::move(parsed.value));
        }
    }
}

std::string CProfileReader::String(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const {
    const auto keys = values_.find(Folded(Trim(section)));
    if (keys == values_.end()) return defaultValue;
    const auto value = keys->second.find(Folded(Trim(key)));
    if (value == keys->second.end()) return defaultValue;
    return CutCp932(Unquote(value->second), kMaxProfileValue);
}

int CProfileReader::Int(const std::string& section, const std::string& key, int defaultValue) const {
    return IntValue(String(section, key, ""), defaultValue);
}

namespace {

int IntValue(const std::string& text, int defaultValue) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return defaultValue;
    long long number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        number = number * 10 + (text[i] - '0');
        if (number > static_cast<long long>(INT_MAX) + 1) number = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) number = -number;
    if (number > INT_MAX) number = INT_MAX;
    if (number < INT_MIN) number = INT_MIN;
    return static_cast<int>(number);
}

}  // namespace

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
    if (!CanStore(section, key, value)) return false;
    return WriteProfileStrings(path, section, {{key, value}});
}

bool WriteProfileStrings(const std::string& path, const std::string& section, const ProfileEntries& entries) {
    return WriteProfileSections(path, {{section, entries}});
}

bool WriteProfileSections(const std::string& path, const ProfileSections& sections) {
    if (path.empty()) return false;
    std::string contents;
    // Read through the name as given, so the links on the way are checked. Never overwrite a
    // file we could not read or would not read (another user's, a FIFO, a binary file).
    int error = ReadWholeFile(path, contents);
    if (error != 0 && error != ENOENT) return NoteWriteFailure(path, error);
    std::string target = ResolveTarget(path);
    IniText ini = SplitLines(contents);
    CIniEditor editor(ini);
    bool allStored = true;
    bool changed = false;
    for (const auto& [section, entries] : sections) {
        for (const auto& [key, value] : entries) {
            if (!CanStore(section, key, value)) {
                allStored = false;
                continue;
            }
            editor.Set(std::string(Trim(section)), std::string(Trim(key)), value);
            changed = true;
        }
    }
    if (!changed) return allStored;  // nothing to store: the file stays as it is
    return ReplaceFileAtomically(target, editor.Text()) && allStored;
}

bool WriteProfileInt(const std::string& path, const std::string& section, const std::string& key, int value) {
    return WriteProfileString(path, section, key, std::to_string(value));
}

std::vector<std::string> ReadProfileKeys(const std::string& path, const std::string& section) {
    IniText ini = LoadIni(path);
    std::vector<std::string> keys;
    std::string_view wanted = Trim(section);
    bool inSection = false;
    for (const std::string& line : ini.lines) {
        ParsedLine parsed = ParseLine(line);
        if (parsed.kind == LineKind::kSection) {
            inSection = EqualsNoCase(parsed.name, wanted);
        } else if (parsed.kind == LineKind::kKey && inSection) {
            bool seen = false;
            for (const std::string& existing : keys) seen = seen || EqualsNoCase(existing, parsed.name);
            if (!seen) keys.push_back(parsed.name);
        }
    }
    return keys;
}

int TakeProfileWriteError(std::string& path) {
    const int error = failedWriteError;
    path = failedWritePath;
    failedWriteError = 0;
    failedWritePath.clear();
    return error;
}

}  // namespace tavrin
