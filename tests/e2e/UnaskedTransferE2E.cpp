// A controller that starts transfers nobody asked for: a fake telnet controller on loopback
// that, with no command typed at the terminal, asks it to create, delete and read files in its
// working folder. Tavrin refuses each, says so on its screen, and touches nothing; a transfer
// asked for with a command line, or allowed by the settings, is served as before.
#include <gtest/gtest.h>

#include <atomic>

#include "e2e/HeadlessTcpSupport.h"

namespace tavrin::testing {
namespace {

constexpr char kEnq = 0x05, kStx = 0x02, kEtb = 0x17;

// One accepted connection on a loopback port: sends what the test gives it and keeps
// everything the terminal sends.
class FakeController {
public:
    FakeController() {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 1);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~FakeController() {
        if (peer_ >= 0) ::close(peer_);
        ::close(listen_);
    }
    int Port() const { return port_; }
    bool Accept(int timeoutMs) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return false;
        peer_ = ::accept(listen_, nullptr, nullptr);
        return peer_ >= 0;
    }
    void Send(const std::string& bytes) { (void)!::write(peer_, bytes.data(), bytes.size()); }
    // Reads what arrives until `text` has come or the time is over; returns all read so far.
    std::string ReadUntil(const std::string& text, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (received_.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{peer_, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1) continue;
            char buffer[4096];
            const ssize_t n = ::read(peer_, buffer, sizeof buffer);
            if (n <= 0) break;
            received_.append(buffer, static_cast<size_t>(n));
        }
        return received_;
    }
    static std::string Record(char letter, const std::string& data) {
        return std::string{kEnq, kStx, letter} + data + kEtb;
    }

private:
    int listen_ = -1;
    int peer_ = -1;
    int port_ = 0;
    std::string received_;
};

struct UnaskedScene {
    TempFolder folder{"tavrin-unasked"};
    std::string ini = folder / "t.ini";
    FakeController controller;
    std::unique_ptr<HeadlessProcess> terminal;

    void Start(const std::vector<std::string>& settings) {
        WriteWholeFile(folder / "secret.txt", "private words");
        WriteWholeFile(folder / "victim.txt", "keep me");
        WriteWholeFile(folder / ".bashrc", "alias ls=ls");
        WriteSettings(ini, settings);
        terminal = std::make_unique<HeadlessProcess>(
            std::vector<std::string>{"-F" + ini,
                                     "-C=127.0.0.1:" + std::to_string(controller.Port()) + ":Fake"},
            folder.Path());
        ASSERT_TRUE(controller.Accept(5000));
        controller.Send("Fake controller\r\n>");
        ASSERT_TRUE(terminal->WaitForOutput("Fake controller", 5000)) << terminal->Output();
    }
};

TEST(UnaskedTransferE2E, RequestsNobodyAskedForAreRefusedAndShown) {
    struct Case {
        const char* name;
        std::string records;
        std::string reply;  // the terminal's answer to the request
        std::string shown;
    } cases[] = {
        {"create",
         FakeController::Record('B', "note.as") + FakeController::Record('D', "HOME\r\n") +
             FakeController::Record('E', ""),
         "\x02"
         "B-1070\x17",
         "No transfer was asked for: refused the controller's request to create note.as"},
        {"delete", FakeController::Record('F', "victim.txt"),
         "\x02"
         "F-1070\x17",
         "refused the controller's request to delete victim.txt"},
        {"read", FakeController::Record('A', "secret.txt") + FakeController::Record('C', ""),
         "\x02"
         "A-1070\x17",
         "refused the controller's request to read secret.txt"},
        {"a hidden name", FakeController::Record('B', ".bashrc"),
         "\x02"
         "B-1070\x17",
         "refused the controller's request to create .bashrc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UnaskedScene scene;
        ASSERT_NO_FATAL_FAILURE(scene.Start({}));
        scene.controller.Send(c.records);
        const std::string answers = scene.controller.ReadUntil(c.reply, 3000);
        EXPECT_NE(answers.find(c.reply), std::string::npos);
        EXPECT_EQ(answers.find("private words"), std::string::npos) << "nothing of the file went out";
        ASSERT_TRUE(scene.terminal->WaitForOutput(c.shown, 3000)) << scene.terminal->Output();
        EXPECT_EQ(CountOf(scene.terminal->Output(), "refused"), 1u)
            << "one line, the blocks after it quietly";
        EXPECT_EQ(ReadWholeFile(scene.folder / "victim.txt"), "keep me");
        EXPECT_EQ(ReadWholeFile(scene.folder / ".bashrc"), "alias ls=ls");
        EXPECT_FALSE(std::filesystem::exists(scene.folder / "note.as"));
        EXPECT_FALSE(std::filesystem::exists(scene.folder / ".Bba"));
        scene.terminal->CloseInput();
        EXPECT_EQ(scene.terminal->WaitExit(5000), 0);
    }
}

TEST(UnaskedTransferE2E, TheSettingServesControllerStartedSavesButNeverHiddenNames) {
    UnaskedScene scene;
    ASSERT_NO_FATAL_FAILURE(scene.Start({"AcceptControllerTransfers=1"}));
    scene.controller.Send(FakeController::Record('B', "note.as") + FakeController::Record('D', "HOME\r\n") +
                          FakeController::Record('E', ""));
    scene.controller.ReadUntil(
        "\x02"
        "E    0\x17",
        3000);
    EXPECT_EQ(ReadWholeFile(scene.folder / "note.as"), "HOME\r\n");

    scene.controller.Send(FakeController::Record('B', ".bashrc") + FakeController::Record('D', "rm -rf ~\n") +
                          FakeController::Record('E', ""));
    const std::string answers = scene.controller.ReadUntil(
        "\x02"
        "B-1028\x17",
        3000);
    EXPECT_NE(answers.find("\x02"
                           "B-1028\x17"),
              std::string::npos);
    ASSERT_TRUE(scene.terminal->WaitForOutput("Refused a file name from the controller: .bashrc", 3000))
        << scene.terminal->Output();
    EXPECT_EQ(ReadWholeFile(scene.folder / ".bashrc"), "alias ls=ls");
    scene.terminal->CloseInput();
    EXPECT_EQ(scene.terminal->WaitExit(5000), 0);
}

}  // namespace
}  // namespace tavrin::testing
