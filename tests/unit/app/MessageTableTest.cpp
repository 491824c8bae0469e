#include "app/MessageTable.h"

#include <gtest/gtest.h>

#include <set>

#include "LanguageGuard.h"
#include "app/Cp932.h"

namespace tavrin {
namespace {

using testing::CLanguageGuard;

constexpr const char* kRemoteEnglish = "Communication error(remorte terminal).\n\r";
constexpr const char* kRemoteJapanese = "データ通信エラー検出(リモートターミナル側)\n\r";
constexpr const char* kUndefinedEnglish = "Undefined Message.\n\r";
constexpr const char* kUndefinedJapanese = "未定義エラー\n\r";

TEST(MessageTableTest, LooksUpCodesInBothLanguages) {
    struct Case {
        int code;
        std::string english;
        std::string japanese;
    };
    const Case cases[] = {
        {-510, std::string("(-510)") + kRemoteEnglish, std::string("(-510)") + kRemoteJapanese},
        {-500, std::string("(-500)") + kRemoteEnglish, std::string("(-500)") + kRemoteJapanese},
        {-599, std::string("(-599)") + kRemoteEnglish, std::string("(-599)") + kRemoteJapanese},
        {-499, kUndefinedEnglish, kUndefinedJapanese},
        {-600, kUndefinedEnglish, kUndefinedJapanese},
        {0, kUndefinedEnglish, kUndefinedJapanese},
        {12345, kUndefinedEnglish, kUndefinedJapanese},
        {-9999, kUndefinedEnglish, kUndefinedJapanese},
        {-100, kRemoteEnglish, kRemoteJapanese},
        {-270, "Reconnecting  ...", "再接続中です …"},
        {-110, "\n\rPlease operate file-maneger or explorer.",
         "\n\rファイルマネージャまたはエクスプローラで操作して下さい。"},
        {10, "Orvenda Robot Terminal Tavrin", "Orvenda ロボットターミナル Tavrin"},
        {70, "- [Logging Now]", "- [ﾛｷﾞﾝｸﾞ中]"},
        {-1198, "The controller closed the connection.\n\r", "コントローラが接続を切断しました。\n\r"},
    };
    for (const Case& c : cases) {
        {
            CLanguageGuard english(1);
            EXPECT_EQ(GetMessageText(c.code), c.english) << c.code;
        }
        {
            CLanguageGuard japanese(0);
            EXPECT_EQ(GetMessageText(c.code), c.japanese) << c.code;
        }
    }
}

TEST(MessageTableTest, TableIsWellFormed) {
    auto table = GetMessageTable();
    EXPECT_EQ(table.back().code, 0);
    std::set<int> codes;
    for (size_t i = 0; i + 1 < table.size(); ++i) {
        const MessageEntry& row = table[i];
        EXPECT_NE(row.code, 0) << "end row before the end at " << i;
        EXPECT_TRUE(codes.insert(row.code).second) << "duplicate code " << row.code;
        EXPECT_STRNE(row.englishText, "") << row.code;
        EXPECT_STRNE(row.japaneseText, "") << row.code;
        // Every Japanese text must survive the trip to the terminal's code page.
        std::string cp932 = Utf8ToCp932(row.japaneseText);
        EXPECT_EQ(Cp932ToUtf8(cp932), row.japaneseText) << row.code;
    }
}

TEST(MessageTableTest, Cp932TextIsReadyForTheTerminal) {
    CLanguageGuard japanese(0);
    EXPECT_EQ(GetMessageTextCp932(-1072), Utf8ToCp932("ディスクに空き領域がありません。\n\r"));
    EXPECT_EQ(GetMessageTextCp932(-1802),
              "\x83\x6E\x81\x5B\x83\x68\x83\x45\x83\x46\x83\x41\x83\x47\x83\x89\x81\x5B\n\r");
}

TEST(MessageTableTest, ToolbarTipsInToolbarOrder) {
    const int order[] = {32776, 32777, 57634, 57637, 32821, 57601, 32785, 32795, 32868, 32774, 32794, 32781};
    const auto& tips = GetToolbarTips();
    ASSERT_EQ(tips.size(), std::size(order));
    for (size_t i = 0; i < tips.size(); ++i) EXPECT_EQ(tips[i].command, order[i]) << i;
    {
        CLanguageGuard english(1);
        EXPECT_EQ(GetToolbarTip(32868), "Disconnect and Reconnect");
        EXPECT_EQ(GetToolbarTip(12), "");
    }
    CLanguageGuard japanese(0);
    EXPECT_EQ(GetToolbarTip(32785), "ダイアログを開く");
}

}  // namespace
}  // namespace tavrin
