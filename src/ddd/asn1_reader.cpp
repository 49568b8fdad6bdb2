#include "asn1_reader.h"

#include "byte_reader.h"
#include "ddd_readers.h"

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

constexpr qsizetype MaxTagBytes = 4;
constexpr qsizetype MaxLengthBytes = 4;

class Walker
{
public:
    explicit Walker(QList<Asn1Node> &nodes)
        : m_nodes(nodes)
    { }

    // Parses elements until the reader is exhausted; false on any malformed or over-limit element.
    bool parseSequence(ByteReader &reader, const QString &parentPath, int depth)
    {
        while (!reader.atEnd()) {
            if (!parseElement(reader, parentPath, depth))
                return false;
        }
        return true;
    }

    bool parseElement(ByteReader &reader, const QString &parentPath, int depth)
    {
        if (depth >= Asn1Reader::MaxDepth || m_nodes.size() >= Asn1Reader::MaxNodes)
            return false;
        const qsizetype tagStart = reader.position();
        const auto first = reader.readU8();
        if (!first || *first == 0x00)
            return false;
        if ((*first & 0x1F) == 0x1F) {
            for (;;) {
                const auto next = reader.readU8();
                if (!next || reader.position() - tagStart > MaxTagBytes)
                    return false;
                if ((*next & 0x80) == 0)
                    break;
            }
        }
        const QByteArrayView tagBytes = reader.bytes().sliced(tagStart, reader.position() - tagStart);
        const auto length = readLength(reader);
        if (!length)
            return false;
        const auto contents = reader.readBytes(*length);
        if (!contents)
            return false;

        Asn1Node node;
        node.tag = hexText(tagBytes);
        node.path = parentPath.isEmpty() ? node.tag : parentPath + u'/' + node.tag;
        node.tagClass = *first >> 6;
        node.constructed = (*first & 0x20) != 0;
        node.depth = depth;
        node.value = *contents;
        const QString path = node.path;
        const bool constructed = node.constructed;
        m_nodes.append(std::move(node));
        if (!constructed)
            return true;
        if (contents->isEmpty())
            return false;
        ByteReader inner(*contents);
        return parseSequence(inner, path, depth + 1);
    }

private:
    static std::optional<qsizetype> readLength(ByteReader &reader)
    {
        const auto first = reader.readU8();
        if (!first)
            return std::nullopt;
        if (*first < 0x80)
            return qsizetype(*first);
        const int count = *first & 0x7F;
        if (count == 0 || count > MaxLengthBytes) // indefinite or absurd
            return std::nullopt;
        quint64 length = 0;
        for (int i = 0; i < count; ++i) {
            const auto byte = reader.readU8();
            if (!byte)
                return std::nullopt;
            length = (length << 8) | *byte;
        }
        if (length > quint64(reader.remaining()))
            return std::nullopt;
        return qsizetype(length);
    }

    QList<Asn1Node> &m_nodes;
};

} // namespace

std::optional<QList<Asn1Node>> Asn1Reader::parse(QByteArrayView bytes)
{
    const ByteReader head(bytes);
    const auto first = head.u8At(0);
    if (!first || (*first & 0x20) == 0)
        return std::nullopt;
    QList<Asn1Node> nodes;
    Walker walker(nodes);
    ByteReader reader(bytes);
    if (!walker.parseElement(reader, QString(), 0) || !reader.atEnd())
        return std::nullopt;
    return nodes;
}

QString Asn1Reader::className(int tagClass)
{
    switch (tagClass) {
    case 0:
        return u"universal"_s;
    case 1:
        return u"application"_s;
    case 2:
        return u"context"_s;
    default:
        return u"private"_s;
    }
}

} // namespace tessaron::ddd
