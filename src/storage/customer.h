#pragma once

#include <QDateTime>
#include <QString>

namespace tessaron::storage {

// One customer of the workshop's directory, a row of "Customers".
struct Customer
{
    qint64 id = 0;
    QString name;
    QString address;
    QString phone;
    QDateTime createdAt; // UTC, as the database stamped it
    bool isActive = true;
};

} // namespace tessaron::storage
