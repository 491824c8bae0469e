#include "automation/MacroExecution.h"

#include <system_error>

#include "app/Language.h"
#include "app/OwnFile.h"
#include "app/Settings.h"
#include "app/ViewState.h"
#include "automation/MacroEngine.h"
#include "platform/Shell.h"

namespace tavrin {

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

std::optional<std::filesystem::path> FindFileInFolder(const std::filesystem::path& folder,
                                                      const std::string& name) {
    std::error_code error;
    std::filesystem::path exact = folder / name;
    if (std::filesystem::is_regular_file(exact, error)) return exact;
    std::string wanted = LowerAscii(name);
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, error);
    if (error) return std::nullopt;
    for (const auto& entry : it) {
        if (LowerAscii(entry.path().filename().string()) != wanted) continue;
        if (entry.is_regular_file(error)) return folder / entry.path().filename();
    }
    return std::nullopt;
}

int MacroCommand(CMacroEngine& engine, Shell& shell) {
    std::optional<std::string> chosen = shell.AskOpenFile("OPEN MACRO FILE", "*.uas|*.uas|*.*|*.*", "");
    if (!chosen) return -1;
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(*chosen, error);
    if (error) path = *chosen;
    // Said with its reason here; the engine itself only knows that the file did not open.
    const OwnFileCheck check = CheckOwnFile(path.string(), kMacroFileRules);
    if (!check.Usable() && check.fault != OwnFileFault::kMissing &&
        check.fault != OwnFileFault::kUnreadable) {
        shell.Tell(RefusedFileText(path.string(), check, CurrentLanguage()), BoxIcon::Exclamation);
        return 0;
    }
    if (engine.StartMacro(path.string()) == 0) return 0;
    (void)ChangeFolder(path.parent_path().string());
    return 1;
}

void RunAutoexec(CMacroEngine& engine, ViewState& view) {
    view.autoexecDone = 1;
    std::optional<std::filesystem::path> found = FindFileInFolder("", kAutoexecName);
    if (!found) return;
    engine.StopMacroAndReport();
    engine.StartMacro(found->string());
}

int BatchExitStatus(int endStatus) {
    return endStatus == kMacroEndedByItself ? 0 : 2;
}

}  // namespace tavrin
