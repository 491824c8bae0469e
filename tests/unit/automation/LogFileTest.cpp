#include "automation/LogFile.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "RecordingShell.h"
#include "app/Language.h"
#include "unit/automation/TempFolder.h"

namespace tavrin {
namespace {

using testing::RecordingShell;
using testing::TempFolder;

std::array<uint8_t, 80> Row(const std::string& text) {
    std::array<uint8_t, 80> row;
    row.fill(' ');
    for (size_t i = 0; i < text.size() && i < row.size(); ++i) row[i] = static_cast<uint8_t>(text[i]);
    return row;
}

TEST(CLogFileTest, EveryRowIsEightyBytesAndCrLf) {
    TempFolder folder;
    CLogFile log;
    int changes = 0;
    log.onStateChanged = [&] { ++changes; };
    ASSERT_EQ(log.OpenLogFile(folder.File("a.log")), 0);
    EXPECT_TRUE(log.IsLogOpen());
    auto first = Row(">save prog.as");
    EXPECT_TRUE(log.WriteLogLine(first));
    const uint8_t shortRow[] = {'a', 'b'};
    EXPECT_TRUE(log.WriteLogLine(shortRow));  // padded with blanks
    std::vector<uint8_t> longRow(100, 'z');
    EXPECT_TRUE(log.WriteLogLine(longRow));  // only the row's 80 bytes
    log.CloseLogFile();
    EXPECT_FALSE(log.IsLogOpen());
    EXPECT_EQ(changes, 2);

    std::string expected = std::string(">save prog.as") + std::string(67, ' ') + "\r\n" + "ab" +
                           std::string(78, ' ') + "\r\n" + std::string(80, 'z') + "\r\n";
    EXPECT_EQ(folder.Read("a.log"), expected);
}

TEST(CLogFileTest, OpeningTruncatesAndAFailedCreateStaysClosed) {
    TempFolder folder;
    folder.Write("old.log", "previous contents");
    CLogFile log;
    ASSERT_EQ(log.OpenLogFile(folder.File("old.log")), 0);
    log.CloseLogFile();
    EXPECT_EQ(folder.Read("old.log"), "");
    EXPECT_EQ(log.OpenLogFile(folder.File("missing/dir/x.log")), -20);
    EXPECT_FALSE(log.IsLogOpen());
}

// A log that cannot be written stops, and says so once, naming the file and the reason.
TEST(CLogFileTest, AWriteErrorClosesTheLogAndSaysSoOnce) {
    SetCurrentLanguage(1);
    CLogFile log;
    int changes = 0;
    std::vector<std::string> told;
    log.onStateChanged = [&] { ++changes; };
    log.onWriteFailed = [&](const Status& failure) { told.push_back(LogStoppedText(failure)); };
    // /dev/full accepts the open and fails every write with "no space".
    if (log.OpenLogFile("/dev/full") != 0) GTEST_SKIP() << "/dev/full is not available";
    changes = 0;
    EXPECT_FALSE(log.WriteLogLine(Row("x")));
    EXPECT_FALSE(log.IsLogOpen());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(log.WriteLogLine(Row("y")));  // closed: nothing to write, nothing failed
    EXPECT_EQ(told,
              std::vector<std::string>{
                  "The log could not be written: /dev/full: No space left on device. Logging has stopped."});
    SetCurrentLanguage(0);
    EXPECT_EQ(LogStoppedText(log.LastFailure()),
              "ログファイルに書き込めませんでした: /dev/full: ディスクの空きがありません (No space left on "
              "device)。ログを停止しました。");
    SetCurrentLanguage(1);
}

TEST(CLogFileTest, LogExtensionIsAddedOnlyUnderTheLogFilter) {
    struct Case {
        const char* chosen;
        int filter;
        const char* path;
    };
    const std::vector<Case> cases = {
        {"/w/run", 0, "/w/run.log"},         {"/w/run.log", 0, "/w/run.log"}, {"/w/run.LOG", 0, "/w/run.LOG"},
        {"/w/run.txt", 0, "/w/run.txt.log"}, {"/w/run", 1, "/w/run"},         {"/w/run.txt", 1, "/w/run.txt"},
        {"/w.d/run", 0, "/w.d/run.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        EXPECT_EQ(ApplyLogExtension(c.chosen, c.filter), c.path);
    }
}

TEST(CLogFileTest, OpenLogFileCommandUsesTheDialogAndReportsFailure) {
    TempFolder folder;
    SetCurrentLanguage(1);
    RecordingShell shell;
    CLogFile log;
    shell.files = {folder.File("session")};
    EXPECT_EQ(OpenLogFileCommand(log, shell), 0);
    EXPECT_EQ(shell.dialogTitles.back(), "Open logging file.");
    EXPECT_EQ(log.LogPath(), folder.File("session.log"));
    log.CloseLogFile();

    shell.files = {folder.File("no/such/dir/x.log")};
    EXPECT_EQ(OpenLogFileCommand(log, shell), -20);
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text,
              "Failed to open file.\n" + folder.File("no/such/dir/x.log") + ": No such file or directory.");

    shell.files = {std::nullopt};
    EXPECT_EQ(OpenLogFileCommand(log, shell), -1);
    EXPECT_FALSE(log.IsLogOpen());
}

}  // namespace
}  // namespace tavrin
