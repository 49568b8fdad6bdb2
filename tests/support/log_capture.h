#pragma once

#include "logging/application_logger.h"
#include "test_files.h"

#include <QJsonDocument>
#include <QList>
#include <QTemporaryDir>
#include <QVariantMap>

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

// The records of one category in the current log file, in their order, each as its members ("level", "operation",
// "message", ...).
inline QList<QVariantMap> logRecords(const QString &category)
{
    QList<QVariantMap> records;
    const QList<QByteArray> lines = fileBytes(logging::ApplicationLogger::filePath()).split('\n');
    for (const QByteArray &line : lines) {
        QVariantMap record = QJsonDocument::fromJson(line).toVariant().toMap();
        if (record.value(QStringLiteral("category")) == category)
            records.append(record);
    }
    return records;
}

} // namespace tessaron::test
