#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QToolBar>

#include "GuiFixture.h"
#include "app/IniFile.h"
#include "app/Menus.h"
#include "gui/MenuBuilder.h"

namespace tavrin {
namespace {

using testing::FindAction;
using testing::GuiFixture;

struct Shown {
    int level;
    MenuItemKind kind;
    int id;
    std::string text;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shown& s) {
    return out << "{" << s.level << "," << static_cast<int>(s.kind) << "," << s.id << ",\"" << s.text
               << "\"}";
}

void Flatten(const QList<QAction*>& actions, int level, std::vector<Shown>& out) {
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            out.push_back({level, MenuItemKind::Separator, 0, ""});
        } else if (action->menu()) {
            out.push_back({level, MenuItemKind::Popup, 0, action->text().toStdString()});
            Flatten(action->menu()->actions(), level + 1, out);
        } else {
            out.push_back({level, MenuItemKind::Command, CommandOf(action), action->text().toStdString()});
        }
    }
}

// The table's items; Copy and Paste also name the Linux desktop's keys.
std::vector<Shown> Expected(const std::vector<MenuItem>& items, int fromLevel) {
    std::vector<Shown> out;
    for (const MenuItem& item : items) {
        if (item.level < fromLevel) continue;
        std::string text = item.text;
        if (item.id == kCmdCopy) text += ", Ctrl+Shift+C";
        if (item.id == kCmdPaste) text += ", Ctrl+Shift+V, Shift+Ins";
        out.push_back({item.level, item.kind, item.id, text});
    }
    return out;
}

ConnectionEntry Entry(const std::string& item, int order) {
    ConnectionEntry e;
    e.Item = item;
    e.Order = order;
    return e;
}

TEST(MainFrameTest, MenuBarShowsTheMainMenuItemByItemInBothLanguages) {
    GuiFixture f;
    f.doc.connections = {Entry("COM2:9600:8:2:none", 0), Entry("192.168.0.2:23:Robot1", 999)};
    const HistoryLabels labels = MakeHistoryLabels(f.doc.connections);
    for (int lang : {1, 0}) {
        SetCurrentLanguage(lang);
        f.frame->RebuildMenus();
        std::vector<Shown> shown;
        Flatten(f.frame->menuBar()->actions(), 0, shown);
        EXPECT_EQ(shown, Expected(BuildMainMenu(lang, labels), 0)) << "language " << lang;
        ASSERT_GE(shown.size(), 50u);
        // A few rows as the user sees them, so a slip in the table itself shows too.
        EXPECT_EQ(shown.front().text, lang ? "&File" : "ﾌｧｲﾙ(&F)");
        EXPECT_EQ(shown.back().text, lang ? "&About Tavrin..." : "バージョン情報(&A)...");
        EXPECT_EQ(
            FindAction(f.frame->menuBar()->actions(), kCmdPaste)->text().toStdString(),
            lang ? "&Paste\tALT+V, Ctrl+Shift+V, Shift+Ins" : "貼り付け(&P)\tALT+V, Ctrl+Shift+V, Shift+Ins");
    }
    QAction* history = FindAction(f.frame->menuBar()->actions(), 32800);
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->text().toStdString(), "&1 COM2:9600:8:2:none");
    EXPECT_EQ(FindAction(f.frame->menuBar()->actions(), 32801)->text().toStdString(), "&2 ---");
    EXPECT_EQ(FindAction(f.frame->menuBar()->actions(), kCmdConnectLast)->text().toStdString(),
              "COM2:9600:8:2:none");
    EXPECT_EQ(FindAction(f.frame->menuBar()->actions(), kCmdQelEditor)->text().toStdString(),
              "QELパネルエディタ(I)");
}

TEST(MainFrameTest, ContextMenuShowsItsTableInBothLanguages) {
    GuiFixture f;
    const HistoryLabels labels = MakeHistoryLabels(f.doc.connections);
    struct Case {
        int lang;
        intptr_t host;
        int number;
    } cases[] = {{1, 0, 0}, {0, 0, 0}, {1, 77, 0}, {1, 77, 3}, {0, 77, 3}};
    for (const auto& c : cases) {
        SetCurrentLanguage(c.lang);
        f.view->hostWindow = c.host;
        f.view->terminalNumber = c.number;
        f.frame->RebuildMenus();
        std::vector<Shown> shown;
        Flatten(f.frame->ContextMenu()->actions(), 1, shown);
        const bool numbered = c.host != 0 && c.number != 0;
        EXPECT_EQ(shown, Expected(BuildContextMenu(c.lang, labels, numbered), 1))
            << c.lang << " " << c.number;
        EXPECT_EQ(FindAction(f.frame->ContextMenu()->actions(), kCmdSaveAndOpenInEditor) != nullptr,
                  numbered);
        EXPECT_EQ(FindAction(f.frame->ContextMenu()->actions(), kCmdReconnect), nullptr);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.front().text, c.lang ? "&File" : "ﾌｧｲﾙ(&F)");
    }
}

// The menus show what the rules give for a state; the rows are the Part's table read off the
// menu the user opens.
TEST(MainFrameTest, MenuStatesFollowTheRulesRowByRow) {
    GuiFixture f;
    SetCurrentLanguage(1);
    f.frame->RebuildMenus();
    auto S = [](auto change) {
        MenuState s;
        change(s);
        return s;
    };
    struct Row {
        int id;
        bool enabled, checked;
    };
    struct Case {
        const char* what;
        MenuState state;
        std::vector<Row> rows;
    };
    const Case cases[] = {
        {"idle, not connected",
         MenuState{},
         {{kCmdDisconnect, false, false},
          {kCmdReconnect, false, false},
          {kCmdOpenLog, true, false},
          {kCmdCloseLog, false, false},
          {kCmdMacro, false, false},
          {kCmdDialog, false, false},
          {kCmdOptions, true, false},
          {kCmdConnectByList, true, false},
          {32803, true, false},
          {kCmdSendFile, false, false},
          {kCmdEnglish, true, true},
          {kCmdJapanese, true, false},
          {kCmdToolBar, true, true}}},
        {"connected and logging",
         S([](MenuState& s) { s.connected = s.logOpen = true; }),
         {{kCmdDisconnect, true, false},
          {kCmdReconnect, true, false},
          {kCmdOpenLog, false, false},
          {kCmdCloseLog, true, false},
          {kCmdMacro, true, false},
          {kCmdDialog, true, false},
          {kCmdDialogFile, true, false},
          {kCmdOptions, false, false},
          {32800, false, false},
          {kCmdConnectLast, false, false},
          {kCmdSendFile, true, false},
          {kCmdReplayLog, true, false}}},
        {"linked, Japanese, toolbar hidden",
         S([](MenuState& s) {
             s.connected = s.hostLinked = true;
             s.language = 0;
             s.toolbarVisible = false;
         }),
         {{kCmdDialog, false, false},
          {kCmdSetCurrentFolder, false, false},
          {kCmdReplayLog, false, false},
          {kCmdSendFile, false, false},
          {kCmdEnglish, true, false},
          {kCmdJapanese, true, true},
          {kCmdToolBar, true, false}}},
    };
    for (const auto& c : cases) {
        for (QAction* top : f.frame->menuBar()->actions()) {
            std::vector<QMenu*> menus{top->menu()};
            for (QAction* a : top->menu()->actions())
                if (a->menu()) menus.push_back(a->menu());
            for (QMenu* menu : menus)
                ApplyCommandStates(menu, [&](int id, MenuCommandState current) {
                    return ApplyCommandRule(id, c.state, current);
                });
        }
        for (const Row& row : c.rows) {
            QAction* action = FindAction(f.frame->menuBar()->actions(), row.id);
            ASSERT_NE(action, nullptr) << row.id;
            EXPECT_EQ(action->isEnabled(), row.enabled) << c.what << ": " << row.id;
            EXPECT_EQ(action->isChecked(), row.checked) << c.what << ": " << row.id;
        }
    }
}

TEST(MainFrameTest, ToolbarButtonsInOrderWithIconsAndTipsOfTheLanguage) {
    GuiFixture f;
    QToolBar* bar = f.frame->ToolBar();
    EXPECT_EQ(bar->windowTitle(), "Toolbar");
    const QList<QAction*> actions = bar->actions();
    const std::vector<int> order = {32776, 32777, 57634, 57637, 32821, 57601, 32785,
                                    0,     32795, 32868, 32774, 32794, 0,     32781};
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(order.size()));
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == 0) {
            EXPECT_TRUE(actions[i]->isSeparator()) << i;
            continue;
        }
        EXPECT_EQ(CommandOf(actions[i]), order[i]);
        EXPECT_FALSE(actions[i]->icon().pixmap(16, 15).isNull()) << order[i];
    }
    struct Tip {
        int lang, id;
        const char* tip;
    } tips[] = {{1, 32776, "Open Log File"}, {1, 32868, "Disconnect and Reconnect"},
                {1, 32781, "Help"},          {0, 32776, "ログファイルを開く"},
                {0, 32795, "選択接続"},      {0, 32794, "接続設定"}};
    for (const auto& t : tips) {
        SetCurrentLanguage(t.lang);
        f.frame->RebuildMenus();
        EXPECT_EQ(f.frame->ToolbarAction(t.id)->toolTip().toStdString(), t.tip);
    }
}

TEST(MainFrameTest, ToolBarCommandHidesAndShowsTheToolbar) {
    GuiFixture f;
    f.frame->show();
    ASSERT_TRUE(f.frame->ToolBar()->isVisible());
    f.frame->RunCommand(kCmdToolBar);
    EXPECT_EQ(f.doc.toolbarVisible, 0);
    EXPECT_FALSE(f.frame->ToolBar()->isVisible());
    f.frame->RunCommand(kCmdToolBar);
    EXPECT_EQ(f.doc.toolbarVisible, 1);
    EXPECT_TRUE(f.frame->ToolBar()->isVisible());
}

TEST(MainFrameTest, DefaultPlacementWithoutWindowPos) {
    GuiFixture f;
    EXPECT_EQ(f.frame->pos(), QPoint(32, 148));
    EXPECT_EQ(f.frame->size(), QSize(561, 679));
}

TEST(MainFrameTest, WindowPosRoundTrip) {
    GuiFixture f;
    ASSERT_TRUE(
        WriteProfileString(f.app.profilePath, "Settings", "WindowPos", "2,3,-1,-1,-8,-8,100,50,720,520"));
    CMainFrame again(*f.view, f.app);
    EXPECT_EQ(again.pos(), QPoint(100, 50));
    EXPECT_EQ(again.size(), QSize(620, 470));
    EXPECT_FALSE(again.isMaximized());  // comes back at its normal size and place
    const WindowPlacement p = again.CurrentPlacement();
    ASSERT_TRUE(SaveWindowPlacement(f.app.profilePath, p));
    EXPECT_EQ(ReadProfileString(f.app.profilePath, "Settings", "WindowPos", ""),
              "0,1,-1,-1,-1,-1,100,50,720,520");

    // A line of fewer than ten numbers leaves the placement to the platform.
    ASSERT_TRUE(WriteProfileString(f.app.profilePath, "Settings", "WindowPos", "0,1,-1,-1"));
    CMainFrame platform(*f.view, f.app);
    EXPECT_NE(platform.size(), QSize(620, 470));
}

}  // namespace
}  // namespace tavrin
