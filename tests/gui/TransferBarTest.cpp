#include <gtest/gtest.h>

#include <QPushButton>
#include <QtTest/QTest>

#include "app/Language.h"
#include "gui/QtTranslations.h"
#include "gui/TransferBar.h"

namespace tavrin {
namespace {

// The bar's Cancel button reaches the transfer's cancel, and its text follows the language (the
// program's own catalogue, installed with the language as the menus are rebuilt).
TEST(TransferBarTest, CancelButtonCancelsInTheCurrentLanguage) {
    const int savedLanguage = CurrentLanguage();
    int cancels = 0;
    CTransferBar bar([&cancels] { ++cancels; });
    bar.resize(600, 30);
    for (const int lang : {1, 0}) {
        SetCurrentLanguage(lang);
        ApplyQtLanguage(lang);
        bar.ShowProgress(QStringLiteral("Saving pick.as: 2.0 KB, 0:02"), -1);
        bar.show();
        auto* cancel = bar.findChild<QPushButton*>(QStringLiteral("transferCancel"));
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(cancel->text(), lang == 1 ? QStringLiteral("Cancel") : QStringLiteral("キャンセル"));
        QTest::mouseClick(cancel, Qt::LeftButton);
    }
    EXPECT_EQ(cancels, 2);
    EXPECT_EQ(bar.Text(), QStringLiteral("Saving pick.as: 2.0 KB, 0:02"));
    SetCurrentLanguage(savedLanguage);
    ApplyQtLanguage(CurrentLanguage());
}

}  // namespace
}  // namespace tavrin
