#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace tavrin {

class CMacroEngine;
class Shell;
struct ViewState;

inline constexpr const char* kAutoexecName = "Autoexec.uas";

// The file called `name` in `folder`: the exact name first, then a case-insensitive match
// (files copied from other systems keep other cases). Empty when there is none.
std::optional<std::filesystem::path> FindFileInFolder(const std::filesystem::path& folder,
                                                      const std::string& name);

// "&Macro": the open dialog "OPEN MACRO FILE" for .uas files; the chosen macro is started and,
// when it starts, the current folder becomes the macro's folder, so that relative names in it
// refer to that folder. When it does not start, the current folder is left as it was.
// 1 started, 0 refused (the engine has shown why), -1 cancelled.
int MacroCommand(CMacroEngine& engine, Shell& shell);

// The start-up macro, once per run of the program, at the first idle moment after the
// controller's first prompt: when "Autoexec.uas" is in the current folder, any running macro
// is stopped (with its report) and the start-up macro started. Marks it done in any case.
void RunAutoexec(CMacroEngine& engine, ViewState& view);

// The exit status of the batch mode (--run) for a macro's end status: 0 ended by itself, 2
// stopped by an error or Cancel.
int BatchExitStatus(int endStatus);

}  // namespace tavrin
