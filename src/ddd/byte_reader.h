#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace tessaron::ddd {

// A bounds-checked cursor over bytes that every decoder reads through. A read that does not fit returns
// nothing and consumes nothing; no read ever touches a byte outside the view. Sizes are compared by
// subtraction, so no offset arithmetic can overflow.
class ByteReader
{
public:
    ByteReader() = default;
    explicit ByteReader(QByteArrayView bytes)
        : m_bytes(bytes)
    { }

    qsizetype size() const { return m_bytes.size(); }
    qsizetype position() const { return m_position; }
    qsizetype remaining() const { return m_bytes.size() - m_position; }
    bool atEnd() const { return m_position >= m_bytes.size(); }
    bool hasRoom(qsizetype count) const { return count >= 0 && count <= remaining(); }

    // Moves the cursor; false (and no move) when the position lies outside 0..size.
    bool seek(qsizetype position)
    {
        if (position < 0 || position > m_bytes.size())
            return false;
        m_position = position;
        return true;
    }
    bool skip(qsizetype count) { return hasRoom(count) && seek(m_position + count); }

    std::optional<quint8> readU8() { return readUnsigned<quint8>(1, false); }
    std::optional<quint16> readU16Be() { return readUnsigned<quint16>(2, false); }
    std::optional<quint32> readU24Be() { return readUnsigned<quint32>(3, false); }
    std::optional<quint32> readU32Be() { return readUnsigned<quint32>(4, false); }
    std::optional<quint16> readU16Le() { return readUnsigned<quint16>(2, true); }
    std::optional<quint32> readU32Le() { return readUnsigned<quint32>(4, true); }

    // The next count bytes as a view into the same buffer, or nothing when they do not fit.
    std::optional<QByteArrayView> readBytes(qsizetype count)
    {
        if (!hasRoom(count))
            return std::nullopt;
        const QByteArrayView part = m_bytes.sliced(m_position, count);
        m_position += count;
        return part;
    }

    // A reader over the next count bytes (a record), advancing past them; nothing when they do not fit.
    std::optional<ByteReader> subReader(qsizetype count)
    {
        const auto part = readBytes(count);
        if (!part)
            return std::nullopt;
        return ByteReader(*part);
    }

    // Random access that never moves the cursor.
    std::optional<quint8> u8At(qsizetype offset) const { return peek(offset).readU8(); }
    std::optional<quint16> u16BeAt(qsizetype offset) const { return peek(offset).readU16Be(); }
    std::optional<quint32> u24BeAt(qsizetype offset) const { return peek(offset).readU24Be(); }
    std::optional<quint32> u32BeAt(qsizetype offset) const { return peek(offset).readU32Be(); }
    std::optional<quint32> u32LeAt(qsizetype offset) const { return peek(offset).readU32Le(); }
    // The byte at offset, 0 when it lies outside: for the scans of loosely laid-out records that read a missing
    // byte as padding.
    quint8 byteAt(qsizetype offset) const { return u8At(offset).value_or(0); }
    std::optional<QByteArrayView> bytesAt(qsizetype offset, qsizetype count) const
    {
        return peek(offset).readBytes(count);
    }

    QByteArrayView bytes() const { return m_bytes; }

private:
    ByteReader peek(qsizetype offset) const
    {
        ByteReader reader(m_bytes);
        if (!reader.seek(offset))
            reader.m_position = m_bytes.size(); // every read from here fails
        return reader;
    }

    template<typename T> std::optional<T> readUnsigned(qsizetype width, bool littleEndian)
    {
        if (!hasRoom(width))
            return std::nullopt;
        T value = 0;
        for (qsizetype i = 0; i < width; ++i) {
            const qsizetype index = littleEndian ? m_position + width - 1 - i : m_position + i;
            value = static_cast<T>((value << 8) | static_cast<quint8>(m_bytes[index]));
        }
        m_position += width;
        return value;
    }

    QByteArrayView m_bytes;
    qsizetype m_position = 0;
};

} // namespace tessaron::ddd
