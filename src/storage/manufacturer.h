#pragma once

#include <QDateTime>
#include <QString>

namespace tessaron::storage {

// One vehicle manufacturer of the vehicle catalogue, a row of "Manufacturers".
struct Manufacturer
{
    qint64 id = 0;
    QString name;
    QDateTime createdAt; // UTC, as the database stamped it
};

} // namespace tessaron::storage
