#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tessaron::ddd {

// Text of a name field in a tachograph data record: a code-page byte, then the text bytes in that character set.
// Code pages 1 to 16 are ISO/IEC 8859-1 to 8859-16, 85 KOI8-R, 86 KOI8-U; code page 5 and every code page that
// names no character set read through the Cyrillic calibration reader (ASCII stays ASCII); 255 marks a field
// without text. Control bytes read as blanks and the result is simplified. Empty when the code-page byte and
// the textLength bytes after it do not all lie inside the data.
QString readCodePageText(const QByteArray &data, qsizetype codePageOffset, qsizetype textLength);

// The same for text bytes whose code page is already known.
QString decodeCodePageText(QByteArrayView text, quint8 codePage);

} // namespace tessaron::ddd
