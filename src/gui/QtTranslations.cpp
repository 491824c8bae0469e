#include "gui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tavrin {

bool ApplyQtLanguage(int language) {
    static QTranslator qtbase;
    static QTranslator own;
    static const QCoreApplication* appliedTo = nullptr;
    static int appliedLanguage = -1;
    static bool loaded = false;
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    if (app == appliedTo && language == appliedLanguage) return language != 0 || loaded;
    appliedTo = app;
    appliedLanguage = language;
    // Numbers and dates Qt formats through the default locale follow the language too.
    QLocale::setDefault(language != 0 ? QLocale(QLocale::English, QLocale::UnitedStates)
                                      : QLocale(QLocale::Japanese, QLocale::Japan));
    if (language != 0) {
        QCoreApplication::removeTranslator(&qtbase);
        QCoreApplication::removeTranslator(&own);
        return true;
    }
    // The program's own texts are built in; Qt's come from the system's Qt translations.
    if (own.isEmpty()) (void)own.load(QStringLiteral(":/i18n/tavrin_ja.qm"));
    if (!own.isEmpty()) QCoreApplication::installTranslator(&own);
    if (!loaded)
        loaded = qtbase.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) QCoreApplication::installTranslator(&qtbase);
    return loaded;
}

}  // namespace tavrin
