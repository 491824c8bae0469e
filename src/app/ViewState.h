#pragma once
#include <cstdint>
#include <string>

namespace tavrin {

// The terminal font description, as stored in the "Font" section.
struct LogFont {
    int height = 14;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 0;
    int italic = 0;
    int underline = 0;
    int strikeOut = 0;
    int charSet = 128;  // Shift-JIS
    int outPrecision = 0;
    int clipPrecision = 0;
    int quality = 0;
    int pitchAndFamily = 0x31;          // fixed pitch, modern family
    std::string faceName = "Fixedsys";  // at most 31 characters
};

// The terminal view's working state that the core subsystems share: scroll position into the
// history, the host-editor link fields and the start-up macro flags.
// CPelinView adds the behaviour.
struct ViewState {
    int keysEnabled = 1;   // typed characters are sent only while set; macros clear it
    int historyCount = 0;  // history line mirroring the current line
    int historyView = 0;   // 1 while the user scrolls back

    // Scroll bars of the display model.
    int vScrollMax = 0;
    int vScrollPos = 0;
    int hScrollMax = 79;
    int hScrollPos = 0;

    std::string startupFolder;  // at most 259 characters
    LogFont logFont;

    // Host editor link.
    intptr_t hostWindow = 0;
    intptr_t mainWindowHandle = 0;
    int terminalNumber = 0;
    int hostBusy = 0;
    int saveForEditorPending = 0;
    int hostTypedPending = 0;
    std::string hostProgramName;  // program of the save for the editor (copy-data kind 1)
    std::string editorTempFile;   // the file saved for the editor, told to the host when complete
    std::string hostDeleteFile;   // deleted when the host's typed command has transferred

    int autoexecRequested = 0;
    int autoexecDone = 0;
};

}  // namespace tavrin
