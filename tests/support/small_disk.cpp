#include "support/small_disk.h"

#include <QFile>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace tessaron::test {

namespace {

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

void SmallDisk::fill() const
{
    QFile filler(filePath(u"filler"_s));
    if (!filler.open(QIODevice::WriteOnly))
        return;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) { }
    const QByteArray byte(1, 'x');
    while (filler.write(byte) == 1 && filler.flush()) { }
}

} // namespace tessaron::test
