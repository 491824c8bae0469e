// How a failure is told: the thing that failed and the system's reason, in either language.
#include <gtest/gtest.h>

#include <cerrno>

#include "LanguageGuard.h"
#include "app/Cp932.h"
#include "app/StatusText.h"

namespace tavrin {
namespace {

using testing::CLanguageGuard;

TEST(StatusTextTest, AFailureNamesItsSubjectAndReasonInEitherLanguage) {
    struct Case {
        int language;
        Status status;
        const char* detail;
    };
    const Case cases[] = {
        {1, Status::FromErrno("create", "/home/op/locked/pick.as", EACCES),
         "/home/op/locked/pick.as: Permission denied."},
        {0, Status::FromErrno("create", "/home/op/locked/pick.as", EACCES),
         "/home/op/locked/pick.as: アクセス権がありません (Permission denied)。"},
        {1, Status::FromErrno("connect", "10.0.0.5:23", ECONNREFUSED), "10.0.0.5:23: Connection refused."},
        {0, Status{"connect", "cell:23", Status::kNameUnknown, "Name or service not known"},
         "cell:23: ホスト名が見つかりません (Name or service not known)。"},
        // A cause without a Japanese text of ours keeps the system's.
        {0, Status::FromErrno("write", "/dev/ttyS0", EPROTO), "/dev/ttyS0: Protocol error。"},
        {1, Status::FromErrno("write", "", ENOSPC), "No space left on device."},
        {1, Status::FromErrno("write", "/x", 0), ""},
    };
    for (const Case& c : cases) {
        CLanguageGuard chosen(c.language);
        EXPECT_EQ(StatusDetail(c.status), c.detail);
        const std::string boxed = WithStatus("Failed to open file.", c.status);
        EXPECT_EQ(boxed,
                  *c.detail ? std::string("Failed to open file.\n") + c.detail : "Failed to open file.");
    }
    CLanguageGuard japanese(0);
    EXPECT_EQ(
        StatusLineCp932("The save could not write ", "保存できませんでした。書き込めないファイル: ",
                        Status::FromErrno("create", "/w/pick.as", EACCES)),
        "\n\r" +
            Utf8ToCp932("保存できませんでした。書き込めないファイル: /w/pick.as: アクセス権がありません "
                        "(Permission denied)。") +
            "\n\r");
}

}  // namespace
}  // namespace tavrin
