#include "panel/CommandPanel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "panel/PanelIni.h"

#include "FakeClock.h"
#include "RecordingShell.h"
#include "ScriptedLink.h"
#include "unit/app/TempFolder.h"

namespace tavrin {
namespace {

using testing::CTempFolder;

// A panel over a scripted link and shell, with a stand-in for the macro interpreter that starts
// what it is told to and stops the way the real one does (its stop reports end status 3).
struct PanelRig {
    CTempFolder folder;
    testing::ScriptedLink link;
    testing::RecordingShell shell;
    testing::FakeClock clock;
    bool macroRunning = false;
    int macroStartResult = 1;
    std::vector<std::string> macrosStarted;
    int macroStops = 0;
    int changes = 0;
    CCommandPanel panel{link, shell, clock, Hooks()};

    PanelHooks Hooks() {
        PanelHooks hooks;
        hooks.startMacro = [this](const std::string& path) {
            macrosStarted.push_back(path);
            macroRunning = macroStartResult == 1;
            return macroStartResult;
        };
        hooks.stopMacroAndReport = [this] {
            ++macroStops;
            EndMacro(3);
        };
        hooks.macroRunning = [this] { return macroRunning; };
        return hooks;
    }
    void EndMacro(int status) {
        if (!macroRunning) return;
        macroRunning = false;
        panel.OnMacroStopped(status);
    }

    // The panel over MacroDlg.INI holding text, attached to a window, shown and ready.
    void Open(const std::string& ini) {
        folder.Write("MacroDlg.INI", ini);
        panel.SetFile("MacroDlg.INI", folder.Path());
        panel.AttachWindow([this] { ++changes; });
        panel.LoadAndShow();
        panel.TimerStep();
    }
    std::string Sent() {
        std::string text(link.sent.begin(), link.sent.end());
        link.sent.clear();
        return text;
    }
    void Steps(int n) {
        for (int i = 0; i < n; ++i) panel.TimerStep();
    }
};

std::string Button(int number, const std::vector<std::string>& commands) {
    char section[32];
    std::snprintf(section, sizeof section, "[BUTTON%02d]\r\nEnable=ON\r\n", number);
    std::string text = section;
    for (size_t i = 0; i < commands.size(); ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "Command%02zu=", i + 1);
        text += key + commands[i] + "\r\n";
    }
    return text;
}

TEST(CommandPanelTest, PageCountIsLimitedAndPagesWrapAround) {
    struct Case {
        std::string page;
        int count;
        std::string label;
        std::string written;
    };
    const Case cases[] = {
        {"3", 3, "Page 1/3", "PAGE=3"},  {"20", 8, "Page 1/8", "PAGE=8"}, {"0", 1, "Page 1/1", "PAGE=1"},
        {"-4", 1, "Page 1/1", "PAGE=1"}, {"x", 1, "Page 1/1", "PAGE=1"},  {"", 1, "Page 1/1", "PAGE=1"},
    };
    for (const Case& c : cases) {
        PanelRig rig;
        rig.Open("[START_UP]\r\nPAGE=" + c.page + "\r\n");
        EXPECT_EQ(rig.panel.PageCount(), c.count) << c.page;
        EXPECT_EQ(rig.panel.Display().pageLabel, c.label) << c.page;
        EXPECT_NE(rig.folder.Read("MacroDlg.INI").find(c.written + "\r\n"), std::string::npos) << c.page;
    }
    PanelRig rig;
    rig.Open("[START_UP]\r\nPAGE=3\r\n");
    const std::pair<bool, int> moves[] = {{false, 3}, {false, 2}, {true, 3}, {true, 1}, {true, 2}};
    for (const auto& [next, page] : moves) {
        next ? rig.panel.Next() : rig.panel.Back();
        EXPECT_EQ(rig.panel.CurrentPage(), page);
    }
    EXPECT_EQ(rig.panel.Display().pageLabel, "Page 2/3");
}

TEST(CommandPanelTest, ShowingAPageAddsItsMissingKeys) {
    PanelRig rig;
    rig.Open("[START_UP]\r\nPAGE=2\r\n[BUTTON14]\r\nBtnName=Home\r\nCommand01=here\r\n");
    rig.panel.Next();
    const std::string ini = rig.folder.Read("MacroDlg.INI");
    EXPECT_NE(ini.find("[BUTTON14]\r\nBtnName=Home\r\nCommand01=here\r\nEnable=OFF\r\nCommand02=\r\n"),
              std::string::npos)
        << ini;
    EXPECT_NE(ini.find("[BUTTON13]\r\nEnable=OFF\r\nBtnName=BUTTON13\r\nCommand01=\r\n"), std::string::npos);
    EXPECT_EQ(rig.panel.Display().buttons[1].caption, "Home");
    EXPECT_EQ(rig.panel.Display().buttons[0].caption, "BUTTON13");
}

TEST(CommandPanelTest, MissingFileShowsDefaultsAndIsNotCreated) {
    PanelRig rig;
    rig.panel.SetFile("Other.ini", rig.folder.Path());
    rig.panel.AttachWindow([] {});
    rig.panel.LoadAndShow();
    rig.panel.TimerStep();
    EXPECT_TRUE(rig.panel.Display().visible);
    EXPECT_EQ(rig.panel.Display().status, "File not found: " + rig.folder.File("Other.ini"));
    EXPECT_EQ(rig.panel.Press(1), -1);
    EXPECT_TRUE(rig.folder.Entries().empty());
}

TEST(CommandPanelTest, FileFoundInAnotherCaseAndShownAtStartWhenAsked) {
    PanelRig rig;
    rig.folder.Write("macrodlg.ini", "[Start_Up]\r\nshow=on\r\n[button01]\r\nenable=On\r\nBtnName=Go\r\n");
    rig.panel.SetFile("MacroDlg.INI", rig.folder.Path());
    EXPECT_EQ(rig.panel.Display().title, "MacroDialog : MacroDlg.INI");
    EXPECT_FALSE(rig.panel.Display().visible);
    rig.panel.AttachWindow([] {});
    EXPECT_EQ(rig.panel.IniPath(), rig.folder.File("macrodlg.ini"));
    EXPECT_TRUE(rig.panel.Display().visible);
    EXPECT_TRUE(rig.panel.Display().buttons[0].enabled);
    EXPECT_EQ(rig.panel.Display().buttons[0].caption, "Go");
}

// The timer runs only while a button runs: a panel that shows with nothing running wakes nobody.
// The buttons' enabling is right as the panel shows and follows the idle turns' refresh.
TEST(CommandPanelTest, TheTimerRunsOnlyWhileAButtonRuns) {
    PanelRig rig;
    rig.folder.Write("MacroDlg.INI", Button(1, {"here"}));
    rig.panel.SetFile("MacroDlg.INI", rig.folder.Path());
    rig.panel.AttachWindow([] {});
    rig.panel.LoadAndShow();
    EXPECT_EQ(rig.shell.timers.count(kPanelTimerId), 0u);
    EXPECT_TRUE(rig.panel.Display().buttons[0].enabled);
    rig.macroRunning = true;  // a macro of the terminal's own disables the buttons
    rig.panel.RefreshEnabling();
    EXPECT_FALSE(rig.panel.Display().buttons[0].enabled);
    EXPECT_EQ(rig.panel.Press(1), -1);
    rig.macroRunning = false;
    rig.panel.RefreshEnabling();
    EXPECT_TRUE(rig.panel.Display().buttons[0].enabled);
    EXPECT_EQ(rig.shell.timers.count(kPanelTimerId), 0u);
    EXPECT_EQ(rig.panel.Press(1), 0);
    EXPECT_EQ(rig.shell.timers.at(kPanelTimerId), kPanelTimerPeriodMs);
    rig.panel.TimerStep();
    EXPECT_EQ(rig.Sent(), "\r\nHERE\r\n");  // an empty line first, then the command
    rig.Steps(2);
    EXPECT_FALSE(rig.panel.ButtonActive());
    EXPECT_EQ(rig.shell.timers.count(kPanelTimerId), 0u);  // done: it rests again
}

// Each button's commands from the press to the end: one command per timer step, what went to
// the controller, the boxes shown and the status the run ends with.
TEST(CommandPanelTest, RunsAButtonsCommandsInOrderOnePerStep) {
    struct Case {
        std::vector<std::string> commands;
        std::vector<BoxAnswer> answers;
        std::vector<std::string> sentPerStep;  // the bytes sent by step 1, 2, ...
        std::vector<std::string> boxes;
        std::string status;
    };
    const Case cases[] = {
        {{}, {}, {"\r\n"}, {}, "Completed"},
        {{"here 1", "Where"}, {}, {"\r\nHERE 1\r\n", "WHERE\r\n", ""}, {}, "Completed"},
        {{"MESSAGEBOXhello"}, {}, {"\r\nMESSAGEBOXHELLO\r\n", ""}, {}, "Completed"},
        {{"messagebox  Look", "go"}, {}, {"\r\n", "GO\r\n", ""}, {"LOOK"}, "Completed"},
        {{"MESSAGECANCEL Sure?", "go"}, {BoxAnswer::Ok}, {"\r\n", "GO\r\n", ""}, {"SURE?"}, "Completed"},
        {{"MESSAGECANCEL Sure?", "go"}, {BoxAnswer::Cancel}, {"\r\n"}, {"SURE?"}, "Canceled"},
    };
    for (const Case& c : cases) {
        PanelRig rig;
        rig.Open(Button(1, c.commands));
        rig.shell.answers.assign(c.answers.begin(), c.answers.end());
        ASSERT_EQ(rig.panel.Press(1), 0);
        for (size_t step = 0; step < c.sentPerStep.size(); ++step) {
            EXPECT_TRUE(rig.panel.ButtonActive()) << c.commands.size() << " step " << step;
            rig.panel.TimerStep();
            rig.shell.RunPosted();  // the operator answers a box before the next step
            EXPECT_EQ(rig.Sent(), c.sentPerStep[step]) << "step " << step;
        }
        EXPECT_FALSE(rig.panel.ButtonActive());
        std::vector<std::string> boxes;
        for (const auto& box : rig.shell.boxes) boxes.push_back(box.text);
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(rig.panel.Display().status, c.status);
        rig.Steps(3);
        EXPECT_EQ(rig.Sent(), "");
    }
}

TEST(CommandPanelTest, SleepHoldsUntilMoreThanTheWholeSecondsHavePassed) {
    PanelRig rig;
    rig.Open(Button(1, {"SLEEP 2", "after"}));
    rig.clock.now = 50'000;  // on a second boundary
    rig.panel.Press(1);
    rig.panel.TimerStep();
    EXPECT_EQ(rig.panel.Display().status, "SLEEP");
    rig.Sent();
    const std::pair<int64_t, bool> times[] = {{1000, false}, {2999, false}, {3000, true}};
    for (const auto& [elapsed, continued] : times) {
        rig.clock.now = 50'000 + elapsed;
        rig.Steps(2);
        EXPECT_EQ(rig.Sent() == "AFTER\r\n", continued) << elapsed;
    }
}

TEST(CommandPanelTest, MacroCommandWaitsForTheMacroToEnd) {
    struct Case {
        int startResult;
        int endStatus;  // how the macro ends, 0: it is not started
        bool nextCommandRuns;
        std::string status;
    };
    const Case cases[] = {
        {1, 1, true, "Completed"},
        {1, 3, false, "MACRO ERROR"},
        {0, 0, false, "MACRO:JOB.UAS"},
    };
    for (const Case& c : cases) {
        PanelRig rig;
        rig.Open(Button(1, {"macro job.uas", "next"}));
        rig.macroStartResult = c.startResult;
        rig.panel.Press(1);
        rig.Steps(5);
        EXPECT_EQ(rig.macrosStarted, std::vector<std::string>{"JOB.UAS"});
        EXPECT_EQ(rig.Sent(), "\r\n");
        if (c.endStatus != 0) {
            EXPECT_TRUE(rig.panel.ButtonActive());
            EXPECT_EQ(rig.panel.Display().status, "MACRO:JOB.UAS");
            EXPECT_FALSE(rig.panel.Display().buttons[0].enabled);
            rig.EndMacro(c.endStatus);
        }
        rig.Steps(4);
        EXPECT_EQ(rig.Sent() == "NEXT\r\n", c.nextCommandRuns) << c.status;
        EXPECT_EQ(rig.panel.Display().status, c.status);
        EXPECT_FALSE(rig.panel.ButtonActive());
        EXPECT_EQ(rig.panel.MacroEndStatus(), kPanelMacroIdle);
        // Cancel now does not stop a macro the panel did not start.
        rig.macroRunning = true;
        rig.panel.CancelButton();
        EXPECT_EQ(rig.macroStops, 0);
    }
}

TEST(CommandPanelTest, MacroFileIsFoundByTheNameAsWritten) {
    PanelRig rig;
    rig.folder.Write("Job.uas", "end\r\n");
    rig.Open(Button(1, {"MACRO " + rig.folder.File("Job.uas")}));
    rig.panel.Press(1);
    rig.panel.TimerStep();
    EXPECT_EQ(rig.macrosStarted, std::vector<std::string>{rig.folder.File("Job.uas")});
}

TEST(CommandPanelTest, CancelStopsTheRunningButtonAndItsMacro) {
    struct Case {
        std::string firstCommand;
        int macroStops;
    };
    const Case cases[] = {{"SLEEP 100", 0}, {"MACRO long.uas", 1}};
    for (const Case& c : cases) {
        PanelRig rig;
        rig.Open(Button(1, {c.firstCommand, "never"}));
        rig.panel.Press(1);
        rig.Steps(2);
        EXPECT_TRUE(rig.panel.Display().cancelEnabled);
        rig.panel.CancelButton();
        EXPECT_EQ(rig.macroStops, c.macroStops);
        EXPECT_FALSE(rig.macroRunning);
        EXPECT_EQ(rig.panel.Display().status, "Canceled");
        rig.clock.Advance(200'000);
        rig.Steps(3);
        EXPECT_EQ(rig.Sent(), "\r\n");
        EXPECT_FALSE(rig.panel.Display().cancelEnabled);
        EXPECT_TRUE(rig.panel.Display().buttons[0].enabled);
    }
}

TEST(CommandPanelTest, StopAndHideEndsTheRunAndHides) {
    PanelRig rig;
    rig.Open(Button(1, {"MACRO a.uas"}));
    rig.panel.Press(1);
    rig.Steps(2);
    rig.panel.StopAndHide();
    EXPECT_FALSE(rig.panel.Display().visible);
    EXPECT_FALSE(rig.panel.ButtonActive());
    EXPECT_EQ(rig.macroStops, 1);
}

TEST(CommandPanelTest, PressIsTakenOnlyWhenTheButtonCanBeEnabled) {
    struct Case {
        int position;
        bool macroRunning;
        bool otherActive;
        int result;
    };
    const Case cases[] = {
        {1, false, false, 0},  {2, false, false, -1},  // BUTTON02 has Enable=OFF
        {0, false, false, -1}, {13, false, false, -1}, {-5, false, false, -1},
        {1, true, false, -1},  {3, false, true, -1},
    };
    for (const Case& c : cases) {
        PanelRig rig;
        rig.Open(Button(1, {"a"}) + "[BUTTON02]\r\nEnable=OFF\r\nCommand01=b\r\n" + Button(3, {"c"}));
        if (c.otherActive) rig.panel.Press(1);
        rig.macroRunning = c.macroRunning;
        EXPECT_EQ(rig.panel.Press(c.position), c.result) << c.position;
    }
}

TEST(CommandPanelTest, ButtonsFollowTheMacroAndTheRunningButton) {
    PanelRig rig;
    rig.Open(Button(1, {"SLEEP 0"}) + "[BUTTON02]\r\nEnable=off\r\n");
    const PanelDisplay& d = rig.panel.Display();
    EXPECT_TRUE(d.buttons[0].enabled && d.backEnabled && d.nextEnabled);
    EXPECT_FALSE(d.buttons[1].enabled || d.cancelEnabled);
    rig.macroRunning = true;
    rig.panel.TimerStep();
    EXPECT_FALSE(d.buttons[0].enabled || d.backEnabled || d.nextEnabled);
    rig.panel.Next();
    EXPECT_EQ(rig.panel.CurrentPage(), 1);
    rig.macroRunning = false;
    rig.panel.TimerStep();
    rig.panel.Press(1);
    rig.panel.TimerStep();
    EXPECT_TRUE(d.cancelEnabled);
    EXPECT_FALSE(d.buttons[0].enabled);
}

// A message box of a button holds nothing up: the timer's steps come and go without running
// the next command until the operator has answered; an answer after the button was stopped
// changes nothing.
TEST(CommandPanelTest, StepsWhileItsMessageBoxIsOpenRunNothing) {
    PanelRig rig;
    rig.Open(Button(1, {"MESSAGEBOX wait", "after"}));
    ASSERT_EQ(rig.panel.Press(1), 0);
    rig.panel.TimerStep();
    ASSERT_EQ(rig.shell.boxes.size(), 1u);
    EXPECT_FALSE(rig.shell.boxes[0].waited);
    EXPECT_EQ(rig.Sent(), "\r\n");
    rig.Steps(3);
    EXPECT_EQ(rig.Sent(), "");
    rig.shell.RunPosted();
    rig.panel.TimerStep();
    EXPECT_EQ(rig.Sent(), "AFTER\r\n");

    // Stopped with its box open and pressed again: the old box's OK does not move the new run
    // past its own box.
    rig.shell.answers = {BoxAnswer::Ok, BoxAnswer::Cancel};
    rig.Open(Button(1, {"MESSAGECANCEL sure", "after"}));
    ASSERT_EQ(rig.panel.Press(1), 0);
    rig.panel.TimerStep();
    rig.panel.CancelButton();
    ASSERT_EQ(rig.panel.Press(1), 0);
    rig.panel.TimerStep();
    ASSERT_EQ(rig.shell.posted.size(), 2u);
    auto oldAnswer = std::move(rig.shell.posted.front());
    rig.shell.posted.pop_front();
    oldAnswer();  // OK, for the first run
    rig.Steps(2);
    EXPECT_EQ(rig.Sent(), "\r\n\r\n");  // nothing after the boxes
    rig.shell.RunPosted();              // Cancel, for the second
    EXPECT_EQ(rig.panel.Display().status, "Canceled");
    EXPECT_FALSE(rig.panel.ButtonActive());
}

TEST(CommandPanelTest, CommandLineSendsTextAsTypedAndKeepsHistory) {
    PanelRig rig;
    rig.Open("");
    rig.panel.EnterCommandLine("here");
    rig.panel.EnterCommandLine("");
    rig.panel.EnterCommandLine("HERE");
    EXPECT_EQ(rig.Sent(), "here\r\n\r\nHERE\r\n");
    EXPECT_EQ(rig.panel.Display().history, std::vector<std::string>{"HERE"});
}

TEST(CommandPanelTest, ChosenFileBecomesThePanelFile) {
    PanelRig rig;
    rig.Open(Button(1, {"one"}));
    rig.folder.Write("cell2.ini", "[START_UP]\r\nPAGE=2\r\n" + Button(1, {"two"}));
    rig.shell.files = {std::nullopt, rig.folder.File("cell2.ini")};
    EXPECT_EQ(rig.panel.ChooseFile(), -1);
    EXPECT_EQ(rig.panel.Display().title, "MacroDialog : MacroDlg.INI");
    EXPECT_EQ(rig.panel.ChooseFile(), 0);
    EXPECT_EQ(rig.panel.Display().title, "MacroDialog : cell2.ini");
    EXPECT_EQ(rig.panel.Display().pageLabel, "Page 1/2");
    rig.panel.TimerStep();
    rig.Sent();
    rig.panel.Press(1);
    rig.Steps(2);
    EXPECT_EQ(rig.Sent(), "\r\nTWO\r\n");
}

// A panel file the user may not trust is not taken: the panel keeps its file and says why, and
// nothing is written back into the refused file.
TEST(CommandPanelTest, AChosenFileThatIsNoFileOfTheUsersIsRefused) {
    PanelRig rig;
    rig.Open(Button(1, {"one"}));
    const std::string binary = "[START_UP]\r\nSHOW=ON\r\n" + std::string(1, '\0');
    rig.folder.Write("binary.ini", binary);
    ASSERT_EQ(mkfifo(rig.folder.File("pipe.ini").c_str(), 0600), 0);
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"binary.ini", "it holds NUL bytes, so it is not a text file"},
        {"pipe.ini", "it is a FIFO (named pipe), not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rig.shell.boxes.clear();
        rig.shell.files = {rig.folder.File(c.name)};
        EXPECT_EQ(rig.panel.ChooseFile(), -1);
        EXPECT_EQ(rig.panel.Display().title, "MacroDialog : MacroDlg.INI");
        ASSERT_EQ(rig.shell.boxes.size(), 1u);
        EXPECT_EQ(rig.shell.boxes[0].text,
                  "The file " + rig.folder.File(c.name) + " cannot be used: " + c.reason + ".");
        CPanelIni ini(rig.folder.File(c.name));
        EXPECT_FALSE(ini.FileExists());
        ini.Read("START_UP", "PAGE", "1");
        EXPECT_TRUE(ini.Flush());
    }
    EXPECT_EQ(rig.folder.Read("binary.ini"), binary);
}

}  // namespace
}  // namespace tavrin
