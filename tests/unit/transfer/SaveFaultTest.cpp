// Each system call of a save that can fail, failed once on purpose: the save is never reported
// as saved, the operator is told which file and why, and the earlier program stays whole where
// the failure came before the new one took its name.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "LanguageGuard.h"
#include "TransferRig.h"
#include "app/Language.h"
#include "transfer/SaveSteps.h"
#include "transfer/TransferFiles.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

// The nth call named failCall fails with failErrno.
const char* failCall = nullptr;
int failNth = 0;
int failErrno = 0;
int seen = 0;

int FailOneCall(const char* call) {
    if (failCall == nullptr || std::strcmp(call, failCall) != 0) return 0;
    return ++seen == failNth ? failErrno : 0;
}

struct FaultScope {
    FaultScope(const char* call, int nth, int error) {
        failCall = call, failNth = nth, failErrno = error, seen = 0;
        SetSaveFaultHook(FailOneCall);
    }
    ~FaultScope() {
        SetSaveFaultHook(nullptr);
        failCall = nullptr;
    }
};

// B, one 9000-byte TCP/IP block (an fdatasync comes before it), E, as the controller drives a
// save of prog.as over an earlier program with an earlier backup. The first failed status.
int SaveOverEarlier(const TempFolder& folder, std::string& printed) {
    ViewState view;
    CTransferFiles files(view);
    files.printText = [&printed](const std::string& text) { printed += text; };
    files.SetTcp(true);
    TransferReply reply;
    files.OpenTransferFile("prog.as", reply, folder.path(), 'B');
    if (reply.status != 0) return reply.status;
    const std::string text(9000, 'n');
    files.WriteFileBlock(reinterpret_cast<const uint8_t*>(text.data()), text.size(), reply);
    const int written = reply.status;
    files.CloseTransferFile(nullptr, 0, reply);
    return written != 0 ? written : reply.status;
}

TEST(SaveFaultTest, AFailedCallIsNamedAndTheSaveIsNotReportedAsSaved) {
    CLanguageGuard english{1};
    struct Case {
        const char* call;
        int nth;
        int error;
        int status;
        const char* line;   // '@' stands for the folder
        bool earlierStays;  // the failure came before the rename over prog.as
    };
    const Case cases[] = {
        {"create", 1, EACCES, kFileAccessDenied, "The save could not write @prog.as: Permission denied.",
         true},
        {"fdatasync", 1, EIO, kFileHardwareError, "The save could not write @prog.as: Input/output error.",
         true},
        {"fsync", 1, EIO, kFileHardwareError, "The save could not be written to disk: @.prog.as.tavrin-",
         true},
        {"rename", 1, ENOSPC, kFileDiskFull, "The save could not keep the backup @prog.Bas: No space left",
         true},
        {"unlink", 1, EIO, kFileHardwareError, "The save could not keep the backup @.prog.Bas.tavrin-", true},
        {"close", 1, EIO, kFileHardwareError, "The save could not keep the backup @.prog.Bas.tavrin-", true},
        {"rename", 2, EACCES, kFileAccessDenied,
         "The save could not take its name: @prog.as: Permission denied.", true},
        {"fsync", 2, EIO, kFileHardwareError,
         "The save did not complete; not saved: @prog.as: Input/output error.", false},
        {"close", 3, EIO, kFileHardwareError,
         "The save did not complete; not saved: @prog.as: Input/output error.", false},
    };
    for (const Case& c : cases) {
        const std::string name = std::string(c.call) + " #" + std::to_string(c.nth);
        TempFolder folder;
        folder.Write("prog.as", "earlier program");
        folder.Write("prog.Bas", "earlier backup");
        std::string printed;
        {
            FaultScope fault(c.call, c.nth, c.error);
            EXPECT_EQ(SaveOverEarlier(folder, printed), c.status) << name;
            EXPECT_EQ(seen >= c.nth, true) << name << ": the call was never made";
        }
        std::string line = c.line;
        line.replace(line.find('@'), 1, folder.path());
        EXPECT_NE(printed.find(line), std::string::npos) << name << "\n" << printed;
        EXPECT_NE(printed.find(std::strerror(c.error)), std::string::npos) << name << "\n" << printed;
        if (c.earlierStays) {
            EXPECT_EQ(folder.Read("prog.as"), "earlier program") << name;
        }
        // The backup is the earlier backup, or the earlier program once that step was taken.
        const std::string backup = folder.Read("prog.Bas");
        EXPECT_TRUE(backup == "earlier backup" || backup == "earlier program") << name << ": " << backup;
    }
    // Without a fault the same save is saved, and nothing is said.
    TempFolder folder;
    folder.Write("prog.as", "earlier program");
    std::string printed;
    EXPECT_EQ(SaveOverEarlier(folder, printed), 0);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(folder.Read("prog.as"), std::string(9000, 'n'));
}

// The controller's delete: a name that is not there is only answered; a name that cannot be
// removed is also named with the reason.
TEST(SaveFaultTest, ADeleteThatFailsNamesTheFile) {
    CLanguageGuard english{1};
    TempFolder folder;
    folder.Write("old.as", "program");
    ViewState view;
    CTransferFiles files(view);
    std::string printed;
    files.printText = [&printed](const std::string& text) { printed += text; };
    TransferReply reply;
    EXPECT_EQ(files.DeleteTransferFile("gone.as", reply, folder.path()), kFileNotFound);
    EXPECT_EQ(printed, "");
    {
        FaultScope fault("unlink", 1, EACCES);
        EXPECT_EQ(files.DeleteTransferFile("old.as", reply, folder.path()), kFileAccessDenied);
    }
    EXPECT_NE(printed.find("The file could not be deleted: " + folder.path() + "old.as: Permission denied."),
              std::string::npos)
        << printed;
}

}  // namespace
}  // namespace tavrin
