#include "gui/TerminalFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/Cp932.h"

namespace tavrin {

namespace {

constexpr const char* kJapaneseFallback = "Noto Sans Mono CJK JP";
constexpr int kFallbackPixels = 13;

QFont SystemFixedFont() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

int SystemPixelSize() {
    const int pixels = QFontInfo(SystemFixedFont()).pixelSize();
    return pixels > 0 ? pixels : kFallbackPixels;
}

}  // namespace

QString TerminalFamily(const QString& face) {
    if (!face.isEmpty() && QFontDatabase::families().contains(face, Qt::CaseInsensitive)) return face;
    // The family the system's font is drawn with, not its alias ("monospace"): the Font dialog
    // then shows the family the terminal uses.
    return QFontInfo(SystemFixedFont()).family();
}

void ResolveDefaultHeight(LogFont& description) {
    if (description.height == 0) description.height = -SystemPixelSize();
}

QFont MakeTerminalFont(const LogFont& description) {
    // Face names are kept in CP932 like every text of the settings file.
    const QString family = TerminalFamily(QString::fromStdString(Cp932ToUtf8(description.faceName)));
    QFont font(family);
    font.setFamilies({family, QString::fromLatin1(kJapaneseFallback)});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(description.height != 0 ? std::abs(description.height) : SystemPixelSize());
    if (description.weight >= 600) font.setWeight(QFont::Bold);
    font.setItalic(description.italic != 0);
    font.setUnderline(description.underline != 0);
    font.setStrikeOut(description.strikeOut != 0);
    return font;
}

int CellWidth(const QFont& font) {
    const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    return std::max(1, static_cast<int>(std::lround(advance)));
}

QFont CellFont(const QFont& font) {
    QFont cells = font;
    const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    cells.setLetterSpacing(QFont::AbsoluteSpacing, CellWidth(font) - advance);
    return cells;
}

}  // namespace tavrin
