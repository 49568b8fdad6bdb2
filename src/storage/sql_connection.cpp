#include "sql_connection.h"

#include "logging/application_logger.h"
#include "logging/shown_failure.h"
#include "stored_date_time.h"

#include <QDateTime>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <atomic>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

std::atomic<bool> s_openReadOnly = false;

} // namespace

void SqlConnection::setOpenReadOnly(bool readOnly)
{
    s_openReadOnly = readOnly;
}

SqlConnection::SqlConnection(const QString &prefix, const QString &path, const QString &connectOptions)
    : m_name(prefix + u'_' + QUuid::createUuid().toString(QUuid::WithoutBraces))
    , m_path(path)
{
    QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
    database.setDatabaseName(path);
    QStringList options;
    if (!connectOptions.isEmpty())
        options.append(connectOptions);
    if (s_openReadOnly)
        options.append(u"QSQLITE_OPEN_READONLY"_s);
    database.setConnectOptions(options.join(u';'));
    if (!database.open()) {
        // The driver's words go to the log; the technician reads which file failed.
        logFailure(u"cannot be opened"_s, database.lastError().text());
        m_openError = u"Не удалось открыть базу данных %1"_s.arg(QDir::toNativeSeparators(path));
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

QString SqlConnection::settle(const QString &setUpError, const QString &probeTable)
{
    if (!isOpen())
        return m_accessError;
    const QString refusal = setUpError.isEmpty() ? writeProbeError() : setUpError;
    if (refusal.isEmpty())
        return m_accessError;
    QSqlQuery probe(database());
    const QString file = QDir::toNativeSeparators(m_path);
    if (probe.exec(u"SELECT 1 FROM "_s + quoteIdentifier(probeTable) + u" LIMIT 1"_s)) {
        m_readOnly = true;
        m_accessError = u"База данных %1 доступна только для чтения"_s.arg(file);
        logFailure(u"is read-only"_s, refusal);
        return m_accessError;
    }
    m_accessError = u"База данных %1 повреждена или не читается"_s.arg(file);
    logFailure(u"cannot be read"_s, refusal);
    probe = QSqlQuery();
    close();
    return m_accessError;
}

// Starts a write and takes it back. A store that another connection is writing right now is not read-only:
// a busy or locked answer counts as writable.
QString SqlConnection::writeProbeError() const
{
    QSqlDatabase db = database();
    QSqlQuery query(db);
    if (!query.exec(u"BEGIN IMMEDIATE"_s)) {
        const QString code = query.lastError().nativeErrorCode();
        return code == u"5"_s || code == u"6"_s ? QString() : query.lastError().text();
    }
    QString error;
    if (!query.exec(u"CREATE TABLE tessaron_write_probe (x)"_s))
        error = query.lastError().text();
    query.exec(u"ROLLBACK"_s);
    return error;
}

void SqlConnection::logFailure(const QString &what, const QString &text) const
{
    logging::ApplicationLogger::write(logging::Level::Warning, u"storage"_s,
        u"Database %1 %2: %3"_s.arg(QDir::toNativeSeparators(m_path), what, text), u"open"_s);
}

QString shownSqlFailure(const QString &sentence, const QSqlError &error, const QString &category)
{
    constexpr int sqliteFull = 13; // SQLITE_FULL: a write the disk had no room for
    if (error.nativeErrorCode() == QString::number(sqliteFull))
        return logging::shownFileFailure(sentence, QFileDevice::ResourceError, error.text(), category);
    return logging::shownFailure(sentence, error.text(), category);
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
    return dateTimeInForm(value.toString(), u"yyyy-MM-dd HH:mm:ss");
}

} // namespace tessaron::storage
