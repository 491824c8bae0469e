#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/PelinDoc.h"
#include "app/ViewState.h"

namespace tavrin {

inline constexpr const char* kTermSection = "Term";
inline constexpr const char* kFontSection = "Font";
inline constexpr int kDefaultMaxRows = 200;
inline constexpr uint32_t kDefaultBgColor = 0xFFFFFF;  // white, 0x00BBGGRR
inline constexpr uint32_t kDefaultTextColor = 0;       // black
inline constexpr uint32_t kColorMask = 0xFFFFFF;
inline constexpr size_t kFaceNameLength = 31;

// The "Term" keys MaxRows, BgColor and TxtColor into maxRows, bgColor and textColor.
// MaxRows above 200 reads as 200 and below 1 as 1 (only the window-setting dialog keeps it at 50
// or more; a stored 20 stays 20); a value that is not a number reads as a missing one (200).
// Colours keep their low 24 bits; a colour that is not a number reads as its default (white
// background, black text).
void ReadTermSettings(CPelinDoc& doc, const std::string& profilePath);

// Writes MaxRows, BgColor and TxtColor as decimal numbers. Returns false when not written.
bool WriteTermSettings(const CPelinDoc& doc, const std::string& profilePath);

// Reads the font description of `section` into `font`. The "Height" is stored even when it is 0
// (missing); 0 ends the read with the other fields unchanged and returns 0. Otherwise Weight,
// Italic, Underline, PitchAndFamily, FaceName (default "Fixedsys", at most 31 bytes, a two-byte
// character never split) and CharSet are read, the flag and byte fields keeping their low
// byte, and 1 is returned.
int ReadFontSetting(const std::string& profilePath, const std::string& section, LogFont& font);

// Writes the font description, or, when its height is 0, the defaults Height 14, Weight 0,
// Italic 0, Underline 0, PitchAndFamily 49, FaceName "Fixedsys", CharSet 0. Returns false when
// not written.
bool WriteFontSetting(const std::string& profilePath, const std::string& section, const LogFont& font);

}  // namespace tavrin
