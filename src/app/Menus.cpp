#include "app/Menus.h"

namespace tavrin {

namespace {

constexpr MenuRow kMainMenu[] = {
    {0, MenuItemKind::Popup, 0, "&File", "ﾌｧｲﾙ(&F)"},
    {1, MenuItemKind::Command, 32776, "&Open Log File", "ログファイルを開く(&O)"},
    {1, MenuItemKind::Command, 32777, "&Close Log File", "ログファイルを閉じる(&C)"},
    {1, MenuItemKind::Command, 32819, "&Replay Command by Log File", "ログファイルからコマンド実行(&R)"},
    {1, MenuItemKind::Command, 32820, "S&top Command by Log File", "ログファイルからコマンド実行停止(&T)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 32821, "S&end File", "ファイルの送信(&E)"},
    {1, MenuItemKind::Command, 32793, "&Set Current Folder", "カレントフォルダの設定(&S)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 57601, "&Macro", "ﾏｸﾛ(&M)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 32785, "&Dialog", "ﾀﾞｲｱﾛｸﾞを開く(&D)"},
    {1, MenuItemKind::Command, 32786, "Dialog&File", "ﾀﾞｲｱﾛｸﾞﾌｧｲﾙを選択する(&F)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 32822, "S&ave setup", "現在のターミナル設定を保存(&A)"},
    {1, MenuItemKind::Command, 32823, "Restore set&up", "ターミナル設定を読み出し(&U)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 57665, "E&xit", "終了(&X)"},
    {0, MenuItemKind::Popup, 0, "&Edit", "編集(&E)"},
    {1, MenuItemKind::Command, 57634, "&Copy\tALT+C", "ｺﾋﾟｰ(&C)\tALT+C"},
    {1, MenuItemKind::Command, 57637, "&Paste\tALT+V", "貼り付け(&P)\tALT+V"},
    {0, MenuItemKind::Popup, 0, "&Com", "通信(&C)"},
    {1, MenuItemKind::Command, 32796, "---", "---"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Popup, 0, "Connect by &History", "履歴から接続(&H)"},
    {2, MenuItemKind::Command, 32800, "1 ---", "1 ---"},
    {2, MenuItemKind::Command, 32801, "2 ---", "2 ---"},
    {2, MenuItemKind::Command, 32802, "3 ---", "3 ---"},
    {2, MenuItemKind::Command, 32803, "4 ---", "4 ---"},
    {2, MenuItemKind::Command, 32804, "5 ---", "5 ---"},
    {1, MenuItemKind::Command, 32795, "Connect by &List", "選択して接続(&L)"},
    {1, MenuItemKind::Command, 32868, "&Reconnect", "切断して再接続(&R)"},
    {1, MenuItemKind::Command, 32774, "&Disconnect", "切断(&D)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 32794, "&Options", "接続設定(&O)"},
    {0, MenuItemKind::Popup, 0, "&View", "表示(&V)"},
    {1, MenuItemKind::Command, 32782, "&Font", "ﾌｫﾝﾄ(&F)"},
    {1, MenuItemKind::Command, 32824, "&Window", "画面(&W)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 32790, "&English", "英語表示(&E)"},
    {1, MenuItemKind::Command, 32791, "&Japanese", "日本語表示(&J)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 32825, "&Tool Bar", "ツールバー(&T)"},
    {0, MenuItemKind::Popup, 0, "&Tool", "ツール(&T)"},
    {1, MenuItemKind::Command, 32864, "&Zu Editor", "ZU言語エディタ(&A)"},
    {1, MenuItemKind::Command, 32865, "&QEL PanelEditor", "QELパネルエディタ(I)"},
    {0, MenuItemKind::Popup, 0, "&Help", "ﾍﾙﾌﾟ(&H)"},
    {1, MenuItemKind::Command, 32781, "&Contents", "目次(&C)"},
    {1, MenuItemKind::Separator, 0, "", ""},
    {1, MenuItemKind::Command, 57664, "&About Tavrin...", "バージョン情報(&A)..."},
};

// The context menu: File, Edit, Com and View of the main menu under one top popup, without
// Reconnect, with the Japanese Send File item's own mnemonic, and Save and Open in Editor last.
constexpr MenuRow kContextMenu[] = {
    {0, MenuItemKind::Popup, 0, "dmy", "ダミー"},
    {1, MenuItemKind::Popup, 0, "&File", "ﾌｧｲﾙ(&F)"},
    {2, MenuItemKind::Command, 32776, "&Open Log File", "ログファイルを開く(&O)"},
    {2, MenuItemKind::Command, 32777, "&Close Log File", "ログファイルを閉じる(&C)"},
    {2, MenuItemKind::Command, 32819, "&Replay Command by Log File", "ログファイルからコマンド実行(&R)"},
    {2, MenuItemKind::Command, 32820, "S&top Command by Log File", "ログファイルからコマンド実行停止(&T)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 32821, "S&end File", "ファイルの送信(&S)"},
    {2, MenuItemKind::Command, 32793, "&Set Current Folder", "カレントフォルダの設定(&S)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 57601, "&Macro", "ﾏｸﾛ(&M)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 32785, "&Dialog", "ﾀﾞｲｱﾛｸﾞを開く(&D)"},
    {2, MenuItemKind::Command, 32786, "Dialog&File", "ﾀﾞｲｱﾛｸﾞﾌｧｲﾙを選択する(&F)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 32822, "S&ave setup", "現在のターミナル設定を保存(&A)"},
    {2, MenuItemKind::Command, 32823, "Restore set&up", "ターミナル設定を読み出し(&U)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 57665, "E&xit", "終了(&X)"},
    {1, MenuItemKind::Popup, 0, "&Edit", "編集(&E)"},
    {2, MenuItemKind::Command, 57634, "&Copy\tALT+C", "ｺﾋﾟｰ(&C)\tALT+C"},
    {2, MenuItemKind::Command, 57637, "&Paste\tALT+V", "貼り付け(&P)\tALT+V"},
    {1, MenuItemKind::Popup, 0, "&Com", "通信(&C)"},
    {2, MenuItemKind::Command, 32796, "---", "---"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Popup, 0, "Connect by &History", "履歴から接続(&H)"},
    {3, MenuItemKind::Command, 32800, "1 ---", "1 ---"},
    {3, MenuItemKind::Command, 32801, "2 ---", "2 ---"},
    {3, MenuItemKind::Command, 32802, "3 ---", "3 ---"},
    {3, MenuItemKind::Command, 32803, "4 ---", "4 ---"},
    {3, MenuItemKind::Command, 32804, "5 ---", "5 ---"},
    {2, MenuItemKind::Command, 32795, "Connect by &List", "選択して接続(&L)"},
    {2, MenuItemKind::Command, 32774, "&Disconnect", "切断(&D)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 32794, "&Options", "接続設定(&O)"},
    {1, MenuItemKind::Popup, 0, "&View", "表示(&V)"},
    {2, MenuItemKind::Command, 32782, "&Font", "ﾌｫﾝﾄ(&F)"},
    {2, MenuItemKind::Command, 32824, "&Window", "画面(&W)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 32790, "&English", "英語表示(&E)"},
    {2, MenuItemKind::Command, 32791, "&Japanese", "日本語表示(&J)"},
    {2, MenuItemKind::Separator, 0, "", ""},
    {2, MenuItemKind::Command, 32825, "&Tool Bar", "ツールバー(&T)"},
    {1, MenuItemKind::Command, 32871, "&Save and Open in Editor", "SAVEしてエディタで開く(&S)"},
};

constexpr int kToolbar[kToolbarSlots] = {
    kCmdOpenLog, kCmdCloseLog,      kCmdCopy,      kCmdPaste,      kCmdSendFile, kCmdMacro, kCmdDialog,
    0,           kCmdConnectByList, kCmdReconnect, kCmdDisconnect, kCmdOptions,  0,         kCmdHelpContents,
};

bool InHistory(const std::vector<ConnectionEntry>& connections, size_t index) {
    return index < connections.size() && connections[index].Order != kNeverUsed;
}

std::vector<MenuItem> Build(std::span<const MenuRow> rows, int lang, const HistoryLabels& labels,
                            bool keepEditorItem) {
    std::vector<MenuItem> items;
    items.reserve(rows.size());
    for (const MenuRow& row : rows) {
        if (row.id == kCmdSaveAndOpenInEditor && !keepEditorItem) continue;
        MenuItem item;
        item.level = row.level;
        item.kind = row.kind;
        item.id = row.id;
        if (row.id == kCmdConnectLast)
            item.text = labels.lastConnection;
        else if (row.id >= kCmdHistoryFirst && row.id <= kCmdHistoryLast)
            item.text = labels.items[static_cast<size_t>(row.id - kCmdHistoryFirst)];
        else
            item.text = lang == 1 ? row.englishText : row.japaneseText;
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

std::span<const MenuRow> MainMenuTable() {
    return kMainMenu;
}
std::span<const MenuRow> ContextMenuTable() {
    return kContextMenu;
}
std::span<const int> ToolbarSlots() {
    return kToolbar;
}

HistoryLabels MakeHistoryLabels(const std::vector<ConnectionEntry>& connections) {
    HistoryLabels labels;
    if (InHistory(connections, 0)) labels.lastConnection = connections[0].Item;
    for (size_t k = 0; k < labels.items.size(); ++k) {
        const std::string prefix = "&" + std::to_string(k + 1) + " ";
        labels.items[k] = prefix + (InHistory(connections, k) ? connections[k].Item : std::string("---"));
    }
    return labels;
}

std::vector<MenuItem> BuildMainMenu(int lang, const HistoryLabels& labels) {
    return Build(kMainMenu, lang, labels, false);
}

std::vector<MenuItem> BuildContextMenu(int lang, const HistoryLabels& labels, bool editorLinkedAndNumbered) {
    return Build(kContextMenu, lang, labels, editorLinkedAndNumbered);
}

MenuCommandState ApplyCommandRule(int id, const MenuState& s, MenuCommandState current) {
    MenuCommandState r = current;
    switch (id) {
        case kCmdDisconnect:
        case kCmdReconnect: r.enabled = s.connected; break;
        case kCmdOpenLog: r.enabled = !s.logOpen; break;
        case kCmdCloseLog: r.enabled = s.logOpen; break;
        case kCmdMacro: r.enabled = s.connected && !s.macroOpen && !s.panelPressWaiting; break;
        case kCmdDialog:
        case kCmdDialogFile:
            if (s.hostLinked)
                r.enabled = false;
            else if (!s.panelButtonRunning)
                r.enabled = s.connected;
            break;
        case kCmdCopy: r.enabled = s.selectionExists; break;
        case kCmdPaste: r.enabled = s.clipboardHasText; break;
        case kCmdEnglish: r.checked = s.language == 1; break;
        case kCmdJapanese: r.checked = s.language != 1; break;
        case kCmdSetCurrentFolder: r.enabled = !s.hostLinked; break;
        case kCmdOptions:
        case kCmdConnectByList:
        case kCmdConnectLast: r.enabled = !s.connected; break;
        case kCmdReplayLog:
            if (s.hostLinked)
                r.enabled = false;
            else if (s.connected)
                r.enabled = !s.replayRunning;
            break;
        case kCmdStopReplay: r.enabled = !s.hostLinked && s.replayRunning; break;
        case kCmdSendFile: r.enabled = !s.hostLinked && s.connected; break;
        case kCmdToolBar: r.checked = s.toolbarVisible; break;
        case kCmdSaveAndOpenInEditor: r.enabled = s.connected && !s.hostBusy; break;
        default:
            if (id >= kCmdHistoryFirst && id <= kCmdHistoryLast) r.enabled = !s.connected;
            break;
    }
    return r;
}

}  // namespace tavrin
