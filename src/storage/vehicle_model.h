#pragma once

#include <QDateTime>
#include <QString>

namespace tessaron::storage {

// One vehicle model of the vehicle catalogue, a row of "Models": the tachograph's CAN message (TCO1)
// settings, diagnostic variant, CAN speed source, protocol and the primary shaft's speed ratio.
struct VehicleModel
{
    qint64 id = 0;
    qint64 manufacturerId = 0;
    QString name;
    int tco1Priority = 0;
    int tco1Variant = 0;
    int tco1Period = 0;
    int diagVar = 0;
    int canSpeed = 0;
    int protocol = 0;
    double speedRatioPrimaryShaft = 0.0;
    QDateTime createdAt; // UTC, as the database stamped it
};

} // namespace tessaron::storage
