#include "app/TerminalSetup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "LanguageGuard.h"
#include "RecordingShell.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/TermSettings.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CLanguageGuard;
using testing::CTempFolder;
using testing::RecordingShell;

// Puts the working folder back after a test that moves it.
class CFolderGuard {
public:
    CFolderGuard() : saved_(std::filesystem::current_path()) {}
    ~CFolderGuard() {
        std::error_code ignored;
        std::filesystem::current_path(saved_, ignored);
        ForgetCurrentFolder();
    }

private:
    std::filesystem::path saved_;
};

// One terminal's worth of state around a CTerminalSetup, with hooks that record.
struct Rig {
    explicit Rig(std::string path) : profilePath(std::move(path)) {
        TerminalSetupHooks hooks;
        hooks.loadConnectionList = [this](const std::string& p) { listLoads.push_back(p); };
        hooks.saveConnectionList = [this](const std::string& p) {
            listSaves.push_back(p);
            return WriteProfileString(p, "Connections", "Total", "0");
        };
        hooks.setLanguageAndMenus = [this](int lang) { menuLanguages.push_back(lang); };
        hooks.typeKey = [this](uint8_t b) { typed.push_back(b); };
        hooks.terminalCleared = [this] { ++cleared; };
        setup = std::make_unique<CTerminalSetup>(doc, view, profilePath, shell, std::move(hooks));
    }

    CPelinDoc doc;
    ViewState view;
    std::string profilePath;
    RecordingShell shell;
    std::unique_ptr<CTerminalSetup> setup;
    std::vector<std::string> listLoads, listSaves;
    std::vector<int> menuLanguages;
    std::vector<uint8_t> typed;
    int cleared = 0;
};

void FillTerminal(CPelinDoc& doc, ViewState& view) {
    doc.screenBuffer.Fill('S');
    doc.historyBuffer.Fill('H');
    doc.lineWorkArea.fill('L');
    doc.cursorRow = 12;
    doc.cursorColumn = 40;
    doc.visibleRows = 25;
    doc.horizontalOffset = 3;
    view.historyCount = 30;
    view.vScrollMax = 6;
    view.vScrollPos = 4;
    view.hScrollPos = 3;
}

TEST(TerminalSetupTest, SaveWritesEverySectionToTheFileInForce) {
    struct Case {
        const char* name;
        bool confirm;  // the dialog returns other.ini
    };
    for (const Case c : {Case{"confirmed", true}, Case{"cancelled", false}}) {
        SCOPED_TRACE(c.name);
        CFolderGuard folderGuard;
        CTempFolder dir;
        Rig rig(dir.File("start.ini"));
        rig.doc.maxRows = 120;
        rig.doc.bgColor = 0x0000FF;
        rig.doc.textColor = 0x00FF00;
        rig.doc.timeoutSec = 42;
        rig.view.logFont.height = -16;
        rig.view.logFont.faceName = "Mono";
        rig.shell.files.push_back(c.confirm ? std::optional<std::string>(dir.File("other.ini"))
                                            : std::nullopt);
        ChangeFolder(dir.Path());

        EXPECT_EQ(rig.setup->SaveTerminalSetup(), 0);

        const std::string target = dir.File(c.confirm ? "other.ini" : "start.ini");
        EXPECT_EQ(rig.profilePath, target);
        EXPECT_EQ(ReadProfileString(target, "Term", "MaxRows", ""), "120");
        EXPECT_EQ(ReadProfileString(target, "Term", "BgColor", ""), "255");
        EXPECT_EQ(ReadProfileString(target, "Term", "TxtColor", ""), "65280");
        EXPECT_EQ(ReadProfileString(target, "Settings", "TimeoutSec", ""), "42");
        EXPECT_EQ(ReadProfileString(target, "Settings", "Folder", ""), dir.Path());
        EXPECT_EQ(ReadProfileString(target, "Font", "Height", ""), "-16");
        EXPECT_EQ(ReadProfileString(target, "Font", "FaceName", ""), "Mono");
        EXPECT_EQ(rig.listSaves, std::vector<std::string>{target});
        EXPECT_EQ(std::filesystem::exists(dir.File(c.confirm ? "start.ini" : "other.ini")), false);

        ASSERT_EQ(rig.shell.fileRequests.size(), 1u);
        const FileDialogRequest& r = rig.shell.fileRequests[0];
        EXPECT_TRUE(r.save);
        EXPECT_EQ(r.title, "Terminal setting to save.");
        EXPECT_EQ(r.filter, "Ini Files (*.ini)|*.ini||");
        EXPECT_EQ(r.defaultExtension, "ini");
        EXPECT_EQ(r.initialFile, dir.File("start.ini"));
        EXPECT_EQ(r.startFolder, dir.Path());
        EXPECT_TRUE(rig.shell.boxes.empty());
    }
}

TEST(TerminalSetupTest, SaveReturnsToTheFolderTheDialogLeft) {
    CFolderGuard folderGuard;
    CTempFolder dir;
    std::filesystem::create_directory(dir.File("elsewhere"));
    Rig rig(dir.File("t.ini"));
    ChangeFolder(dir.Path());
    rig.shell.onFileDialog = [&] { std::filesystem::current_path(dir.File("elsewhere")); };

    rig.setup->SaveTerminalSetup();

    EXPECT_EQ(std::filesystem::current_path().string(), dir.Path());
    EXPECT_EQ(ReadProfileString(dir.File("t.ini"), "Settings", "Folder", ""), dir.Path());
}

TEST(TerminalSetupTest, SaveThatCannotWriteSaysSo) {
    CTempFolder dir;
    Rig rig(dir.File("t.ini"));
    rig.shell.files.push_back(dir.File("no-such-folder/setup.ini"));

    EXPECT_EQ(rig.setup->SaveTerminalSetup(), kFailedToOpenFile);
    ASSERT_EQ(rig.shell.boxes.size(), 1u);
    EXPECT_EQ(rig.shell.boxes[0].text, "Failed to open file.\n" + dir.File("no-such-folder/setup.ini") +
                                           ": No such file or directory.");
}

// Neither Save setup nor Restore setup takes a file the user may not trust as the settings
// file: the operator is told which and why, and the settings file in force stays.
TEST(TerminalSetupTest, ASetupFileThatIsNoFileOfTheUsersIsRefused) {
    CLanguageGuard english(1);
    CTempFolder dir;
    dir.Write("t.ini", "[Term]\r\nMaxRows=120\r\n");
    ASSERT_EQ(mkfifo(dir.File("pipe.ini").c_str(), 0600), 0);
    for (bool save : {true, false}) {
        SCOPED_TRACE(save ? "save" : "restore");
        Rig rig(dir.File("t.ini"));
        rig.shell.files.push_back(dir.File("pipe.ini"));
        EXPECT_EQ(save ? rig.setup->SaveTerminalSetup() : rig.setup->LoadTerminalSetup(true),
                  kFailedToOpenFile);
        EXPECT_EQ(rig.profilePath, dir.File("t.ini"));
        ASSERT_EQ(rig.shell.boxes.size(), 1u);
        EXPECT_EQ(rig.shell.boxes[0].text,
                  "The file " + dir.File("pipe.ini") +
                      " cannot be used: it is a FIFO (named pipe), not a regular file.");
        EXPECT_TRUE(rig.listSaves.empty());
        EXPECT_TRUE(rig.listLoads.empty());
    }
    EXPECT_EQ(dir.Read("t.ini"), "[Term]\r\nMaxRows=120\r\n");
}

TEST(TerminalSetupTest, RestoreReadsTheFileInForce) {
    CLanguageGuard english(1);
    struct Case {
        const char* name;
        const char* answer;  // file name the dialog returns, or nullptr for cancel
        const char* expectedFile;
        int result;
        int maxRows;
        uint32_t bg;
        int language;
        int fontHeight;
    };
    const Case cases[] = {
        {"chosen", "saved.ini", "saved.ini", 0, 80, 0x000080, 0, -18},
        {"cancelled reads current", nullptr, "current.ini", -1, 60, 0x008000, 1, -12},
        // A new name: defaults, the "Settings" values stay, the font height becomes 0.
        {"missing file", "new.ini", "new.ini", 0, 200, 0xFFFFFF, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFolderGuard folderGuard;
        CTempFolder dir;
        dir.Write("saved.ini",
                  "[Term]\r\nMaxRows=80\r\nBgColor=128\r\n[Settings]\r\nLanguage=0\r\n"
                  "[Font]\r\nHeight=-18\r\nFaceName=Saved\r\n");
        dir.Write("current.ini", "[Term]\r\nMaxRows=60\r\nBgColor=32768\r\n[Font]\r\nHeight=-12\r\n");
        Rig rig(dir.File("current.ini"));
        rig.doc.maxRows = 60;
        rig.shell.applyFont = [] { return true; };
        rig.shell.files.push_back(c.answer ? std::optional<std::string>(dir.File(c.answer)) : std::nullopt);

        EXPECT_EQ(rig.setup->LoadTerminalSetup(true), c.result);

        const std::string expected = dir.File(c.expectedFile);
        EXPECT_EQ(rig.profilePath, expected);
        EXPECT_EQ(rig.doc.maxRows, c.maxRows);
        EXPECT_EQ(rig.doc.bgColor, c.bg);
        EXPECT_EQ(CurrentLanguage(), c.language);
        EXPECT_EQ(rig.view.logFont.height, c.fontHeight);
        EXPECT_EQ(rig.listLoads, std::vector<std::string>{expected});
        EXPECT_EQ(rig.menuLanguages, std::vector<int>{c.language});
        EXPECT_EQ(rig.shell.fontsApplied, 1);
        EXPECT_EQ(rig.doc.caretCreated, 1);

        ASSERT_EQ(rig.shell.fileRequests.size(), 1u);
        const FileDialogRequest& r = rig.shell.fileRequests[0];
        EXPECT_FALSE(r.save);
        EXPECT_FALSE(r.mustExist);
        EXPECT_EQ(r.title, "Load terminal setting.");
        EXPECT_EQ(r.filter, "Ini Files (*.ini)|*.ini||");
        EXPECT_EQ(r.defaultExtension, "ini");
        EXPECT_EQ(r.initialFile, dir.File("current.ini"));
        SetCurrentLanguage(1);
    }
}

TEST(TerminalSetupTest, StartupReadLeavesFontAndMenusAlone) {
    CTempFolder dir;
    dir.Write("t.ini", "[Term]\r\nMaxRows=20\r\n[Font]\r\nHeight=-30\r\n");
    Rig rig(dir.File("t.ini"));
    rig.shell.applyFont = [] { return true; };
    FillTerminal(rig.doc, rig.view);

    EXPECT_EQ(rig.setup->LoadTerminalSetup(false), -1);

    EXPECT_EQ(rig.doc.maxRows, 20);  // only the dialog keeps it at 50 or more
    EXPECT_TRUE(rig.shell.fileRequests.empty());
    EXPECT_EQ(rig.view.logFont.height, LogFont{}.height);
    EXPECT_EQ(rig.shell.fontsApplied, 0);
    EXPECT_TRUE(rig.menuLanguages.empty());
    EXPECT_EQ(rig.listLoads.size(), 1u);
    EXPECT_EQ(rig.cleared, 0);
}

TEST(TerminalSetupTest, FontThatCannotBeMadeKeepsMetricsAndCaret) {
    struct Case {
        const char* name;
        bool ok;       // the font dialog's answer
        bool canMake;  // whether the front end can make the font
        int height;    // logFont afterwards
        int applied;
        int caret;
    };
    const Case cases[] = {
        {"ok", true, true, -20, 1, 1},
        {"ok, no such font", true, false, -20, 1, 0},
        {"cancel", false, true, 14, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig("/nonexistent/t.ini");
        rig.shell.fontDialog = [&](LogFont& f) {
            f.height = -20;
            return c.ok;
        };
        rig.shell.applyFont = [&] { return c.canMake; };

        EXPECT_EQ(rig.setup->FontCommand(), c.ok ? 0 : -1);
        EXPECT_EQ(rig.view.logFont.height, c.height);
        EXPECT_EQ(rig.shell.fontsApplied, c.applied);
        EXPECT_EQ(rig.doc.caretCreated, c.caret);
        EXPECT_EQ(rig.shell.repaintRequests, c.ok ? 1 : 0);
    }
}

TEST(TerminalSetupTest, WindowSettingRowsStayWithinTheControlsRange) {
    struct Case {
        int start;
        int direction;
        int heldMs;
        int expected;
    };
    const Case cases[] = {
        {20, 0, 0, 50},        // a stored 20 opens at the low end
        {350, 0, 0, 200},      //
        {100, +1, 0, 101},     //
        {100, -1, 999, 99},    //
        {100, +1, 1000, 110},  // steps of 10 after a second
        {100, -1, 1500, 90},   //
        {60, -1, 2000, 50},    // steps of 100, limited by the range
        {150, +1, 2500, 200},  //
        {100, +1, 3000, 200},  // steps of 1000
        {199, +1, 60000, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.start << " " << c.direction << " " << c.heldMs);
        CWindowSetting s(c.start, 0, 0);
        s.StepRows(c.direction, c.heldMs);
        EXPECT_EQ(s.Rows(), c.expected);
    }
}

TEST(TerminalSetupTest, WindowSettingOkClearsOnlyWhenTheRowsChange) {
    struct Case {
        const char* name;
        bool ok;
        int rows;  // chosen in the dialog
        bool clears;
    };
    const Case cases[] = {
        {"colours only", true, 50, false},
        {"more rows", true, 200, true},
        {"cancel", false, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig("/nonexistent/t.ini");
        rig.doc.maxRows = 50;
        FillTerminal(rig.doc, rig.view);
        rig.shell.windowSettingDialog = [&](CWindowSetting& s) {
            EXPECT_EQ(s.Rows(), 50);
            EXPECT_EQ(s.bgColor, 0xFFFFFFu);
            s.SetRows(c.rows);
            s.bgColor = 0x112233;
            s.textColor = 0x445566;
            return c.ok;
        };

        EXPECT_EQ(rig.setup->WindowSettingCommand(), c.ok ? 0 : -1);
        rig.shell.RunPosted();

        EXPECT_EQ(rig.doc.maxRows, c.ok ? c.rows : 50);
        EXPECT_EQ(rig.doc.bgColor, c.ok ? 0x112233u : 0xFFFFFFu);
        EXPECT_EQ(rig.doc.textColor, c.ok ? 0x445566u : 0u);
        EXPECT_EQ(rig.shell.repaintRequests, c.ok ? 1 : 0);
        EXPECT_EQ(rig.cleared, c.clears ? 1 : 0);
        EXPECT_EQ(rig.typed, c.clears ? std::vector<uint8_t>{10} : std::vector<uint8_t>{});
        EXPECT_EQ(rig.doc.screenBuffer.Row(0)[0], c.clears ? ' ' : 'S');
        EXPECT_EQ(rig.doc.historyBuffer.Row(kBufferRows - 1)[kColumns - 1], c.clears ? ' ' : 'H');
        EXPECT_EQ(rig.doc.lineWorkArea[kColumns], c.clears ? 0 : 'L');
        EXPECT_EQ(rig.view.historyCount, c.clears ? 0 : 30);
        EXPECT_EQ(rig.view.historyView, c.clears ? 1 : 0);
        EXPECT_EQ(rig.doc.cursorRow, c.clears ? 0 : 12);
        EXPECT_EQ(rig.doc.cursorColumn, c.clears ? 0 : 40);
        EXPECT_EQ(rig.doc.visibleRows, c.clears ? 0 : 25);
        EXPECT_EQ(rig.doc.horizontalOffset, c.clears ? 0 : 3);
        EXPECT_EQ(rig.view.vScrollMax, c.clears ? 0 : 6);
        EXPECT_EQ(rig.view.vScrollPos, c.clears ? 0 : 4);
        EXPECT_EQ(rig.view.hScrollMax, 79);
        EXPECT_EQ(rig.view.hScrollPos, c.clears ? 0 : 3);
    }
}

TEST(TerminalSetupTest, RestoreThatChangesTheRowsClearsTheOldHistory) {
    struct Case {
        const char* stored;
        bool clears;
    };
    for (const Case c : {Case{"MaxRows=200", false}, Case{"MaxRows=20", true}}) {
        SCOPED_TRACE(c.stored);
        CTempFolder dir;
        dir.Write("t.ini", std::string("[Term]\r\n") + c.stored + "\r\n");
        Rig rig(dir.File("t.ini"));
        rig.doc.maxRows = 200;
        FillTerminal(rig.doc, rig.view);
        rig.view.historyCount = 150;  // beyond 20 rows

        rig.setup->LoadTerminalSetup(true);
        rig.shell.RunPosted();

        EXPECT_EQ(rig.view.historyCount, c.clears ? 0 : 150);
        EXPECT_EQ(rig.doc.cursorRow, c.clears ? 0 : 12);
        EXPECT_EQ(rig.doc.historyBuffer.Row(0)[0], c.clears ? ' ' : 'H');
        EXPECT_EQ(rig.typed.size(), c.clears ? 1u : 0u);
    }
}

}  // namespace
}  // namespace tavrin
