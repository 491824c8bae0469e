#pragma once
#include <optional>
#include <string>

namespace tavrin {

// The frame's placement as "Settings"/"WindowPos" stores it: ten decimal numbers separated by
// commas, "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d".
struct WindowPlacement {
    unsigned flags = 0;        // 2 when the window was maximised at the moment of saving, else 0
    unsigned showCmd = 1;      // 1 normal, 2 minimised, 3 maximised
    int minX = -1, minY = -1;  // the minimised and maximised positions are kept, never applied
    int maxX = -1, maxY = -1;
    int left = 0, top = 0, right = 0, bottom = 0;  // the normal rectangle, screen pixels

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

inline constexpr unsigned kPlacementMaximised = 2;
inline constexpr unsigned kShowNormal = 1;
inline constexpr unsigned kShowMinimised = 2;
inline constexpr unsigned kShowMaximised = 3;
// What an absent or empty "WindowPos" stands for: (32, 148), 561 x 679.
inline constexpr const char* kDefaultWindowPos = "0,1,-1,-1,-1,-1,32,148,593,827";

// The ten numbers of text, each after optional blanks, separated by commas; text after the
// tenth is ignored. Nothing when fewer than ten convert (a number out of range does not).
std::optional<WindowPlacement> ParseWindowPlacement(const std::string& text);
std::string FormatWindowPlacement(const WindowPlacement& placement);

// The placement to apply at start: "WindowPos" of profilePath, the default when it is absent
// or empty. Nothing (leave the placement to the platform) when it does not hold ten numbers,
// or when its normal rectangle is empty or inverted and could not show a window.
std::optional<WindowPlacement> ReadWindowPlacement(const std::string& profilePath);
// Writes "WindowPos"; false when the file could not be written.
bool SaveWindowPlacement(const std::string& profilePath, const WindowPlacement& placement);

}  // namespace tavrin
