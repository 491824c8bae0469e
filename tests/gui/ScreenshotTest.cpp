#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <cstdlib>

#include "GuiFixture.h"
#include "app/Cp932.h"
#include "app/Menus.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin {
namespace {

using testing::GuiFixture;

// A controller session with Japanese comments, as the controller prints it (CP932, CR LF).
const char* const kSession =
    "Orvenda robot controller  RC-200   Ver 4.21\r\n"
    ">id\r\n"
    " ROBOT  : OR-6A (6 axes)     SERIAL : 20417\r\n"
    " 作業セル : 第2組立ライン\r\n"
    ">list pick\r\n"
    " .PROGRAM pick()\r\n"
    "   SPEED 50 ALWAYS\r\n"
    "   JMOVE #home          ; 原点へ移動\r\n"
    "   LMOVE p.above        ; 取り出し位置の上\r\n"
    "   LMOVE p.grip\r\n"
    "   CLAMP 1              ; ハンドを閉じる\r\n"
    "   LDEPART 80\r\n"
    "   JMOVE #place         ; 置き場所へ\r\n"
    "   RELEASE 1\r\n"
    " .END\r\n"
    ">save /home/op/robot/pick.as\r\n"
    " 保存しました: pick.as (1.2 KB)\r\n"
    ">";

struct Shot {
    int lang;
    int popupIndex;  // which menu-bar popup is opened
    const char* file;
};

// Writes docs/screenshots images when TAVRIN_SCREENSHOT_DIR names a folder; run it under a real
// X server (xvfb-run ... QT_QPA_PLATFORM=xcb), where a screen grab includes the open menus.
TEST(ScreenshotTest, WindowWithMenusOpenAndJapaneseOutput) {
    const char* dir = std::getenv("TAVRIN_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "TAVRIN_SCREENSHOT_DIR not set";
    const Shot shots[] = {{1, 2, "tavrin-english-com-menu.png"}, {0, 0, "tavrin-japanese-file-menu.png"}};
    for (const Shot& shot : shots) {
        GuiFixture f;
        SetCurrentLanguage(shot.lang);
        f.doc.connected = 1;
        f.doc.isTcp = 1;
        f.doc.ipAddress = "192.168.0.2";
        f.doc.tcpName = "Robot1";
        ConnectionEntry entry;
        entry.Item = "192.168.0.2:23:Robot1";
        entry.Order = 0;
        f.doc.connections = {entry};
        f.frame->Terminal()->ApplyFont();
        f.frame->RebuildMenus();
        f.frame->move(0, 0);
        f.frame->resize(680, 560);
        f.frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
        CReceiveInterpreter interpreter(f.doc, *f.view, *f.view, f.shell);
        interpreter.InterpretText(Utf8ToCp932(kSession));
        f.frame->setWindowTitle(
            QString::fromUtf8(shot.lang ? "Orvenda Robot Terminal Tavrin - [192.168.0.2:Robot1] - "
                                          "[/home/op/robot] - Tavrin"
                                        : "Orvenda ロボットターミナル Tavrin - "
                                          "[192.168.0.2:Robot1] - [/home/op/robot] - Tavrin"));
        QTest::qWait(100);
        QAction* top = f.frame->menuBar()->actions().at(shot.popupIndex);
        f.frame->menuBar()->setActiveAction(top);
        QTest::qWait(300);
        ASSERT_TRUE(top->menu()->isVisible());
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        const QRect area =
            f.frame->frameGeometry().united(top->menu()->geometry()).intersected(screen.rect());
        const QImage image = screen.copy(area).toImage();
        EXPECT_GT(image.width(), 600);
        ASSERT_TRUE(image.save(QDir(dir).filePath(shot.file)));
        top->menu()->hide();
    }
}

}  // namespace
}  // namespace tavrin
