#include "sql_connection.h"

#include <QDateTime>
#include <QSqlError>
#include <QTimeZone>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

SqlConnection::SqlConnection(const QString &prefix, const QString &path)
    : m_name(prefix + u'_' + QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_path(path)
{
    QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
    database.setDatabaseName(path);
    if (!database.open()) {
        m_openError = database.lastError().text();
        if (m_openError.isEmpty())
            m_openError = u"Не удалось открыть базу данных: %1"_s.arg(path);
    }
}

SqlConnection::~SqlConnection()
{
    close();
    QSqlDatabase::removeDatabase(m_name);
}

bool SqlConnection::isOpen() const
{
    return QSqlDatabase::database(m_name, false).isOpen();
}

QSqlDatabase SqlConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void SqlConnection::close()
{
    QSqlDatabase database = QSqlDatabase::database(m_name, false);
    if (database.isOpen())
        database.close();
}

QVariantMap rowFromRecord(const QSqlRecord &record)
{
    QVariantMap row;
    for (int i = 0; i < record.count(); ++i)
        row.insert(record.fieldName(i), record.value(i));
    return row;
}

QString quoteIdentifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', u"\"\""_s);
    return u'"' + quoted + u'"';
}

QString currentSqlTimestamp()
{
    return QDateTime::currentDateTimeUtc().toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

QDateTime dateTimeFromSql(const QVariant &value)
{
    // Date and time are read apart: a whole-text parse would take local time and break in its gaps.
    const QString text = value.toString();
    if (text.size() != 19 || text.at(10) != u' ')
        return {};
    const QDate date = QDate::fromString(text.left(10), u"yyyy-MM-dd"_s);
    const QTime time = QTime::fromString(text.mid(11), u"HH:mm:ss"_s);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc());
}

} // namespace tessaron::storage
