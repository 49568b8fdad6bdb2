#pragma once

#include "logging/application_logger.h"
#include "test_files.h"

#include <QTemporaryDir>

namespace tessaron::test {

// The application log kept in a temporary folder while the object lives, so a test can read what a failure wrote
// there beside the text it showed.
struct LogCapture
{
    QTemporaryDir directory;
    LogCapture()
    {
        logging::ApplicationLogger::initialize(directory.path());
        logging::ApplicationLogger::setEnabled(true);
    }
    ~LogCapture() { logging::ApplicationLogger::shutdown(); }
    QString text() const { return QString::fromUtf8(fileBytes(logging::ApplicationLogger::filePath())); }
};

} // namespace tessaron::test
