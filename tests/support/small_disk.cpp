#include "support/small_disk.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessaron::test {

namespace {

constexpr qint64 pageSize = 4096;

qint64 pagesOf(qint64 bytes)
{
    return (bytes + pageSize - 1) / pageSize;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

SmallDisk::SmallDisk()
{
    m_mounted = m_folder.isValid()
        && run(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=512k"_s, u"tmpfs"_s, m_folder.path()});
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        run(u"umount"_s, {m_folder.path()});
}

void SmallDisk::fill(qint64 room) const
{
    const QString path = filePath(u"filler"_s);
    {
        QFile filler(path);
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(pageSize, 'x');
        while (filler.write(block) == block.size()) { }
        const QByteArray byte(1, 'x');
        while (filler.write(byte) == 1) { }
    }
    const qint64 pages = pagesOf(room);
    if (pages > 0)
        QFile::resize(path, std::max<qint64>(0, QFileInfo(path).size() - pages * pageSize));
}

QList<qint64> roomsToTry(qint64 size)
{
    QList<qint64> rooms;
    for (qint64 pages = 0; pages <= pagesOf(size); ++pages)
        rooms.append(pages * pageSize);
    return rooms;
}

QByteArray roomName(qint64 room, qint64 size)
{
    return QByteArray("room ") + QByteArray::number(pagesOf(room)) + " of " + QByteArray::number(pagesOf(size))
        + " pages";
}

} // namespace tessaron::test
