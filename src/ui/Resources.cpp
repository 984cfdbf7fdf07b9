#include "ui/Resources.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside a namespace.
static void InitKorvexResources()
{
    Q_INIT_RESOURCE(korvex);
}

namespace korvex {

void InitUiResources()
{
    InitKorvexResources();
}

bool InstallQtTranslations()
{
    // The program speaks Russian whatever the system's locale.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace korvex
