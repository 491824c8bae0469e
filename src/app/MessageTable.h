#pragma once
#include <array>
#include <cstddef>
#include <span>
#include <string>

namespace tavrin {

// One row of the bilingual message table. Texts are UTF-8; convert with Utf8ToCp932 (or use
// GetMessageTextCp932) before printing into the terminal.
struct MessageEntry {
    int code;
    const char* japaneseText;
    const char* englishText;
};

inline constexpr int kUndefinedMessageCode = -9999;
inline constexpr int kRemoteErrorCode = -100;        // its text stands for every protocol code
inline constexpr int kProtocolCodeFirst = -599;      // protocol codes -599 ... -500 print as
inline constexpr int kProtocolCodeLast = -500;       // "(code)" and the text of -100
inline constexpr int kControllerClosedCode = -1198;  // second line when the TCP/IP peer closes
inline constexpr size_t kMessageRows = 31;           // rows before the end row (code 0)

// The table in lookup order, followed by its end row whose code is 0.
std::span<const MessageEntry, kMessageRows + 1> GetMessageTable();

// The text of `code` in the current language (CurrentLanguage(): 1 English, 0 Japanese).
// Codes -599 ... -500 give "(code)" followed by the text of -100; any code not in the table,
// 0 included, gives the text of -9999. Never empty.
std::string GetMessageText(int code);

// The same text in CP932, ready for the terminal.
std::string GetMessageTextCp932(int code);

// One of our own texts without a code, in the current language, in CP932 for the terminal.
std::string LocalizedCp932(const char* english, const char* japaneseUtf8);
// The same in UTF-8, for message boxes.
std::string LocalizedUtf8(const char* english, const char* japaneseUtf8);

// Toolbar tips, in toolbar order.
struct ToolbarTip {
    int command;
    const char* englishTip;
    const char* japaneseTip;
};

inline constexpr size_t kToolbarTips = 12;

const std::array<ToolbarTip, kToolbarTips>& GetToolbarTips();

// The tip of `command` in the current language; empty when the command has no tip.
std::string GetToolbarTip(int command);

}  // namespace tavrin
