#pragma once

#include <QStringList>

namespace tessaron::platform {

// Finds the phones attached in MTP mode. On Linux the desktop mounts each one as a folder through gvfs
// ($XDG_RUNTIME_DIR/gvfs/mtp:host=…, one subfolder per storage), so a device is the path of that folder.
class MtpDeviceFinder
{
public:
    MtpDeviceFinder() = delete;

    // The device roots present now. With TESSARON_MTP_ROOTS set, its ":"-separated folders that exist, in the
    // given order and each once, and nothing else, so that a phone plugged into the machine never disturbs a
    // test. Otherwise every entry of the gvfs folder whose name begins with "mtp:", sorted by name; no gvfs
    // folder means no device. Returns false with a Russian sentence when the gvfs folder cannot be read (the
    // file system's own text goes to the log); the list is then left untouched.
    static bool deviceRoots(QStringList *roots, QString *error);
};

} // namespace tessaron::platform
