#pragma once
#include <string>

namespace tavrin {

// The program's version, as the About box shows it.
inline constexpr const char* kVersionNumber = "1.2.8";

// "tavrin 1.2.8 (<git description>)" and a line on the licence; for --version.
std::string VersionText(const std::string& exeName);

// The usage of every option, where the settings file is for a start in workingFolder, and the
// user guide's paths (English, Japanese); for --help.
std::string UsageText(const std::string& exeName, const std::string& settingsFile,
                      const std::string& guideFile, const std::string& japaneseGuideFile);

}  // namespace tavrin
