#include "gui/GuiMain.h"

#include <QApplication>

namespace tavrin {

int RunGui(int argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}

}  // namespace tavrin
