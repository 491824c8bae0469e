// The host editor link end to end: `tavrin-host serve` on a private socket, `tavrin --headless
// -N` against tavrin-sim, and the host's commands typed from the outside.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/HeadlessProcess.h"
#include "e2e/HeadlessTcpSupport.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

using namespace std::chrono_literals;

// Runs tavrin-host with args, the socket given by TAVRIN_HOST_SOCKET and more environment in
// env; stdout and stderr go to outFile. Returns the pid.
pid_t SpawnHost(const std::vector<std::string>& args, const std::vector<std::string>& env,
                const std::string& outFile) {
    std::vector<std::string> argStrings{TAVRIN_HOST_BIN};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; e && *e; ++e) envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool WaitForFileText(const std::string& path, const std::string& text, std::chrono::milliseconds limit,
                     size_t from = 0) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string content = ReadWholeFile(path);
        if (content.size() >= from && content.find(text, from) != std::string::npos) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// serve, the simulator and one linked terminal, each in the scratch folder: the socket in s/,
// the simulator's disk in disk/, the terminal working in pc/.
struct HostScene {
    TempFolder folder{"tavrin-host-e2e"};
    std::string disk = folder / "disk";
    std::string pc = folder / "pc";
    std::string socket = folder / "s/host.sock";
    std::string serveOut = folder / "serve.out";
    std::string envSocket = "TAVRIN_HOST_SOCKET=" + socket;
    pid_t serve = -1;
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<HeadlessProcess> terminal;
    int port = 0;
    int runs = 0;

    HostScene() {
        std::filesystem::create_directory(disk);
        std::filesystem::create_directory(pc);
        WriteWholeFile(disk + "/pick.as", ".PROGRAM pick()\n  APPRO #a, 50\n.END\n");
    }
    ~HostScene() {
        terminal.reset();
        StopServe(SIGTERM);
    }
    void StopServe(int signal) {
        if (serve <= 0) return;
        ::kill(serve, signal);
        int status = 0;
        ::waitpid(serve, &status, 0);
        serve = -1;
    }
    // Everything up and the terminal numbered 1.
    void Start() {
        serve = SpawnHost({"serve"}, {envSocket}, serveOut);
        ASSERT_TRUE(WaitForFileText(serveOut, "listening on", 5s));
        sim = std::make_unique<SimProcess>(std::vector<std::string>{"--tcp", "0", "--disk", disk});
        port = sim->TcpPort();
        ASSERT_GT(port, 0);
        const std::string ini = folder / "t.ini";
        WriteSettings(ini, {});
        terminal =
            std::make_unique<HeadlessProcess>(std::vector<std::string>{"-F" + ini, Connection(port), "-N"},
                                              pc, std::vector<std::string>{envSocket});
        ASSERT_TRUE(WaitForFileText(serveOut, "terminal 1 address 127.0.0.1", 10s))
            << ReadWholeFile(serveOut);
        ASSERT_TRUE(terminal->WaitForOutput("Type help", 10000)) << terminal->Output();
    }
    // A tavrin-host command run to its end: status and what it printed.
    std::pair<int, std::string> Host(const std::vector<std::string>& args,
                                     const std::vector<std::string>& env = {}) {
        const std::string out = folder / ("run" + std::to_string(++runs) + ".out");
        std::vector<std::string> all{envSocket};
        all.insert(all.end(), env.begin(), env.end());
        const pid_t pid = SpawnHost(args, all, out);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(out)};
    }
    // A command line typed by the host; Enter once the controller has echoed the line.
    void HostTypesLine(const std::string& line) {
        ASSERT_EQ(Host({"type", "1", line}).first, 0);
        std::this_thread::sleep_for(300ms);
        ASSERT_EQ(Host({"type", "1", "\\r"}).first, 0);
    }
    std::string Serve() const { return ReadWholeFile(serveOut); }
};

TEST(HostLinkE2E, AttachesNumbersAndCarriesTheHostsCommandsAndTheTerminalsReports) {
    HostScene s;
    ASSERT_NO_FATAL_FAILURE(s.Start());
    const std::string title = "Tavrin: title: Tavrin #01 - [127.0.0.1 " + std::to_string(s.port) + "]";
    EXPECT_TRUE(s.terminal->WaitForErrors(title, 5000)) << s.terminal->Errors();
    for (const char* line : {"terminal 1 attached (id ", "terminal 1 numbered", "terminal 1 connected"})
        EXPECT_NE(s.Serve().find(line), std::string::npos) << line << "\n" << s.Serve();

    // A save typed by the host lands byte-exact, between a busy and an idle report.
    size_t before = s.Serve().size();
    s.HostTypesLine("save " + s.pc + "/pick.as");
    ASSERT_TRUE(s.terminal->WaitForOutput("Saved pick.as", 10000)) << s.terminal->Output();
    EXPECT_EQ(ReadWholeFile(s.pc + "/pick.as"), ReadWholeFile(s.disk + "/pick.as"));
    ASSERT_TRUE(WaitForFileText(s.serveOut, "terminal 1 idle", 5s, before));
    const std::string reports = s.Serve().substr(before);
    EXPECT_LT(reports.find("terminal 1 busy"), reports.find("terminal 1 idle")) << reports;

    // Kind 3: the file is deleted once the typed load has transferred it.
    WriteWholeFile(s.pc + "/new.as", ".PROGRAM new()\n.END\n");
    ASSERT_EQ(s.Host({"delete-after", "1", s.pc + "/new.as"}).first, 0);
    s.HostTypesLine("load " + s.pc + "/new.as");
    ASSERT_TRUE(s.terminal->WaitForOutput("Loaded new.as", 10000)) << s.terminal->Output();
    EXPECT_EQ(ReadWholeFile(s.disk + "/new.as"), ".PROGRAM new()\n.END\n");
    for (int i = 0; i < 100 && std::filesystem::exists(s.pc + "/new.as"); ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(std::filesystem::exists(s.pc + "/new.as"));

    // The end of the run: disconnected, then detached.
    before = s.Serve().size();
    s.terminal->CloseInput();
    EXPECT_EQ(s.terminal->WaitExit(10000), 0);
    ASSERT_TRUE(WaitForFileText(s.serveOut, "terminal 1 detached", 5s, before)) << s.Serve();
    const std::string end = s.Serve().substr(before);
    EXPECT_LT(end.find("terminal 1 disconnected"), end.find("terminal 1 detached")) << end;
}

TEST(HostLinkE2E, CloseAnsweredNoOrUnlinkOrADeadHostLeaveTheTerminalRunningUnlinked) {
    struct Case {
        const char* name;
        std::function<void(HostScene&)> act;
    };
    const std::vector<Case> cases{
        {"close answered No",
         [](HostScene& s) {
             EXPECT_EQ(s.Host({"close", "1"}).first, 0);
         }},
        {"unlink",
         [](HostScene& s) {
             EXPECT_EQ(s.Host({"unlink", "1"}).first, 0);
         }},
        {"host killed", [](HostScene& s) { s.StopServe(SIGKILL); }},
    };
    for (const Case& c : cases) {
        HostScene s;
        ASSERT_NO_FATAL_FAILURE(s.Start());
        c.act(s);
        // The ordinary title is back.
        EXPECT_TRUE(
            s.terminal->WaitForErrors("Tavrin: title: Orvenda", 5000, s.terminal->Errors().find("#01")))
            << c.name << "\n"
            << s.terminal->Errors();
        if (std::string(c.name) == "close answered No") {
            EXPECT_NE(s.terminal->Errors().find("OK to close window. [No]"), std::string::npos)
                << s.terminal->Errors();
        }
        if (s.serve > 0) {
            EXPECT_TRUE(WaitForFileText(s.serveOut, "terminal 1 detached", 5s)) << c.name;
            const auto [status, out] = s.Host({"type", "1", "dir\\r"});
            EXPECT_EQ(status, 1) << c.name << ": " << out;
        }
        // Still the operator's terminal.
        const size_t mark = s.terminal->OutputMark();
        s.terminal->TypeLine("ver");
        EXPECT_TRUE(s.terminal->WaitForOutput("controller simulator", 5000, mark))
            << c.name << s.terminal->Output();
        EXPECT_TRUE(s.terminal->Running()) << c.name;
    }
}

TEST(HostLinkE2E, EditOnControllerLoadsBackOnlyAChangedProgram) {
    HostScene s;
    ASSERT_NO_FATAL_FAILURE(s.Start());
    const std::string original = ReadWholeFile(s.disk + "/pick.as");
    const std::string changer = s.folder / "change.sh";
    WriteWholeFile(changer, "#!/bin/sh\nprintf '  DEPART 80\\n' >> \"$1\"\n");
    ::chmod(changer.c_str(), 0700);

    auto [status, out] = s.Host({"edit", "1", "pick.as"}, {"EDITOR=" + changer, "VISUAL="});
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("loaded pick.as into terminal 1"), std::string::npos) << out;
    EXPECT_EQ(ReadWholeFile(s.disk + "/pick.as"), original + "  DEPART 80\n");

    const size_t mark = s.terminal->OutputMark();
    std::tie(status, out) = s.Host({"edit", "1", "pick.as"}, {"EDITOR=true", "VISUAL="});
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("unchanged; nothing loaded"), std::string::npos) << out;
    EXPECT_EQ(s.terminal->Output().find("load ", mark), std::string::npos) << s.terminal->Output();
    EXPECT_EQ(ReadWholeFile(s.disk + "/pick.as"), original + "  DEPART 80\n");

    // An editor that fails: nothing is loaded and the reason is given.
    std::tie(status, out) = s.Host({"edit", "1", "pick.as"}, {"EDITOR=false", "VISUAL="});
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("the controller's program is untouched"), std::string::npos) << out;
    EXPECT_EQ(ReadWholeFile(s.disk + "/pick.as"), original + "  DEPART 80\n");
}

// A command of another user against this user's serve is refused, and says so: it is not
// told that no serve runs. Needs root, to run the command as another user.
TEST(HostLinkE2E, AnotherUsersCommandIsToldItWasRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    HostScene s;
    s.serve = SpawnHost({"serve"}, {s.envSocket}, s.serveOut);
    ASSERT_TRUE(WaitForFileText(s.serveOut, "listening on", 5s));
    struct Case {
        const char* who;
        uid_t uid;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"this user", ::geteuid(), 1, "no terminal 1"},
        {"another user", 65534, 2, "refused: permission denied"},
    };
    // A copy of the program that the other user can run: the build may sit in a folder only its
    // owner may enter (a clone in a mktemp folder).
    TempFolder runnable("tavrin-host-runnable");
    ::chmod(runnable.Path().c_str(), 0755);
    const std::string program = runnable / "tavrin-host";
    std::filesystem::copy_file(TAVRIN_HOST_BIN, program);
    ::chmod(program.c_str(), 0755);
    for (const Case& c : cases) {
        const std::string out = "/tmp/tavrin-host-refused-" + std::to_string(::getpid()) + ".out";
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            if (::setgid(c.uid) != 0 || ::setuid(c.uid) != 0) ::_exit(125);
            ::execl(program.c_str(), program.c_str(), "--socket", s.socket.c_str(), "type", "1", "x",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::string said = ReadWholeFile(out);
        ::unlink(out.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status) << c.who << ": " << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << c.who << ": " << said;
        EXPECT_EQ(said.find("no tavrin-host serve is running"), std::string::npos) << c.who << ": " << said;
    }
}

}  // namespace
}  // namespace tavrin::testing
