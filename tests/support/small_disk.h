#pragma once

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

    // Writes a filler file until the disk refuses another byte.
    void fill() const;

private:
    QTemporaryDir m_folder;
    bool m_mounted = false;
};

} // namespace tessaron::test
