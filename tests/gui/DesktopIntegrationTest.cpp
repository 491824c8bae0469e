// The window as part of the desktop: Help > Contents shows the guide of the current language in
// the program's own help window (the desktop's browser on request), and Qt's own texts and
// locale follow the UI language.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>

#include "GuiFixture.h"
#include "WhenModal.h"
#include "app/Menus.h"
#include "gui/HelpWindow.h"
#include "gui/MenuBuilder.h"
#include "gui/QtTranslations.h"

namespace tavrin {
namespace {

using testing::FindAction;
using testing::GuiFixture;

// Stands in for the desktop's browser: records the URLs QDesktopServices would open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme_, this, "Open");
    }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(scheme_); }
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened << url; }

private:
    QString scheme_;
};

void ChooseMenuItem(GuiFixture& f, int id) {
    QAction* action = FindAction(f.frame->menuBar()->actions(), id);
    ASSERT_NE(action, nullptr) << id;
    action->trigger();
}

CHelpWindow* HelpWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* help = qobject_cast<CHelpWindow*>(widget); help && help->isVisible()) return help;
    return nullptr;
}

// Help > Contents shows the guide of the current language in the program's own window, with its
// texts in that language; no browser is needed, the window's button hands the page to one.
TEST(DesktopIntegrationTest, HelpContentsShowsTheGuideOfTheCurrentLanguageInItsOwnWindow) {
    GuiFixture f;
    UrlRecorder browser(QStringLiteral("file"));
    const struct {
        int languageCommand;
        const char* page;
        const char* title;
        const char* button;
    } cases[] = {{kCmdEnglish, "/en/index.html", "Tavrin Help", "Open in browser"},
                 {kCmdJapanese, "/ja/index.html", "Tavrin ヘルプ", "ブラウザで開く"},
                 {kCmdEnglish, "/en/index.html", "Tavrin Help", "Open in browser"}};
    f.view->SetLanguageAndMenus(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        ChooseMenuItem(f, c.languageCommand);
        browser.opened.clear();
        ChooseMenuItem(f, kCmdHelpContents);
        CHelpWindow* help = HelpWindow();
        ASSERT_NE(help, nullptr);
        EXPECT_TRUE(browser.opened.isEmpty());
        const QUrl shown = help->Browser()->source();
        EXPECT_TRUE(shown.toLocalFile().endsWith(QLatin1String(c.page))) << shown.toString().toStdString();
        EXPECT_EQ(help->windowTitle(), QString::fromUtf8(c.title));
        auto* open = help->findChild<QPushButton*>("helpOpenInBrowser");
        ASSERT_NE(open, nullptr);
        EXPECT_EQ(open->text(), QString::fromUtf8(c.button));
        open->click();
        ASSERT_EQ(browser.opened.size(), 1);
        EXPECT_EQ(browser.opened.front(), shown);
#ifdef TAVRIN_GUIDE_BUILT
        // The guide built in this tree, with its pictures.
        EXPECT_TRUE(QFileInfo(shown.toLocalFile()).isReadable()) << shown.toLocalFile().toStdString();
        const QVariant picture = help->Browser()->loadResource(
            QTextDocument::ImageResource, QUrl(QStringLiteral("../../screenshots/tavrin-demo-session.png")));
        EXPECT_FALSE(picture.isNull()) << "the pictures are not found from the page";
#endif
        help->close();
    }
}

#ifdef TAVRIN_GUIDE_BUILT
// The search field finds words of the guide, from the top again after the last, and says when a
// word is nowhere.
TEST(DesktopIntegrationTest, HelpWindowSearchesTheGuide) {
    GuiFixture f;
    f.view->SetLanguageAndMenus(1);
    ChooseMenuItem(f, kCmdHelpContents);
    CHelpWindow* help = HelpWindow();
    ASSERT_NE(help, nullptr);
    help->SearchField()->setText(QStringLiteral("macro"));
    EXPECT_TRUE(help->FindText());
    const int first = help->Browser()->textCursor().position();
    for (int i = 0; i < 400 && help->Browser()->textCursor().position() >= first; ++i)
        ASSERT_TRUE(help->FindText());  // onwards, then round to the first again
    EXPECT_TRUE(help->FindText(true));
    help->SearchField()->setText(QStringLiteral("xyzzy-not-in-the-guide"));
    EXPECT_FALSE(help->FindText());
    EXPECT_EQ(help->StatusLabel()->text(), QStringLiteral("Not found"));
    help->close();
}
#endif

// A guide that is not installed is said so in the window, naming where it was looked for.
TEST(DesktopIntegrationTest, HelpWindowSaysWhenTheGuideIsMissing) {
    GuiFixture f;
    EXPECT_FALSE(f.shell.OpenDocument("/nonexistent/tavrin/guide/en/index.html"));
    CHelpWindow* help = HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QStringLiteral("/nonexistent/tavrin/guide")));
    help->close();
}

// Qt's locale follows the language: dates and numbers Qt formats come out Japanese in Japanese
// mode.
TEST(DesktopIntegrationTest, QtLocaleFollowsTheLanguage) {
    GuiFixture f;
    f.view->SetLanguageAndMenus(1);
    ChooseMenuItem(f, kCmdJapanese);
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    EXPECT_TRUE(QLocale().toString(QDate(2026, 12, 9), QLocale::LongFormat).contains(QStringLiteral("月")));
    ChooseMenuItem(f, kCmdEnglish);
    EXPECT_EQ(QLocale().language(), QLocale::English);
}

// The texts of the buttons of the next Yes/No box, which is then answered No.
QStringList YesNoButtonTexts(CQtShell& shell) {
    QStringList texts;
    CWhenModal answer("QMessageBox", [&texts](QWidget* widget) {
        auto* box = static_cast<QMessageBox*>(widget);
        texts << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
        box->button(QMessageBox::No)->click();
    });
    const BoxAnswer reply = shell.MessageBox("OK to close window.", BoxButtons::YesNo, BoxIcon::Question);
    EXPECT_TRUE(answer.Ran());
    EXPECT_EQ(reply, BoxAnswer::No);
    return texts;
}

TEST(DesktopIntegrationTest, QtStandardButtonsFollowTheLanguageSwitchedAtRunTime) {
    GuiFixture f;
    f.view->SetLanguageAndMenus(1);
    EXPECT_EQ(YesNoButtonTexts(f.shell), (QStringList{"&Yes", "&No"}));

    ChooseMenuItem(f, kCmdJapanese);
    const QStringList japanese = YesNoButtonTexts(f.shell);
    ASSERT_EQ(japanese.size(), 2);
    EXPECT_TRUE(japanese[0].startsWith(QStringLiteral("はい"))) << japanese[0].toStdString();
    EXPECT_TRUE(japanese[1].startsWith(QStringLiteral("いいえ"))) << japanese[1].toStdString();

    ChooseMenuItem(f, kCmdEnglish);
    EXPECT_EQ(YesNoButtonTexts(f.shell), (QStringList{"&Yes", "&No"}));
}

// The texts of the buttons of the next file dialog, which is then cancelled.
QStringList FileDialogButtonTexts(CQtShell& shell) {
    QStringList texts;
    CWhenModal cancel("QFileDialog", [&texts](QWidget* dialog) {
        for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>())
            for (QAbstractButton* button : box->buttons()) texts << button->text();
        static_cast<QDialog*>(dialog)->reject();
    });
    EXPECT_EQ(shell.AskOpenFile("Macro", "Macro Files (*.uas)|*.uas||", ""), std::nullopt);
    EXPECT_TRUE(cancel.Ran());
    return texts;
}

TEST(DesktopIntegrationTest, QtFileDialogFollowsTheLanguage) {
    GuiFixture f;
    f.view->SetLanguageAndMenus(1);
    EXPECT_TRUE(FileDialogButtonTexts(f.shell).contains(QStringLiteral("Cancel")));
    ChooseMenuItem(f, kCmdJapanese);
    const QStringList japanese = FileDialogButtonTexts(f.shell);
    EXPECT_TRUE(japanese.contains(QStringLiteral("キャンセル"))) << japanese.join(',').toStdString();
    EXPECT_FALSE(japanese.contains(QStringLiteral("Cancel")));
    ChooseMenuItem(f, kCmdEnglish);
}

TEST(DesktopIntegrationTest, QtCatalogueLoadsForJapaneseOnly) {
    EXPECT_TRUE(ApplyQtLanguage(0)) << "qtbase_ja missing: install qt6-translations-l10n";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    EXPECT_TRUE(ApplyQtLanguage(1));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

}  // namespace
}  // namespace tavrin

#include "DesktopIntegrationTest.moc"
