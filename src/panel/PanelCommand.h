#pragma once
#include <cstdint>
#include <string>

namespace tavrin {

// What one command text of a button asks for.
enum class PanelCommandKind {
    End,            // the empty text after the last command
    Macro,          // "MACRO file": run the macro file and wait until it ends
    MessageBox,     // "MESSAGEBOX text": a box with OK
    MessageCancel,  // "MESSAGECANCEL text": a box with OK and Cancel; Cancel stops the button
    Sleep,          // "SLEEP n": wait n seconds
    Line,           // anything else: sent to the controller as a command line
};

struct PanelCommand {
    PanelCommandKind kind = PanelCommandKind::End;
    std::string text;             // the whole command, upper-cased (CP932)
    std::string argument;         // after the word and its blank, leading white space removed
    std::string writtenArgument;  // the same as written, before upper-casing (a file name)
};

// Upper-cases the ASCII letters of CP932 text; the second byte of a two-byte character is left
// alone (it may fall in the range of the lower-case letters).
std::string UpperCp932(const std::string& cp932);

// The command of a button's text: upper-cased as a whole, then the words MACRO, MESSAGEBOX,
// MESSAGECANCEL and SLEEP in that order, each with its one blank, at the very start of the text.
PanelCommand ParsePanelCommand(const std::string& cp932);

// The leading decimal number of a text (a SLEEP argument, the page count): optional white
// space, a sign, digits; a text that starts with no number gives 0. Clamped to the 32-bit range.
int64_t ParseDecimal(const std::string& text);

}  // namespace tavrin
