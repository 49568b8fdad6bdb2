#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace tessaron::ddd {

// One element of a BER encoding.
struct Asn1Node
{
    QString path; // tags from the outermost element down, "7F21/7F4E/5F29"
    QString tag; // the tag bytes in upper-case hex
    int tagClass = 0; // 0 universal, 1 application, 2 context-specific, 3 private
    bool constructed = false;
    int depth = 0;
    QByteArrayView value; // the contents, a view into the parsed bytes
};

// A bounded BER-TLV walker for the parts of a DDD file that are ASN.1 encoded (second-generation
// certificates, for example).
class Asn1Reader
{
public:
    Asn1Reader() = delete;

    static constexpr int MaxDepth = 16;
    static constexpr int MaxNodes = 1024;

    // The elements of bytes in document order, when bytes are exactly one constructed element whose contents
    // are well-formed BER all the way down (definite lengths only, no end-of-contents tags, every constructed
    // element filled exactly by its children), within MaxDepth levels and MaxNodes elements. Nothing
    // otherwise, so that binary records are not mistaken for ASN.1.
    static std::optional<QList<Asn1Node>> parse(QByteArrayView bytes);

    static QString className(int tagClass);
};

} // namespace tessaron::ddd
