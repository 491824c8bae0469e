#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "TransferRig.h"

namespace tavrin {
namespace {

using namespace tavrin::testing;

// Runs the test from a folder of its own, so that a name resolved against the working folder
// lands where the test can see it.
class WorkingFolder {
public:
    WorkingFolder() {
        char old[PATH_MAX];
        if (getcwd(old, sizeof old)) previous_ = old;
        if (chdir(folder.path().c_str()) != 0) ADD_FAILURE() << "chdir";
    }
    ~WorkingFolder() {
        if (!previous_.empty() && chdir(previous_.c_str()) != 0) ADD_FAILURE() << "chdir back";
    }
    TempFolder folder;

private:
    std::string previous_;
};

// A delete request from the controller before any save: the transfer folder given with the
// request is the only place it may reach, never the working folder of the process.
TEST(TransferFolderTest, DeleteBeforeAnySaveStaysInTheTransferFolder) {
    for (const bool tcp : {false, true}) {
        WorkingFolder cwd;
        TempFolder transfer;
        cwd.folder.Write("x", "working");
        transfer.Write("x", "transfer");
        TransferRig rig;
        rig.doc.isTcp = tcp;
        int rc = 1;
        if (tcp) {
            rig.protocol.ResetTcpState();
            const std::string frame = std::string{char(kEnqByte), char(kStx), 'F', 'x', char(kEtb)};
            std::copy(frame.begin(), frame.end(), rig.doc.tcpChunk.data.begin());
            rig.doc.tcpChunk.length = static_cast<int>(frame.size());
            rig.doc.tcpChunk.position = 0;
            rc = rig.protocol.HandleTransferRequest(transfer.path());
        } else {
            SerialController controller(rig.link);
            const Bytes name = B("x");
            controller.Request({CTransferProtocol::BuildSerialRecord('F', name.data(), name.size())});
            rc = rig.protocol.HandleTransferRequest(transfer.path());
        }
        EXPECT_EQ(rc, 0) << (tcp ? "tcp" : "serial");
        EXPECT_EQ(cwd.folder.Read("x"), "working") << (tcp ? "tcp" : "serial");
        EXPECT_FALSE(transfer.Exists("x")) << (tcp ? "tcp" : "serial");
    }
}

}  // namespace
}  // namespace tavrin
