#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>

namespace tessaron::test {

// A small tmpfs of its own (512 KiB), unmounted again by the destructor: a disk a test can fill. Mounting needs
// root; without it isMounted() is false and the test skips.
class SmallDisk
{
public:
    SmallDisk();
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    QString filePath(const QString &name) const { return m_folder.filePath(name); }

    // Writes a filler file until the disk refuses another byte, then gives room bytes back (rounded up to the
    // tmpfs's pages of 4 KiB), so that a file of up to that size fits and the next byte does not.
    void fill(qint64 room = 0) const;

private:
    QTemporaryDir m_folder;
    bool m_mounted = false;
};

// The room, in bytes, to leave on a full disk for a save of size bytes so that it stops at every page it can: none,
// one page, two, ... all of its pages (the save then fits). Each is a tmpfs page of 4 KiB.
QList<qint64> roomsToTry(qint64 size);
// A data row's name for the room: "room 3 of 5 pages".
QByteArray roomName(qint64 room, qint64 size);

} // namespace tessaron::test
