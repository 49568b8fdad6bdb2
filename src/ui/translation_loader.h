#pragma once

#include <QString>

namespace tessaron::ui {

// Qt's own texts in Russian: the standard buttons, the file dialog and the context menus of text fields. The
// program speaks Russian whatever the system's language, so the catalogue is always the Russian one.
class TranslationLoader
{
public:
    TranslationLoader() = delete;

    // The folder Qt's own catalogues were installed to.
    static QString qtTranslationsFolder();

    // Loads Qt's Russian catalogues from the folder, the base one ("qt_ru.qm" with the catalogues it names) and
    // Qt Quick's ("qtdeclarative_ru.qm"), and installs those it could read on the running application, which
    // keeps them, with the texts of Qt's dialogs they lack (DialogTextTranslator). False, with the folder and the
    // missing catalogues named in *error, when one could not be read; when none could, Qt stays in English and
    // nothing is installed.
    static bool installQtTranslations(const QString &folder, QString *error);

    // Makes Russian (Russia) the default locale, so what Qt writes by it (the file dialogs' dates and file types,
    // Qt Quick's numbers) is Russian whatever the system's language.
    static void useRussianLocale();
};

} // namespace tessaron::ui
