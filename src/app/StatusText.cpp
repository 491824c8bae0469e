#include "app/StatusText.h"

#include <cerrno>

#include "app/Cp932.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "app/OwnFile.h"

namespace tavrin {

namespace {

// Japanese texts of the causes a user meets with files, devices and connections.
const char* JapaneseReason(int error) {
    switch (error) {
        case Status::kNameUnknown: return "ホスト名が見つかりません";
        case EACCES: return "アクセス権がありません";
        case EPERM: return "操作が許可されていません";
        case ENOENT: return "ファイルまたはフォルダがありません";
        case ENOTDIR: return "フォルダではありません";
        case EISDIR: return "フォルダです";
        case EEXIST: return "既にあります";
        case EROFS: return "読み出し専用のファイルシステムです";
        case ENOSPC: return "ディスクの空きがありません";
#if defined(EDQUOT) && EDQUOT != ENOSPC
        case EDQUOT: return "ディスク使用量の上限を超えました";
#endif
        case EIO: return "入出力エラーです";
        case EBUSY: return "使用中です";
        case ECONNREFUSED: return "接続を拒否されました";
        case EHOSTUNREACH: return "ホストへの経路がありません";
        case ENETUNREACH: return "ネットワークに到達できません";
        case ETIMEDOUT: return "時間切れです";
        default: return nullptr;
    }
}

}  // namespace

std::string StatusReason(const Status& status) {
    if (CurrentLanguage() == 1) return status.reason;
    const char* japanese = JapaneseReason(status.error);
    if (japanese == nullptr) return status.reason;
    return status.reason.empty() ? std::string(japanese) : std::string(japanese) + " (" + status.reason + ")";
}

std::string StatusDetail(const Status& status) {
    if (status.Ok()) return {};
    const std::string reason = StatusReason(status);
    const char* stop = CurrentLanguage() == 1 ? "." : "。";
    if (status.subject.empty()) return reason + stop;
    return status.subject + ": " + reason + stop;
}

std::string WithStatus(const std::string& text, const Status& status) {
    if (status.Ok()) return text;
    return text + "\n" + StatusDetail(status);
}

Status OwnFileStatus(const std::string& path, const OwnFileCheck& check) {
    if (check.fault == OwnFileFault::kUnreadable || check.fault == OwnFileFault::kMissing)
        return Status::FromErrno("open", path, check.error != 0 ? check.error : ENOENT);
    Status status;
    if (check.Usable()) return status;
    status.what = "open";
    status.subject = path;
    status.reason = check.Reason(CurrentLanguage());
    return status;
}

std::string StatusLineCp932(const char* english, const char* japaneseUtf8, const Status& status) {
    // The subject is kept as it is: a transfer path comes from the terminal's screen, in CP932.
    std::string line = "\n\r" + LocalizedCp932(english, japaneseUtf8);
    if (!status.subject.empty()) line += status.subject + ": ";
    return line + Utf8ToCp932(StatusReason(status) + (CurrentLanguage() == 1 ? "." : "。")) + "\n\r";
}

}  // namespace tavrin
