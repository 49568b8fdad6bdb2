#include "translation_loader.h"

#include "dialog_text_translator.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include <array>

namespace tessaron::ui {

namespace {

// Qt's base catalogue (with the catalogues it names) and Qt Quick's, whose file dialog the PDF export shows.
constexpr std::array s_catalogues = {"qt", "qtdeclarative"};

} // namespace

QString TranslationLoader::qtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

void TranslationLoader::useRussianLocale()
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

bool TranslationLoader::installQtTranslations(const QString &folder, QString *error)
{
    QCoreApplication *application = QCoreApplication::instance();
    QList<QTranslator *> loaded;
    QStringList missing;
    for (const char *catalogue : s_catalogues) {
        auto *translator = new QTranslator(application);
        if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QString::fromLatin1(catalogue),
                QStringLiteral("_"), folder)) {
            loaded.append(translator);
        } else {
            delete translator;
            missing.append(QString::fromLatin1(catalogue) + QStringLiteral("_ru.qm"));
        }
    }
    if (!loaded.isEmpty()) {
        // Installed first, so it is asked last: a text Qt's catalogues hold is theirs.
        QCoreApplication::installTranslator(new DialogTextTranslator(application));
        for (QTranslator *translator : std::as_const(loaded))
            QCoreApplication::installTranslator(translator);
    }
    if (missing.isEmpty())
        return true;
    if (error) {
        *error = QStringLiteral("Не найден русский перевод Qt (%1) в папке %2")
                     .arg(missing.join(QStringLiteral(", ")), folder);
    }
    return false;
}

} // namespace tessaron::ui
