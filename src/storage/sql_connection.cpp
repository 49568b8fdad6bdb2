#include "sql_connection.h"

#include "logging/application_logger.h"
#include "logging/shown_failure.h"
#include "stored_date_time.h"

#include <QDateTime>
#include <QDir>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <atomic>

#include <sqlite3.h>

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
    // The set-up's failure is the connection's last one; its code is read before the probes below replace it.
    QSqlError refusal(QString(), setUpError, QSqlError::StatementError, lastSqliteCode(database()));
    if (setUpError.isEmpty())
        refusal = writeProbeError();
    if (!refusal.isValid())
        return m_accessError;
    bool diskFull = isDiskFull(refusal);
    // A set-up that took its failure back (a rolled-back transaction) left no code; a write tried again tells
    // whether the disk is full. Not after a wait for another program's write, which the probe would wait out again.
    const QString code = refusal.nativeErrorCode();
    if (!diskFull && !setUpError.isEmpty() && code != u"5"_s && code != u"6"_s)
        diskFull = isDiskFull(writeProbeError());
    QSqlQuery probe(database());
    const QString file = QDir::toNativeSeparators(m_path);
    if (probe.exec(u"SELECT 1 FROM "_s + quoteIdentifier(probeTable) + u" LIMIT 1"_s)) {
        m_readOnly = true;
        m_accessError = u"База данных %1 доступна только для чтения"_s.arg(file);
        if (diskFull)
            m_accessError += fullDiskReason();
        logFailure(u"is read-only"_s, refusal.text());
        return m_accessError;
    }
    // A file that could not even be set up for want of room is not damaged: a store made anew on a full disk.
    m_accessError = diskFull ? u"Не удалось записать базу данных %1"_s.arg(file) + fullDiskReason()
                             : u"База данных %1 повреждена или не читается"_s.arg(file);
    logFailure(u"cannot be read"_s, refusal.text());
    probe = QSqlQuery();
    close();
    return m_accessError;
}

// Starts a write and takes it back. A store that another connection is writing right now is not read-only:
// a busy or locked answer counts as writable.
QSqlError SqlConnection::writeProbeError() const
{
    QSqlDatabase db = database();
    QSqlQuery query(db);
    if (!query.exec(u"BEGIN IMMEDIATE"_s)) {
        const QString code = query.lastError().nativeErrorCode();
        return code == u"5"_s || code == u"6"_s ? QSqlError() : query.lastError();
    }
    QSqlError error;
    if (!query.exec(u"CREATE TABLE tessaron_write_probe (x)"_s))
        error = query.lastError();
    query.exec(u"ROLLBACK"_s);
    return error;
}

void SqlConnection::logFailure(const QString &what, const QString &text) const
{
    logging::ApplicationLogger::write(logging::Level::Warning, u"storage"_s,
        u"Database %1 %2: %3"_s.arg(QDir::toNativeSeparators(m_path), what, text), u"open"_s);
}

QString lastSqliteCode(const QSqlDatabase &database)
{
    const QVariant handle = database.isValid() ? database.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return {};
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    return connection != nullptr ? QString::number(sqlite3_errcode(connection) & 0xff) : QString();
}

bool isDiskFull(const QSqlError &error)
{
    return error.nativeErrorCode() == QString::number(SQLITE_FULL);
}

QString fullDiskReason()
{
    return u" ("_s + logging::failureReason(QFileDevice::ResourceError) + u')';
}

QString shownSqlFailure(const QString &sentence, const QSqlError &error, const QString &category)
{
    if (isDiskFull(error))
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
