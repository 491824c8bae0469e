#include "session/CompanionEditors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/IniFile.h"
#include "app/Menus.h"

namespace tavrin {
namespace {

using Words = std::vector<std::string>;

TEST(CompanionEditorsTest, SettingsCommandFirstThenTheProgramBesideTavrinElseDisabled) {
    char pattern[] = "/tmp/tavrin-tools-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    const std::string ini = folder + "/tavrin.ini";
    struct Case {
        const char* name;
        std::string zuSetting;   // "Tools"/"ZuEditor", empty: absent
        const char* fileBeside;  // made in the start-up folder, or nullptr
        int id;
        int language;
        std::optional<Words> expected;
    };
    const std::vector<Case> cases{
        {"nothing anywhere", "", nullptr, kCmdZuEditor, 1, std::nullopt},
        {"program beside, English", "", "ZuEditor.exe", kCmdZuEditor, 1,
         Words{folder + "/ZuEditor.exe", "E"}},
        {"program beside, Japanese", "", "ZuEditor.exe", kCmdZuEditor, 0,
         Words{folder + "/ZuEditor.exe", "J"}},
        {"program beside in another case", "", "zueditor.EXE", kCmdZuEditor, 0,
         Words{folder + "/zueditor.EXE", "J"}},
        {"QEL always E", "", "QelEditor.exe", kCmdQelEditor, 0, Words{folder + "/QelEditor.exe", "E"}},
        {"the settings name a command", "wine \"/opt/zu editor/ZuEditor.exe\"", nullptr, kCmdZuEditor, 0,
         Words{"wine", "/opt/zu editor/ZuEditor.exe", "J"}},
        {"the settings win over the file", "zu-edit --wait", "ZuEditor.exe", kCmdZuEditor, 1,
         Words{"zu-edit", "--wait", "E"}},
        {"the other editor's setting does not count", "zu-edit", nullptr, kCmdQelEditor, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) std::filesystem::remove(entry);
        if (!c.zuSetting.empty()) WriteProfileString(ini, kToolsSection, "ZuEditor", c.zuSetting);
        if (c.fileBeside) std::ofstream(folder + "/" + c.fileBeside) << "";
        EXPECT_EQ(CompanionEditorCommand(c.id, ini, folder, c.language), c.expected) << c.name;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tavrin
