#pragma once

#include <QTranslator>

namespace tessaron::ui {

// The Russian of the texts Qt's own dialogs show that this Qt's Russian catalogues lack: the labels of Qt Quick's
// file dialog and the file type of a folder in the file lists. Installed before Qt's catalogues, so a catalogue
// that has a text wins.
class DialogTextTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    // The Russian text, or a null string for a text the table does not hold (the next translator is asked).
    QString translate(
        const char *context, const char *sourceText, const char *disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override { return false; }
};

} // namespace tessaron::ui
