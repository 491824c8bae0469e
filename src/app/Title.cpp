#include "app/Title.h"

#include <cstdio>

#include "app/MessageTable.h"

namespace tavrin {

namespace {

constexpr int kTitleMessage = 10;
constexpr int kLoggingMessage = 70;

// Cut UTF-8 text to at most max bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string Bracketed(const std::string& inner) {
    return " - [" + inner + "]";
}

}  // namespace

std::string ComposeDocumentTitle(const CPelinDoc& doc, const std::optional<std::string>& workingFolder,
                                 bool logOpen) {
    std::string title = GetMessageText(kTitleMessage);
    if (doc.connected == 1)
        title += doc.isTcp ? Bracketed(doc.ipAddress + ":" + doc.tcpName) : Bracketed(doc.comPort);
    title += Bracketed(workingFolder ? CutUtf8(*workingFolder, kTitleFolderMax) : std::string("..?.."));
    // The logging mark begins with "-" and no blank: it follows the bracket directly.
    if (logOpen) title += GetMessageText(kLoggingMessage);
    return title;
}

std::string FrameTitle(const std::string& documentTitle) {
    return documentTitle + " - " + kProgramName;
}

std::string NumberedTitle(int terminalNumber, const CPelinDoc& doc) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", terminalNumber);
    std::string text = std::string(kProgramName) + " #" + number;
    if (doc.connected) text += Bracketed(doc.isTcp ? doc.ipAddress + " " + doc.telnetPort : doc.comPort);
    return text;
}

std::optional<std::string> CTitle::Update(const std::string& documentTitle) {
    if (titleNeverSet_) {
        titleNeverSet_ = false;
        lastTitle_ = GetMessageText(kTitleMessage);
        return FrameTitle(lastTitle_);
    }
    if (documentTitle == lastTitle_) return std::nullopt;
    lastTitle_ = documentTitle;
    return FrameTitle(lastTitle_);
}

}  // namespace tavrin
