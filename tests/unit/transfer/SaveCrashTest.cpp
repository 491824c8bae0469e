// Saves that are killed part way, or that cannot finish: the program's name keeps a whole
// program, temporary files of killed saves go at the next save, and a backup that cannot be kept
// is named.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "LanguageGuard.h"
#include "TransferRig.h"
#include "app/Cp932.h"
#include "app/Language.h"
#include "transfer/SaveSteps.h"
#include "transfer/TransferFiles.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

const char* killAt = nullptr;

void KillAtStep(const char* step) {
    if (killAt != nullptr && std::strcmp(step, killAt) == 0) ::raise(SIGKILL);
}

// One save of `text` as prog.as over TCP/IP (blocks are written as they come), as the
// controller drives it: B, D, E. The first failed reply's status, 0 when saved.
int Save(const std::string& folder, const std::string& text) {
    ViewState view;
    CTransferFiles files(view);
    files.SetTcp(true);
    TransferReply reply;
    files.OpenTransferFile("prog.as", reply, folder, 'B');
    if (reply.status != 0) return reply.status;
    files.WriteFileBlock(reinterpret_cast<const uint8_t*>(text.data()), text.size(), reply);
    const int written = reply.status;
    files.CloseTransferFile(nullptr, 0, reply);
    return written != 0 ? written : reply.status;
}

std::vector<std::string> HiddenEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name[0] == '.' && name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

// A child process saves and is killed just before one step; whatever the step, prog.as holds
// the earlier or the new program whole, and the next save clears what the killed one left.
TEST(SaveCrashTest, AKilledSaveLeavesTheEarlierOrTheNewProgramWhole) {
    const std::string earlier = "earlier program\n" + std::string(300, 'e');
    const std::string fresh = "new program\n" + std::string(400, 'n');
    struct Case {
        const char* step;
        const std::string& name;  // prog.as afterwards
        const char* backup;       // prog.Bas afterwards
    };
    const std::vector<Case> cases = {
        {"write", earlier, "older backup"}, {"fsync", earlier, "older backup"},
        {"link", earlier, "older backup"},  {"backup", earlier, "older backup"},
        {"rename", earlier, nullptr},       {"sync-folder", fresh, nullptr},
        {"close", fresh, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        TempFolder folder;
        folder.Write("prog.as", earlier);
        folder.Write("prog.Bas", "older backup");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            killAt = c.step;
            SetSaveStepHook(KillAtStep);
            Save(folder.path(), fresh);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL) {
            ADD_FAILURE() << "the step was never reached";
            continue;
        }

        EXPECT_EQ(folder.Read("prog.as"), c.name);
        // Before the backup step the older backup stands; after it, the earlier program.
        EXPECT_EQ(folder.Read("prog.Bas"), c.backup != nullptr ? std::string(c.backup) : earlier);

        // The next save removes what the killed one left (unlocked now that it is dead).
        EXPECT_EQ(Save(folder.path(), "third program"), 0);
        EXPECT_EQ(folder.Read("prog.as"), "third program");
        EXPECT_EQ(HiddenEntries(folder.path()), std::vector<std::string>{});
    }
}

// Only our own temporary files that nobody holds are removed; a live save's locked file, other
// hidden files, folders and links of the same pattern stay.
TEST(SaveCrashTest, StaleTemporariesGoAtTheNextSaveAndNothingElseDoes) {
    TempFolder folder;
    const std::string dir = folder.path();
    folder.Write(".prog.as.tavrin-Ab12Cd", "killed save");
    folder.Write(".other.txt.tavrin-ZZZZZZ", "killed save of another file");
    folder.Write(".live.as.tavrin-q1w2e3", "a save in progress");
    folder.Write(".profile.backup", "the user's own");
    folder.Write(".x.tavrin-short", "not our pattern");
    ASSERT_EQ(mkdir((dir + ".d.as.tavrin-dddddd").c_str(), 0700), 0);
    ASSERT_EQ(symlink("prog.as", (dir + ".l.as.tavrin-llllll").c_str()), 0);
    // Another process's live save: its lock is on its own open file.
    const int live = open((dir + ".live.as.tavrin-q1w2e3").c_str(), O_RDONLY);
    ASSERT_EQ(flock(live, LOCK_EX), 0);

    EXPECT_EQ(Save(dir, "program"), 0);
    close(live);
    std::vector<std::string> left = HiddenEntries(dir);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string>{".d.as.tavrin-dddddd", ".l.as.tavrin-llllll",
                                        ".live.as.tavrin-q1w2e3", ".profile.backup", ".x.tavrin-short"}));
    rmdir((dir + ".d.as.tavrin-dddddd").c_str());
}

// A folder where the backup goes: the controller gets the error code it always got, the
// operator the backup's path and why; the earlier file keeps its name and nothing is left.
TEST(SaveCrashTest, ABackupThatIsAFolderIsNamedAndTheEarlierFileStays) {
    const struct {
        int language;
        const char* line;
    } cases[] = {
        {1, "The save could not keep the backup @prog.Bas: Is a directory."},
        {0, "保存できませんでした。バックアップを残せません: @prog.Bas: フォルダです (Is a directory)。"},
    };
    for (const auto& c : cases) {
        CLanguageGuard chosen(c.language);
        SerialSession s;
        s.folder.Write("prog.as", "earlier program");
        ASSERT_EQ(mkdir((s.folder.path() + "prog.Bas").c_str(), 0700), 0);
        ASSERT_EQ(s.Request('B', B("prog.as")), 0);
        ASSERT_EQ(s.Request('D', WriteRequest(B("new program"))), 0);
        EXPECT_EQ(s.Request('E', Bytes(4, 0)), kFileOtherError);
        EXPECT_EQ(Be32(s.ReplyData(), 0), kFileOtherError);
        std::string line = c.line;
        line.replace(line.find('@'), 1, s.folder.path());
        const std::string expected = c.language == 1 ? line : Utf8ToCp932(line);
        EXPECT_NE(s.printed.find(expected), std::string::npos) << s.printed;
        EXPECT_EQ(s.folder.Read("prog.as"), "earlier program");
        EXPECT_EQ(HiddenEntries(s.folder.path()), std::vector<std::string>{});
        rmdir((s.folder.path() + "prog.Bas").c_str());
    }
}

// A write that fails part way (the file size limit stands in for a full disk) and a name that
// is a symbolic link: the earlier file and what the link points at stay as they were.
TEST(SaveCrashTest, AFailedWriteOrALinkedNameNeverHarmsTheEarlierFile) {
    {
        TempFolder folder;
        folder.Write("prog.as", "earlier program");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(Save(folder.path(), std::string(10000, 'n')) == 0 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1) << "reported as saved";
        EXPECT_EQ(folder.Read("prog.as"), "earlier program");
        EXPECT_EQ(HiddenEntries(folder.path()), std::vector<std::string>{});
    }
    {
        TempFolder folder, elsewhere;
        elsewhere.Write("target.as", "someone else's file");
        ASSERT_EQ(symlink((elsewhere.path() + "target.as").c_str(), (folder.path() + "prog.as").c_str()), 0);
        EXPECT_EQ(Save(folder.path(), "new program"), 0);
        EXPECT_EQ(elsewhere.Read("target.as"), "someone else's file");
        struct stat st {};
        ASSERT_EQ(lstat((folder.path() + "prog.as").c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(folder.Read("prog.as"), "new program");
    }
}

}  // namespace
}  // namespace tavrin
