#include "panel/CommandHistory.h"

namespace tavrin {

namespace {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

void CCommandHistory::Add(const std::string& text) {
    if (text.empty()) return;
    size_t gap = entries_.size() - 1;  // the oldest entry makes room unless the text is listed
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (EqualsNoCase(entries_[i], text)) {
            gap = i;
            break;
        }
    }
    for (size_t i = gap; i > 0; --i) entries_[i] = std::move(entries_[i - 1]);
    entries_[0] = text;
}

std::vector<std::string> CCommandHistory::Entries() const {
    std::vector<std::string> shown;
    for (const std::string& entry : entries_) {
        if (!entry.empty()) shown.push_back(entry);
    }
    return shown;
}

}  // namespace tavrin
