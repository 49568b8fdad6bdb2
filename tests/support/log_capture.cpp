#include "log_capture.h"

#include "logging/application_logger.h"

#include <QFile>

namespace tessaron::test {

using logging::ApplicationLogger;

LogCapture::LogCapture()
{
    ApplicationLogger::initialize(m_directory.path());
    ApplicationLogger::setEnabled(true);
}

LogCapture::~LogCapture()
{
    ApplicationLogger::shutdown();
}

QString LogCapture::text() const
{
    QFile file(ApplicationLogger::filePath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace tessaron::test
