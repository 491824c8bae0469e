// The batch paths of the settings store (one parse for many reads, one pass for many writes)
// against the plain one-key-at-a-time rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/IniFile.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

// Files with the awkward cases: duplicate sections in other cases, keys before any header,
// comments and malformed lines, blank lines between and after sections, a byte-order mark,
// LF-only lines, no final line end.
const char* const kFiles[] = {
    "",
    "\r\n",
    "Loose=1\r\n[A]\r\nx=1\r\n\r\n[b]\r\nY=2\r\n; note\r\n\r\n\r\n[a]\r\nX=3\r\nz=4\r\n",
    "\xEF\xBB\xBF[A]\nk=v\n[B]\n\n[C]\nbroken line\n",
    "[A]\r\n[A]\r\nq=1",
    "; only a comment",
    "[ Connection0 ]\r\n IsTcp = 1 \r\nItem='quoted'\r\n\r\n[Connections]\r\nTotal=1\r\n\r\n",
};

// The rules of a single write, applied key after key, as the store has always written them.
std::string Fold(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
}
std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
struct Parsed {
    int kind = 0;  // 0 other, 1 section, 2 key
    std::string name;
};
Parsed ParseLine(const std::string& line) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';') return {};
    if (t[0] == '[') {
        const size_t close = t.find(']');
        return close == std::string::npos ? Parsed{} : Parsed{1, Trim(t.substr(1, close - 1))};
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos || Trim(t.substr(0, eq)).empty()) return {};
    return {2, Trim(t.substr(0, eq))};
}
std::string ReferenceWrite(const std::string& contents, const std::vector<std::vector<std::string>>& writes) {
    std::string bom, rest = contents;
    if (rest.rfind("\xEF\xBB\xBF", 0) == 0) {
        bom = rest.substr(0, 3);
        rest = rest.substr(3);
    }
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < rest.size()) {
        size_t end = rest.find('\n', at);
        std::string line = rest.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    for (const auto& w : writes) {
        const std::string section = Trim(w[0]), key = Trim(w[1]), &value = w[2];
        bool in = false, done = false;
        for (std::string& line : lines) {
            const Parsed p = ParseLine(line);
            if (p.kind == 1) in = Fold(p.name) == Fold(section);
            if (p.kind == 2 && in && Fold(p.name) == Fold(key)) {
                line = p.name + "=" + value;
                done = true;
                break;
            }
        }
        if (done) continue;
        int header = -1, last = -1;
        for (size_t i = 0; i < lines.size(); ++i) {
            const Parsed p = ParseLine(lines[i]);
            if (p.kind == 1) {
                if (header >= 0) break;
                if (Fold(p.name) == Fold(section)) header = last = static_cast<int>(i);
            } else if (header >= 0 && !Trim(lines[i]).empty()) {
                last = static_cast<int>(i);
            }
        }
        if (header >= 0) {
            lines.insert(lines.begin() + last + 1, key + "=" + value);
            continue;
        }
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
        lines.push_back("[" + section + "]");
        lines.push_back(key + "=" + value);
    }
    std::string out = bom;
    for (const std::string& line : lines) out += line + "\r\n";
    return out;
}

TEST(IniBatchTest, BatchWriteGivesTheBytesOfKeyByKeyWrites) {
    const char* const sections[] = {"A", "a", " B ", "C", "New", "new", "Other", "Connection0"};
    const char* const keys[] = {"x", "X", "Y", "z", " k ", "q", "IsTcp", "fresh", "Total"};
    std::mt19937 rng(5);
    CTempFolder dir;
    for (const char* file : kFiles) {
        for (int round = 0; round < 40; ++round) {
            const int count = std::uniform_int_distribution<int>(1, 30)(rng);
            std::vector<std::vector<std::string>> writes;
            ProfileSections batch;
            for (int i = 0; i < count; ++i) {
                const std::string section = sections[rng() % std::size(sections)];
                const std::string key = keys[rng() % std::size(keys)];
                const std::string value = i % 5 == 0 ? "" : "v" + std::to_string(i) + (i % 3 ? " '" : "");
                writes.push_back({section, key, value});
                if (batch.empty() || batch.back().first != section || rng() % 4 == 0)
                    batch.push_back({section, {}});
                batch.back().second.push_back({key, value});
            }
            dir.Write("b.ini", file);
            ASSERT_TRUE(WriteProfileSections(dir.File("b.ini"), batch));
            ASSERT_EQ(dir.Read("b.ini"), ReferenceWrite(file, writes))
                << "file: " << file << " round " << round;
        }
    }
}

TEST(IniBatchTest, ReaderReadsWhatSingleReadsRead) {
    CTempFolder dir;
    const char* const names[] = {"A", "a", "b", " B", "C", "Connection0", "connections", "None", ""};
    const char* const keys[] = {"x",      "Y",    "z",     "k",           "q", "Loose",
                                " IsTcp", "item", "Total", "broken line", ""};
    for (const char* file : kFiles) {
        dir.Write("r.ini", file);
        const std::string path = dir.File("r.ini");
        const CProfileReader reader(path);
        for (const char* section : names) {
            for (const char* key : keys) {
                EXPECT_EQ(reader.String(section, key, "<none>"),
                          ReadProfileString(path, section, key, "<none>"))
                    << file << " [" << section << "] " << key;
                EXPECT_EQ(reader.Int(section, key, -7), ReadProfileInt(path, section, key, -7));
            }
        }
    }
    const CProfileReader missing(dir.File("missing.ini"));
    EXPECT_EQ(missing.String("A", "x", "dflt"), "dflt");
}

}  // namespace
}  // namespace tavrin
