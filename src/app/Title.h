#pragma once
#include <optional>
#include <string>

#include "app/PelinDoc.h"

namespace tavrin {

inline constexpr size_t kTitleFolderMax = 255;  // bytes of the working folder shown
inline constexpr const char* kProgramName = "Tavrin";

// The document title in the current language: the program's title text, the connection while
// connected (" - [address:name]" over TCP/IP, " - [COMn]" serial), the working folder
// (" - [folder]", or " - [..?..]" when it cannot be obtained) and the logging mark while a log
// file is open. Texts are UTF-8.
std::string ComposeDocumentTitle(const CPelinDoc& doc, const std::optional<std::string>& workingFolder,
                                 bool logOpen);

// What the frame shows for a document title: the title, " - " and the program name.
std::string FrameTitle(const std::string& documentTitle);

// The frame text of a terminal that a host editor has numbered: "Tavrin #07 - [COM3]",
// "Tavrin #07 - [192.168.0.2 23]" while connected, "Tavrin #07" otherwise.
std::string NumberedTitle(int terminalNumber, const CPelinDoc& doc);

// The title last set and the first-title rule: the very first title is the program's title text
// alone; from then on the composed title, set only when it differs from the last one.
class CTitle {
public:
    // The frame text to set now, or nothing when the title stays as it is.
    std::optional<std::string> Update(const std::string& documentTitle);
    const std::string& LastTitle() const { return lastTitle_; }
    bool NeverSet() const { return titleNeverSet_; }

private:
    bool titleNeverSet_ = true;
    std::string lastTitle_;
};

}  // namespace tavrin
