// What the operator is told when something outside fails names the thing and the reason: a save
// into a folder the user may not write, a connection that is refused.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

constexpr uid_t kNobody = 65534;  // the uid of "nobody" on Debian

// Run as an ordinary user (root writes any folder): the controller's own error line stays as it
// was, and beside it the terminal says which file could not be written and why.
TEST(NamedErrorsE2E, ASaveIntoAFolderTheUserCannotWriteNamesTheFileAndTheReason) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user (uid 65534)";
    TcpScene scene;
    ASSERT_EQ(::chmod(scene.folder.Path().c_str(), 0755), 0);
    WriteWholeFile(scene.disk + "/pick.as", ProgramText(2000, "pick"));
    // The user's own folder: home, working folder, settings and a copy of the program it can
    // reach (the build may sit in a folder only its owner may enter).
    const std::string home = scene.folder / "home";
    ASSERT_EQ(::mkdir(home.c_str(), 0700), 0);
    ASSERT_EQ(::chown(home.c_str(), kNobody, kNobody), 0);
    const std::string program = home + "/tavrin";
    std::filesystem::copy_file(TAVRIN_BIN, program);
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    const std::string ini = home + "/t.ini";
    WriteSettings(ini, {});
    ASSERT_EQ(::chown(ini.c_str(), kNobody, kNobody), 0);
    // Root's folder: the user may enter it and read it, not write it.
    const std::string locked = scene.folder / "locked";
    ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);

    auto sim = scene.StartSim();
    ASSERT_TRUE(sim->Started());
    HeadlessProcess terminal({"-F" + ini, Connection(sim->TcpPort())}, home,
                             {"HOME=" + home, "XDG_CONFIG_HOME=" + home, "XDG_RUNTIME_DIR=" + home}, program,
                             kNobody);
    ASSERT_TRUE(terminal.WaitForOutput("Type help for the commands.", 5000))
        << terminal.Output() << terminal.Errors();
    terminal.TypeLine("save " + locked + "/pick.as");
    ASSERT_TRUE(terminal.WaitForOutput("(E6107) PC file error -1070.", 10000)) << terminal.Output();
    // The screen is 80 columns wide: the line may run over two rows.
    std::string joined = terminal.Output();
    joined.erase(std::remove(joined.begin(), joined.end(), '\n'), joined.end());
    EXPECT_NE(joined.find("The save could not write " + locked + "/pick.as: Permission denied."),
              std::string::npos)
        << terminal.Output();
    EXPECT_TRUE(std::filesystem::is_empty(locked));
    terminal.CloseInput();
    EXPECT_EQ(terminal.WaitExit(5000), 0) << terminal.Errors();
}

TEST(NamedErrorsE2E, ARefusedConnectionNamesTheAddressAndTheReason) {
    TcpScene scene;
    const int port = UnusedLoopbackPort();
    auto terminal = scene.StartTerminal(port, {});
    terminal->CloseInput();
    ASSERT_TRUE(terminal->WaitForErrors("Connection failed. Retry ? [No]\n", 5000)) << terminal->Errors();
    EXPECT_NE(terminal->Errors().find("Tavrin: Cannot connect to 127.0.0.1:" + std::to_string(port) +
                                      ": Connection refused.\nTavrin: Connection failed. Retry ? [No]\n"),
              std::string::npos)
        << terminal->Errors();
    EXPECT_EQ(terminal->WaitExit(5000), 1);  // the start-up connection could not be made
}

}  // namespace
}  // namespace tavrin::testing
