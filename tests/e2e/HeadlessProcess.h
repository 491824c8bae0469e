#pragma once
// Test helpers around `tavrin --headless`: run it as a child with its own working folder and
// pipes on stdin, stdout and stderr; type into it, wait for what it prints, collect its exit
// status. Reader threads drain both output pipes at once, so the child never blocks on a full
// pipe while the test waits for something else.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifndef TAVRIN_BIN
#define TAVRIN_BIN "tavrin"
#endif

extern char** environ;

namespace tavrin::testing {

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempFolder {
public:
    explicit TempFolder(const char* stem = "tavrin-e2e") {
        std::string pattern = std::string("/tmp/") + stem + "-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data())) path_ = buffer.data();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs TAVRIN_BIN --headless <args> in workDir (empty: the test's own folder). extraEnv holds
// "NAME=value" entries added to (or replacing in) the test's environment. runAs, when not
// kThisUser, is the uid (and gid) the child runs as: a test run as root acts as an ordinary user
// (the program and workDir must then be reachable by that user). The destructor ends a child
// that is still running (SIGTERM, then SIGKILL) and joins the readers.
class HeadlessProcess {
public:
    static constexpr uid_t kThisUser = static_cast<uid_t>(-1);

    HeadlessProcess(const std::vector<std::string>& args, const std::string& workDir,
                    const std::vector<std::string>& extraEnv = {}, const std::string& program = TAVRIN_BIN,
                    uid_t runAs = kThisUser) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0) return;
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;

        // Everything the child needs is built before the fork.
        std::vector<std::string> argStrings{program, "--headless"};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : argStrings) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStrings;
        for (char** e = environ; e && *e; ++e) {
            std::string_view entry(*e);
            bool replaced = false;
            for (const std::string& x : extraEnv) {
                auto eq = x.find('=');
                if (eq != std::string::npos &&
                    entry.substr(0, eq + 1) == std::string_view(x).substr(0, eq + 1))
                    replaced = true;
            }
            if (!replaced) envStrings.emplace_back(entry);
        }
        envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (std::string& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);

        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            // The test may hold ptys and sockets of its own; the child must not keep them open,
            // or a pty session would not end when the terminal closes its port.
            for (int fd = 3; fd < 1024; ++fd) ::close(fd);
            if (runAs != kThisUser &&
                (::setgroups(0, nullptr) != 0 || ::setgid(runAs) != 0 || ::setuid(runAs) != 0))
                ::_exit(125);
            if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(126);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        if (pid_ < 0) {
            ::close(out[0]);
            ::close(err[0]);
            return;
        }
        stdoutReader_ = std::thread([this, fd = out[0]] { Drain(fd, stdout_); });
        stderrReader_ = std::thread([this, fd = err[0]] { Drain(fd, stderr_); });
    }
    HeadlessProcess(const HeadlessProcess&) = delete;
    HeadlessProcess& operator=(const HeadlessProcess&) = delete;
    ~HeadlessProcess() {
        CloseInput();
        if (Running()) {
            ::kill(pid_, SIGTERM);
            if (WaitExit(3000) < 0) {
                ::kill(pid_, SIGKILL);
                WaitExit(3000);
            }
        }
        if (stdoutReader_.joinable()) stdoutReader_.join();
        if (stderrReader_.joinable()) stderrReader_.join();
    }

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    bool Running() const { return pid_ > 0 && exitStatus_ < 0; }

    // Writes bytes to the child's stdin (a piped line is typed with Enter after its echo).
    bool Type(std::string_view bytes) {
        size_t done = 0;
        while (stdin_ >= 0 && done < bytes.size()) {
            ssize_t n = ::write(stdin_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return stdin_ >= 0;
    }
    bool TypeLine(std::string_view line) { return Type(std::string(line) + "\n"); }

    // The end of input: the terminal quits once the controller has been quiet for a second.
    void CloseInput() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }

    std::string Output() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stdout_;
    }
    std::string Errors() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stderr_;
    }
    // Where stdout stands now, to wait for text printed after this point.
    size_t OutputMark() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stdout_.size();
    }

    // Waits until stdout holds text at or after byte `from`. True when it does.
    bool WaitForOutput(std::string_view text, int timeoutMs, size_t from = 0) {
        return WaitFor(stdout_, text, timeoutMs, from);
    }
    bool WaitForErrors(std::string_view text, int timeoutMs, size_t from = 0) {
        return WaitFor(stderr_, text, timeoutMs, from);
    }

    // Waits for the child to end. Its exit status (128 + signal when killed), or -1 when it is
    // still running after timeoutMs.
    int WaitExit(int timeoutMs) {
        if (pid_ <= 0 || exitStatus_ >= 0) return exitStatus_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                // What it wrote just before it ended may still sit in the pipes: wait for the
                // readers to reach the end of both (bounded, in case a process it started still
                // holds them open).
                std::unique_lock<std::mutex> lock(mutex_);
                arrived_.wait_for(lock, std::chrono::seconds(2), [this] { return drained_ == 2; });
                return exitStatus_;
            }
            if (std::chrono::steady_clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Asks the child to end in order (it disconnects and saves its settings).
    void Terminate() {
        if (Running()) ::kill(pid_, SIGTERM);
    }

private:
    void Drain(int fd, std::string& into) {
        char buffer[4096];
        for (;;) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                into.append(buffer, static_cast<size_t>(n));
            }
            arrived_.notify_all();
        }
        ::close(fd);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++drained_;
        }
        arrived_.notify_all();
    }

    bool WaitFor(const std::string& stream, std::string_view text, int timeoutMs, size_t from) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return stream.size() >= from && stream.find(text, from) != std::string::npos;
        });
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int exitStatus_ = -1;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::string stdout_, stderr_;
    int drained_ = 0;  // readers that have reached the end of their pipe
    std::thread stdoutReader_, stderrReader_;
};

}  // namespace tavrin::testing
