#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

inline constexpr const char* kToolsSection = "Tools";

// The program and arguments that Tool menu command id (32864 or 32865) starts: the command
// named in the settings file's "Tools" section ("ZuEditor=", "QelEditor="), else the program
// file beside Tavrin in the start-up folder (its exact name, then any case). The editor's own
// argument ("J"/"E" by language for the ZU editor, "E" for the QEL editor) is added last.
// Nothing when neither exists: the menu item is then disabled.
std::optional<std::vector<std::string>> CompanionEditorCommand(int id, const std::string& profilePath,
                                                               const std::string& startupFolder,
                                                               int language);

// A command line split into words at blanks; double or single quotes keep blanks in a word.
std::vector<std::string> SplitCommandLine(const std::string& line);

}  // namespace tavrin
