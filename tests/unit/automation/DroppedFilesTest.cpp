#include "automation/DroppedFiles.h"

#include <gtest/gtest.h>

#include "unit/automation/AutomationFixture.h"

namespace tavrin {
namespace {

using testing::AutomationFixture;

class CDroppedFilesTest : public ::testing::Test, public AutomationFixture {
protected:
    CDroppedFilesTest()
        : drops(doc, *engine, shell, clock, [this](uint8_t c) { typed.push_back(static_cast<char>(c)); }) {}

    // Ticks every 20 ms for ms milliseconds, noting what was typed at which time.
    void RunFor(int ms) {
        for (int t = 0; t < ms; t += 20) {
            size_t before = typed.size();
            drops.OnTick();
            if (typed.size() != before) typedAt.push_back({clock.now - start, typed.substr(before)});
            clock.Advance(20);
        }
    }

    std::string typed;
    std::vector<std::pair<int64_t, std::string>> typedAt;
    int64_t start = clock.now;
    CDroppedFiles drops;
};

TEST_F(CDroppedFilesTest, TextFileIsTypedLineByLineWithTheMediumsLineEnd) {
    struct Case {
        int isTcp;
        const char* contents;
        std::vector<std::pair<int64_t, std::string>> expected;
    };
    const std::vector<Case> cases = {
        {0, "line one\nline two\n", {{0, "line one\r"}, {100, "line two\r"}}},
        {1, "line one\nline two", {{0, "line one\n"}, {100, "line two\n"}}},
        {0, "a\tb\r\n\r\nc", {{0, "a b\r"}, {100, "\r"}, {200, "c\r"}}},
        {0, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contents);
        doc.isTcp = c.isTcp;
        typed.clear();
        typedAt.clear();
        start = clock.now;
        drops.OnDropFiles({folder.Write("text.txt", c.contents)});
        EXPECT_TRUE(typed.empty());  // nothing is typed inside the drop itself
        RunFor(400);
        EXPECT_EQ(typedAt, c.expected);
        EXPECT_EQ(drops.PendingLines(), 0u);
    }
}

TEST_F(CDroppedFilesTest, MacroFilesInAnyCaseAreStartedOneAfterTheOther) {
    std::string first = folder.Write("first.UaS", "sleep=100\n");
    std::string second = folder.Write("second.uas", "sendln 'two'\n");
    transferResult = 0;
    ASSERT_EQ(engine->StartMacro(folder.Write("save.uas", "sendln 'save x'\nsleep=100\n")), 1);
    engine->MacroStep();
    link.sent.clear();
    drops.OnDropFiles({first, second});
    // The transfer flag stays set until the controller's prompt, so both stops report it.
    ASSERT_EQ(shell.boxes.size(), 2u);
    EXPECT_EQ(shell.boxes[0].text, "LOADorSAVE Interruptted!3");
    engine->OnControllerPrompt();
    transferResult = -1;
    shell.RunPosted();  // the operator's OKs
    link.sent.clear();
    for (int i = 0; i < 5 && engine->IsRunning(); ++i) engine->MacroStep();
    EXPECT_EQ(Sent(), "two\r");
    EXPECT_TRUE(typed.empty());
}

TEST_F(CDroppedFilesTest, ErrorsAreShownAndTheNextFileIsStillHandled) {
    std::filesystem::create_directories(folder.Path() / "adir");
    drops.OnDropFiles({folder.File("missing.txt"), folder.File("adir"), folder.Write("ok.txt", "fine\n")});
    ASSERT_EQ(shell.boxes.size(), 2u);
    EXPECT_EQ(shell.boxes[0].text,
              "file not found.\n" + folder.File("missing.txt") + ": No such file or directory.");
    EXPECT_EQ(shell.boxes[1].text, "file drop error.\n" + folder.File("adir") + ": Is a directory.");
    RunFor(100);
    EXPECT_EQ(typed, "fine\r");
}

TEST_F(CDroppedFilesTest, DropIsIgnoredWhileNotConnected) {
    doc.connected = 0;
    drops.OnDropFiles({folder.Write("a.txt", "x\n"), folder.Write("m.uas", "end\n"), folder.File("missing")});
    RunFor(200);
    EXPECT_TRUE(typed.empty());
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_TRUE(shell.boxes.empty());
}

}  // namespace
}  // namespace tavrin
