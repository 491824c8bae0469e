// The window against tavrin-sim on loopback: keys as QTest types them (no delay between them),
// Paste, the command button panel's line, the log file dialog and closing the window during a
// save, as an operator uses them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "SimWindow.h"
#include "app/Language.h"
#include "app/Menus.h"
#include "e2e/HeadlessProcess.h"
#include "e2e/SimProcess.h"
#include "gui/CommandPanel.h"
#include "gui/MainFrame.h"
#include "gui/QtShell.h"
#include "gui/TerminalWidget.h"
#include "gui/WhenModal.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "session/PlatformEnvironment.h"
#include "transfer/SaveSteps.h"

namespace tavrin::testing {
namespace {

// A robot program of a few blocks: CR LF lines, nothing the console would take as its prompt.
std::string ProgramLikeText() {
    std::string text = ".PROGRAM cell()\r\n";
    for (int step = 1; text.size() < 3000; ++step)
        text += "  LMOVE SHIFT(base BY " + std::to_string(step * 11 % 300) + ", 0, 0)\r\n";
    return text + ".END\r\n";
}

// The window over a real view with a real clock, connected to a simulator whose disk is disk/;
// the PC's folder is pc/. Completed rows are collected as the operator has seen them.
struct SimWindow : RealViewWindow {
    TempFolder folder{"tavrin-gui"};
    std::string disk = folder / "disk";
    std::string pc = folder / "pc";
    std::unique_ptr<SimProcess> sim;

    explicit SimWindow(const std::string& panelIni = "") {
        std::filesystem::create_directory(disk);
        std::filesystem::create_directory(pc);
        WriteWholeFile(folder / "t.ini", "[Settings]\r\nLanguage=1\r\nIsAutoConnect=0\r\n");
        std::vector<std::string> line = {"-F" + (folder / "t.ini")};
        if (!panelIni.empty()) {
            WriteWholeFile(folder / "panel.ini", panelIni);
            line.push_back("-DF" + (folder / "panel.ini"));
        }
        sim = std::make_unique<SimProcess>(std::vector<std::string>{"--tcp", "0", "--disk", disk});
        if (!sim->Started()) return;
        line.push_back("-C=127.0.0.1:" + std::to_string(sim->TcpPort()) + ":Sim");
        app = std::make_unique<CPelinApp>(ParseCommandLine(line), "tavrin-test");
        app->FixProfilePath();
        BuildView(true);
        frame->show();
        view->OnCreate();
    }
    ~SimWindow() {
        if (view) view->OnDestroy();  // what closing the window does after its confirmation
        frame.reset();
        view.reset();
    }
    bool Ready() {
        return sim->Started() && WaitFor([&] { return Shown("Type help for the commands."); });
    }
    bool Shown(const std::string& text) const { return rows.find(text) != std::string::npos; }
};

TEST(OperatorInputTest, ASaveCommandTypedAtFullSpeedInTheWindowSavesTheProgram) {
    SimWindow w;
    ASSERT_TRUE(w.Ready()) << w.rows;
    const std::string program = ProgramLikeText();
    WriteWholeFile(w.disk + "/x.as", program);
    QWidget* terminal = w.frame->Terminal();
    QTest::keyClicks(terminal, QString::fromStdString("save " + w.pc + "/x.as"));
    QTest::keyClick(terminal, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return w.Shown("Saved x.as"); })) << w.rows;
    EXPECT_EQ(ReadWholeFile(w.pc + "/x.as"), program);
    EXPECT_FALSE(w.Shown("File name missing")) << w.rows;
}

TEST(OperatorInputTest, PastingTwoLinesRunsTheSaveOfTheFirst) {
    SimWindow w;
    ASSERT_TRUE(w.Ready()) << w.rows;
    const std::string program = ProgramLikeText();
    WriteWholeFile(w.disk + "/p.as", program);
    QGuiApplication::clipboard()->setText(QString::fromStdString("save " + w.pc + "/p.as\nver\n"));
    w.view->OnCommand(kCmdPaste);
    // The second line goes out after the first has been carried out, not into its transfer.
    auto verAfterSave = [&] {
        const size_t saved = w.rows.find("Saved p.as");
        return saved != std::string::npos && w.rows.find(">ver", saved) != std::string::npos &&
               w.rows.find("Tavrin controller simulator 1.0", saved) != std::string::npos;
    };
    ASSERT_TRUE(WaitFor(verAfterSave)) << w.rows;
    EXPECT_EQ(ReadWholeFile(w.pc + "/p.as"), program);
}

// Enter and keypad Enter in the panel's line send it through the terminal's keyboard (so a
// save command works there too) and keep it in the history.
TEST(OperatorInputTest, ThePanelsCommandLineSendsOnEnterAndKeepsItsHistory) {
    SimWindow w("[START_UP]\r\nPAGE=1\r\n");
    ASSERT_TRUE(w.Ready()) << w.rows;
    const std::string program = ProgramLikeText();
    WriteWholeFile(w.disk + "/q.as", program);
    w.view->OnCommand(kCmdDialog);
    CMacroDialog* panel = w.frame->CommandPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(WaitFor([&] { return panel->isVisible(); }));
    QLineEdit* line = panel->CommandLine()->lineEdit();

    QTest::keyClicks(line, "ver");
    QTest::keyClick(line, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(WaitFor([&] { return w.Shown("Tavrin controller simulator 1.0"); })) << w.rows;
    EXPECT_TRUE(panel->CommandLine()->currentText().isEmpty()) << "the next typing starts a new line";

    QTest::keyClicks(line, QString::fromStdString("save " + w.pc + "/q.as"));
    QTest::keyClick(line, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return w.Shown("Saved q.as"); })) << w.rows;
    EXPECT_EQ(ReadWholeFile(w.pc + "/q.as"), program);
    ASSERT_EQ(panel->CommandLine()->count(), 2);
    EXPECT_EQ(panel->CommandLine()->itemText(0).toStdString(), "save " + w.pc + "/q.as");
    EXPECT_EQ(panel->CommandLine()->itemText(1), "ver");
}

// A save's last steps held on their thread (the first of them waits until released).
std::atomic<bool> lastStepsHeld{false};
std::atomic<bool> lastStepsReleased{false};

void HoldTheLastSteps(const char* step) {
    if (std::string_view(step) != "fsync") return;
    lastStepsHeld = true;
    for (int waited = 0; !lastStepsReleased && waited < 10000; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Closing the window (answered Yes) or ending the session (a termination signal does) while a
// save's last steps run: the view stays until they have run, so the new program takes its
// name and the earlier one its backup's.
TEST(OperatorInputTest, TheWindowEndsOnlyAfterTheSavesLastSteps) {
    struct Case {
        const char* name;
        bool closeWindow;
    };
    const Case cases[] = {{"closing the window", true}, {"ending the session", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimWindow w;
        ASSERT_TRUE(w.Ready()) << w.rows;
        const std::string earlier = ProgramLikeText();
        const std::string newer = earlier + "; edited\r\n";
        WriteWholeFile(w.pc + "/cell.as", earlier);
        WriteWholeFile(w.disk + "/cell.as", newer);
        lastStepsHeld = false;
        lastStepsReleased = false;
        SetSaveStepHook(HoldTheLastSteps);
        struct Unhook {
            ~Unhook() {
                lastStepsReleased = true;
                SetSaveStepHook(nullptr);
            }
        } unhook;
        QWidget* terminal = w.frame->Terminal();
        QTest::keyClicks(terminal, QString::fromStdString("save " + w.pc + "/cell.as"));
        QTest::keyClick(terminal, Qt::Key_Return);
        ASSERT_TRUE(WaitFor([&] { return lastStepsHeld.load(); })) << w.rows;

        CWhenModal yes("QMessageBox", [](QWidget* box) {
            static_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
        });
        if (c.closeWindow)
            w.frame->close();
        else
            w.frame->EndSession();
        QTest::qWait(200);
        EXPECT_EQ(yes.Ran(), c.closeWindow);
        EXPECT_TRUE(w.doc.connected) << "the view ended while the last steps ran";
        EXPECT_TRUE(w.frame->isVisible());
        lastStepsReleased = true;
        EXPECT_TRUE(WaitFor([&] { return !w.doc.connected; }, 5000)) << "the session did not end after them";
        EXPECT_EQ(ReadWholeFile(w.pc + "/cell.as"), newer);
        EXPECT_EQ(ReadWholeFile(w.pc + "/cell.Bas"), earlier);
        // Ending the session quits the application's event loop, which here never ran: it runs
        // once and ends, so the dialogs of the tests after this one still open.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
}

// ".log" is added only when the "*.log" filter is selected; with "*.*" the name stands.
TEST(OperatorInputTest, OpenLogFileAddsTheExtensionOnlyForTheLogFilter) {
    struct Case {
        const char* typed;
        int filter;  // 0 "*.log", 1 "*.*"
        const char* created;
    };
    const Case cases[] = {{"session", 0, "session.log"},
                          {"session", 1, "session"},
                          {"cell.txt", 1, "cell.txt"},
                          {"run.LOG", 0, "run.LOG"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " filter " + std::to_string(c.filter));
        QTemporaryDir folder;
        CQtShell shell;
        CPlatformEnvironment platform;
        CPelinApp app(ParseCommandLine({"-F" + folder.filePath("t.ini").toStdString()}), "tavrin-test");
        app.FixProfilePath();
        CPelinDoc doc;
        CPelinView view(app, doc, shell, platform.Environment());
        CMainFrame frame(view, app);
        shell.SetFrame(&frame);
        CWhenModal chooser("QFileDialog", [&](QWidget* modal) {
            auto* dialog = static_cast<QFileDialog*>(modal);
            dialog->selectNameFilter(dialog->nameFilters().value(c.filter));
            dialog->selectFile(folder.filePath(c.typed));
            static_cast<QDialog*>(dialog)->accept();
        });
        view.OnCommand(kCmdOpenLog);
        EXPECT_TRUE(chooser.Ran());
        EXPECT_TRUE(QFileInfo::exists(folder.filePath(c.created)));
        view.OnCommand(kCmdCloseLog);
        view.OnDestroy();
    }
}

}  // namespace
}  // namespace tavrin::testing
