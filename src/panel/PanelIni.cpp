#include "panel/PanelIni.h"

#include "app/OwnFile.h"

namespace tavrin {

namespace {

// The store never returns a value holding a line feed (it splits lines there), so this default
// tells a missing key from any stored value, the empty one included.
constexpr const char* kMissing = "\n";

}  // namespace

std::string CPanelIni::Read(const std::string& section, const std::string& key,
                            const std::string& defaultValue,
                            const std::function<std::string(const std::string&)>& convert) {
    const std::string stored = ReadProfileString(path_, section, key, kMissing);
    const bool present = stored != kMissing;
    std::string used = present ? stored : defaultValue;
    if (convert) used = convert(used);
    if (!present || used != stored) {
        auto it = pending_.begin();
        while (it != pending_.end() && it->first != section) ++it;
        if (it == pending_.end()) {
            pending_.emplace_back(section, ProfileEntries{});
            it = pending_.end() - 1;
        }
        bool replaced = false;
        for (auto& entry : it->second) {
            if (entry.first == key) {
                entry.second = used;
                replaced = true;
            }
        }
        if (!replaced) it->second.emplace_back(key, used);
    }
    return used;
}

bool CPanelIni::Flush() {
    if (pending_.empty()) return true;
    ProfileSections writes;
    writes.swap(pending_);
    if (!FileExists()) return true;
    return WriteProfileSections(path_, writes);
}

bool CPanelIni::FileExists() const {
    return CheckOwnFile(path_, kIniFileRules).Usable();
}

}  // namespace tavrin
