// The program's window on a real X server, driven by real key and mouse events from xdotool:
// the path a user's keys take (the focus widget, its focus proxy, the shortcut override) is the
// X server's, not one a test picks. What reached the controller is read from the simulator's
// log. Skipped where Xvfb, xdotool or xwd is missing (scripts/install-deps test installs them).
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "RealX.h"
#include "e2e/HeadlessProcess.h"
#include "e2e/SimProcess.h"

namespace tavrin::testing {
namespace {

constexpr int kStartMs = 30000;
// The panel's command line, from the panel's top left corner (Qt at scale 1, 96 dpi).
constexpr int kPanelLineY = 221;

// tavrin connected to tavrin-sim over TCP/IP, in a folder of its own with its own settings file.
class RealWindow {
public:
    explicit RealWindow(RealX& x, const std::string& macroDialog = "")
        : x_(x), sim_({"--tcp", "0", "--log", folder_ / "sim.log"}) {
        std::filesystem::create_directory(Work());
        if (!macroDialog.empty()) WriteWholeFile(Work() + "/MacroDlg.INI", macroDialog);
    }
    std::string Work() const { return folder_ / "work"; }
    std::string Settings() const { return Work() + "/tavrin.ini"; }
    std::string Received() const { return ReadSimLog(folder_ / "sim.log").received; }

    // Starts the window and waits for the controller's first prompt; the window's id (empty, and
    // a failure only when mustShow, when no window came up in time).
    std::string Start(bool mustShow = true) {
        EXPECT_TRUE(sim_.Started()) << sim_.FirstLine();
        window_ = std::make_unique<Child>(
            std::vector<std::string>{TAVRIN_BIN, "-C=127.0.0.1:" + std::to_string(sim_.TcpPort()) + ":sim",
                                     "-F" + Settings()},
            x_.Environment(), Work());
        const std::string id = x_.WaitForWindow("Tavrin", kStartMs);
        if (id.empty() && !mustShow) return id;
        EXPECT_FALSE(id.empty()) << "no window";
        EXPECT_TRUE(
            WaitUntil([&] { return ReadSimLog(folder_ / "sim.log").sent.find('>') != std::string::npos; },
                      kStartMs, 50))
            << "no prompt";
        return id;
    }
    // Ends the window as a session end does (SIGTERM): the settings are saved.
    void Stop() { window_.reset(); }

    // Waits until the controller has received text (after what it had received at mark).
    bool WaitForReceived(const std::string& text, size_t mark = 0, int ms = 10000) {
        return WaitUntil([&] { return Received().find(text, mark) != std::string::npos; }, ms, 50);
    }

private:
    RealX& x_;
    TempFolder folder_{"tavrin-realx"};
    SimProcess sim_;
    std::unique_ptr<Child> window_;
};

#define SKIP_WITHOUT_X(x) \
    if (!(x).Available()) GTEST_SKIP() << "Xvfb, xdotool or xwd is not installed"

// The panel's command line sends what was typed on Return and on the keypad's Enter, as the
// operator types it: a click on the line, then keys.
TEST(RealWindowTest, PanelCommandLineSendsOnReturnAndKeypadEnter) {
    RealX x;
    SKIP_WITHOUT_X(x);
    RealWindow window(x, "[START_UP]\r\nSHOW=ON\r\nPAGE=1\r\n");
    window.Start();
    const std::string panel = x.WaitForWindow("MacroDialog", kStartMs);
    ASSERT_FALSE(panel.empty()) << "the panel did not show";
    // The command line is the row under the four rows of buttons.
    x.Xdotool({"mousemove", "--window", panel, "60", std::to_string(kPanelLineY), "click", "1"});

    struct Case {
        const char* typed;
        const char* key;
    };
    for (const Case& c : {Case{"status", "Return"}, Case{"where", "KP_Enter"}}) {
        SCOPED_TRACE(c.key);
        const size_t mark = window.Received().size();
        x.Xdotool({"type", "--delay", "10", c.typed});
        x.Xdotool({"key", c.key});
        EXPECT_TRUE(window.WaitForReceived(std::string(c.typed) + "\r\n", mark))
            << "the controller received: " << Shown(window.Received().substr(mark));
    }
}

// The top of the first row of text in the terminal: the first pixel row below the toolbar
// with a dark pixel in the first columns; -1 when there is none.
int FirstTextRowTop(const XImage& image) {
    for (int y = 45; y < image.height; ++y)
        for (int x = 0; x < 60 && x < image.width; ++x)
            if ((image.At(x, y) & 0xFF) < 0x40) return y;
    return -1;
}

// Select with the mouse, copy and paste with the keys of a Linux desktop: the controller gets
// the text each time, and Ctrl+V and Ctrl+C still reach it as the control bytes they are.
TEST(RealWindowTest, LinuxCopyAndPasteKeysAndMiddleClick) {
    RealX x;
    SKIP_WITHOUT_X(x);
    RealWindow window(x);
    const std::string main = window.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto shown = x.Grab(main);
    ASSERT_TRUE(shown.has_value()) << "xwd gave no image";
    const int top = FirstTextRowTop(*shown);
    ASSERT_GT(top, 0) << "no text in the window";
    // Across the banner's first row, "Tavrin controller simulator 1.0".
    const std::string y = std::to_string(top + 4);
    x.Xdotool({"mousemove", "--window", main, "1", y, "mousedown", "1"});
    x.Xdotool({"mousemove", "--window", main, "200", y});
    x.Xdotool({"mousemove", "--window", main, "450", y, "mouseup", "1"});
    x.Xdotool({"key", "ctrl+shift+c"});

    struct Case {
        std::vector<std::string> action;
        std::string expected;
    };
    const std::string banner = "Tavrin controller simulator 1.0";
    const Case cases[] = {
        {{"key", "ctrl+shift+v"}, banner}, {{"key", "shift+Insert"}, banner}, {{"click", "2"}, banner},
        {{"key", "ctrl+v"}, "\x16"},       {{"key", "ctrl+c"}, "\x03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action.back());
        const size_t mark = window.Received().size();
        x.Xdotool(c.action);
        EXPECT_TRUE(window.WaitForReceived(c.expected, mark, 5000))
            << "the controller received: " << Shown(window.Received().substr(mark));
    }
}

// The second start draws what the first drew: same font, same window, no scroll bar across.
// Compared as the X server shows the window, but for the prompt's row start and the caret.
TEST(RealWindowTest, SecondStartLooksLikeTheFirst) {
    RealX x;
    SKIP_WITHOUT_X(x);
    RealWindow window(x);
    std::optional<XImage> looks[2];
    for (auto& look : looks) {
        std::string main = window.Start(false);
        if (main.empty()) {
            // Under a loaded machine's Xvfb a start has once shown no window within the time
            // limit; the comparison is about the font, so such a start is tried once more.
            window.Stop();
            main = window.Start();
        }
        // The window has settled (the demo's banner drawn, the caret steady) when two grabs a
        // moment apart agree; a loaded machine may take a while to get there.
        std::optional<XImage> previous;
        for (int tries = 0; tries < 40; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            look = x.Grab(main);
            if (look && previous && *look == *previous) break;
            previous = look;
        }
        window.Stop();
        ASSERT_TRUE(look.has_value()) << "xwd gave no image";
    }
    ASSERT_EQ(looks[0]->width, looks[1]->width) << "the window's width changed";
    ASSERT_EQ(looks[0]->height, looks[1]->height) << "the window's height changed";
    const int width = looks[0]->width, height = looks[0]->height;
    EXPECT_TRUE(looks[0]->Crop(20, 0, width - 20, height) == looks[1]->Crop(20, 0, width - 20, height))
        << "the second start draws differently";
}

}  // namespace
}  // namespace tavrin::testing
