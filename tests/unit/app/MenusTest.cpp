#include "app/Menus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace tavrin {
namespace {

ConnectionEntry Entry(const std::string& item, int order) {
    ConnectionEntry e;
    e.Item = item;
    e.Order = order;
    return e;
}

std::vector<std::string> TopLevel(const std::vector<MenuItem>& items, int level) {
    std::vector<std::string> texts;
    for (const auto& item : items)
        if (item.level == level && item.kind == MenuItemKind::Popup) texts.push_back(item.text);
    return texts;
}

const MenuItem* Find(const std::vector<MenuItem>& items, int id) {
    auto it = std::find_if(items.begin(), items.end(), [id](const MenuItem& i) { return i.id == id; });
    return it == items.end() ? nullptr : &*it;
}

TEST(MenusTest, MenuBarPopupsInBothLanguages) {
    const HistoryLabels labels;
    EXPECT_EQ(TopLevel(BuildMainMenu(1, labels), 0),
              (std::vector<std::string>{"&File", "&Edit", "&Com", "&View", "&Tool", "&Help"}));
    EXPECT_EQ(
        TopLevel(BuildMainMenu(0, labels), 0),
        (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "編集(&E)", "通信(&C)", "表示(&V)", "ツール(&T)", "ﾍﾙﾌﾟ(&H)"}));
    EXPECT_EQ(TopLevel(BuildContextMenu(1, labels, false), 0), (std::vector<std::string>{"dmy"}));
    EXPECT_EQ(TopLevel(BuildContextMenu(0, labels, false), 0), (std::vector<std::string>{"ダミー"}));
}

TEST(MenusTest, TablesAreWellFormed) {
    for (auto table : {MainMenuTable(), ContextMenuTable()}) {
        std::set<int> ids;
        int previousLevel = -1;
        for (const MenuRow& row : table) {
            // A level only deepens right after a popup.
            if (row.level > previousLevel) {
                EXPECT_LE(row.level, previousLevel + 1);
            }
            if (row.kind == MenuItemKind::Command) {
                EXPECT_TRUE(ids.insert(row.id).second) << "duplicate " << row.id;
                EXPECT_NE(std::string(row.englishText), "");
                EXPECT_NE(std::string(row.japaneseText), "");
            } else {
                EXPECT_EQ(row.id, 0);
            }
            previousLevel = row.kind == MenuItemKind::Popup ? row.level : row.level - 1;
        }
    }
    // Every toolbar button is a main-menu command.
    std::set<int> mainIds;
    for (const MenuRow& row : MainMenuTable()) mainIds.insert(row.id);
    int separators = 0;
    for (int id : ToolbarSlots()) {
        if (id == 0)
            ++separators;
        else
            EXPECT_TRUE(mainIds.count(id)) << id;
    }
    EXPECT_EQ(separators, 2);
    EXPECT_EQ(ToolbarSlots().size(), 14u);
}

// The context menu is File, Edit, Com and View of the main menu one level deeper, without
// Reconnect, with Japanese Send File's own mnemonic, then Save and Open in Editor.
TEST(MenusTest, ContextMenuRepeatsTheMainMenuWithItsDifferences) {
    std::vector<MenuRow> expected;
    int popups = 0;
    for (const MenuRow& row : MainMenuTable()) {
        if (row.level == 0 && ++popups > 4) break;
        if (row.id == kCmdReconnect) continue;
        MenuRow copy = row;
        copy.level += 1;
        if (row.id == kCmdSendFile) copy.japaneseText = "ファイルの送信(&S)";
        expected.push_back(copy);
    }
    auto context = ContextMenuTable();
    ASSERT_EQ(context.size(), expected.size() + 2);
    EXPECT_EQ(context.front().kind, MenuItemKind::Popup);
    for (size_t i = 0; i < expected.size(); ++i) {
        const MenuRow& got = context[i + 1];
        EXPECT_EQ(got.level, expected[i].level) << i;
        EXPECT_EQ(got.kind, expected[i].kind) << i;
        EXPECT_EQ(got.id, expected[i].id) << i;
        EXPECT_STREQ(got.englishText, expected[i].englishText) << i;
        EXPECT_STREQ(got.japaneseText, expected[i].japaneseText) << i;
    }
    const MenuRow& last = context.back();
    EXPECT_EQ(last.level, 1);
    EXPECT_EQ(last.id, kCmdSaveAndOpenInEditor);
    EXPECT_STREQ(last.englishText, "&Save and Open in Editor");
    EXPECT_STREQ(last.japaneseText, "SAVEしてエディタで開く(&S)");
}

TEST(MenusTest, HistoryLabelsFromTheConnectionList) {
    struct Case {
        const char* what;
        std::vector<ConnectionEntry> list;
        std::string last;
        std::array<std::string, 5> items;
    };
    const Case cases[] = {
        {"empty list", {}, "---", {"&1 ---", "&2 ---", "&3 ---", "&4 ---", "&5 ---"}},
        {"orders 0 and 999",
         {Entry("COM1:9600:8:2:none", 0), Entry("192.168.0.2:23:Robot1", 999)},
         "COM1:9600:8:2:none",
         {"&1 COM1:9600:8:2:none", "&2 ---", "&3 ---", "&4 ---", "&5 ---"}},
        {"six used",
         {Entry("a", 0), Entry("b", 1), Entry("c", 2), Entry("d", 3), Entry("e", 4), Entry("f", 5)},
         "a",
         {"&1 a", "&2 b", "&3 c", "&4 d", "&5 e"}},
        {"first never used",
         {Entry("x", 999), Entry("y", 0)},
         "---",
         {"&1 ---", "&2 y", "&3 ---", "&4 ---", "&5 ---"}},
    };
    for (const auto& c : cases) {
        const HistoryLabels labels = MakeHistoryLabels(c.list);
        EXPECT_EQ(labels.lastConnection, c.last) << c.what;
        EXPECT_EQ(labels.items, c.items) << c.what;
    }
}

TEST(MenusTest, HistoryLabelsAppearInBothMenusOfBothLanguages) {
    const HistoryLabels labels =
        MakeHistoryLabels({Entry("COM2:9600:8:2:none", 0), Entry("10.0.0.5:23:Cell", 1)});
    for (int lang : {0, 1}) {
        for (const auto& menu : {BuildMainMenu(lang, labels), BuildContextMenu(lang, labels, true)}) {
            ASSERT_NE(Find(menu, kCmdConnectLast), nullptr);
            EXPECT_EQ(Find(menu, kCmdConnectLast)->text, "COM2:9600:8:2:none");
            EXPECT_EQ(Find(menu, 32800)->text, "&1 COM2:9600:8:2:none");
            EXPECT_EQ(Find(menu, 32801)->text, "&2 10.0.0.5:23:Cell");
            EXPECT_EQ(Find(menu, 32804)->text, "&5 ---");
        }
    }
}

TEST(MenusTest, SaveAndOpenInEditorOnlyWhileLinkedAndNumbered) {
    const HistoryLabels labels;
    for (int lang : {0, 1}) {
        EXPECT_EQ(Find(BuildContextMenu(lang, labels, false), kCmdSaveAndOpenInEditor), nullptr);
        ASSERT_NE(Find(BuildContextMenu(lang, labels, true), kCmdSaveAndOpenInEditor), nullptr);
        EXPECT_EQ(Find(BuildMainMenu(lang, labels), kCmdSaveAndOpenInEditor), nullptr);
        EXPECT_EQ(Find(BuildContextMenu(lang, labels, true), kCmdReconnect), nullptr);
        EXPECT_NE(Find(BuildMainMenu(lang, labels), kCmdReconnect), nullptr);
    }
    EXPECT_EQ(Find(BuildMainMenu(0, labels), kCmdCopy)->text, "ｺﾋﾟｰ(&C)\tALT+C");
    EXPECT_EQ(Find(BuildMainMenu(1, labels), kCmdSendFile)->text, "S&end File");
    EXPECT_EQ(Find(BuildMainMenu(0, labels), kCmdSendFile)->text, "ファイルの送信(&E)");
    EXPECT_EQ(Find(BuildContextMenu(0, labels, false), kCmdSendFile)->text, "ファイルの送信(&S)");
}

// One row per rule: a state, the state the item had, and what it must show.
TEST(MenusTest, EnableAndCheckRules) {
    const MenuCommandState on{true, false}, off{false, false};
    struct Case {
        const char* what;
        int id;
        MenuState s;
        MenuCommandState current;
        bool enabled, checked;
    };
    auto S = [](auto change) {
        MenuState s;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"disconnect, connected", kCmdDisconnect, S([](MenuState& s) { s.connected = true; }), off, true,
         false},
        {"disconnect, not connected", kCmdDisconnect, MenuState{}, on, false, false},
        {"reconnect, connected", kCmdReconnect, S([](MenuState& s) { s.connected = true; }), off, true,
         false},
        {"reconnect, not connected", kCmdReconnect, MenuState{}, on, false, false},
        {"open log, none open", kCmdOpenLog, MenuState{}, off, true, false},
        {"open log, log open", kCmdOpenLog, S([](MenuState& s) { s.logOpen = true; }), on, false, false},
        {"close log, log open", kCmdCloseLog, S([](MenuState& s) { s.logOpen = true; }), off, true, false},
        {"close log, none open", kCmdCloseLog, MenuState{}, on, false, false},
        {"macro, connected idle", kCmdMacro, S([](MenuState& s) { s.connected = true; }), off, true, false},
        {"macro, not connected", kCmdMacro, MenuState{}, on, false, false},
        {"macro, macro open", kCmdMacro, S([](MenuState& s) { s.connected = s.macroOpen = true; }), on, false,
         false},
        {"macro, panel press waiting", kCmdMacro,
         S([](MenuState& s) { s.connected = s.panelPressWaiting = true; }), on, false, false},
        {"dialog, linked", kCmdDialog, S([](MenuState& s) { s.connected = s.hostLinked = true; }), on, false,
         false},
        {"dialog, connected", kCmdDialog, S([](MenuState& s) { s.connected = true; }), off, true, false},
        {"dialog, not connected", kCmdDialog, MenuState{}, on, false, false},
        {"dialog, panel running keeps on", kCmdDialog, S([](MenuState& s) { s.panelButtonRunning = true; }),
         on, true, false},
        {"dialog, panel running keeps off", kCmdDialog,
         S([](MenuState& s) { s.panelButtonRunning = s.connected = true; }), off, false, false},
        {"dialog file, linked while panel runs", kCmdDialogFile,
         S([](MenuState& s) { s.hostLinked = s.panelButtonRunning = true; }), on, false, false},
        {"dialog file, connected", kCmdDialogFile, S([](MenuState& s) { s.connected = true; }), off, true,
         false},
        {"copy, selection", kCmdCopy, S([](MenuState& s) { s.selectionExists = true; }), off, true, false},
        {"copy, no selection", kCmdCopy, MenuState{}, on, false, false},
        {"paste, clipboard text", kCmdPaste, S([](MenuState& s) { s.clipboardHasText = true; }), off, true,
         false},
        {"paste, clipboard empty", kCmdPaste, MenuState{}, on, false, false},
        {"english, english", kCmdEnglish, MenuState{}, on, true, true},
        {"english, japanese",
         kCmdEnglish,
         S([](MenuState& s) { s.language = 0; }),
         {true, true},
         true,
         false},
        {"japanese, japanese", kCmdJapanese, S([](MenuState& s) { s.language = 0; }), on, true, true},
        {"japanese, english", kCmdJapanese, MenuState{}, {true, true}, true, false},
        {"set folder, not linked", kCmdSetCurrentFolder, MenuState{}, off, true, false},
        {"set folder, linked", kCmdSetCurrentFolder, S([](MenuState& s) { s.hostLinked = true; }), on, false,
         false},
        {"options, connected", kCmdOptions, S([](MenuState& s) { s.connected = true; }), on, false, false},
        {"options, not connected", kCmdOptions, MenuState{}, off, true, false},
        {"by list, connected", kCmdConnectByList, S([](MenuState& s) { s.connected = true; }), on, false,
         false},
        {"last connection, connected", kCmdConnectLast, S([](MenuState& s) { s.connected = true; }), on,
         false, false},
        {"history 1, not connected", 32800, MenuState{}, off, true, false},
        {"history 5, connected", 32804, S([](MenuState& s) { s.connected = true; }), on, false, false},
        {"replay, linked", kCmdReplayLog, S([](MenuState& s) { s.connected = s.hostLinked = true; }), on,
         false, false},
        {"replay, connected idle", kCmdReplayLog, S([](MenuState& s) { s.connected = true; }), off, true,
         false},
        {"replay, connected replaying", kCmdReplayLog,
         S([](MenuState& s) { s.connected = s.replayRunning = true; }), on, false, false},
        {"replay, not connected keeps on", kCmdReplayLog, MenuState{}, on, true, false},
        {"replay, not connected keeps off", kCmdReplayLog, MenuState{}, off, false, false},
        {"stop replay, replaying", kCmdStopReplay, S([](MenuState& s) { s.replayRunning = true; }), off, true,
         false},
        {"stop replay, linked", kCmdStopReplay,
         S([](MenuState& s) { s.replayRunning = s.hostLinked = true; }), on, false, false},
        {"stop replay, idle", kCmdStopReplay, MenuState{}, on, false, false},
        {"send file, connected", kCmdSendFile, S([](MenuState& s) { s.connected = true; }), off, true, false},
        {"send file, linked", kCmdSendFile, S([](MenuState& s) { s.connected = s.hostLinked = true; }), on,
         false, false},
        {"send file, not connected", kCmdSendFile, MenuState{}, on, false, false},
        {"tool bar shown", kCmdToolBar, MenuState{}, on, true, true},
        {"tool bar hidden",
         kCmdToolBar,
         S([](MenuState& s) { s.toolbarVisible = false; }),
         {true, true},
         true,
         false},
        {"editor save, connected idle", kCmdSaveAndOpenInEditor, S([](MenuState& s) { s.connected = true; }),
         off, true, false},
        {"editor save, busy", kCmdSaveAndOpenInEditor,
         S([](MenuState& s) { s.connected = s.hostBusy = true; }), on, false, false},
        {"editor save, not connected", kCmdSaveAndOpenInEditor, MenuState{}, on, false, false},
        {"about has no rule", kCmdAbout, S([](MenuState& s) { s.connected = true; }), on, true, false},
        {"exit has no rule", kCmdExit, MenuState{}, on, true, false},
    };
    for (const auto& c : cases) {
        const MenuCommandState got = ApplyCommandRule(c.id, c.s, c.current);
        EXPECT_EQ(got.enabled, c.enabled) << c.what;
        EXPECT_EQ(got.checked, c.checked) << c.what;
    }
}

}  // namespace
}  // namespace tavrin
