// A USB serial adapter as operators use it, played by ptys: a symlink stands for its
// /dev/serial/by-id name. The terminal connects through the name, notices the unplug (the pty's
// far end closing), waits without spinning, and reopens when the name points at a device again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/HeadlessProcess.h"

namespace tavrin::testing {
namespace {

// The controller's end of a pty: the terminal opens the slave by name.
class PtyPeer {
public:
    PtyPeer() {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
        ::close(slave);
        path_ = name;
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;
    ~PtyPeer() { Unplug(); }

    const std::string& Path() const { return path_; }
    void Unplug() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    void Write(const std::string& bytes) { (void)!::write(master_, bytes.data(), bytes.size()); }
    // Reads until text has arrived; true when it did within timeoutMs.
    bool WaitFor(const std::string& text, int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (received_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return false;
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            // EIO: no one has the slave open (yet); wait a little for the terminal to open it.
            if (n <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            received_.append(buffer, static_cast<size_t>(n));
        }
        return true;
    }
    const std::string& Received() const { return received_; }

private:
    int master_ = -1;
    std::string path_;
    std::string received_;
};

// Points link at target in one step, as udev re-points a by-id name.
void PointLink(const std::string& link, const std::string& target) {
    const std::string temporary = link + ".new";
    std::filesystem::remove(temporary);
    std::filesystem::create_symlink(target, temporary);
    std::filesystem::rename(temporary, link);
}

// User plus system CPU time of process pid, in clock ticks.
long CpuTicks(pid_t pid) {
    std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t end = stat.rfind(')');
    if (end == std::string::npos) return -1;
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

// Waits until the terminal's stdout from mark on holds text, reading the 80-column rows as one
// line (long lines wrap).
bool WaitForJoined(HeadlessProcess& tavrin, const std::string& text, int timeoutMs, size_t mark = 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::string out = tavrin.Output();
        out = out.size() > mark ? out.substr(mark) : std::string();
        std::string joined;
        for (char c : out)
            if (c != '\n') joined += c;
        if (joined.find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class SerialPlugE2E : public ::testing::Test {
protected:
    std::string Link() const { return folder / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"; }
    std::string Settings() const { return folder / "tavrin.ini"; }
    TempFolder folder{"tavrin-plug"};
};

TEST_F(SerialPlugE2E, UnplugDisconnectsQuietlyAndReplugReopensThroughTheSameName) {
    PtyPeer first;
    ASSERT_FALSE(first.Path().empty());
    PointLink(Link(), first.Path());
    HeadlessProcess tavrin({"-C=" + Link() + ":115200:8:1:none", "-F" + Settings()}, folder.Path());
    ASSERT_TRUE(first.WaitFor("\n", 5000)) << tavrin.Errors();  // the connect-time line feed
    first.Write("Robot console\r\n>");
    ASSERT_TRUE(tavrin.WaitForOutput("Robot console", 5000));

    // Unplugging an adapter removes its by-id link too; so does the test, or the pty number it
    // leaves could be taken by another program's pty meanwhile.
    const size_t mark = tavrin.OutputMark();
    first.Unplug();
    std::filesystem::remove(Link());
    ASSERT_TRUE(WaitForJoined(tavrin, Link() + " was unplugged or hung up: disconnected.", 5000, mark))
        << tavrin.Output();
    ASSERT_TRUE(WaitForJoined(tavrin, "Waiting for " + Link(), 2000, mark));

    // Disconnected and idle: typing reaches nobody, and the process does not spin.
    const long before = CpuTicks(tavrin.Pid());
    ASSERT_GE(before, 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const long used = CpuTicks(tavrin.Pid()) - before;
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    EXPECT_LT(used, ticksPerSecond * 3 / 10) << "CPU ticks over 3 s: " << used;
    EXPECT_TRUE(tavrin.Running());

    // Replug: another pty behind the same name.
    PtyPeer second;
    ASSERT_FALSE(second.Path().empty());
    PointLink(Link(), second.Path());
    ASSERT_TRUE(WaitForJoined(tavrin, Link() + " is back: reconnected.", 5000, mark)) << tavrin.Output();
    ASSERT_TRUE(second.WaitFor("\n", 3000));
    EXPECT_EQ(second.Received(), "\n");  // nothing but the connect-time line feed
    tavrin.TypeLine("status");
    EXPECT_TRUE(second.WaitFor("status", 5000)) << second.Received();
}

TEST_F(SerialPlugE2E, APortsMappingToTheNameConnectsAndASecondTerminalIsRefused) {
    PtyPeer peer;
    ASSERT_FALSE(peer.Path().empty());
    PointLink(Link(), peer.Path());
    WriteWholeFile(Settings(), "[Ports]\r\nCOM3=" + Link() + "\r\n");
    HeadlessProcess tavrin({"-C=COM3:9600:8:2:none", "-F" + Settings()}, folder.Path());
    ASSERT_TRUE(peer.WaitFor("\n", 5000)) << tavrin.Errors();
    peer.Write("ready>");
    tavrin.TypeLine("here");
    ASSERT_TRUE(peer.WaitFor("here", 5000));

    const std::string otherFolder = folder / "other";
    std::filesystem::create_directory(otherFolder);
    WriteWholeFile(otherFolder + "/tavrin.ini", "[Ports]\r\nCOM3=" + Link() + "\r\n");
    HeadlessProcess second({"-C=COM3:9600:8:2:none", "-F" + otherFolder + "/tavrin.ini"}, otherFolder);
    const std::string inUse =
        "COM3 (" + Link() + ") is in use by tavrin (pid " + std::to_string(tavrin.Pid()) + ").";
    EXPECT_TRUE(WaitForJoined(second, inUse, 5000)) << second.Output();
    second.CloseInput();
    EXPECT_GE(second.WaitExit(10000), 0);

    // The first terminal kept its port.
    tavrin.TypeLine("still");
    EXPECT_TRUE(peer.WaitFor("still", 5000));
}

TEST_F(SerialPlugE2E, ListPortsPrintsOneLinePerPortAndExits) {
    WriteWholeFile(Settings(), "[Ports]\r\nCOM7=/dev/serial/by-id/usb-nothing-here\r\n");
    HeadlessProcess list({"--list-ports", "-F" + Settings()}, folder.Path());
    ASSERT_EQ(list.WaitExit(10000), 0);
    const std::string out = list.Output();
    EXPECT_NE(out.find("COM7\t-\t/dev/serial/by-id/usb-nothing-here\t(absent)\n"), std::string::npos) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        size_t tabs = 0;
        for (char c : line) tabs += c == '\t';
        EXPECT_EQ(tabs, 3u) << line;
    }
}

}  // namespace
}  // namespace tavrin::testing
