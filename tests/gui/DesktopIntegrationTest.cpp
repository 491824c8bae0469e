// The window as part of the desktop: Help > Contents hands the guide of the current language to
// the desktop's browser, and Qt's own texts follow the UI language.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

#include "GuiFixture.h"
#include "WhenModal.h"
#include "app/Menus.h"
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

TEST(DesktopIntegrationTest, HelpContentsOpensTheGuideOfTheCurrentLanguageInTheBrowser) {
    GuiFixture f;
    UrlRecorder browser(QStringLiteral("file"));
    const struct {
        int languageCommand;
        const char* page;
    } cases[] = {
        {kCmdEnglish, "/en/index.html"}, {kCmdJapanese, "/ja/index.html"}, {kCmdEnglish, "/en/index.html"}};
    f.view->SetLanguageAndMenus(1);
    for (const auto& c : cases) {
        ChooseMenuItem(f, c.languageCommand);
        browser.opened.clear();
        ChooseMenuItem(f, kCmdHelpContents);
        ASSERT_EQ(browser.opened.size(), 1) << c.page;
        const QUrl url = browser.opened.front();
        EXPECT_TRUE(url.isLocalFile());
        EXPECT_TRUE(url.toLocalFile().endsWith(QLatin1String(c.page))) << url.toString().toStdString();
        EXPECT_FALSE(url.toLocalFile().endsWith(QLatin1String(".chm")));
#ifdef TAVRIN_GUIDE_BUILT
        // The guide built in this tree is the one found, and it is a page of that language.
        EXPECT_TRUE(QFileInfo(url.toLocalFile()).isReadable()) << url.toLocalFile().toStdString();
#endif
    }
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
