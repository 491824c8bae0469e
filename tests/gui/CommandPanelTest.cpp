#include "gui/CommandPanel.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "FakeClock.h"
#include "GuiFixture.h"
#include "ScriptedLink.h"
#include "SimWindow.h"
#include "app/Menus.h"

namespace tavrin::testing {
namespace {

void WriteFile(const QString& path, const std::string& text) {
    std::ofstream(path.toStdString(), std::ios::binary) << text;
}

// The window over a panel with a scripted link, driven by the real 10 ms timer of the Qt shell.
TEST(CommandPanelTest, PressedButtonSendsItsLineAndTheCommandLineSendsTyped) {
    QTemporaryDir folder;
    WriteFile(folder.filePath("MacroDlg.INI"),
              "[START_UP]\r\nPAGE=2\r\n[BUTTON01]\r\nEnable=ON\r\nBtnName=Home\r\nCommand01=do home\r\n");
    CQtShell shell;
    FakeClock clock;
    ScriptedLink link;
    CCommandPanel panel(link, shell, clock, {});
    shell.SetTimerHandler([&panel](int id) {
        if (id == kPanelTimerId) panel.TimerStep();
    });
    panel.SetFile("MacroDlg.INI", folder.path().toStdString());
    CMacroDialog dialog(panel);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), "MacroDialog : MacroDlg.INI");

    panel.LoadAndShow();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.PageLabel()->text(), "Page 1/2");
    ASSERT_TRUE(WaitFor([&] { return dialog.Button(1)->isEnabled(); }));
    EXPECT_EQ(dialog.Button(1)->text(), "Home");
    EXPECT_FALSE(dialog.Button(2)->isEnabled());
    EXPECT_FALSE(dialog.CancelButton()->isEnabled());

    QTest::mouseClick(dialog.Button(1), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return dialog.Status()->text() == "Completed"; }));
    EXPECT_EQ(std::string(link.sent.begin(), link.sent.end()), "\r\nDO HOME\r\n");

    link.sent.clear();
    QTest::keyClicks(dialog.CommandLine()->lineEdit(), "where");
    QTest::keyClick(dialog.CommandLine()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(std::string(link.sent.begin(), link.sent.end()), "where\r\n");
    ASSERT_EQ(dialog.CommandLine()->count(), 1);
    EXPECT_EQ(dialog.CommandLine()->itemText(0), "where");
    EXPECT_TRUE(dialog.CommandLine()->currentText().isEmpty());
    EXPECT_TRUE(dialog.isVisible());  // Enter is the command line's, not a button's

    auto* next = dialog.findChild<QPushButton*>("panelNext");
    ASSERT_TRUE(WaitFor([&] { return next->isEnabled(); }));
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(dialog.PageLabel()->text(), "Page 2/2");
    EXPECT_EQ(dialog.Button(1)->text(), "BUTTON13");

    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}

// The panel inside the terminal view: Dialog shows it, a running button keeps Macro disabled,
// and a disconnect stops the button and hides the panel.
TEST(CommandPanelTest, ViewShowsPanelAndHidesItOnDisconnect) {
    GuiFixture f;
    WriteFile(f.folder.filePath("cell.ini"), "[BUTTON01]\r\nEnable=ON\r\nCommand01=SLEEP 100\r\n");
    CCommandPanel& panel = f.view->Panel();
    panel.SetFile("cell.ini", f.folder.path().toStdString());
    CMacroDialog* dialog = f.frame->CommandPanel();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible());

    f.view->OnCommand(kCmdDialog);  // not connected: disabled
    EXPECT_FALSE(dialog->isVisible());
    f.doc.connected = 1;
    f.view->OnCommand(kCmdDialog);
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "MacroDialog : cell.ini");

    f.view->OnTimer(kPanelTimerId);
    ASSERT_EQ(panel.Press(1), 0);
    f.view->OnTimer(kPanelTimerId);
    EXPECT_EQ(dialog->Status()->text(), "SLEEP");
    EXPECT_TRUE(dialog->CancelButton()->isEnabled());
    EXPECT_FALSE(f.view->QueryCommand(kCmdMacro).enabled);

    f.view->OnCommand(kCmdDisconnect);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(panel.ButtonActive());
    EXPECT_EQ(dialog->Status()->text(), "Canceled");
}

}  // namespace
}  // namespace tavrin::testing
