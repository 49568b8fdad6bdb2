#pragma once

#include <QDateTime>
#include <QString>

namespace tessaron::storage {

// One master (technician) of the workshop's directory, a row of "Masters".
struct Master
{
    qint64 id = 0;
    QString fullName;
    QDateTime createdAt; // UTC, as the database stamped it
    bool isActive = true;
};

} // namespace tessaron::storage
