#pragma once

#include "sql_connection.h"

#include <QString>

namespace tessaron::storage {

// Saved vehicle configurations ("VehicleConfigurations" in "VehicleConfigurations.db"): one parameter set,
// as JSON text, per manufacturer and model, matched ignoring surrounding blanks and the case of Latin
// letters. Lives on one thread; callers create one for each call.
class VehicleConfigurationRepository
{
public:
    static inline const QString fileName = QStringLiteral("VehicleConfigurations.db");

    // Opens databasePath, or fileName in the database folder when it is empty, and creates the table. When
    // the store cannot be opened or read, isOpen() is false, lastError() says why and every call fails
    // cleanly.
    explicit VehicleConfigurationRepository(const QString &databasePath = {});
    ~VehicleConfigurationRepository();
    VehicleConfigurationRepository(const VehicleConfigurationRepository &) = delete;
    VehicleConfigurationRepository &operator=(const VehicleConfigurationRepository &) = delete;

    bool isOpen() const;
    // Open for reading only: the file, its folder or its disk refuses writes. lastError() says why, and every
    // write fails with the driver's text.
    bool isReadOnly() const { return m_connection.isReadOnly(); }

    // Stores the parameters under the trimmed manufacturer and model, replacing an earlier set and stamping
    // UpdatedAt. False, with lastError() set, when a name is blank or the statement fails.
    bool saveConfiguration(const QString &manufacturer, const QString &model, const QString &parametersJson);

    // The stored parameters; empty when there are none or on failure (lastError() set).
    QString parametersJson(const QString &manufacturer, const QString &model) const;

    // The text of the last failure; later successes do not clear it.
    QString lastError() const { return m_lastError; }

private:
    SqlConnection m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::storage
