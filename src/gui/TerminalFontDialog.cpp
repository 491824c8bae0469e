#include "gui/TerminalFontDialog.h"

#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <algorithm>
#include <cstdlib>

#include "app/Cp932.h"
#include "app/TermSettings.h"
#include "gui/TerminalFont.h"

namespace tavrin {

namespace {

constexpr int kShiftJisCharSet = 128;
constexpr int kDefaultCharSet = 0;
constexpr int kFixedPitchModern = 0x31;  // fixed pitch, modern family

}  // namespace

QFont FontForDialog(const LogFont& font) {
    // The font the terminal draws, so the dialog opens on what the operator sees.
    QFont result = MakeTerminalFont(font);
    result.setFamilies({result.family()});
    if (font.weight > 0) result.setWeight(static_cast<QFont::Weight>(std::clamp(font.weight, 1, 1000)));
    return result;
}

void StoreFontChoice(const QFont& chosen, LogFont& font) {
    const QString family = chosen.family();
    font.faceName = CutCp932(Utf8ToCp932(family.toStdString()), kFaceNameLength);
    const int pixels = chosen.pixelSize() > 0 ? chosen.pixelSize() : QFontInfo(chosen).pixelSize();
    // A negative height is the character height, as the font dialog of the stored files gives it;
    // a font without a size keeps the height it had.
    if (pixels > 0) font.height = -pixels;
    font.weight = chosen.weight();
    font.italic = chosen.italic() ? 1 : 0;
    font.underline = chosen.underline() ? 1 : 0;
    font.strikeOut = chosen.strikeOut() ? 1 : 0;
    font.pitchAndFamily = kFixedPitchModern;
    const bool japanese = QFontDatabase::writingSystems(family).contains(QFontDatabase::Japanese);
    font.charSet = japanese ? kShiftJisCharSet : kDefaultCharSet;
}

bool RunTerminalFontDialog(LogFont& font, QWidget* parent) {
    // Qt's own dialog: the desktop's dialogs do not all honour the fixed-pitch limit.
    QFontDialog dialog(FontForDialog(font), parent);
    dialog.setOptions(QFontDialog::MonospacedFonts | QFontDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return false;
    StoreFontChoice(dialog.selectedFont(), font);
    return true;
}

}  // namespace tavrin
