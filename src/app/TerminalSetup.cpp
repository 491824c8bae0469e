#include "app/TerminalSetup.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/IniFile.h"
#include "app/Language.h"
#include "app/MessageTable.h"
#include "app/OwnFile.h"
#include "app/Settings.h"
#include "app/StatusText.h"
#include "app/TermSettings.h"

namespace tavrin {
namespace {

constexpr uint8_t kLineFeed = 10;
constexpr int kHorizontalScrollMax = kColumns - 1;

// The up-down control's acceleration: after each number of seconds held, its step.
struct Acceleration {
    int afterMs;
    int step;
};
constexpr std::array<Acceleration, 4> kRowsAcceleration{{{0, 1}, {1000, 10}, {2000, 100}, {3000, 1000}}};

// The working folder again; the file dialog may have moved it. Nothing happens when it cannot.
void ReturnToFolder(const std::string& folder) {
    if (folder.empty()) return;
    (void)ChangeFolder(folder);
}

}  // namespace

CWindowSetting::CWindowSetting(int maxRows, uint32_t bg, uint32_t text)
    : bgColor(bg & kColorMask), textColor(text & kColorMask), rows_(kWindowRowsMin) {
    SetRows(maxRows);
}

void CWindowSetting::SetRows(int rows) {
    rows_ = std::clamp(rows, kWindowRowsMin, kWindowRowsMax);
}

int CWindowSetting::StepSize(int heldMs) {
    int step = kRowsAcceleration[0].step;
    for (const Acceleration& a : kRowsAcceleration) {
        if (heldMs >= a.afterMs) step = a.step;
    }
    return step;
}

void CWindowSetting::StepRows(int direction, int heldMs) {
    if (direction == 0) return;
    const int step = StepSize(heldMs);
    // Within the int range: rows_ is at most 200 and the step at most 1000.
    SetRows(direction > 0 ? rows_ + step : rows_ - step);
}

void ClearTerminal(CPelinDoc& doc, ViewState& view) {
    doc.screenBuffer.Fill(' ');
    doc.historyBuffer.Fill(' ');
    doc.lineWorkArea.fill(0);
    view.historyView = 1;
    view.historyCount = 0;
    doc.horizontalOffset = 0;
    doc.visibleRows = 0;
    doc.cursorColumn = 0;
    doc.cursorRow = 0;
    view.vScrollMax = 0;
    view.vScrollPos = 0;
    view.hScrollMax = kHorizontalScrollMax;
    view.hScrollPos = 0;
}

CTerminalSetup::CTerminalSetup(CPelinDoc& doc, ViewState& view, std::string& profilePath, Shell& shell,
                               TerminalSetupHooks hooks)
    : doc_(doc), view_(view), profilePath_(profilePath), shell_(shell), hooks_(std::move(hooks)) {}

int CTerminalSetup::SaveTerminalSetup() {
    const std::string folderBefore = CurrentFolder();
    FileDialogRequest request;
    request.title = GetMessageText(kSaveSetupTitle);
    request.filter = kSetupFileFilter;
    request.initialFile = profilePath_;
    request.startFolder = folderBefore;
    request.defaultExtension = kSetupFileExtension;
    request.save = true;
    // The chosen path is kept whole: a path cut short would name some other file.
    if (auto chosen = shell_.AskFile(request); chosen && !chosen->empty()) {
        if (!UsableSetupFile(*chosen)) return kFailedToOpenFile;
        profilePath_ = *chosen;
    }

    // Cancelled or not, the setup goes to the settings file now in force.
    bool written = WriteTermSettings(doc_, profilePath_);
    ReturnToFolder(folderBefore);
    written = SaveSettings(doc_, profilePath_) && written;
    if (hooks_.saveConnectionList) written = hooks_.saveConnectionList(profilePath_) && written;
    written = WriteFontSetting(profilePath_, kFontSection, view_.logFont) && written;
    if (written) return 0;
    // The operator asked for this file; a setup that did not reach it must not pass for saved.
    std::string failedPath;
    const int cause = TakeProfileWriteError(failedPath);
    const Status why =
        Status::FromErrno("write", failedPath.empty() ? profilePath_ : failedPath, cause != 0 ? cause : EIO);
    shell_.Tell(WithStatus(GetMessageText(kFailedToOpenFile), why), BoxIcon::Exclamation);
    return kFailedToOpenFile;
}

int CTerminalSetup::LoadTerminalSetup(bool withDialog) {
    int result = -1;
    if (withDialog) {
        FileDialogRequest request;
        request.title = GetMessageText(kRestoreSetupTitle);
        request.filter = kSetupFileFilter;
        request.initialFile = profilePath_;
        request.startFolder = CurrentFolder();
        request.defaultExtension = kSetupFileExtension;
        request.mustExist = false;
        if (auto chosen = shell_.AskFile(request); chosen && !chosen->empty()) {
            if (!UsableSetupFile(*chosen)) return kFailedToOpenFile;
            profilePath_ = *chosen;
            result = 0;
        }
    }

    const int rowsBefore = doc_.maxRows;
    ReadTermSettings(doc_, profilePath_);
    // The view paints its background in bgColor; the repaint shows the new one.
    shell_.RequestRepaint();
    LoadSettings(doc_, profilePath_);
    if (hooks_.loadConnectionList) hooks_.loadConnectionList(profilePath_);
    if (!withDialog) return result;

    ReadFontSetting(profilePath_, kFontSection, view_.logFont);
    ApplyFont();
    // The history and the screen hold rows of the old buffer size; the line feed brings the
    // controller's prompt back onto the cleared screen.
    if (doc_.maxRows != rowsBefore) ClearAndPrompt();
    if (hooks_.setLanguageAndMenus) hooks_.setLanguageAndMenus(CurrentLanguage());
    return result;
}

bool CTerminalSetup::UsableSetupFile(const std::string& path) {
    // A chosen file becomes the settings file of the run: it must be one the user may trust.
    // A missing one is fine (Save setup creates it; Restore setup reads the defaults).
    const OwnFileCheck check = CheckOwnFile(path, kIniFileRules);
    if (check.UsableOrMissing() || check.fault == OwnFileFault::kUnreadable) return true;
    shell_.Tell(RefusedFileText(path, check, CurrentLanguage()), BoxIcon::Exclamation);
    return false;
}

int CTerminalSetup::FontCommand() {
    LogFont chosen = view_.logFont;
    if (!shell_.AskFont(chosen)) return -1;
    view_.logFont = std::move(chosen);
    ApplyFont();
    shell_.RequestRepaint();
    return 0;
}

int CTerminalSetup::WindowSettingCommand() {
    CWindowSetting setting(doc_.maxRows, doc_.bgColor, doc_.textColor);
    if (!shell_.RunWindowSettingDialog(setting)) return -1;
    ApplyWindowSetting(setting);
    return 0;
}

bool CTerminalSetup::ApplyWindowSetting(const CWindowSetting& setting) {
    const bool rowsChanged = setting.Rows() != doc_.maxRows;
    doc_.maxRows = setting.Rows();
    doc_.textColor = setting.textColor & kColorMask;
    doc_.bgColor = setting.bgColor & kColorMask;
    if (rowsChanged) ClearAndPrompt();
    shell_.RequestRepaint();
    return rowsChanged;
}

void CTerminalSetup::ApplyFont() {
    // A font that cannot be made leaves the metrics and the caret as they were.
    if (!shell_.ApplyTerminalFont()) return;
    doc_.caretCreated = 1;
    shell_.UpdateCaret();
}

void CTerminalSetup::ClearAndPrompt() {
    ClearTerminal(doc_, view_);
    if (hooks_.terminalCleared) hooks_.terminalCleared();
    shell_.UpdateCaret();
    if (hooks_.typeKey) shell_.Post([type = hooks_.typeKey] { type(kLineFeed); });
}

}  // namespace tavrin
