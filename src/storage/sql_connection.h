#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace tessaron::storage {

// One named SQLite connection owned by one object on one thread: added and opened by the constructor,
// closed and removed by the destructor. The name is the owner's fixed prefix, "_" and a fresh UUID, so
// any number of owners can open the same file at once. The owner must have dropped every QSqlQuery and
// QSqlDatabase copy of the connection before it is destroyed.
class SqlConnection
{
public:
    SqlConnection(const QString &prefix, const QString &path);
    ~SqlConnection();
    SqlConnection(const SqlConnection &) = delete;
    SqlConnection &operator=(const SqlConnection &) = delete;

    QString name() const { return m_name; }
    QString path() const { return m_path; }

    // True while the connection is open and has not been closed by close().
    bool isOpen() const;
    // A handle to the connection (invalid after the destructor). Keep it no longer than the call that took it.
    QSqlDatabase database() const;
    // The driver's text when the connection could not be opened; empty otherwise.
    QString openError() const { return m_openError; }

    // Closes the connection, for an owner that found the file unusable after it opened. The name stays
    // registered until the destructor.
    void close();

private:
    QString m_name;
    QString m_path;
    QString m_openError;
};

// One result row as column name -> the driver's value, every column of the row.
QVariantMap rowFromRecord(const QSqlRecord &record);

// A run-time identifier for an SQL statement: in double quotes, inner double quotes doubled.
QString quoteIdentifier(const QString &name);

// Today's UTC date and time as SQLite's CURRENT_TIMESTAMP writes it ("yyyy-MM-dd HH:mm:ss"), so stamps that
// the application writes compare as text with stamps the database wrote.
QString currentSqlTimestamp();

// A stamp as SQLite writes it ("yyyy-MM-dd HH:mm:ss", UTC) as a UTC date-time; invalid for anything else.
QDateTime dateTimeFromSql(const QVariant &value);

} // namespace tessaron::storage
