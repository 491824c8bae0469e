#include "app/TermSettings.h"

#include "app/Cp932.h"
#include "app/IniFile.h"

namespace tavrin {
namespace {

constexpr int kMinMaxRows = 1;  // a screen model of no rows cannot hold the current line

constexpr int kDefaultFontHeight = 14;
constexpr int kDefaultPitchAndFamily = 49;  // fixed pitch, modern family
constexpr const char* kDefaultFaceName = "Fixedsys";

// A leading decimal number (blanks, sign, digits); false when there is none.
bool ParseLong(const std::string& text, long long& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    long long number = 0;
    constexpr long long kCap = 1LL << 40;  // far beyond every value these keys hold
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (number < kCap) number = number * 10 + (text[i] - '0');
    }
    value = negative ? -number : number;
    return true;
}

uint32_t ReadColor(const std::string& path, const char* key, uint32_t defaultColor) {
    long long value = 0;
    if (!ParseLong(ReadProfileString(path, kTermSection, key, std::to_string(defaultColor)), value)) {
        return defaultColor;
    }
    return static_cast<uint32_t>(static_cast<unsigned long long>(value) & kColorMask);
}

int LowByte(int value) {
    return value & 0xFF;
}

}  // namespace

void ReadTermSettings(CPelinDoc& doc, const std::string& profilePath) {
    long long rows = 0;
    if (!ParseLong(ReadProfileString(profilePath, kTermSection, "MaxRows", std::to_string(kDefaultMaxRows)),
                   rows)) {
        rows = kDefaultMaxRows;
    }
    if (rows > kMaxRowsLimit) rows = kMaxRowsLimit;
    if (rows < kMinMaxRows) rows = kMinMaxRows;
    doc.maxRows = static_cast<int>(rows);
    doc.bgColor = ReadColor(profilePath, "BgColor", kDefaultBgColor);
    doc.textColor = ReadColor(profilePath, "TxtColor", kDefaultTextColor);
}

bool WriteTermSettings(const CPelinDoc& doc, const std::string& profilePath) {
    return WriteProfileStrings(profilePath, kTermSection,
                               {{"MaxRows", std::to_string(doc.maxRows)},
                                {"BgColor", std::to_string(doc.bgColor)},
                                {"TxtColor", std::to_string(doc.textColor)}});
}

int ReadFontSetting(const std::string& profilePath, const std::string& section, LogFont& font) {
    font.height = ReadProfileInt(profilePath, section, "Height", 0);
    if (font.height == 0) return 0;
    font.weight = ReadProfileInt(profilePath, section, "Weight", 0);
    font.italic = LowByte(ReadProfileInt(profilePath, section, "Italic", 0));
    font.underline = LowByte(ReadProfileInt(profilePath, section, "Underline", 0));
    font.pitchAndFamily = LowByte(ReadProfileInt(profilePath, section, "PitchAndFamily", 0));
    font.faceName =
        CutCp932(ReadProfileString(profilePath, section, "FaceName", kDefaultFaceName), kFaceNameLength);
    font.charSet = LowByte(ReadProfileInt(profilePath, section, "CharSet", 0));
    return 1;
}

bool WriteFontSetting(const std::string& profilePath, const std::string& section, const LogFont& font) {
    if (font.height == 0) {
        return WriteProfileStrings(profilePath, section,
                                   {{"Height", std::to_string(kDefaultFontHeight)},
                                    {"Weight", "0"},
                                    {"Italic", "0"},
                                    {"Underline", "0"},
                                    {"PitchAndFamily", std::to_string(kDefaultPitchAndFamily)},
                                    {"FaceName", kDefaultFaceName},
                                    {"CharSet", "0"}});
    }
    return WriteProfileStrings(profilePath, section,
                               {{"Height", std::to_string(font.height)},
                                {"Weight", std::to_string(font.weight)},
                                {"Italic", std::to_string(font.italic)},
                                {"Underline", std::to_string(font.underline)},
                                {"PitchAndFamily", std::to_string(font.pitchAndFamily)},
                                {"FaceName", CutCp932(font.faceName, kFaceNameLength)},
                                {"CharSet", std::to_string(font.charSet)}});
}

}  // namespace tavrin
