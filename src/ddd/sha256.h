#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace tessaron::ddd {

// SHA-256 of a file's bytes for the report's fingerprint. Qt's own digest runs near 70 MB/s, which alone would
// eat a sixth of a decoding's time budget; this one uses the processor's SHA instructions where there are any
// and a plain implementation elsewhere.
class Sha256
{
public:
    Sha256() = delete;

    enum class Implementation { Fastest, Portable };

    // The 32-byte digest.
    static QByteArray hash(QByteArrayView bytes, Implementation implementation = Implementation::Fastest);
    // Whether Fastest uses the processor's SHA instructions on this machine.
    static bool hasHardwareSupport();
};

} // namespace tessaron::ddd
