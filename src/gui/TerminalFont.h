#pragma once
#include <QFont>

#include "app/ViewState.h"

namespace tavrin {

// The terminal font made from the view's font description, the same way for the terminal and
// for the Font dialog, on every start:
// - the stored face where this machine has it; a face it lacks ("Fixedsys" from Windows) is
//   the family the system's fixed-pitch font resolves to here, so the same family every time;
// - the stored height in pixels (negative: the character height), or the system fixed-pitch
//   font's pixel size when no height is stored (see ResolveDefaultHeight);
// - a Japanese-capable fixed-pitch family behind it for what the face lacks.
QFont MakeTerminalFont(const LogFont& description);

// The family a stored face name is drawn with here.
QString TerminalFamily(const QString& face);

// A description without a height (no font in the settings file yet) gets the height the
// terminal draws it with, so that what is saved at the end is the font the run showed.
void ResolveDefaultHeight(LogFont& description);

// The cell width of the font: its advance rounded to whole pixels. CellFont gives every
// character exactly that advance, so a run of text drawn as one string keeps to the columns.
int CellWidth(const QFont& font);
QFont CellFont(const QFont& font);

}  // namespace tavrin
