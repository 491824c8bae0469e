#include "gui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tavrin {

bool ApplyQtLanguage(int language) {
    static QTranslator qtbase;
    static const QCoreApplication* appliedTo = nullptr;
    static int appliedLanguage = -1;
    static bool loaded = false;
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    if (app == appliedTo && language == appliedLanguage) return language != 0 || loaded;
    appliedTo = app;
    appliedLanguage = language;
    if (language != 0) {
        QCoreApplication::removeTranslator(&qtbase);
        return true;
    }
    if (!loaded)
        loaded = qtbase.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) QCoreApplication::installTranslator(&qtbase);
    return loaded;
}

}  // namespace tavrin
