#include "vehicle_configuration_repository.h"

#include "app_paths.h"
#include "logging/shown_failure.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

VehicleConfigurationRepository::VehicleConfigurationRepository(const QString &databasePath)
    : m_connection(
        u"TessaronVehicleConfigurations"_s, databasePath.isEmpty() ? AppPaths::database(fileName) : databasePath)
{
    if (!m_connection.isOpen()) {
        m_lastError = m_connection.openError();
        return;
    }
    QSqlError setUpError;
    {
        QSqlQuery query(m_connection.database());
        if (!query.exec(u"CREATE TABLE IF NOT EXISTS VehicleConfigurations ("
                        "Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "Manufacturer TEXT NOT NULL COLLATE NOCASE, "
                        "Model TEXT NOT NULL COLLATE NOCASE, "
                        "ParametersJson TEXT NOT NULL, "
                        "UpdatedAt TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP, "
                        "UNIQUE(Manufacturer, Model))"_s))
            setUpError = query.lastError();
    }
    if (const QString error = m_connection.settle(setUpError, u"VehicleConfigurations"_s); !error.isEmpty())
        m_lastError = error;
}

VehicleConfigurationRepository::~VehicleConfigurationRepository() = default;

bool VehicleConfigurationRepository::isOpen() const
{
    return m_connection.isOpen();
}

bool VehicleConfigurationRepository::saveConfiguration(
    const QString &manufacturer, const QString &model, const QString &parametersJson)
{
    if (!isOpen())
        return false;
    const QString trimmedManufacturer = manufacturer.trimmed();
    const QString trimmedModel = model.trimmed();
    if (trimmedManufacturer.isEmpty() || trimmedModel.isEmpty()) {
        m_lastError = u"Укажите производителя и модель"_s;
        return false;
    }
    QSqlQuery query(m_connection.database());
    query.prepare(u"INSERT INTO VehicleConfigurations (Manufacturer, Model, ParametersJson, UpdatedAt) "
                  "VALUES (?, ?, ?, ?) ON CONFLICT(Manufacturer, Model) DO UPDATE SET "
                  "ParametersJson = excluded.ParametersJson, UpdatedAt = excluded.UpdatedAt"_s);
    query.addBindValue(trimmedManufacturer);
    query.addBindValue(trimmedModel);
    query.addBindValue(parametersJson.isNull() ? u""_s : parametersJson);
    query.addBindValue(currentSqlTimestamp());
    if (!query.exec()) {
        m_lastError = shownSqlFailure(
            u"Не удалось сохранить конфигурацию транспортного средства"_s, query.lastError(), u"storage"_s);
        return false;
    }
    return true;
}

QString VehicleConfigurationRepository::parametersJson(const QString &manufacturer, const QString &model) const
{
    if (!isOpen())
        return {};
    QSqlQuery query(m_connection.database());
    query.prepare(u"SELECT ParametersJson FROM VehicleConfigurations WHERE Manufacturer = ? AND Model = ? "
                  "LIMIT 1"_s);
    query.addBindValue(manufacturer.trimmed());
    query.addBindValue(model.trimmed());
    if (!query.exec()) {
        m_lastError = shownSqlFailure(
            u"Не удалось прочитать конфигурацию транспортного средства"_s, query.lastError(), u"storage"_s);
        return {};
    }
    return query.next() ? query.value(0).toString() : QString();
}

} // namespace tessaron::storage
