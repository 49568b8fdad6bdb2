#include "master_repository.h"

#include "database_catalog.h"
#include "logging/shown_failure.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

MasterRepository::MasterRepository(const QString &databasePath)
    : m_connection(
        u"TessaronMasters"_s, databasePath.isEmpty() ? DatabaseCatalog::path(KnownDatabase::Masters) : databasePath)
{
    if (!m_connection.isOpen()) {
        m_lastError = m_connection.openError();
        return;
    }
    QSqlError setUpError;
    {
        QSqlQuery query(m_connection.database());
        if (!query.exec(u"CREATE TABLE IF NOT EXISTS Masters ("
                        "Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                        "FullName TEXT NOT NULL, "
                        "CreatedAt DATETIME DEFAULT CURRENT_TIMESTAMP, "
                        "IsActive INTEGER DEFAULT 1)"_s))
            setUpError = query.lastError();
    }
    if (const QString error = m_connection.settle(setUpError, u"Masters"_s); !error.isEmpty())
        m_lastError = error;
}

MasterRepository::~MasterRepository() = default;

bool MasterRepository::isOpen() const
{
    return m_connection.isOpen();
}

qint64 MasterRepository::addMaster(const QString &fullName)
{
    if (!isOpen())
        return -1;
    const QString name = fullName.trimmed();
    if (name.isEmpty()) {
        m_lastError = u"Укажите ФИО мастера"_s;
        return -1;
    }
    QSqlQuery query(m_connection.database());
    query.prepare(u"INSERT INTO Masters (FullName) VALUES (?)"_s);
    query.addBindValue(name);
    if (!query.exec()) {
        m_lastError = shownSqlFailure(u"Не удалось добавить мастера в справочник"_s, query.lastError(), u"storage"_s);
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

QList<Master> MasterRepository::masters() const
{
    QList<Master> result;
    if (!isOpen())
        return result;
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT Id, FullName, CreatedAt, IsActive FROM Masters WHERE IsActive = 1 ORDER BY Id"_s)) {
        m_lastError = shownSqlFailure(u"Не удалось прочитать справочник мастеров"_s, query.lastError(), u"storage"_s);
        return result;
    }
    while (query.next()) {
        Master master;
        master.id = query.value(0).toLongLong();
        master.fullName = query.value(1).toString();
        master.createdAt = dateTimeFromSql(query.value(2));
        master.isActive = query.value(3).toInt() != 0;
        result.append(master);
    }
    // SQLite's NOCASE folds only ASCII; Cyrillic names are ordered here.
    std::stable_sort(result.begin(), result.end(), [](const Master &left, const Master &right) {
        return QString::compare(left.fullName, right.fullName, Qt::CaseInsensitive) < 0;
    });
    return result;
}

} // namespace tessaron::storage
