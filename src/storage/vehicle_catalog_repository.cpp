#include "vehicle_catalog_repository.h"

#include "database_catalog.h"
#include "logging/shown_failure.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

template<typename Item> void sortByName(QList<Item> &items)
{
    // SQLite's NOCASE folds only ASCII; Cyrillic names are ordered here.
    std::stable_sort(items.begin(), items.end(), [](const Item &left, const Item &right) {
        return QString::compare(left.name, right.name, Qt::CaseInsensitive) < 0;
    });
}

} // namespace

VehicleCatalogRepository::VehicleCatalogRepository(const QString &databasePath)
    : m_connection(u"TessaronVehicleCatalog"_s,
        databasePath.isEmpty() ? DatabaseCatalog::path(KnownDatabase::Vehicles) : databasePath)
{
    if (!m_connection.isOpen()) {
        m_lastError = m_connection.openError();
        return;
    }
    if (const QString error = m_connection.settle(createSchema(), u"Models"_s); !error.isEmpty())
        m_lastError = error;
}

VehicleCatalogRepository::~VehicleCatalogRepository() = default;

bool VehicleCatalogRepository::isOpen() const
{
    return m_connection.isOpen();
}

QSqlError VehicleCatalogRepository::createSchema()
{
    const QString statements[] = {
        // SQLite enforces references, and so the cascade, only when a connection asks for it.
        u"PRAGMA foreign_keys = ON"_s,
        u"CREATE TABLE IF NOT EXISTS Manufacturers ("
        "Id INTEGER PRIMARY KEY, "
        "Name TEXT UNIQUE NOT NULL, "
        "CreatedAt DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
        u"CREATE TABLE IF NOT EXISTS Models ("
        "Id INTEGER PRIMARY KEY, "
        "Name TEXT NOT NULL, "
        "ManufacturerId INTEGER NOT NULL, "
        "TCO1priority INTEGER, "
        "TCO1variant INTEGER, "
        "TCO1period INTEGER, "
        "DiagVar INTEGER, "
        "CanSpeed INTEGER, "
        "Protocol INTEGER, "
        "SpeedRatioPrimaryShaft REAL, "
        "CreatedAt DATETIME DEFAULT CURRENT_TIMESTAMP, "
        "FOREIGN KEY (ManufacturerId) REFERENCES Manufacturers(Id) ON DELETE CASCADE, "
        "UNIQUE(ManufacturerId, Name))"_s,
    };
    for (const QString &statement : statements) {
        QSqlQuery query(m_connection.database());
        if (!query.exec(statement)) {
            m_lastError = shownSqlFailure(
                u"Не удалось подготовить справочник транспортных средств"_s, query.lastError(), u"storage"_s);
            return query.lastError();
        }
    }
    return {};
}

QList<Manufacturer> VehicleCatalogRepository::manufacturers() const
{
    QList<Manufacturer> result;
    if (!isOpen())
        return result;
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT Id, Name, CreatedAt FROM Manufacturers ORDER BY Id"_s)) {
        m_lastError = shownSqlFailure(u"Не удалось прочитать список производителей"_s, query.lastError(), u"storage"_s);
        return result;
    }
    while (query.next())
        result.append({query.value(0).toLongLong(), query.value(1).toString(), dateTimeFromSql(query.value(2))});
    sortByName(result);
    return result;
}

QList<VehicleModel> VehicleCatalogRepository::models(qint64 manufacturerId) const
{
    QList<VehicleModel> result;
    if (!isOpen())
        return result;
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    query.prepare(u"SELECT Id, ManufacturerId, Name, TCO1priority, TCO1variant, TCO1period, DiagVar, CanSpeed, "
                  "Protocol, SpeedRatioPrimaryShaft, CreatedAt FROM Models WHERE ManufacturerId = ? ORDER BY Id"_s);
    query.addBindValue(manufacturerId);
    if (!query.exec()) {
        m_lastError = shownSqlFailure(u"Не удалось прочитать список моделей"_s, query.lastError(), u"storage"_s);
        return result;
    }
    while (query.next()) {
        VehicleModel model;
        model.id = query.value(0).toLongLong();
        model.manufacturerId = query.value(1).toLongLong();
        model.name = query.value(2).toString();
        model.tco1Priority = query.value(3).toInt();
        model.tco1Variant = query.value(4).toInt();
        model.tco1Period = query.value(5).toInt();
        model.diagVar = query.value(6).toInt();
        model.canSpeed = query.value(7).toInt();
        model.protocol = query.value(8).toInt();
        model.speedRatioPrimaryShaft = query.value(9).toDouble();
        model.createdAt = dateTimeFromSql(query.value(10));
        result.append(model);
    }
    sortByName(result);
    return result;
}

qint64 VehicleCatalogRepository::addManufacturer(const QString &name)
{
    if (!isOpen())
        return -1;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        m_lastError = u"Укажите производителя"_s;
        return -1;
    }
    QSqlQuery query(m_connection.database());
    query.prepare(u"INSERT INTO Manufacturers (Name) VALUES (?)"_s);
    query.addBindValue(trimmed);
    if (!query.exec()) {
        m_lastError = shownSqlFailure(u"Не удалось добавить производителя"_s, query.lastError(), u"storage"_s);
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

qint64 VehicleCatalogRepository::addModel(const VehicleModel &model)
{
    if (!isOpen())
        return -1;
    const QString name = model.name.trimmed();
    if (name.isEmpty()) {
        m_lastError = u"Укажите модель"_s;
        return -1;
    }
    QSqlQuery query(m_connection.database());
    query.prepare(u"INSERT INTO Models (Name, ManufacturerId, TCO1priority, TCO1variant, TCO1period, DiagVar, "
                  "CanSpeed, Protocol, SpeedRatioPrimaryShaft) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
    query.addBindValue(name);
    query.addBindValue(model.manufacturerId);
    query.addBindValue(model.tco1Priority);
    query.addBindValue(model.tco1Variant);
    query.addBindValue(model.tco1Period);
    query.addBindValue(model.diagVar);
    query.addBindValue(model.canSpeed);
    query.addBindValue(model.protocol);
    query.addBindValue(model.speedRatioPrimaryShaft);
    if (!query.exec()) {
        m_lastError = shownSqlFailure(u"Не удалось добавить модель"_s, query.lastError(), u"storage"_s);
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

} // namespace tessaron::storage
