#pragma once
// ser2net (Debian's serial device server) in front of a pty, for the network serial port tests:
// a generated YAML file with one telnet(rfc2217) accepter on loopback and the pty as its
// connector. The process runs in the foreground (-n) without UUCP locks (-u).
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "e2e/HeadlessTcpSupport.h"

namespace tavrin::testing {

inline bool Ser2netAvailable() {
    return ::access("/usr/sbin/ser2net", X_OK) == 0;
}

// Whether something listens on 127.0.0.1:port (from /proc/net/tcp, without connecting: a
// connection would make ser2net open the device).
inline bool ListensOnLoopback(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") return true;
    }
    return false;
}

class Ser2netProcess {
public:
    // Writes folder/ser2net.yaml for device behind port (options: YAML lines under "options:").
    Ser2netProcess(const std::string& folder, const std::string& device, int port,
                   const std::string& options = "    kickolduser: false\n")
        : config_(folder + "/ser2net.yaml"), port_(port) {
        std::ofstream(config_) << "connection: &tavrin\n"
                               << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port << "\n"
                               << "  connector: serialdev," << device << ",9600n81,local\n"
                               << "  options:\n"
                               << options;
    }
    Ser2netProcess(const Ser2netProcess&) = delete;
    Ser2netProcess& operator=(const Ser2netProcess&) = delete;
    ~Ser2netProcess() { Stop(); }

    // Starts it and waits (up to 5 s) until it listens.
    bool Start() {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execl("/usr/sbin/ser2net", "ser2net", "-n", "-u", "-c", config_.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid_ < 0) return false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            if (ListensOnLoopback(port_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Kills it at once (no goodbye on the connection: the network link just ends).
    void Stop(int signal = SIGKILL) {
        if (pid_ <= 0) return;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    std::string config_;
    int port_;
    pid_t pid_ = -1;
};

}  // namespace tavrin::testing
