#include "automation/MacroExecution.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "unit/automation/AutomationFixture.h"

namespace tavrin {
namespace {

using testing::AutomationFixture;
using testing::CurrentFolderScope;

class MacroExecutionTest : public ::testing::Test, public AutomationFixture {};

TEST_F(MacroExecutionTest, MacroCommandStartsTheChosenMacroInItsOwnFolder) {
    std::filesystem::create_directories(folder.Path() / "macros");
    folder.Write("macros/run.uas", "sendfile 'data.bin'\n");
    folder.Write("macros/data.bin", "payload");
    CurrentFolderScope scope(folder.Path());
    shell.files = {folder.File("macros/run.uas")};
    EXPECT_EQ(MacroCommand(*engine, shell), 1);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(folder.Path() / "macros"));
    EXPECT_EQ(shell.dialogTitles.back(), "OPEN MACRO FILE");
    for (int i = 0; i < 5 && engine->IsRunning(); ++i) engine->MacroStep();
    EXPECT_EQ(Sent(), "payload");  // the relative name found in the macro's folder
}

TEST_F(MacroExecutionTest, MacroCommandThatCannotStartLeavesTheFolder) {
    CurrentFolderScope scope(folder.Path());
    auto before = std::filesystem::current_path();
    std::filesystem::create_directories(folder.Path() / "sub");
    folder.Write("sub/a.uas", "end\n");
    folder.Write("b.uas", "sleep=100\n");
    ASSERT_EQ(engine->StartMacro(folder.File("b.uas")), 1);
    shell.files = {folder.File("sub/a.uas")};
    EXPECT_EQ(MacroCommand(*engine, shell), 0);  // a macro already runs
    EXPECT_EQ(std::filesystem::current_path(), before);
    EXPECT_TRUE(engine->IsRunning());

    shell.files = {std::nullopt};
    EXPECT_EQ(MacroCommand(*engine, shell), -1);
}

// A macro that is no file of the user's is refused at once, with the reason; a FIFO never holds
// the program in open().
TEST_F(MacroExecutionTest, MacroCommandRefusesAFileThatIsNoFileOfTheUsers) {
    CurrentFolderScope scope(folder.Path());
    ASSERT_EQ(mkfifo(folder.File("pipe.uas").c_str(), 0600), 0);
    std::filesystem::create_directories(folder.Path() / "dir.uas");
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"pipe.uas", "it is a FIFO (named pipe), not a regular file"},
        {"dir.uas", "it is a folder, not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shell.boxes.clear();
        shell.files = {folder.File(c.name)};
        EXPECT_EQ(MacroCommand(*engine, shell), 0);
        EXPECT_FALSE(engine->IsRunning());
        ASSERT_EQ(shell.boxes.size(), 1u);
        EXPECT_EQ(shell.boxes[0].text,
                  "The file " + folder.File(c.name) + " cannot be used: " + c.reason + ".");
        // The engine's own open refuses it too (Autoexec.uas, the panel's macros).
        EXPECT_EQ(engine->StartMacro(folder.File(c.name)), 0);
    }
}

TEST_F(MacroExecutionTest, AutoexecIsFoundByExactNameThenInAnyCase) {
    struct Case {
        std::vector<std::string> files;
        bool starts;
        std::string sent;
    };
    const std::vector<Case> cases = {
        {{"Autoexec.uas"}, true, "exact\r"},
        {{"AUTOEXEC.UAS"}, true, "upper\r"},
        {{"autoexec.uas.bak", "other.uas"}, false, ""},
        {{}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.empty() ? "none" : c.files[0]);
        testing::TempFolder here;
        for (const std::string& name : c.files) {
            here.Write(name, name == "Autoexec.uas" ? "sendln 'exact'\n" : "sendln 'upper'\n");
        }
        CurrentFolderScope scope(here.Path());
        engine->StopMacro();
        link.sent.clear();
        view.autoexecDone = 0;
        RunAutoexec(*engine, view);
        EXPECT_EQ(view.autoexecDone, 1);
        EXPECT_EQ(engine->IsRunning(), c.starts);
        for (int i = 0; i < 5 && engine->IsRunning(); ++i) engine->MacroStep();
        EXPECT_EQ(Sent(), c.sent);
    }
}

TEST_F(MacroExecutionTest, AutoexecStopsARunningMacroWithItsReport) {
    CurrentFolderScope scope(folder.Path());
    folder.Write("Autoexec.uas", "sendln 'auto'\n");
    transferResult = 0;
    ASSERT_EQ(engine->StartMacro(folder.Write("save.uas", "sendln 'save a'\nsleep=100\n")), 1);
    engine->MacroStep();
    transferResult = -1;
    link.sent.clear();
    RunAutoexec(*engine, view);
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "LOADorSAVE Interruptted!3");
    EXPECT_TRUE(engine->IsRunning());
    // The new macro waits for the operator's OK, which the fresh line follows.
    engine->MacroStep();
    EXPECT_EQ(Sent(), "\x03");
    shell.RunPosted();
    engine->MacroStep();
    EXPECT_EQ(Sent(), "\x03\rauto\r");
}

}  // namespace
}  // namespace tavrin
