#pragma once

#include <QtGlobal>

#include <array>

namespace tessaron::ddd {

// The characters of bytes 0x80..0xFF in one single-byte character set.
using CodePageHighHalf = std::array<char16_t, 128>;

// The upper half of a tachograph code page's character set: 2..4 and 6..16 ISO/IEC 8859-n, 85 KOI8-R,
// 86 KOI8-U. Null for Latin-1 (its bytes are their code points) and for every code page that names no
// single-byte set here.
const CodePageHighHalf *codePageHighHalf(quint8 codePage);

} // namespace tessaron::ddd
