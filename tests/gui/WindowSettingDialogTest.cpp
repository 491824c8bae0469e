// The Window setting dialog in both languages, its colour buttons and up-down control, the
// Font command's font translation, and both commands through the terminal view.
#include <gtest/gtest.h>

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <optional>

#include "GuiFixture.h"
#include "LanguageGuard.h"
#include "app/Language.h"
#include "app/Menus.h"
#include "gui/TerminalFontDialog.h"
#include "gui/WhenModal.h"
#include "gui/WindowSettingDialog.h"

namespace tavrin {
namespace {

template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

TEST(WindowSettingDialogTest, ShowsTheTextsOfTheLanguage) {
    struct Case {
        int language;
        const char *title, *label, *bg, *text, *cancel;
        bool sampleSunken;
    };
    const Case cases[] = {
        {1, "Window setting", "Scroll buffer", "Bg color", "Font color", "Cancel", true},
        {0, "画面設定", "スクロールバッファ", "画面背景色", "テキスト色", "キャンセル", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        testing::CLanguageGuard lang(c.language);
        CWindowSetting setting(120, 0x0000FF, 0xFF0000);
        CWindowSettingDialog dialog(setting);
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(Child<QLabel>(&dialog, "scrollLabel")->text(), QString::fromUtf8(c.label));
        EXPECT_EQ(Child<QPushButton>(&dialog, "bgColor")->text(), QString::fromUtf8(c.bg));
        EXPECT_EQ(Child<QPushButton>(&dialog, "textColor")->text(), QString::fromUtf8(c.text));
        EXPECT_EQ(Child<QPushButton>(&dialog, "cancel")->text(), QString::fromUtf8(c.cancel));
        EXPECT_TRUE(Child<QPushButton>(&dialog, "ok")->isDefault());
        EXPECT_EQ(Child<QLabel>(&dialog, "rows")->text(), QStringLiteral("120"));
        QLabel* sample = Child<QLabel>(&dialog, "sample");
        EXPECT_EQ(sample->text(), QStringLiteral("Abc123"));
        EXPECT_EQ(sample->frameShadow() == QFrame::Sunken, c.sampleSunken);
        // The sample alone shows the working colours: red background, blue text.
        EXPECT_EQ(sample->palette().color(QPalette::Window), QColor(255, 0, 0));
        EXPECT_EQ(sample->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        EXPECT_NE(dialog.palette().color(QPalette::Window), QColor(255, 0, 0));
    }
}

TEST(WindowSettingDialogTest, UpDownKeepsTheRowsInRange) {
    struct Case {
        int start;
        const char* control;  // "rowsUp", "rowsDown", or a key
        Qt::Key key;
        int clicks;
        int expected;
    };
    const Case cases[] = {
        {100, "rowsUp", Qt::Key_unknown, 3, 103}, {100, "rowsDown", Qt::Key_unknown, 2, 98},
        {200, "rowsUp", Qt::Key_unknown, 1, 200}, {50, "rowsDown", Qt::Key_unknown, 1, 50},
        {20, nullptr, Qt::Key_unknown, 0, 50},    {100, nullptr, Qt::Key_Up, 2, 102},
        {100, nullptr, Qt::Key_Left, 1, 99},      {200, nullptr, Qt::Key_Right, 1, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.start << " " << (c.control ? c.control : "key") << " " << c.clicks);
        CWindowSetting setting(c.start, 0, 0);
        CWindowSettingDialog dialog(setting);
        for (int i = 0; i < c.clicks; ++i) {
            if (c.control != nullptr)
                QTest::mouseClick(Child<QToolButton>(&dialog, c.control), Qt::LeftButton);
            else
                QTest::keyClick(&dialog, c.key);
        }
        EXPECT_EQ(Child<QLabel>(&dialog, "rows")->text(), QString::number(c.expected));
        EXPECT_EQ(dialog.Working().Rows(), c.expected);
    }
}

TEST(WindowSettingDialogTest, ColourButtonsAndOkOrCancel) {
    struct Case {
        const char* button;
        bool acceptColour;
        bool ok;
        uint32_t bg, text;  // in the setting afterwards
    };
    const Case cases[] = {
        {"bgColor", true, true, 0x00FF00, 0x000000},  // green
        {"textColor", true, true, 0xFFFFFF, 0x00FF00},
        {"bgColor", false, true, 0xFFFFFF, 0x000000},  // colour dialog cancelled
        {"bgColor", true, false, 0xFFFFFF, 0x000000},  // window dialog cancelled
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.button << c.acceptColour << c.ok);
        CWindowSetting setting(120, 0xFFFFFF, 0x000000);
        CWindowSettingDialog dialog(setting);
        dialog.show();
        CWhenModal colour("QColorDialog", [&](QWidget* modal) {
            auto* picker = qobject_cast<QColorDialog*>(modal);
            ASSERT_NE(picker, nullptr);
            picker->setCurrentColor(QColor(0, 255, 0));
            if (c.acceptColour)
                picker->accept();
            else
                picker->reject();
        });
        QTest::mouseClick(Child<QPushButton>(&dialog, c.button), Qt::LeftButton);
        EXPECT_TRUE(colour.Ran());
        QTest::mouseClick(Child<QToolButton>(&dialog, "rowsUp"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(&dialog, c.ok ? "ok" : "cancel"), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), c.ok ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(setting.bgColor, c.bg);
        EXPECT_EQ(setting.textColor, c.text);
        EXPECT_EQ(setting.Rows(), c.ok ? 121 : 120);
    }
}

TEST(WindowSettingDialogTest, StoredColoursHaveRedInTheLowByte) {
    const std::pair<uint32_t, QColor> cases[] = {
        {0x0000FF, QColor(255, 0, 0)},
        {0x00FF00, QColor(0, 255, 0)},
        {0xFF0000, QColor(0, 0, 255)},
        {0x123456, QColor(0x56, 0x34, 0x12)},
    };
    for (const auto& [stored, color] : cases) {
        EXPECT_EQ(ColorFromStored(stored), color) << stored;
        EXPECT_EQ(StoredFromColor(color), stored) << stored;
    }
}

TEST(WindowSettingDialogTest, FontChoiceIsStoredAsTheSettingsKeepIt) {
    const QStringList families = QFontDatabase::families();
    struct Case {
        const char* family;
        bool bold, italic, underline;
        int charSet;
    };
    const Case cases[] = {
        {"DejaVu Sans Mono", true, true, false, 0},
        {"Noto Sans Mono CJK JP", false, false, true, 128},
    };
    int tried = 0;
    for (const Case& c : cases) {
        if (!families.contains(QString::fromLatin1(c.family))) continue;
        ++tried;
        SCOPED_TRACE(c.family);
        QFont chosen(QString::fromLatin1(c.family));
        chosen.setPixelSize(17);
        chosen.setBold(c.bold);
        chosen.setItalic(c.italic);
        chosen.setUnderline(c.underline);
        LogFont font;
        font.width = 3;
        StoreFontChoice(chosen, font);
        EXPECT_EQ(font.faceName, c.family);
        EXPECT_EQ(font.height, -17);
        EXPECT_EQ(font.weight, c.bold ? 700 : 400);
        EXPECT_EQ(font.italic, c.italic ? 1 : 0);
        EXPECT_EQ(font.underline, c.underline ? 1 : 0);
        EXPECT_EQ(font.pitchAndFamily, 49);
        EXPECT_EQ(font.charSet, c.charSet);
        EXPECT_EQ(font.width, 3);
        // And back: the dialog starts from the same face and size.
        const QFont again = FontForDialog(font);
        EXPECT_EQ(again.family(), QString::fromLatin1(c.family));
        EXPECT_EQ(again.pixelSize(), 17);
        EXPECT_EQ(again.italic(), c.italic);
    }
    if (tried == 0) GTEST_SKIP() << "none of the fonts is installed";
}

TEST(WindowSettingDialogTest, FixedsysFromAnotherMachineOpensOnTheSystemFixedFont) {
    LogFont font;  // "Fixedsys", height 14
    const QFont start = FontForDialog(font);
    if (QFontDatabase::families().contains(QStringLiteral("Fixedsys"))) GTEST_SKIP();
    // The family the system's fixed-pitch font is drawn with (not its alias), as the terminal.
    EXPECT_EQ(start.family(), QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family());
    EXPECT_EQ(start.pixelSize(), 14);
}

TEST(WindowSettingDialogTest, CommandsThroughTheView) {
    testing::GuiFixture f;
    f.frame->show();
    // Settled: the first paint makes the font and widens the window to 80 columns.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
    QTest::qWait(20);
    f.doc.maxRows = 100;
    f.doc.screenBuffer.Fill('x');
    f.view->historyCount = 7;

    // Window setting: only the colours change, the text stays.
    CWhenModal colours("tavrin::CWindowSettingDialog", [](QWidget* modal) {
        CWhenModal red("QColorDialog", [](QWidget* picker) {
            static_cast<QColorDialog*>(picker)->setCurrentColor(QColor(255, 0, 0));
            static_cast<QColorDialog*>(picker)->accept();
        });
        QTest::mouseClick(Child<QPushButton>(modal, "bgColor"), Qt::LeftButton);
        EXPECT_TRUE(red.Ran());
        QTest::mouseClick(Child<QPushButton>(modal, "ok"), Qt::LeftButton);
    });
    f.view->OnCommand(kCmdWindowSetting);
    EXPECT_TRUE(colours.Ran());
    EXPECT_EQ(f.doc.bgColor, 0x0000FFu);
    EXPECT_EQ(f.doc.screenBuffer.Row(0)[0], 'x');
    EXPECT_EQ(f.view->historyCount, 7);

    // A new row count clears the terminal.
    CWhenModal rows("tavrin::CWindowSettingDialog", [](QWidget* modal) {
        QTest::mouseClick(Child<QToolButton>(modal, "rowsUp"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(modal, "ok"), Qt::LeftButton);
    });
    f.view->OnCommand(kCmdWindowSetting);
    EXPECT_TRUE(rows.Ran());
    EXPECT_EQ(f.doc.maxRows, 101);
    EXPECT_EQ(f.doc.screenBuffer.Row(0)[0], ' ');
    EXPECT_EQ(f.view->historyCount, 0);

    // Font: the choice reaches the description and the terminal is measured with it.
    if (!QFontDatabase::families().contains(QStringLiteral("DejaVu Sans Mono"))) return;
    CWhenModal font("QFontDialog", [](QWidget* modal) {
        auto* dialog = qobject_cast<QFontDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->testOption(QFontDialog::MonospacedFonts));
        QFont chosen(QStringLiteral("DejaVu Sans Mono"));
        chosen.setPixelSize(30);
        dialog->setCurrentFont(chosen);
        dialog->accept();
    });
    const int heightBefore = f.doc.charHeight;
    f.view->OnCommand(kCmdFont);
    EXPECT_TRUE(font.Ran());
    EXPECT_EQ(f.view->logFont.faceName, "DejaVu Sans Mono");
    EXPECT_NEAR(f.view->logFont.height, -30, 1);  // the dialog rounds to its point sizes
    EXPECT_GT(f.doc.charHeight, heightBefore);
    EXPECT_GE(f.doc.charHeight, 30);
}

TEST(WindowSettingDialogTest, RestoreFileDialogTakesANewNameButNotAMissingFolder) {
    testing::GuiFixture f;
    const QString folder = f.folder.path();
    FileDialogRequest request;
    request.title = "Load terminal setting.";
    request.filter = kSetupFileFilter;
    request.initialFile = f.app.profilePath;
    request.defaultExtension = kSetupFileExtension;
    request.mustExist = false;

    std::optional<CWhenModal> again;
    CWhenModal first("QFileDialog", [&](QWidget* modal) {
        auto* dialog = static_cast<QFileDialog*>(modal);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Load terminal setting."));
        EXPECT_EQ(dialog->nameFilters(), CQtShell::NameFilters(kSetupFileFilter));
        EXPECT_EQ(dialog->selectedFiles().value(0).toStdString(), f.app.profilePath);
        dialog->selectFile(folder + QStringLiteral("/missing/setup.ini"));
        static_cast<QDialog*>(dialog)->accept();  // the file dialog checks the name on accept
    });
    CWhenModal refused("QMessageBox", [&](QWidget* modal) {
        again.emplace("QFileDialog", [&](QWidget* second) {
            auto* dialog = static_cast<QFileDialog*>(second);
            // What the operator types: the name field has the focus now.
            Child<QLineEdit>(dialog, "fileNameEdit")->setText(folder + QStringLiteral("/new.ini"));
            static_cast<QDialog*>(dialog)->accept();  // the file dialog checks the name on accept
        });
        static_cast<QMessageBox*>(modal)->accept();
    });
    const std::optional<std::string> chosen = f.shell.AskFile(request);
    EXPECT_TRUE(first.Ran());
    EXPECT_TRUE(refused.Ran());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, (folder + QStringLiteral("/new.ini")).toStdString());
}

}  // namespace
}  // namespace tavrin
