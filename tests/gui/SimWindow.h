#pragma once
// Shared by the GUI tests that drive a window: waiting on the event loop, and a window over a
// real view with a real clock whose completed rows are collected as the operator has seen them.
#include <QElapsedTimer>
#include <QTest>
#include <cstdint>
#include <memory>
#include <string>

#include "app/Language.h"
#include "app/ScreenRows.h"
#include "gui/MainFrame.h"
#include "gui/QtShell.h"
#include "session/PelinApp.h"
#include "session/PelinView.h"
#include "session/PlatformEnvironment.h"

namespace tavrin::testing {

// Runs the event loop until done() holds; false when ms passed first.
template <typename Predicate>
bool WaitFor(Predicate done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(5);
    }
    return true;
}

// The view, its frame and the rows they showed. A test's window builds app first, then calls
// BuildView; the frame and the view go before the test's own members (the simulator, folders).
struct RealViewWindow {
    CQtShell shell;
    CPlatformEnvironment platform;
    std::unique_ptr<CPelinApp> app;
    CPelinDoc doc;
    std::unique_ptr<CPelinView> view;
    std::unique_ptr<CMainFrame> frame;
    std::string rows;
    int savedLanguage = CurrentLanguage();

    RealViewWindow() = default;
    RealViewWindow(const RealViewWindow&) = delete;
    RealViewWindow& operator=(const RealViewWindow&) = delete;
    ~RealViewWindow() {
        frame.reset();
        view.reset();
        SetCurrentLanguage(savedLanguage);
    }

    // Rows are kept with their trailing blanks, or without them when trimRows.
    void BuildView(bool trimRows) {
        view = std::make_unique<CPelinView>(*app, doc, shell, platform.Environment());
        frame = std::make_unique<CMainFrame>(*view, *app);
        shell.SetFrame(frame.get());
        view->SetRowObserver([this, trimRows](const uint8_t* row) {
            std::string text(reinterpret_cast<const char*>(row), kColumns);
            if (trimRows) text.erase(text.find_last_not_of(' ') + 1);
            rows += text + "\n";
        });
    }
};

}  // namespace tavrin::testing
