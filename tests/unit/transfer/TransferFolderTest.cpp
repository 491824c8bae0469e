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
            controller.Request({BuildSerialRecord('F', name.data(), name.size())});
            rc = rig.protocol.HandleTransferRequest(transfer.path());
        }
        EXPECT_EQ(rc, 0) << (tcp ? "tcp" : "serial");
        EXPECT_EQ(cwd.folder.Read("x"), "working") << (tcp ? "tcp" : "serial");
        EXPECT_FALSE(transfer.Exists("x")) << (tcp ? "tcp" : "serial");
    }
}

// Names that are not plain files of the transfer folder: "." names the folder itself (an open,
// backup or delete would act on it), a folder inside it is not a program file to back up.
TEST(TransferFolderTest, TheFolderAndFoldersInItAreNeverRenamedOrDeleted) {
    struct Case {
        bool tcp;
        char letter;
        std::string name;
    } cases[] = {
        {false, 'B', "."}, {true, 'B', "."},     {false, 'F', "."},   {true, 'F', "."},
        {false, 'A', "."}, {false, 'B', "d.as"}, {true, 'B', "d.as"}, {false, 'F', "d.as"},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(c.tcp ? "tcp " : "serial ") + c.letter + " " + c.name;
        TempFolder transfer;
        ASSERT_EQ(mkdir((transfer.path() + "d.as").c_str(), 0755), 0);
        TransferRig rig;
        rig.doc.isTcp = c.tcp;
        if (c.tcp) {
            rig.protocol.ResetTcpState();
            const std::string frame = std::string{char(kEnqByte), char(kStx), c.letter} + c.name + char(kEtb);
            std::copy(frame.begin(), frame.end(), rig.doc.tcpChunk.data.begin());
            rig.doc.tcpChunk.length = static_cast<int>(frame.size());
            rig.doc.tcpChunk.position = 0;
            rig.protocol.HandleTransferRequest(transfer.path());
        } else {
            SerialController controller(rig.link);
            const Bytes name = B(c.name);
            controller.Request({BuildSerialRecord(c.letter, name.data(), name.size())});
            rig.protocol.HandleTransferRequest(transfer.path());
        }
        struct stat st {};
        EXPECT_EQ(stat(transfer.path().c_str(), &st), 0) << label;
        EXPECT_EQ(stat((transfer.path() + "d.as").c_str(), &st), 0) << label;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << label;
        EXPECT_FALSE(transfer.Exists("d.Bas")) << label;
        EXPECT_FALSE(transfer.Exists(".B")) << label;
        rmdir((transfer.path() + "d.as").c_str());
    }
    // What the controller may name: one file inside the folder, nothing that leads out of it
    // or names the folder itself.
    struct Name {
        const char* name;
        bool bare;
    } names[] = {{"a", true},   {"prog.as", true}, {".as", true},   {"", false},
                 {".", false},  {"..", false},     {"...", false},  {"a/b", false},
                 {"/a", false}, {"a\\b", false},   {"../a", false}, {"a/..", false}};
    for (const Name& n : names) EXPECT_EQ(CTransferFiles::IsBareFileName(n.name), n.bare) << n.name;
}

}  // namespace
}  // namespace tavrin
