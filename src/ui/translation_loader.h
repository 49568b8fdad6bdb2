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

    // Loads Qt's Russian catalogue ("qt_ru.qm" with the catalogues it names) from the folder and installs it
    // on the running application, which keeps it. False, with the folder named in *error, when no catalogue
    // could be read there; Qt then stays in English and nothing is installed.
    static bool installQtTranslations(const QString &folder, QString *error);
};

} // namespace tessaron::ui
