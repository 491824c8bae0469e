#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavrin {

// The settings store: INI files of sections ("[Settings]") and key lines ("Key=Value").
//
// Reading: section and key names compare without regard to ASCII case; blanks (spaces and tabs)
// around names and values are trimmed; one pair of enclosing single or double quotes is removed
// from a value; a value longer than kMaxProfileValue bytes is cut there (never inside a
// two-byte CP932 character). A line that is neither a section header nor a key line is skipped.
// When a section appears more than once its keys are read as one section; the first line of a
// key wins. A missing file, section or key gives the default. Files may use CR LF or LF.
//
// Writing: creates the file, the section and the key as needed, replaces the value of an
// existing key and keeps every other line's content as it was. Every line is written with CR LF.
// The file is replaced atomically: the new text goes to a temporary file in the same folder,
// which is then renamed over the old one, so a crash never leaves a half-written file. A file
// with no write permission (made read-only by its user) is never replaced.
//
// Only files the user may trust are read or written (OwnFile.h): a FIFO, device or folder,
// another user's file or symbolic link, a file over 1 MiB or one holding NUL bytes reads as
// missing and is never replaced.
//
// Bytes are passed through unchanged; values may be CP932.
inline constexpr size_t kMaxProfileValue = 4095;

std::string ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                              const std::string& defaultValue);

// The value read as a decimal integer: optional blanks, an optional sign and the digits that
// follow ("12abc" reads 12, values beyond the int range are clamped). A missing or empty value
// gives defaultValue, and so does a value with no leading number ("abc"): callers pass the value
// they already hold, so an unreadable entry keeps it.
int ReadProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int defaultValue);

// The file read and parsed once for many look-ups (a whole connection list), with the same
// rules and results as ReadProfileString and ReadProfileInt.
class CProfileReader {
public:
    explicit CProfileReader(const std::string& path);
    std::string String(const std::string& section, const std::string& key,
                       const std::string& defaultValue) const;
    int Int(const std::string& section, const std::string& key, int defaultValue) const;

private:
    // Section and key names folded to lower case; the first line of a key wins.
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> values_;
};

// Returns false, leaving the file untouched, when it cannot be read or written, or when the
// section, key or value cannot be stored in one line (an empty name, a line break, '=' in a
// key, ']' in a section name).
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);
bool WriteProfileInt(const std::string& path, const std::string& section, const std::string& key, int value);

// Several keys of one section in one rewrite of the file (one atomic replace instead of one per
// key), in order, with the same rules as WriteProfileString. Entries that cannot be stored are
// left out; the result is false when any was left out or the file could not be written.
using ProfileEntries = std::vector<std::pair<std::string, std::string>>;
bool WriteProfileStrings(const std::string& path, const std::string& section, const ProfileEntries& entries);
// Several sections in one replace of the file (a whole connection list in one write).
using ProfileSections = std::vector<std::pair<std::string, ProfileEntries>>;
bool WriteProfileSections(const std::string& path, const ProfileSections& sections);

// The first write of any settings file that failed since the last call (errno, 0 when none)
// and that file's path; the record is cleared. Called on the event-loop thread, like the writes.
int TakeProfileWriteError(std::string& path);

// The key names of a section in file order (trimmed; a name repeated in any case is listed
// once). Empty when the file or section is missing.
std::vector<std::string> ReadProfileKeys(const std::string& path, const std::string& section);

}  // namespace tavrin
