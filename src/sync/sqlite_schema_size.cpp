#include "sqlite_schema_size.h"

#include "ddd/byte_reader.h"

#include <QFile>
#include <QList>
#include <QSet>

#include <algorithm>
#include <optional>

namespace tessaron::sync {

namespace {

// The database header that opens page 1 ("SQLite format 3" and a NUL, then the page size at byte 16 and the bytes
// each page reserves at its end at byte 20).
constexpr qsizetype databaseHeaderSize = 100;
constexpr char databaseMagic[] = "SQLite format 3";
constexpr qint64 smallestPageSize = 512;
constexpr qint64 largestPageSize = 65536;
constexpr qint64 smallestUsableSize = 480;

// The kinds of page of a table b-tree, the first byte of a page's b-tree header: interior pages hold the numbers of
// their children (a 12-byte header with the right-most child at its byte 8), leaf pages the records (an 8-byte
// header). Bytes 3 and 4 of either count its cells, whose offsets follow the header as big-endian 16-bit numbers.
constexpr quint8 interiorTablePage = 0x05;
constexpr quint8 leafTablePage = 0x0d;

// A variable-length integer of the file format: big-endian groups of seven bits, each byte but the last with its
// high bit set, a ninth byte giving all its eight bits. Nothing when it runs out of its page.
std::optional<quint64> readVarint(ddd::ByteReader &reader)
{
    quint64 value = 0;
    for (int i = 0; i < 8; ++i) {
        const auto byte = reader.readU8();
        if (!byte)
            return std::nullopt;
        value = (value << 7) | (*byte & 0x7fU);
        if ((*byte & 0x80U) == 0)
            return value;
    }
    const auto last = reader.readU8();
    if (!last)
        return std::nullopt;
    return (value << 8) | *last;
}

// A walk over the schema table's pages, each read at most once.
class SchemaWalk
{
public:
    SchemaWalk(QFile *file, qint64 pageSize, qint64 usableSize, qint64 limit)
        : m_file(file)
        , m_pageSize(pageSize)
        , m_usableSize(usableSize)
        , m_pageCount((file->size() + pageSize - 1) / pageSize)
        , m_limit(limit)
    { }

    qint64 run()
    {
        if (!enqueue(1))
            return -1;
        while (!m_pending.isEmpty() && m_size <= m_limit) {
            if (!walkPage(m_pending.takeLast()))
                return -1;
        }
        return m_size;
    }

private:
    // A child page is taken once: a page that two parents name, or its own ancestor, is no b-tree.
    bool enqueue(qint64 page)
    {
        if (page < 1 || page > m_pageCount || m_seen.contains(page))
            return false;
        m_seen.insert(page);
        m_pending.append(page);
        return true;
    }

    bool walkPage(qint64 page)
    {
        // A page the file ends inside reads as zeros beyond its end, as SQLite reads it.
        if (!m_file->seek((page - 1) * m_pageSize))
            return false;
        QByteArray bytes = m_file->read(m_usableSize);
        bytes.resize(m_usableSize, '\0');
        const ddd::ByteReader reader(bytes);
        const qsizetype start = page == 1 ? databaseHeaderSize : 0;
        const auto kind = reader.u8At(start);
        const auto cells = reader.u16BeAt(start + 3);
        if (!kind || !cells || (*kind != interiorTablePage && *kind != leafTablePage))
            return false;
        const bool interior = *kind == interiorTablePage;
        if (interior) {
            const auto rightmost = reader.u32BeAt(start + 8);
            if (!rightmost || !enqueue(*rightmost))
                return false;
        }
        const qsizetype pointers = start + (interior ? 12 : 8);
        for (qsizetype cell = 0; cell < *cells && m_size <= m_limit; ++cell) {
            const auto offset = reader.u16BeAt(pointers + 2 * cell);
            ddd::ByteReader content(bytes);
            if (!offset || !content.seek(*offset) || !walkCell(content, interior))
                return false;
        }
        return true;
    }

    // An interior cell begins with its child's page number, a leaf cell with the size of its record.
    bool walkCell(ddd::ByteReader &cell, bool interior)
    {
        if (interior) {
            const auto child = cell.readU32Be();
            return child && enqueue(*child);
        }
        const auto recordSize = readVarint(cell);
        if (!recordSize)
            return false;
        m_size += qint64(std::min(*recordSize, quint64(m_limit) + 1));
        return true;
    }

    QFile *m_file;
    qint64 m_pageSize;
    qint64 m_usableSize;
    qint64 m_pageCount;
    qint64 m_limit;
    QList<qint64> m_pending;
    QSet<qint64> m_seen;
    qint64 m_size = 0;
};

} // namespace

qint64 schemaSize(const QString &path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    if (file.size() == 0)
        return 0;
    const QByteArray header = file.read(databaseHeaderSize);
    const ddd::ByteReader reader(header);
    const auto magic = reader.bytesAt(0, sizeof databaseMagic);
    const auto pageSizeField = reader.u16BeAt(16);
    const auto reserved = reader.u8At(20);
    if (!magic || *magic != QByteArrayView(databaseMagic, sizeof databaseMagic) || !pageSizeField || !reserved)
        return -1;
    // The page size is a power of two from 512 to 65536, the last written as 1.
    const qint64 pageSize = *pageSizeField == 1 ? largestPageSize : *pageSizeField;
    if (pageSize < smallestPageSize || (pageSize & (pageSize - 1)) != 0 || pageSize - *reserved < smallestUsableSize)
        return -1;
    return SchemaWalk(&file, pageSize, pageSize - *reserved, std::max<qint64>(limit, 0)).run();
}

} // namespace tessaron::sync
