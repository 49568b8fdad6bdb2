#include "code_page_text.h"

#include "code_page_tables.h"
#include "ddd_readers.h"

namespace tessaron::ddd {
namespace {

constexpr quint8 NoTextCodePage = 255;
constexpr quint8 CyrillicCodePage = 5;

bool isSingleByteSet(quint8 codePage)
{
    return codePage == 1 || codePageHighHalf(codePage) != nullptr;
}

QString decodeSingleByteSet(QByteArrayView text, quint8 codePage)
{
    const CodePageHighHalf *table = codePageHighHalf(codePage);
    // ISO/IEC 8859 leaves 0x80..0x9F to control characters; the KOI8 sets fill them with graphics.
    const bool controlsInUpperHalf = codePage <= 16;
    QString result(text.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (const char c : text) {
        const auto byte = static_cast<quint8>(c);
        char16_t unit = byte;
        if (byte < 0x20 || byte == 0x7F || (controlsInUpperHalf && byte >= 0x80 && byte < 0xA0))
            unit = u' ';
        else if (byte >= 0x80 && table)
            unit = (*table)[byte - 0x80];
        *out++ = QChar(unit);
    }
    return result.simplified();
}

} // namespace

QString decodeCodePageText(QByteArrayView text, quint8 codePage)
{
    if (codePage == NoTextCodePage)
        return {};
    if (codePage != CyrillicCodePage && isSingleByteSet(codePage))
        return decodeSingleByteSet(text, codePage);
    const QByteArray raw = QByteArray::fromRawData(text.data(), text.size());
    return readCalibrationText(raw, 0, raw.size());
}

QString readCodePageText(const QByteArray &data, qsizetype codePageOffset, qsizetype textLength)
{
    if (codePageOffset < 0 || textLength < 0 || codePageOffset >= data.size()
        || textLength > data.size() - codePageOffset - 1)
        return {};
    const auto codePage = static_cast<quint8>(data.at(codePageOffset));
    return decodeCodePageText(QByteArrayView(data).sliced(codePageOffset + 1, textLength), codePage);
}

} // namespace tessaron::ddd
