#pragma once
#include <array>
#include <span>
#include <string>
#include <vector>

#include "app/ConnectionEntry.h"

namespace tavrin {

// Command identifiers of the menus and the toolbar.
inline constexpr int kCmdDisconnect = 32774;
inline constexpr int kCmdOpenLog = 32776;
inline constexpr int kCmdCloseLog = 32777;
inline constexpr int kCmdHelpContents = 32781;
inline constexpr int kCmdFont = 32782;
inline constexpr int kCmdDialog = 32785;
inline constexpr int kCmdDialogFile = 32786;
inline constexpr int kCmdEnglish = 32790;
inline constexpr int kCmdJapanese = 32791;
inline constexpr int kCmdSetCurrentFolder = 32793;
inline constexpr int kCmdOptions = 32794;
inline constexpr int kCmdConnectByList = 32795;
inline constexpr int kCmdConnectLast = 32796;
inline constexpr int kCmdHistoryFirst = 32800;  // 32800..32804: the five history items
inline constexpr int kCmdHistoryLast = 32804;
inline constexpr int kCmdReplayLog = 32819;
inline constexpr int kCmdStopReplay = 32820;
inline constexpr int kCmdSendFile = 32821;
inline constexpr int kCmdSaveSetup = 32822;
inline constexpr int kCmdRestoreSetup = 32823;
inline constexpr int kCmdWindowSetting = 32824;
inline constexpr int kCmdToolBar = 32825;
inline constexpr int kCmdZuEditor = 32864;
inline constexpr int kCmdQelEditor = 32865;
inline constexpr int kCmdReconnect = 32868;
inline constexpr int kCmdSaveAndOpenInEditor = 32871;
inline constexpr int kCmdMacro = 57601;
inline constexpr int kCmdCopy = 57634;
inline constexpr int kCmdPaste = 57637;
inline constexpr int kCmdAbout = 57664;
inline constexpr int kCmdExit = 57665;

inline constexpr int kHistoryItems = 5;
inline constexpr int kToolbarSlots = 14;

enum class MenuItemKind { Popup, Command, Separator };

// One row of a menu resource. level 0 is the outermost popup; the rows after a popup at a
// deeper level are its items, up to the next row at the popup's level or above.
struct MenuRow {
    int level;
    MenuItemKind kind;
    int id;  // 0 for popups and separators
    const char* englishText;
    const char* japaneseText;
};

// A row as it is shown: the text of one language, history labels filled in.
struct MenuItem {
    int level = 0;
    MenuItemKind kind = MenuItemKind::Command;
    int id = 0;
    std::string text;  // UTF-8; '&' marks the mnemonic, '\t' starts the accelerator column
};

// The resources as written: the main menu (bar popups at level 0) and the context menu (one
// top popup at level 0 that is never shown itself; its items from level 1).
std::span<const MenuRow> MainMenuTable();
std::span<const MenuRow> ContextMenuTable();

// The connection history labels: item 32796 and the items 32800..32804.
struct HistoryLabels {
    std::string lastConnection = "---";
    std::array<std::string, kHistoryItems> items{"&1 ---", "&2 ---", "&3 ---", "&4 ---", "&5 ---"};
};
// Labels from the connection list in its stored order; an entry with order 999 has never been
// used and shows as an empty slot.
HistoryLabels MakeHistoryLabels(const std::vector<ConnectionEntry>& connections);

// The menus of a language (1 English, 0 Japanese) as shown. "Save and Open in Editor" is in the
// context menu only while the terminal is linked to a host editor and numbered.
std::vector<MenuItem> BuildMainMenu(int lang, const HistoryLabels& labels);
std::vector<MenuItem> BuildContextMenu(int lang, const HistoryLabels& labels, bool editorLinkedAndNumbered);

// What the enable and check rules look at.
struct MenuState {
    bool connected = false;
    bool logOpen = false;
    bool macroOpen = false;           // a macro file is open (running)
    bool panelPressWaiting = false;   // a panel button press waits to be carried out
    bool panelButtonRunning = false;  // a panel button's commands are being executed
    bool hostLinked = false;          // linked to a host editor (host window known)
    bool hostBusy = false;            // the controller is not at its prompt
    bool replayRunning = false;
    bool selectionExists = false;
    bool clipboardHasText = false;
    bool toolbarVisible = true;
    int language = 1;
};

struct MenuCommandState {
    bool enabled = true;
    bool checked = false;
};

// The state of command id under s. Some rules leave a command as it is in some states (the
// panel's Dialog items while a panel button runs, Replay while not connected); current is that
// state, and commands without a rule keep it too.
MenuCommandState ApplyCommandRule(int id, const MenuState& s, MenuCommandState current);

// The toolbar's button slots in order; 0 is a separator.
std::span<const int> ToolbarSlots();

}  // namespace tavrin
