#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "gui/GuiMain.h"
#include "headless/HeadlessMain.h"

namespace {

bool HasOption(int argc, char** argv, const char* option) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0) return true;
    return false;
}

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    return (x && *x) || (wayland && *wayland) || (qpa && *qpa);
}

}  // namespace

int main(int argc, char** argv) {
    if (HasOption(argc, argv, "--headless")) return tavrin::RunHeadless(argc, argv);
    if (!HasDisplay()) {
        std::fprintf(stderr, "tavrin: no display found; starting the console front end (--headless).\n");
        return tavrin::RunHeadless(argc, argv);
    }
    return tavrin::RunGui(argc, argv);
}
