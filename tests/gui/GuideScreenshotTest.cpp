// Pictures of the real program for the user guide, taken under an X server:
//   TAVRIN_SCREENSHOT_DIR=docs/screenshots QT_QPA_PLATFORM=xcb xvfb-run -a
//   build/tests/gui_tests --gtest_filter='GuideScreenshotTest.*'
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <cstdlib>

#include "GuiFixture.h"
#include "WhenModal.h"
#include "app/Cp932.h"
#include "app/MessageTable.h"
#include "terminal/ReceiveInterpreter.h"

namespace tavrin {
namespace {

using testing::GuiFixture;

// The close confirmation in Japanese mode over the window: the question is the program's own
// text, the buttons are Qt's, from its Japanese catalogue.
TEST(GuideScreenshotTest, JapaneseCloseQuestionWithJapaneseButtons) {
    const char* dir = std::getenv("TAVRIN_SCREENSHOT_DIR");
    if (dir == nullptr || *dir == '\0') GTEST_SKIP() << "TAVRIN_SCREENSHOT_DIR not set";
    GuiFixture f;
    f.view->SetLanguageAndMenus(0);
    f.frame->Terminal()->ApplyFont();
    f.frame->move(0, 0);
    f.frame->resize(680, 420);
    f.frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
    CReceiveInterpreter interpreter(f.doc, *f.view, *f.view, f.shell);
    interpreter.InterpretText(
        Utf8ToCp932("Tavrin controller simulator 1.0\r\n"
                    "ロボット制御シミュレータ ようこそ\r\n>"));
    f.frame->setWindowTitle(QString::fromUtf8("Tavrin - [/home/op/robot] - Tavrin"));
    QTest::qWait(100);
    QStringList buttons;
    CWhenModal grab("QMessageBox", [&](QWidget* widget) {
        auto* box = static_cast<QMessageBox*>(widget);
        QTest::qWait(300);
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        const QRect area = f.frame->frameGeometry().united(box->frameGeometry()).intersected(screen.rect());
        EXPECT_TRUE(
            screen.copy(area).toImage().save(QDir(dir).filePath("tavrin-japanese-close-question.png")));
        buttons << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
        box->button(QMessageBox::No)->click();
    });
    f.shell.MessageBox(GetMessageText(30), BoxButtons::YesNo, BoxIcon::Question);
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons[0].startsWith(QStringLiteral("はい")));
}

}  // namespace
}  // namespace tavrin
