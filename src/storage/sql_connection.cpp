#include "sql_connection.h"

#include "busy_wait.h"
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

// Why a store another program kept was not set up, or not read, as a message's bracketed reason.
QString heldReason()
{
    return u" (её держит другая программа дольше %1 с)"_s.arg(busyWait.count());
}

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

QString SqlConnection::settle(const QSqlError &setUpError, const QString &probeTable)
{
    if (!isOpen())
        return m_accessError;
    // A set-up that waited in vain for another program's write learnt nothing of the file: it is read as it can be.
    // So is a store whose pages could not be checked for the same wait, which a write probe would only wait out again.
    const QSqlError check = isWaitedOut(setUpError) ? QSqlError() : pageCheckError();
    const bool waitedOut = isWaitedOut(setUpError) || isWaitedOut(check);
    QSqlError damage = isDamaged(check) ? check : QSqlError();
    QSqlError refusal = setUpError;
    // A set-up that failed for want of room is told so whatever a probe finds afterwards: its transaction rolled
    // back, the pages it gave back may well hold the probe's small write.
    if (!waitedOut && !damage.isValid() && !isDiskFull(setUpError)) {
        const QSqlError probeRefusal = writeProbeError();
        if (!refusal.isValid() || isDiskFull(probeRefusal) || isDamaged(probeRefusal))
            refusal = probeRefusal;
    }
    if (!damage.isValid() && isDamaged(refusal))
        damage = refusal;
    if (!refusal.isValid() && !damage.isValid())
        return m_accessError;
    const QString file = QDir::toNativeSeparators(m_path);
    QSqlQuery probe(database());
    if (!damage.isValid() && probe.exec(u"SELECT 1 FROM "_s + quoteIdentifier(probeTable) + u" LIMIT 1"_s)) {
        m_readOnly = true;
        m_accessError = u"База данных %1 доступна только для чтения"_s.arg(file);
        if (isDiskFull(refusal))
            m_accessError += fullDiskReason();
        else if (isWaitedOut(refusal))
            m_accessError += heldReason();
        logFailure(u"is read-only"_s, refusal.text());
        return m_accessError;
    }
    if (!damage.isValid() && isDamaged(probe.lastError()))
        damage = probe.lastError();
    // A file that could not even be set up for want of room is not damaged: a store made anew on a full disk. Nor is
    // one that another program keeps from being read.
    const bool diskFull = !damage.isValid() && isDiskFull(refusal);
    const bool held = !damage.isValid() && !diskFull && isWaitedOut(probe.lastError());
    if (diskFull)
        m_accessError = u"Не удалось записать базу данных %1"_s.arg(file) + fullDiskReason();
    else if (held)
        m_accessError = u"База данных %1 не читается"_s.arg(file) + heldReason();
    else
        m_accessError = u"База данных %1 повреждена или не читается"_s.arg(file);
    logFailure(u"cannot be read"_s,
        damage.isValid() ? damage.text()
            : held       ? probe.lastError().text()
                         : refusal.text());
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
    if (!query.exec(u"BEGIN IMMEDIATE"_s))
        return isWaitedOut(query.lastError()) ? QSqlError() : query.lastError();
    QSqlError error;
    if (!query.exec(u"CREATE TABLE tessaron_write_probe (x)"_s))
        error = query.lastError();
    query.exec(u"ROLLBACK"_s);
    return error;
}

// The quick check reads every page and each table's structure, not the agreement of indexes with their tables;
// the stores that settle are small.
QSqlError SqlConnection::pageCheckError() const
{
    QSqlQuery check(database());
    check.setForwardOnly(true);
    if (!check.exec(u"PRAGMA quick_check(1)"_s) || !check.next())
        return check.lastError();
    const QString verdict = check.value(0).toString();
    if (verdict == u"ok"_s)
        return {};
    return QSqlError(QString(), verdict, QSqlError::StatementError, QString::number(SQLITE_CORRUPT));
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

int sqliteCode(const QSqlError &error)
{
    bool isNumber = false;
    const int code = error.nativeErrorCode().toInt(&isNumber);
    return isNumber ? code & 0xff : -1;
}

bool isDiskFull(const QSqlError &error)
{
    return sqliteCode(error) == SQLITE_FULL;
}

bool isWaitedOut(const QSqlError &error)
{
    const int code = sqliteCode(error);
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

bool isDamaged(const QSqlError &error)
{
    const int code = sqliteCode(error);
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
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
