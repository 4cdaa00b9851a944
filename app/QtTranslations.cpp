#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace startup {

bool installQtTranslations(QCoreApplication &application)
{
    // The application owns the translator: it must outlive every dialog.
    auto *translator = new QTranslator(&application);
    const QLocale brazilian(QLocale::Portuguese, QLocale::Brazil);
    if (!translator->load(brazilian, u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace startup
