#include "link/SerialPortList.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/Language.h"

namespace tavrin {

namespace {

constexpr const char* kPortsSection = "Ports";
constexpr const char* kDash = " \xE2\x80\x94 ";  // " — "
constexpr int kMaxComNumber = 9999;

SerialPortEnumerator* currentEnumerator = nullptr;
std::function<std::string()> currentProfile;

std::string Upper(std::string name) {
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

std::string OrDash(const std::string& text) {
    return text.empty() ? std::string("-") : text;
}

// The present device mapping stands for, or nullptr.
const SerialPortInfo* Match(const std::vector<SerialPortInfo>& present, const std::string& mapping,
                            const DevicePathResolver& resolve) {
    if (mapping.empty()) return nullptr;
    const std::string resolved = resolve ? resolve(mapping) : mapping;
    for (const SerialPortInfo& p : present) {
        if (mapping == p.device || (!p.stableName.empty() && mapping == p.stableName) || resolved == p.device)
            return &p;
    }
    return nullptr;
}

}  // namespace

std::string ResolveDevicePath(const std::string& path) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical(path, error);
    return error ? path : resolved.string();
}

ProfileEntries ReadPortMappings(const std::string& profilePath) {
    ProfileEntries ports;
    if (profilePath.empty()) return ports;
    for (const std::string& key : ReadProfileKeys(profilePath, kPortsSection))
        ports.emplace_back(key, ReadProfileString(profilePath, kPortsSection, key, ""));
    return ports;
}

std::vector<SerialPortRow> BuildSerialPortRows(const std::vector<SerialPortInfo>& present,
                                               const ProfileEntries& ports,
                                               const DevicePathResolver& resolve) {
    // COM number -> row; a key that is not COMn (a typo in the file) is left out.
    std::map<int, SerialPortRow> named;
    std::vector<const SerialPortInfo*> taken;
    for (const auto& [key, value] : ports) {
        const int n = ComPortNumber(key, true);
        if (n <= 0 || named.count(n) != 0 || value.empty()) continue;
        SerialPortRow row;
        row.comName = "COM" + std::to_string(n);
        row.mapping = value;
        if (const SerialPortInfo* p = Match(present, value, resolve)) {
            row.present = true;
            row.info = *p;
            taken.push_back(p);
        }
        named.emplace(n, std::move(row));
    }
    // Real UARTs without a mapping keep the name the serial channel gives them.
    for (const SerialPortInfo& p : present) {
        if (std::find(taken.begin(), taken.end(), &p) != taken.end()) continue;
        if (p.device.rfind("/dev/ttyS", 0) != 0) continue;
        const std::string digits = p.device.substr(9);
        if (digits.empty() || digits.size() > 4 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const int n = std::stoi(digits) + 1;
        if (named.count(n) != 0) continue;
        SerialPortRow row;
        row.comName = "COM" + std::to_string(n);
        row.mapping = p.device;
        row.present = true;
        row.info = p;
        taken.push_back(&p);
        named.emplace(n, std::move(row));
    }
    std::vector<SerialPortRow> rows;
    for (auto& [n, row] : named) rows.push_back(std::move(row));
    for (const SerialPortInfo& p : present) {
        if (std::find(taken.begin(), taken.end(), &p) != taken.end()) continue;
        SerialPortRow row;
        row.present = true;
        row.info = p;
        rows.push_back(std::move(row));
    }
    return rows;
}

int ComPortNumber(const std::string& name, bool lowerCaseToo) {
    if (name.size() < 4) return 0;
    if (name.compare(0, 3, "COM") != 0 && !(lowerCaseToo && name.compare(0, 3, "com") == 0)) return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
        if (n > kMaxComNumber) return 0;
    }
    return n;
}

int NextFreeComNumber(const std::vector<SerialPortRow>& rows, const ProfileEntries& ports) {
    for (int n = 1; n <= kMaxComNumber; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const bool mapped = std::any_of(ports.begin(), ports.end(),
                                        [&](const auto& entry) { return Upper(entry.first) == name; });
        const bool used =
            std::any_of(rows.begin(), rows.end(), [&](const SerialPortRow& r) { return r.comName == name; });
        if (!mapped && !used) return n;
    }
    return 0;
}

std::string DescribePort(const SerialPortInfo& info) {
    std::string text;
    for (const std::string* part : {&info.vendor, &info.model, &info.serial}) {
        if (part->empty()) continue;
        if (!text.empty()) text += ' ';
        text += *part;
    }
    return text.empty() ? info.driver : text;
}

std::string PortRowLabel(const SerialPortRow& row, int lang) {
    const bool english = lang != 0;
    if (!row.present) return row.comName + kDash + (english ? "(absent)" : "(未接続)") + kDash + row.mapping;
    const std::string description = DescribePort(row.info);
    std::string label = row.comName.empty() ? std::string(english ? "(new)" : "(新規)") : row.comName;
    if (!description.empty()) label += kDash + description;
    return label + kDash + row.info.device;
}

std::string PortRowListLine(const SerialPortRow& row) {
    if (!row.present) return row.comName + "\t-\t" + OrDash(row.mapping) + "\t(absent)";
    return OrDash(row.comName) + "\t" + OrDash(row.info.device) + "\t" + OrDash(row.info.stableName) + "\t" +
           OrDash(DescribePort(row.info));
}

int AssignComName(const std::string& profilePath, const std::vector<SerialPortRow>& rows,
                  const SerialPortRow& row) {
    if (!row.comName.empty() || !row.present || profilePath.empty()) return 0;
    const int n = NextFreeComNumber(rows, ReadPortMappings(profilePath));
    if (n <= 0) return 0;
    const std::string target = row.info.stableName.empty() ? row.info.device : row.info.stableName;
    if (!WriteProfileString(profilePath, kPortsSection, "COM" + std::to_string(n), target)) return 0;
    return n;
}

std::string ColonPathRefusal(const std::string& path) {
    if (CurrentLanguage() != 0)
        return path +
               " holds ':', which a connection text cannot carry; use its name under /dev/serial/by-id/ "
               "or map it to a COM name in section [Ports].";
    return path +
           " は ':' を含むため接続文字列に書けません。/dev/serial/by-id/ の名前を使うか、"
           "[Ports] で COM 名に割り当てて下さい。";
}

void SetSerialPortEnumerator(SerialPortEnumerator* enumerator) {
    currentEnumerator = enumerator;
}

SerialPortEnumerator* CurrentSerialPortEnumerator() {
    return currentEnumerator;
}

void SetSerialPortProfile(std::function<std::string()> profilePath) {
    currentProfile = std::move(profilePath);
}

std::string CurrentSerialPortProfile() {
    return currentProfile ? currentProfile() : std::string();
}

std::vector<SerialPortInfo> PresentSerialPorts() {
    if (currentEnumerator == nullptr) return {};
    return currentEnumerator->ListPorts();
}

std::vector<SerialPortRow> ListSerialPorts(const std::string& profilePath) {
    return BuildSerialPortRows(PresentSerialPorts(), ReadPortMappings(profilePath));
}

std::string ConnectionItemLabel(const std::string& item, const std::vector<SerialPortRow>& rows, int lang) {
    if (item.compare(0, 3, "COM") != 0) return item;
    const std::string port = item.substr(0, item.find(':'));
    for (const SerialPortRow& row : rows) {
        if (row.comName != port) continue;
        if (!row.present) return item + kDash + (lang != 0 ? "(absent)" : "(未接続)");
        const std::string description = DescribePort(row.info);
        return item + (description.empty() ? std::string() : kDash + description) + kDash + row.info.device;
    }
    return item;
}

}  // namespace tavrin
