#include "app/WindowPlacement.h"

#include <cctype>
#include <climits>
#include <cstdio>

#include "app/IniFile.h"

namespace tavrin {

namespace {

constexpr const char* kSection = "Settings";
constexpr const char* kKey = "WindowPos";
constexpr int kNumbers = 10;

// One decimal number as scanf's %d reads it: blanks, an optional sign, digits. Fails when no
// digit follows or the value leaves the range of int.
bool ReadNumber(const std::string& text, size_t& at, long long& value) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return false;
    long long v = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        v = v * 10 + (text[at++] - '0');
        if (v > static_cast<long long>(UINT_MAX)) return false;
    }
    value = negative ? -v : v;
    return true;
}

}  // namespace

std::optional<WindowPlacement> ParseWindowPlacement(const std::string& text) {
    long long n[kNumbers];
    size_t at = 0;
    for (int i = 0; i < kNumbers; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != ',') return std::nullopt;
            ++at;
        }
        if (!ReadNumber(text, at, n[i])) return std::nullopt;
        // The two unsigned fields take 0..UINT_MAX, the eight signed ones the int range.
        const bool unsignedField = i < 2;
        if (unsignedField ? (n[i] < 0 || n[i] > UINT_MAX) : (n[i] < INT_MIN || n[i] > INT_MAX))
            return std::nullopt;
    }
    WindowPlacement p;
    p.flags = static_cast<unsigned>(n[0]);
    p.showCmd = static_cast<unsigned>(n[1]);
    p.minX = static_cast<int>(n[2]);
    p.minY = static_cast<int>(n[3]);
    p.maxX = static_cast<int>(n[4]);
    p.maxY = static_cast<int>(n[5]);
    p.left = static_cast<int>(n[6]);
    p.top = static_cast<int>(n[7]);
    p.right = static_cast<int>(n[8]);
    p.bottom = static_cast<int>(n[9]);
    return p;
}

std::string FormatWindowPlacement(const WindowPlacement& p) {
    char text[160];
    std::snprintf(text, sizeof text, "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.showCmd, p.minX, p.minY,
                  p.maxX, p.maxY, p.left, p.top, p.right, p.bottom);
    return text;
}

std::optional<WindowPlacement> ReadWindowPlacement(const std::string& profilePath) {
    std::string text = ReadProfileString(profilePath, kSection, kKey, "");
    if (text.empty()) text = kDefaultWindowPos;
    std::optional<WindowPlacement> placement = ParseWindowPlacement(text);
    // Differences are taken in 64 bits: corners at the ends of the int range must not overflow.
    if (placement && (static_cast<long long>(placement->right) - placement->left <= 0 ||
                      static_cast<long long>(placement->bottom) - placement->top <= 0 ||
                      static_cast<long long>(placement->right) - placement->left > INT_MAX ||
                      static_cast<long long>(placement->bottom) - placement->top > INT_MAX))
        return std::nullopt;
    return placement;
}

bool SaveWindowPlacement(const std::string& profilePath, const WindowPlacement& placement) {
    return WriteProfileString(profilePath, kSection, kKey, FormatWindowPlacement(placement));
}

}  // namespace tavrin
