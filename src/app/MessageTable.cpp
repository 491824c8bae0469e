#include "app/MessageTable.h"

#include "app/Cp932.h"
#include "app/Language.h"

namespace tavrin {
namespace {

// The order is the lookup order; the end row (code 0) stops the search.
constexpr std::array<MessageEntry, kMessageRows + 1> kMessages = {{
    {10, "Orvenda ロボットターミナル Tavrin", "Orvenda Robot Terminal Tavrin"},
    {70, "- [ﾛｷﾞﾝｸﾞ中]", "- [Logging Now]"},
    {20, "ログファイルを開く", "Open logging file."},
    {21, "ターミナル設定ファイルを開く", "Load terminal setting."},
    {22, "ターミナル設定をファイルに保存", "Terminal setting to save."},
    {30, "Tavrinを終了してよろしいですか？", "OK to close window."},
    {80, "操作または表示の途中です。強制終了しますか？", "Now opreating. Abort ?"},
    {40, "なし", "none"},
    {50, "奇数", "odd"},
    {60, "偶数", "even"},
    {-20, "ファイルをオープン出来ませんでした。", "Failed to open file."},
    {-10, "指定されたポートをオープン出来ません。\n\r", "COM device open error.\n\r"},
    {-1052, "指定ファイルがディスク上にありません。\n\r", "File does not exist in floppy.\n\r"},
    {-1028, "装置が準備出来ていないか，又はディスクがフォーマットされていません。\n\r",
     "Device is not ready or Wrong disk is loaded.\n\r"},
    {-1070, "ディスクが書き込み禁止になっています。\n\r", "Disk is write-protected.\n\r"},
    {-1072, "ディスクに空き領域がありません。\n\r", "Disk full.\n\r"},
    {-1800, "オープンしているファイル数が多すぎます。\n\r", "Too many open files.\n\r"},
    {-1802, "ハードウェアエラー\n\r", "Hard ware error.\n\r"},
    {-1804, "不正なファイルハンドルが使用されました。\n\r",
     "There was an attempt to use an invalid file handle.\n\r"},
    {-100, "データ通信エラー検出(リモートターミナル側)\n\r", "Communication error(remorte terminal).\n\r"},
    {-110, "\n\rファイルマネージャまたはエクスプローラで操作して下さい。",
     "\n\rPlease operate file-maneger or explorer."},
    {-200, "ターミナルタイプ(Telnet Option)の送信に失敗しました。",
     "Failed to transmit Terminal type(Telnet Option)."},
    {-210, "接続先のＩＰアドレスを設定して下さい。", "IP address not defined."},
    {-220, "接続するポート番号を設定して下さい。", "Port number not defined."},
    {-230, "ソケットの生成に失敗しました。", "Failed to create a socket."},
    {-240, "通信接続に失敗しました。再試行しますか？", "Connection failed. Retry ?"},
    {-250, "ターミナルタイプ(Telnet Option)設定要求の送信に失敗しました。",
     "Failed to transmit Terminal type(Telnet Option) setting request."},
    {-260, "送信ファイルを開く", "Open file which it transmits ."},
    {-270, "再接続中です …", "Reconnecting  ..."},
    {kControllerClosedCode, "コントローラが接続を切断しました。\n\r",
     "The controller closed the connection.\n\r"},
    {-9999, "未定義エラー\n\r", "Undefined Message.\n\r"},
    {0, "", ""},
}};

constexpr std::array<ToolbarTip, kToolbarTips> kTips = {{
    {32776, "Open Log File", "ログファイルを開く"},
    {32777, "Close Log File", "ログファイルを閉じる"},
    {57634, "Copy", "コピー"},
    {57637, "Paste", "貼り付け"},
    {32821, "Send File", "ファイル送信"},
    {57601, "Macro", "マクロ"},
    {32785, "Dialog", "ダイアログを開く"},
    {32795, "Connect by List", "選択接続"},
    {32868, "Disconnect and Reconnect", "切断して再接続"},
    {32774, "Disconnect", "切断"},
    {32794, "Options", "接続設定"},
    {32781, "Help", "ヘルプ"},
}};

const char* TextOf(const MessageEntry& entry) {
    return CurrentLanguage() == 0 ? entry.japaneseText : entry.englishText;
}

// The row of `code`, or nullptr when the table has none (the end row is never a match).
const MessageEntry* FindMessage(int code) {
    for (const MessageEntry& entry : kMessages) {
        if (entry.code == 0) break;
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

}  // namespace

std::span<const MessageEntry, kMessageRows + 1> GetMessageTable() {
    return kMessages;
}

std::string GetMessageText(int code) {
    if (code >= kProtocolCodeFirst && code <= kProtocolCodeLast) {
        // Each call builds its own text, so a later lookup cannot overwrite an earlier result.
        return "(" + std::to_string(code) + ")" + GetMessageText(kRemoteErrorCode);
    }
    const MessageEntry* entry = FindMessage(code);
    if (entry == nullptr) entry = FindMessage(kUndefinedMessageCode);
    return TextOf(*entry);
}

std::string GetMessageTextCp932(int code) {
    return Utf8ToCp932(GetMessageText(code));
}

const std::array<ToolbarTip, kToolbarTips>& GetToolbarTips() {
    return kTips;
}

std::string GetToolbarTip(int command) {
    for (const ToolbarTip& tip : kTips) {
        if (tip.command == command) return CurrentLanguage() == 0 ? tip.japaneseTip : tip.englishTip;
    }
    return {};
}

std::string LocalizedCp932(const char* english, const char* japaneseUtf8) {
    return CurrentLanguage() == 1 ? std::string(english) : Utf8ToCp932(japaneseUtf8);
}

std::string LocalizedUtf8(const char* english, const char* japaneseUtf8) {
    return CurrentLanguage() == 1 ? english : japaneseUtf8;
}

}  // namespace tavrin
