#include "app/Settings.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string_view>
#include <vector>

#include "app/Cp932.h"
#include "app/IniFile.h"
#include "app/Language.h"

namespace tavrin {
namespace {

constexpr std::array<const char*, 8> kComPortNames = {"COM1", "COM2", "COM3", "COM4",
                                                      "COM5", "COM6", "COM7", "COM8"};
constexpr size_t kPortWordLength = 4;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%d": blanks, an optional sign, at least one digit. Beyond the int range the value is clamped.
bool ScanInt(std::string_view text, int& value) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    long long number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (number <= static_cast<long long>(INT_MAX) + 1) number = number * 10 + (text[i] - '0');
    }
    if (negative) number = -number;
    value = static_cast<int>(number < INT_MIN ? INT_MIN : (number > INT_MAX ? INT_MAX : number));
    return true;
}

// "%s" converts when the text holds a word.
bool HasWord(std::string_view text) {
    for (char c : text) {
        if (!IsSpace(c)) return true;
    }
    return false;
}

// "%4s": the first word, at most four characters of it.
std::string FirstWord(std::string_view text, size_t maxLength) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    size_t begin = i;
    while (i < text.size() && !IsSpace(text[i]) && i - begin < maxLength) ++i;
    return std::string(text.substr(begin, i - begin));
}

std::string ReadSetting(const std::string& path, const char* key) {
    return ReadProfileString(path, kSettingsSection, key, "");
}

void LoadInt(const std::string& path, const char* key, int& field) {
    std::string text = ReadSetting(path, key);
    int value = 0;
    if (!text.empty() && ScanInt(text, value)) field = value;
}

void LoadText(const std::string& path, const char* key, size_t maxLength, std::string& field) {
    std::string text = ReadSetting(path, key);
    if (!text.empty() && HasWord(text)) field = CutCp932(text, maxLength);
}

}  // namespace

namespace {

std::string ReadWorkingFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
        if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

// The working folder as last read; empty: read it at the next request. One thread only, like
// everything that changes the folder.
std::string& KnownFolder() {
    static std::string folder;
    return folder;
}

}  // namespace

std::string CurrentFolder() {
    std::string& known = KnownFolder();
    if (known.empty()) known = ReadWorkingFolder();
    return known;
}

int ChangeFolder(const std::string& folder) {
    if (folder.empty() || chdir(folder.c_str()) != 0) return -1;
    ForgetCurrentFolder();  // read back as the system spells it (relative names, symbolic links)
    return 0;
}

void ForgetCurrentFolder() {
    KnownFolder().clear();
}

void LoadSettings(CPelinDoc& doc, const std::string& profilePath) {
    int languageValue = 0;
    std::string text = ReadSetting(profilePath, "Language");
    if (!text.empty() && ScanInt(text, languageValue)) SetCurrentLanguage(languageValue == 0 ? 0 : 1);

    LoadText(profilePath, "IPAddress", kIpAddressLength, doc.ipAddress);
    LoadText(profilePath, "TelnetPort", kTelnetPortLength, doc.telnetPort);
    LoadInt(profilePath, "IsLinuxTelnet", doc.isLinuxTelnet);

    text = ReadSetting(profilePath, "Port");
    if (!text.empty() && HasWord(text)) {
        std::string word = FirstWord(text, kPortWordLength);
        doc.comPort = kComPortNames[0];
        for (const char* name : kComPortNames) {
            if (word == name) doc.comPort = name;
        }
    }

    LoadInt(profilePath, "TimeoutSec", doc.timeoutSec);
    LoadText(profilePath, "LoginPrompt", kLoginPromptLength, doc.loginPrompt);
    LoadInt(profilePath, "IsAutoLogin", doc.isAutoLogin);
    LoadInt(profilePath, "IsAutoConnect", doc.isAutoConnect);
    LoadInt(profilePath, "IsSerialReopen", doc.isSerialReopen);
    LoadInt(profilePath, "AcceptControllerTransfers", doc.acceptControllerTransfers);

    text = ReadSetting(profilePath, "Folder");
    if (!text.empty() && HasWord(text)) {
        doc.folder = text;
        (void)ChangeFolder(doc.folder);  // a folder that is gone leaves the working folder as it is
    }
}

bool IsTransientConnection(const CPelinDoc& doc) {
    return doc.isTcp != 0 && !doc.transientConnection.empty() &&
           doc.transientConnection == doc.ipAddress + ":" + doc.telnetPort + ":" + doc.tcpName;
}

bool SaveSettings(const CPelinDoc& doc, const std::string& profilePath) {
    std::array<char, 16> port{};
    std::snprintf(port.data(), port.size(), "%4s", CutCp932(doc.comPort, kComPortLength).c_str());
    ProfileEntries entries = {{"Language", std::to_string(CurrentLanguage())}};
    if (!IsTransientConnection(doc)) {
        entries.emplace_back("IPAddress", doc.ipAddress);
        entries.emplace_back("TelnetPort", doc.telnetPort);
    }
    entries.insert(entries.end(), {
                                      {"IsLinuxTelnet", std::to_string(doc.isLinuxTelnet)},
                                      {"Port", port.data()},
                                      {"LoginPrompt", "'" + doc.loginPrompt + "'"},
                                      {"TimeoutSec", std::to_string(doc.timeoutSec)},
                                      {"IsAutoLogin", std::to_string(doc.isAutoLogin)},
                                      {"IsAutoConnect", std::to_string(doc.isAutoConnect)},
                                  });
    // "Folder" is the working folder at the moment of saving, not the folder that was loaded.
    std::string folder = CurrentFolder();
    if (!folder.empty()) entries.emplace_back("Folder", folder);
    return WriteProfileStrings(profilePath, kSettingsSection, entries) && !folder.empty();
}

bool SaveFolderSetting(CPelinDoc& doc, const std::string& profilePath) {
    std::string folder = CurrentFolder();
    if (folder.empty()) return false;
    doc.folder = folder;
    return WriteProfileString(profilePath, kSettingsSection, "Folder", folder);
}

std::string DefaultProfilePath(const std::string& workingFolder, const std::string& exeName) {
    if (workingFolder.empty()) return exeName + ".ini";  // relative to whatever folder is current
    std::string path = workingFolder;
    if (path.back() != '/') path += '/';
    return path + exeName + ".ini";
}

}  // namespace tavrin
