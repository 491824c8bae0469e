#include "session/DemoController.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tavrin {

namespace {

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// Reads the simulator's first line ("TCP <port>") within timeoutMs.
std::string ReadFirstLine(int fd, int timeoutMs) {
    std::string line;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        int ready = poll(&p, 1, timeoutMs);
        if (ready <= 0) return {};
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0) return {};
        if (c == '\n') return line;
        line += c;
        if (line.size() > 200) return {};
    }
}

}  // namespace

CDemoController::~CDemoController() {
    Stop();
}

std::string CDemoController::FindSimulator(const std::string& exePath) {
    const std::string folder = FolderOf(exePath);
    for (const std::string& candidate :
         {folder + "/tavrin-sim", folder + "/../tools/sim/tavrin-sim", folder + "/../libexec/tavrin-sim"}) {
        if (IsExecutable(candidate)) return candidate;
    }
    if (const char* path = std::getenv("PATH")) {
        std::string rest = path;
        size_t start = 0;
        while (start <= rest.size()) {
            size_t end = rest.find(':', start);
            if (end == std::string::npos) end = rest.size();
            // An empty or relative entry would mean the working folder: a program of that name
            // lying in whatever folder Tavrin was started from must not be run.
            const std::string entry = rest.substr(start, end - start);
            if (!entry.empty() && entry.front() == '/' && IsExecutable(entry + "/tavrin-sim"))
                return entry + "/tavrin-sim";
            start = end + 1;
        }
    }
    return {};
}

std::string CDemoController::Start(const std::string& exePath) {
    Stop();
    error_.clear();
    const std::string simulator = FindSimulator(exePath);
    if (simulator.empty()) {
        error_ = "The demo controller (tavrin-sim) was not found beside tavrin or on PATH.";
        return {};
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = std::string("Cannot start the demo controller: ") + std::strerror(errno);
        return {};
    }
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        error_ = std::string("Cannot start the demo controller: ") + std::strerror(errno);
        return {};
    }
    if (pid == 0) {
        // The simulator ends with the terminal, however the terminal ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(0);
        dup2(fds[1], STDOUT_FILENO);
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        std::vector<char*> args{const_cast<char*>(simulator.c_str()), const_cast<char*>("--tcp"),
                                const_cast<char*>("0"), nullptr};
        execv(simulator.c_str(), args.data());
        _exit(127);
    }
    close(fds[1]);
    pid_ = pid;
    outputFd_ = fds[0];
    const std::string line = ReadFirstLine(outputFd_, 5000);
    if (line.rfind("TCP ", 0) != 0) {
        Stop();
        error_ = "The demo controller did not start (" + simulator + ").";
        return {};
    }
    const std::string port = line.substr(4);
    return "127.0.0.1:" + port + ":Demo";
}

void CDemoController::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        // Up to a second for the simulator to end, asleep on its process descriptor until it has.
        const int exited = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
        if (exited >= 0) {
            pollfd p{exited, POLLIN, 0};
            while (poll(&p, 1, 1000) < 0 && errno == EINTR) {
            }
            close(exited);
        }
        if (waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (outputFd_ >= 0) {
        close(outputFd_);
        outputFd_ = -1;
    }
}

}  // namespace tavrin
