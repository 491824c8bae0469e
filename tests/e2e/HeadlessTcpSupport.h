#pragma once
// Helpers for the loopback end-to-end tests of `tavrin --headless` (which HeadlessProcess.h
// runs): a settings file, free loopback ports, open files of a process, robot program text, and
// the write-by-write view of a tavrin-sim log.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e/HeadlessProcess.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {

// A settings file with the given lines in [Settings]; English texts unless a line says
// otherwise.
inline void WriteSettings(const std::string& path, const std::vector<std::string>& lines) {
    std::string text = "[Settings]\r\nLanguage=1\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    WriteWholeFile(path, text);
}

// A loopback port nothing listens on (bound once, then released); 0 when none could be had.
inline int UnusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

inline size_t CountOf(std::string_view text, std::string_view what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

// The files a process holds open now (targets of /proc/PID/fd).
inline std::vector<std::string> OpenFilesOf(pid_t pid) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code ignored;
        auto target = std::filesystem::read_symlink(entry.path(), ignored);
        if (!ignored) files.push_back(target.string());
    }
    return files;
}

// A robot program of about `size` bytes of text with CR LF lines and Shift-JIS comments; no
// byte the TCP/IP record form cannot carry (NUL, ENQ, STX, ETB, SUB) and no prompt '>'.
inline std::string ProgramText(size_t size, const std::string& name) {
    std::string text = ".PROGRAM " + name + "()\r\n";
    for (int step = 1; text.size() < size; ++step) {
        text += "  POINT #p" + std::to_string(step) + " = SHIFT(base BY " + std::to_string(step * 7 % 400) +
                ", " + std::to_string(step * 13 % 300) + ", 0)\r\n";
        if (step % 5 == 0) text += "  ; \x93\x5f\x82\xa0 step " + std::to_string(step) + "\r\n";
    }
    text.resize(size);
    return text;
}

// The simulator's writes ("TX", or its reads: "RX") as its log shows them: each starts a new line and fills
// lines of 16 bytes, so a shorter line (or a line of another kind) ends one write. A write of a
// multiple of 16 bytes runs into the next unless a line of another kind comes between.
inline std::vector<std::string> ReadSimWrites(const std::string& path, const std::string& tag = "TX") {
    std::vector<std::string> writes;
    std::ifstream in(path);
    std::string line, current;
    bool open = false;
    while (std::getline(in, line)) {
        if (line.rfind(tag, 0) != 0) {
            if (open) writes.push_back(current);
            current.clear();
            open = false;
            continue;
        }
        std::istringstream hex(line.substr(2));
        unsigned value;
        size_t count = 0;
        while (hex >> std::hex >> value) {
            current += static_cast<char>(value);
            ++count;
        }
        open = true;
        if (count < 16) {
            writes.push_back(current);
            current.clear();
            open = false;
        }
    }
    if (open) writes.push_back(current);
    return writes;
}

// The TCP/IP connection text of the simulator on port.
inline std::string Connection(int port) {
    return "-C=127.0.0.1:" + std::to_string(port) + ":Sim";
}

// A terminal and a simulator in one scratch folder: the simulator's disk is disk/, the PC's
// folder pc/, the terminal's settings t.ini, the simulator's byte log sim.log.
struct TcpScene {
    TempFolder folder;
    std::string disk = folder / "disk";
    std::string pc = folder / "pc";
    std::string ini = folder / "t.ini";
    std::string log = folder / "sim.log";
    TcpScene() {
        std::filesystem::create_directory(disk);
        std::filesystem::create_directory(pc);
    }
    std::unique_ptr<SimProcess> StartSim(std::vector<std::string> extra = {}, int port = 0) {
        std::vector<std::string> args{"--tcp", std::to_string(port), "--disk", disk, "--log", log};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<SimProcess>(args);
    }
    std::unique_ptr<HeadlessProcess> StartTerminal(int port, const std::vector<std::string>& settings,
                                                   std::vector<std::string> extra = {}) {
        WriteSettings(ini, settings);
        std::vector<std::string> args{"-F" + ini, Connection(port)};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<HeadlessProcess>(args, folder.Path());
    }
};

}  // namespace tavrin::testing
