#pragma once
#include <string>

#include "platform/Status.h"

namespace tavrin {

struct OwnFileCheck;

// The reason of a failed Status in the current language (UTF-8). English: the system's text.
// Japanese: our text for the common causes, with the system's text after it in parentheses,
// so that the cause can still be looked up; the system's text alone for the others.
std::string StatusReason(const Status& status);

// "<subject>: <reason>." in the current language (UTF-8); "<reason>." without a subject; empty
// for success.
std::string StatusDetail(const Status& status);

// text, then a line with StatusDetail(status) (text alone for success). UTF-8, for a message
// box, whose existing first line (a message-table text) is kept as it was.
std::string WithStatus(const std::string& text, const Status& status);

// A file refused or not opened by OpenOwnFile as a Status: the errno where the system gave one,
// else the refusal's own reason in the current language.
Status OwnFileStatus(const std::string& path, const OwnFileCheck& check);

// english + subject + ": " + reason + "." in the current language (japaneseUtf8 in Japanese),
// as one line for the terminal: CP932, between "\n\r" line ends. The subject is taken as
// CP932 already (a transfer path read from the screen).
std::string StatusLineCp932(const char* english, const char* japaneseUtf8, const Status& status);

}  // namespace tavrin
