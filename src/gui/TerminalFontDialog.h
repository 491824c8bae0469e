#pragma once
#include <QFont>

#include "app/ViewState.h"

class QWidget;

namespace tavrin {

// The Font command's dialog and the translation between the terminal's font description and
// Qt's fonts.

// The font the dialog starts from: the description's face where it exists here (a "Fixedsys"
// kept from another machine gives the system's fixed-pitch font), its size and style.
QFont FontForDialog(const LogFont& font);

// Stores a chosen font into the description: face name (CP932, at most 31 bytes, a two-byte
// character never split), height as the negative character height in pixels, weight, italic,
// underline, strike-out, fixed pitch in the modern family, and the character set: Shift-JIS
// (128) when the face draws Japanese, else 0. Width, escapement and the precisions stay.
void StoreFontChoice(const QFont& chosen, LogFont& font);

// Qt's font dialog listing fixed-pitch fonts only, started from font. True on OK, font then
// holding the choice; false on Cancel, font untouched.
bool RunTerminalFontDialog(LogFont& font, QWidget* parent);

}  // namespace tavrin
