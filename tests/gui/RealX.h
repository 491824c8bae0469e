#pragma once
// The window as the operator meets it: tavrin on its own X server (Xvfb, the xcb platform),
// driven by real key and mouse events from xdotool, looked at through xwd. Qt's scaling is kept
// out (scale 1, 96 dpi) so that pixel positions mean the same on every machine.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::testing {

// The bytes the controller received, control bytes as <hh>, for failure messages.
inline std::string Shown(const std::string& bytes) {
    std::string text;
    char hex[8];
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof hex, "<%02x>", c);
            text += hex;
        }
    }
    return text;
}

inline bool OnPath(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

template <typename Predicate>
bool WaitUntil(Predicate done, int ms, int stepMs = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}

// Runs a program on the display; its stdout, or nullopt when it failed.
inline std::optional<std::string> CaptureOn(const std::vector<std::string>& args,
                                            const std::string& display) {
    int out[2];
    if (::pipe(out) != 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::setenv("DISPLAY", display.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return text;
}

// A child process (Xvfb, the window) ended with SIGTERM, then SIGKILL, when the object goes.
class Child {
public:
    // keepFd stays open in the child; stdoutFd (when >= 0) becomes its stdout.
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& dir,
          int keepFd = -1, int stdoutFd = -1) {
        pid_ = ::fork();
        if (pid_ != 0) return;
        if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(127);
        for (const std::string& e : env) ::putenv(::strdup(e.c_str()));
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(stdoutFd >= 0 ? stdoutFd : null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keepFd) ::close(fd);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Stop(); }
    // SIGTERM (the window saves its settings as at a normal close), SIGKILL after 3 s.
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 300; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    bool Running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    pid_t pid_ = -1;
};

// Xvfb on a display number it picks itself (-displayfd).
class Xvfb {
public:
    Xvfb() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        server_ = std::make_unique<Child>(
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                     "1024x768x24", "-nolisten", "tcp"},
            std::vector<std::string>{}, "", fds[1]);
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (::poll(&p, 1, 30000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    const std::string& Display() const { return display_; }

private:
    std::unique_ptr<Child> server_;
    std::string display_;
};

inline std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.insert(line);
    return lines;
}

// An image read from xwd's output (ZPixmap, 24 or 32 bits a pixel): each pixel as 0xRRGGBB.
struct XImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    XImage Crop(int x, int y, int w, int h) const {
        XImage part;
        part.width = w;
        part.height = h;
        for (int row = y; row < y + h; ++row)
            for (int column = x; column < x + w; ++column) part.pixels.push_back(At(column, row));
        return part;
    }
    bool operator==(const XImage& other) const {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
};

// The XWD file format: a header of big-endian 32-bit fields, the window name, the colour table,
// then the rows. nullopt for anything but a true-colour ZPixmap.
inline std::optional<XImage> ParseXwd(const std::string& data) {
    auto field = [&](size_t index) -> uint32_t {
        const size_t at = index * 4;
        if (at + 4 > data.size()) return 0;
        uint32_t v = 0;
        for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(data[at + i]);
        return v;
    };
    const uint32_t headerSize = field(0), format = field(2), width = field(4), height = field(5);
    const uint32_t byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12);
    const uint32_t redMask = field(14), greenMask = field(15), blueMask = field(16), colours = field(19);
    if (field(1) != 7 || format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24)) return std::nullopt;
    const size_t start = headerSize + static_cast<size_t>(colours) * 12;
    if (data.size() < start + static_cast<size_t>(bytesPerLine) * height) return std::nullopt;
    auto channel = [](uint32_t pixel, uint32_t mask) {
        if (mask == 0) return 0u;
        int shift = 0;
        while (!(mask >> shift & 1)) ++shift;
        return (pixel & mask) >> shift & 0xFF;
    };
    XImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    // xwd says 24 bits a pixel for a depth-24 image it stores in 32-bit units.
    const size_t bytes = bytesPerLine >= width * 4 ? 4 : 3;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t at = start + static_cast<size_t>(y) * bytesPerLine + x * bytes;
            uint32_t pixel = 0;
            for (size_t i = 0; i < bytes; ++i) {
                const uint32_t b = static_cast<uint8_t>(data[at + i]);
                pixel |= byteOrder == 0 ? b << (8 * i) : b << (8 * (bytes - 1 - i));
            }
            image.pixels.push_back(channel(pixel, redMask) << 16 | channel(pixel, greenMask) << 8 |
                                   channel(pixel, blueMask));
        }
    }
    return image;
}

// One X server with the tools that drive it. Available() is false (the test skips) where
// Xvfb, xdotool or xwd is missing.
class RealX {
public:
    RealX() {
        if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("xwd")) return;
        server_ = std::make_unique<Xvfb>();
    }
    bool Available() const { return server_ && !server_->Display().empty(); }
    const std::string& Display() const { return server_->Display(); }

    // The environment of a program started on this display: the xcb platform at scale 1.
    std::vector<std::string> Environment() const {
        return {
            "DISPLAY=" + Display(), "QT_QPA_PLATFORM=xcb", "QT_SCALE_FACTOR=1", "QT_ENABLE_HIGHDPI_SCALING=0",
            "QT_FONT_DPI=96",       "QT_ACCESSIBILITY=0",  "LANG=C.UTF-8",      "LC_ALL=C.UTF-8"};
    }

    std::string Xdotool(std::vector<std::string> args) const {
        args.insert(args.begin(), "xdotool");
        return CaptureOn(args, Display()).value_or("");
    }

    // The visible window whose title holds name, waited for up to ms; "" when none came.
    std::string WaitForWindow(const std::string& name, int ms = 30000) const {
        std::string id;
        WaitUntil(
            [&] {
                const auto shown = Lines(Xdotool({"search", "--onlyvisible", "--name", name}));
                if (shown.empty()) return false;
                id = *shown.begin();
                return true;
            },
            ms, 100);
        return id;
    }

    // The window's size and place on the screen.
    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };
    Geometry WindowGeometry(const std::string& window) const {
        Geometry g;
        std::istringstream in(Xdotool({"getwindowgeometry", "--shell", window}));
        for (std::string line; std::getline(in, line);) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq);
            const int value = std::atoi(line.c_str() + eq + 1);
            if (key == "X") g.x = value;
            if (key == "Y") g.y = value;
            if (key == "WIDTH") g.width = value;
            if (key == "HEIGHT") g.height = value;
        }
        return g;
    }

    // What the window shows, as the X server holds it.
    std::optional<XImage> Grab(const std::string& window) const {
        const auto data = CaptureOn({"xwd", "-silent", "-id", window}, Display());
        if (!data) return std::nullopt;
        return ParseXwd(*data);
    }

private:
    std::unique_ptr<Xvfb> server_;
};

}  // namespace tavrin::testing
