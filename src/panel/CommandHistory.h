#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace tavrin {

inline constexpr size_t kPanelHistorySize = 10;

// The panel's command line history: ten texts, most recent first. A text typed again (in any
// case) moves to the top instead of being kept twice.
class CCommandHistory {
public:
    // Puts a non-empty text first: an entry equal to it without regard to ASCII case leaves its
    // place, otherwise the oldest entry is dropped.
    void Add(const std::string& text);
    // The non-empty entries, most recent first.
    std::vector<std::string> Entries() const;

private:
    std::array<std::string, kPanelHistorySize> entries_{};
};

}  // namespace tavrin
