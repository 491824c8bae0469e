#include "headless/HeadlessMain.h"

#include <QCoreApplication>

namespace tavrin {

int RunHeadless(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return 0;
}

}  // namespace tavrin
