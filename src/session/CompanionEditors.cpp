#include "session/CompanionEditors.h"

#include "app/IniFile.h"
#include "app/Menus.h"
#include "automation/MacroExecution.h"

namespace tavrin {

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : line) {
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                word += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::optional<std::vector<std::string>> CompanionEditorCommand(int id, const std::string& profilePath,
                                                               const std::string& startupFolder,
                                                               int language) {
    const bool zu = id == kCmdZuEditor;
    if (!zu && id != kCmdQelEditor) return std::nullopt;
    const std::string argument = zu ? (language == 0 ? "J" : "E") : "E";
    std::vector<std::string> command =
        SplitCommandLine(ReadProfileString(profilePath, kToolsSection, zu ? "ZuEditor" : "QelEditor", ""));
    if (command.empty()) {
        const auto program = FindFileInFolder(startupFolder, zu ? "ZuEditor.exe" : "QelEditor.exe");
        if (!program) return std::nullopt;
        command.push_back(program->string());
    }
    command.push_back(argument);
    return command;
}

}  // namespace tavrin
