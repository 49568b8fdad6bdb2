#pragma once

#include "manufacturer.h"
#include "sql_connection.h"
#include "vehicle_model.h"

#include <QList>
#include <QString>

namespace tessaron::storage {

// The vehicle catalogue: "Manufacturers" and their "Models" in "VehicleDB.db". Removing a manufacturer
// removes its models. Lives on one thread; callers create one for each call.
class VehicleCatalogRepository
{
public:
    // Opens databasePath, or the default location when it is empty, and creates the tables. When the store
    // cannot be opened or read, isOpen() is false, lastError() says why and every call fails cleanly.
    explicit VehicleCatalogRepository(const QString &databasePath = {});
    ~VehicleCatalogRepository();
    VehicleCatalogRepository(const VehicleCatalogRepository &) = delete;
    VehicleCatalogRepository &operator=(const VehicleCatalogRepository &) = delete;

    bool isOpen() const;
    // Open for reading only: the file, its folder or its disk refuses writes. lastError() says why, and every
    // write fails with the driver's text.
    bool isReadOnly() const { return m_connection.isReadOnly(); }

    // Every manufacturer, ordered by name without regard to case. Empty on failure (lastError() set).
    QList<Manufacturer> manufacturers() const;
    // The models of one manufacturer, ordered by name without regard to case. Empty on failure.
    QList<VehicleModel> models(qint64 manufacturerId) const;

    // Adds a manufacturer under the trimmed name. Returns its id, or -1 with lastError() set when the name
    // is blank or already taken or the statement fails.
    qint64 addManufacturer(const QString &name);
    // Adds a model (its id and creation time are ignored) under its trimmed name. Returns its id, or -1 with
    // lastError() set when the name is blank, the manufacturer is unknown, the manufacturer already has a
    // model of that name or the statement fails.
    qint64 addModel(const VehicleModel &model);

    // The text of the last failure; later successes do not clear it.
    QString lastError() const { return m_lastError; }

private:
    // The failed statement's error, with SQLite's code, for SqlConnection::settle; not valid on success.
    QSqlError createSchema();

    SqlConnection m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::storage
