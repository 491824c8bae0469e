#pragma once

namespace tavrin {

// Qt's own texts (the standard buttons Yes/No/OK/Cancel, the file, font and colour dialogs) and
// the texts the Qt front end adds (tr(), translations/tavrin_ja.ts) in the UI language: for
// Japanese (0) Qt's "qtbase_ja" catalogue from the system's Qt translations folder and the
// program's built-in catalogue are installed in the application, for English they are removed.
// Qt's default locale (QLocale::setDefault) follows: Japanese, or English (United States). Cheap when the
// language did not change. Returns false when Japanese was asked for and the catalogue could not be loaded
// (qt6-translations-l10n missing); Qt then stays in English.
bool ApplyQtLanguage(int language);

}  // namespace tavrin
