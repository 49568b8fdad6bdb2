#include "translation_loader.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tessaron::ui {

QString TranslationLoader::qtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool TranslationLoader::installQtTranslations(const QString &folder, QString *error)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qt"), QStringLiteral("_"), folder)
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        if (error)
            *error = QStringLiteral("Не найден русский перевод Qt в папке %1").arg(folder);
        return false;
    }
    return true;
}

} // namespace tessaron::ui
