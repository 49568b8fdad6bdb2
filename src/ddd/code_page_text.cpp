#include "code_page_text.h"

#include "ddd_readers.h"

#include <QStringDecoder>

#include <array>

namespace tessaron::ddd {
namespace {

// The characters of bytes 0x80..0xFF in one single-byte character set.
using HighHalf = std::array<char16_t, 128>;

constexpr quint8 NoTextCodePage = 255;
constexpr quint8 CyrillicCodePage = 5;

// Built once from the platform's converters, so the tables cannot drift from the published character sets.
// A character set the platform does not know leaves the replacement character in the upper half.
HighHalf tableFromConverter(const char *name)
{
    HighHalf table;
    table.fill(char16_t(0xFFFD));
    QStringDecoder decoder(name, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return table;
    QByteArray bytes(128, Qt::Uninitialized);
    for (int i = 0; i < 128; ++i)
        bytes[i] = char(0x80 + i);
    // Bytes a set leaves undefined come out as the replacement character, one for one.
    const QString text = decoder.decode(bytes);
    if (text.size() != 128)
        return table;
    for (int i = 0; i < 128; ++i)
        table[size_t(i)] = text.at(i).unicode();
    return table;
}

// ISO/IEC 8859-16, which the platform's converters lack.
constexpr HighHalf latin10Table()
{
    HighHalf table {};
    for (int i = 0; i < 32; ++i)
        table[size_t(i)] = char16_t(0x80 + i);
    constexpr std::array<char16_t, 96> upper = {
        0x00A0,
        0x0104,
        0x0105,
        0x0141,
        0x20AC,
        0x201E,
        0x0160,
        0x00A7,
        0x0161,
        0x00A9,
        0x0218,
        0x00AB,
        0x0179,
        0x00AD,
        0x017A,
        0x017B,
        0x00B0,
        0x00B1,
        0x010C,
        0x0142,
        0x017D,
        0x201D,
        0x00B6,
        0x00B7,
        0x017E,
        0x010D,
        0x0219,
        0x00BB,
        0x0152,
        0x0153,
        0x0178,
        0x017C,
        0x00C0,
        0x00C1,
        0x00C2,
        0x0102,
        0x00C4,
        0x0106,
        0x00C6,
        0x00C7,
        0x00C8,
        0x00C9,
        0x00CA,
        0x00CB,
        0x00CC,
        0x00CD,
        0x00CE,
        0x00CF,
        0x0110,
        0x0143,
        0x00D2,
        0x00D3,
        0x00D4,
        0x0150,
        0x00D6,
        0x015A,
        0x0170,
        0x00D9,
        0x00DA,
        0x00DB,
        0x00DC,
        0x0118,
        0x021A,
        0x00DF,
        0x00E0,
        0x00E1,
        0x00E2,
        0x0103,
        0x00E4,
        0x0107,
        0x00E6,
        0x00E7,
        0x00E8,
        0x00E9,
        0x00EA,
        0x00EB,
        0x00EC,
        0x00ED,
        0x00EE,
        0x00EF,
        0x0111,
        0x0144,
        0x00F2,
        0x00F3,
        0x00F4,
        0x0151,
        0x00F6,
        0x015B,
        0x0171,
        0x00F9,
        0x00FA,
        0x00FB,
        0x00FC,
        0x0119,
        0x021B,
        0x00FF,
    };
    for (size_t i = 0; i < upper.size(); ++i)
        table[32 + i] = upper[i];
    return table;
}

// The upper half of a code page's character set; null for Latin-1 (bytes are code points) and for code pages
// that name no single-byte set here.
const HighHalf *highHalf(quint8 codePage)
{
    switch (codePage) {
    case 2: {
        static const HighHalf table = tableFromConverter("ISO-8859-2");
        return &table;
    }
    case 3: {
        static const HighHalf table = tableFromConverter("ISO-8859-3");
        return &table;
    }
    case 4: {
        static const HighHalf table = tableFromConverter("ISO-8859-4");
        return &table;
    }
    case 6: {
        static const HighHalf table = tableFromConverter("ISO-8859-6");
        return &table;
    }
    case 7: {
        static const HighHalf table = tableFromConverter("ISO-8859-7");
        return &table;
    }
    case 8: {
        static const HighHalf table = tableFromConverter("ISO-8859-8");
        return &table;
    }
    case 9: {
        static const HighHalf table = tableFromConverter("ISO-8859-9");
        return &table;
    }
    case 10: {
        static const HighHalf table = tableFromConverter("ISO-8859-10");
        return &table;
    }
    case 11: {
        static const HighHalf table = tableFromConverter("ISO-8859-11");
        return &table;
    }
    case 13: {
        static const HighHalf table = tableFromConverter("ISO-8859-13");
        return &table;
    }
    case 14: {
        static const HighHalf table = tableFromConverter("ISO-8859-14");
        return &table;
    }
    case 15: {
        static const HighHalf table = tableFromConverter("ISO-8859-15");
        return &table;
    }
    case 16: {
        static constexpr HighHalf table = latin10Table();
        return &table;
    }
    case 85: {
        static const HighHalf table = tableFromConverter("KOI8-R");
        return &table;
    }
    case 86: {
        static const HighHalf table = tableFromConverter("KOI8-U");
        return &table;
    }
    default:
        return nullptr;
    }
}

bool isSingleByteSet(quint8 codePage)
{
    return codePage == 1 || highHalf(codePage) != nullptr;
}

QString decodeSingleByteSet(QByteArrayView text, quint8 codePage)
{
    const HighHalf *table = highHalf(codePage);
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
