#include "dialog_text_translator.h"

#include <array>
#include <cstring>

namespace tessaron::ui {

namespace {

struct DialogText
{
    const char *context;
    const char *source;
    const char *ru;
};

// Contexts and texts as Qt 6.4's sources write them (Qt Quick Dialogs' FileDialog.qml, QAbstractFileIconProvider).
constexpr std::array s_texts = {
    DialogText {"FileDialog", "File name", "Имя файла"},
    DialogText {"FileDialog", "Filter", "Фильтр"},
    DialogText {"QAbstractFileIconProvider", "Folder", "Папка"},
    DialogText {"QAbstractFileIconProvider", "Drive", "Диск"},
};

} // namespace

QString DialogTextTranslator::translate(const char *context, const char *sourceText, const char *, int) const
{
    if (!context || !sourceText)
        return {};
    for (const DialogText &text : s_texts) {
        if (std::strcmp(text.context, context) == 0 && std::strcmp(text.source, sourceText) == 0)
            return QString::fromUtf8(text.ru);
    }
    return {};
}

} // namespace tessaron::ui
