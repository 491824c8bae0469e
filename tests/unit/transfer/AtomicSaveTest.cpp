#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <functional>
#include <memory>

#include "LanguageGuard.h"
#include "TransferRig.h"
#include "app/Language.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

// A save of prog.as over an earlier file with an earlier backup, one block written.
struct BrokenSave : SerialSession {
    BrokenSave() {
        folder.Write("prog.as", "old program");
        folder.Write("prog.Bas", "older backup");
        EXPECT_EQ(Request('B', B("prog.as")), 0);
        EXPECT_EQ(Request('D', WriteRequest(B("new first block"))), 0);
    }
    std::string NotSavedLine() const {
        return "The save did not complete; not saved: " + folder.path() + "prog.as";
    }
};

// Every way a save can stop short leaves the earlier file and its backup as they were, no file
// of its own behind, and says which file was not saved. The controller's replies do not change.
TEST(AtomicSaveTest, ASaveThatDoesNotCompleteChangesNothing) {
    CLanguageGuard english{1};
    struct Case {
        const char* name;
        std::function<void(BrokenSave&)> stop;
        bool closeFollows;  // the controller still sends E
    };
    const std::vector<Case> cases = {
        {"a request cut short by EOT",
         [](BrokenSave& s) {
             Bytes bad = Record('D', WriteRequest(B("second")));
             bad.back() ^= 0xFF;
             s.controller.Request({bad, Bytes{kEot}});
             EXPECT_EQ(s.protocol.HandleTransferRequest(s.folder.path()), kRecordCutShort);
         },
         true},
        {"the controller refuses the reply twice",
         [](BrokenSave& s) {
             s.controller.recordAnswers = {kNak, kNak};
             EXPECT_EQ(s.Request('D', WriteRequest(B("second"))), kSendRejectedTwice);
         },
         true},
        {"the controller goes silent",
         [](BrokenSave& s) {
             s.controller.Request({});
             EXPECT_EQ(s.protocol.HandleTransferRequest(s.folder.path()), kReceiveTimeout);
         },
         false},
        {"the link is lost", [](BrokenSave& s) { s.protocol.Files().CloseQuietly(); }, false},
        {"another save begins", [](BrokenSave& s) { EXPECT_EQ(s.Request('B', B("next.as")), 0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrokenSave s;
        c.stop(s);
        if (c.closeFollows) {
            EXPECT_EQ(s.Request('E', Bytes{1, 2, 3, 4}), 0);
            EXPECT_EQ(s.ReplyData(), (Bytes{0, 0, 0, 0, 1, 2, 3, 4})) << "the close is answered as ever";
        } else {
            s.protocol.Files().CloseQuietly();
        }
        EXPECT_EQ(s.folder.Read("prog.as"), "old program");
        EXPECT_EQ(s.folder.Read("prog.Bas"), "older backup");
        EXPECT_EQ(s.folder.ReadHidden(), "") << "the temporary file is gone";
        EXPECT_NE(s.printed.find(s.NotSavedLine()), std::string::npos) << s.printed;
        EXPECT_FALSE(s.protocol.Files().FileOpen());
    }
}

TEST(AtomicSaveTest, ASaveLeftOpenWhenTheProgramEndsLeavesNothingBehind) {
    TempFolder folder;
    folder.Write("prog.as", "old program");
    {
        SerialSession s;
        s.controller.Request({Record('B', B("prog.as"))});
        ASSERT_EQ(s.protocol.HandleTransferRequest(folder.path()), 0);
        s.controller.Request({Record('D', WriteRequest(B("half")))});
        ASSERT_EQ(s.protocol.HandleTransferRequest(folder.path()), 0);
        EXPECT_EQ(folder.ReadHidden(), "half");
    }
    EXPECT_EQ(folder.Read("prog.as"), "old program");
    EXPECT_EQ(folder.CountAll(), 1u);
}

TEST(AtomicSaveTest, ACompletedSaveReplacesTheFileKeepingItsPermissions) {
    SerialSession s;
    s.folder.Write("prog.as", "old program");
    ASSERT_EQ(chmod((s.folder.path() + "prog.as").c_str(), 0640), 0);
    ASSERT_EQ(s.Request('B', B("prog.as")), 0);
    ASSERT_EQ(s.Request('D', WriteRequest(B("new program"))), 0);
    ASSERT_EQ(s.Request('E', Bytes(4, 0)), 0);
    EXPECT_EQ(Be32(s.ReplyData(), 0), 0);
    EXPECT_EQ(s.folder.Read("prog.as"), "new program");
    EXPECT_EQ(s.folder.Read("prog.Bas"), "old program");
    struct stat st {};
    ASSERT_EQ(stat((s.folder.path() + "prog.as").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(s.folder.CountAll(), 2u);
    EXPECT_EQ(s.printed, "");

    // A new file follows the umask, as a file created in place would.
    const mode_t mask = umask(022);
    ASSERT_EQ(s.Request('B', B("fresh.as")), 0);
    ASSERT_EQ(s.Request('E', Bytes(4, 0)), 0);
    umask(mask);
    ASSERT_EQ(stat((s.folder.path() + "fresh.as").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_FALSE(s.folder.Exists("fresh.Bas"));
}

// Opens refused up front touch nothing; a missing folder is a bad path and is named.
TEST(AtomicSaveTest, RefusedSavesTouchNothing) {
    CLanguageGuard english{1};
    {
        SerialSession s;
        s.controller.Request({Record('B', B("prog.as"))});
        const std::string missing = s.folder.path() + "no/such/";
        ASSERT_EQ(s.protocol.HandleTransferRequest(missing), 0);
        EXPECT_EQ(Be32(s.ReplyData(), 12), kFileBadPath);
        EXPECT_EQ(s.printed, "\n\rThe folder does not exist: " + missing + "\n\r");
        // A load of a missing file stays "file not found".
        ASSERT_EQ(s.Request('A', B("absent.as")), 0);
        EXPECT_EQ(Be32(s.ReplyData(), 12), kFileNotFound);
    }
    {
        SerialSession s;
        s.folder.Write("prog.as", "old program");
        const int held = open((s.folder.path() + "prog.as").c_str(), O_RDONLY);
        ASSERT_EQ(flock(held, LOCK_EX), 0);
        ASSERT_EQ(s.Request('B', B("prog.as")), 0);
        close(held);
        EXPECT_EQ(Be32(s.ReplyData(), 12), kFileOtherError) << "held by another program";
        EXPECT_EQ(s.folder.Read("prog.as"), "old program");
        EXPECT_EQ(s.folder.CountAll(), 1u);
    }
    if (geteuid() != 0) {  // the superuser may write anything
        SerialSession s;
        s.folder.Write("prog.as", "old program");
        chmod((s.folder.path() + "prog.as").c_str(), 0444);
        ASSERT_EQ(s.Request('B', B("prog.as")), 0);
        EXPECT_EQ(Be32(s.ReplyData(), 12), kFileAccessDenied);
        EXPECT_EQ(s.folder.CountAll(), 1u);
    }
}

}  // namespace
}  // namespace tavrin
