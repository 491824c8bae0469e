#include "app/Settings.h"
#include "automation/SendFile.h"

#include <gtest/gtest.h>

#include "unit/automation/AutomationFixture.h"

namespace tavrin {
namespace {

using testing::AutomationFixture;
using testing::CurrentFolderScope;

class CSendFileTest : public ::testing::Test, public AutomationFixture {
protected:
    CSendFileTest() : scope(folder.Path()), sendFile(*engine, shell) {}

    // One poll tick as the view runs it: the macro step, then the progress.
    void Tick() {
        engine->MacroStep();
        sendFile.OnTick();
    }

    CurrentFolderScope scope;
    CSendFile sendFile;
};

TEST_F(CSendFileTest, SendsTheFileFourHundredBytesATickAndClosesTheWindow) {
    struct Case {
        size_t size;
        std::vector<size_t> sentPerTick;
    };
    const std::vector<Case> cases = {
        {1000, {0, 400, 400, 200}},
        {10, {0, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::filesystem::create_directories(folder.Path() / "out");
        std::string data(c.size, 'q');
        std::string path = folder.Write("out/prog.bin", data);
        link.sent.clear();
        shell.progress.clear();
        shell.files = {path};
        ASSERT_EQ(sendFile.SendFileCommand(), 0);
        EXPECT_EQ(shell.dialogTitles.back(), "Open file which it transmits .");
        EXPECT_EQ(folder.Read("out/____tmp.uas"), "sendfile 'prog.bin'\n");
        EXPECT_TRUE(shell.progressShown);
        EXPECT_EQ(shell.progressTitle, "Transmitting...");
        size_t before = 0;
        for (size_t i = 0; i < c.sentPerTick.size(); ++i) {
            ASSERT_TRUE(sendFile.IsActive()) << "tick " << i;
            Tick();
            EXPECT_EQ(link.sent.size() - before, c.sentPerTick[i]) << "tick " << i;
            before = link.sent.size();
        }
        EXPECT_FALSE(sendFile.IsActive());
        EXPECT_FALSE(shell.progressShown);
        EXPECT_FALSE(engine->IsRunning());
        EXPECT_EQ(Sent(), data);
        ASSERT_FALSE(shell.progress.empty());
        EXPECT_EQ(shell.progress.front(), 0);
        EXPECT_EQ(shell.progress.back(), 100);
        ChangeFolder(folder.Path());
    }
}

TEST_F(CSendFileTest, CancelStopsTheMacroInTheMiddleOfTheFile) {
    std::string path = folder.Write("big.bin", std::string(2000, 'b'));
    shell.files = {path};
    ASSERT_EQ(sendFile.SendFileCommand(), 0);
    Tick();
    Tick();
    shell.cancelProgress = true;
    Tick();
    EXPECT_FALSE(sendFile.IsActive());
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_EQ(link.sent.size(), 800u);  // what has gone stays sent
    Tick();
    EXPECT_EQ(link.sent.size(), 800u);
}

TEST_F(CSendFileTest, ProgressStartsFromZeroAfterAnEarlierFile) {
    // A first file of 1000 bytes leaves the engine's count at 1000; a second, shorter file must
    // not look finished before it has been sent.
    shell.files = {folder.Write("first.bin", std::string(1000, '1'))};
    ASSERT_EQ(sendFile.SendFileCommand(), 0);
    for (int i = 0; i < 10 && sendFile.IsActive(); ++i) Tick();
    link.sent.clear();
    shell.files = {folder.Write("second.bin", std::string(500, '2'))};
    ASSERT_EQ(sendFile.SendFileCommand(), 0);
    EXPECT_TRUE(sendFile.IsActive());
    for (int i = 0; i < 10 && sendFile.IsActive(); ++i) Tick();
    EXPECT_EQ(Sent(), std::string(500, '2'));
}

TEST_F(CSendFileTest, AMacroThatCannotBeWrittenIsNotRun) {
    // Something that is not a writable file already holds the macro's name.
    std::filesystem::create_directories(folder.Path() / "ro" / "____tmp.uas");
    shell.files = {folder.Write("ro/data.bin", "x")};
    EXPECT_EQ(sendFile.SendFileCommand(), -20);
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_FALSE(shell.progressShown);
    EXPECT_TRUE(shell.modeless.empty());
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "Failed to open file.\n" +
                                       (folder.Path() / "ro" / "____tmp.uas").string() + ": Is a directory.");
}

}  // namespace
}  // namespace tavrin
