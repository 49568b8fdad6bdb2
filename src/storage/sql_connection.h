#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace tessaron::storage {

// One named SQLite connection owned by one object on one thread: added and opened by the constructor,
// closed and removed by the destructor. The name is the owner's fixed prefix, "_" and a fresh UUID, so
// any number of owners can open the same file at once. The owner must have dropped every QSqlQuery and
// QSqlDatabase copy of the connection before it is destroyed. connectOptions are Qt's SQLite connect options
// ("QSQLITE_OPEN_URI", ...; QSqlDatabase::setConnectOptions), joined with the read-only one of setOpenReadOnly.
class SqlConnection
{
public:
    SqlConnection(const QString &prefix, const QString &path, const QString &connectOptions = {});
    ~SqlConnection();
    SqlConnection(const SqlConnection &) = delete;
    SqlConnection &operator=(const SqlConnection &) = delete;

    QString name() const { return m_name; }
    QString path() const { return m_path; }

    // True while the connection is open and has not been closed by close().
    bool isOpen() const;
    // A handle to the connection (invalid after the destructor). Keep it no longer than the call that took it.
    QSqlDatabase database() const;
    // A Russian sentence naming the file when the connection could not be opened (the driver's text is logged);
    // empty otherwise.
    QString openError() const { return m_openError; }

    // Closes the connection, for an owner that found the file unusable after it opened. The name stays
    // registered until the destructor.
    void close();

    // Decides, once the owner has set up its tables, how the store goes on. setUpError is the driver's error of the
    // set-up step that failed, with SQLite's code of that step (not valid when the set-up succeeded). A store whose
    // set-up succeeded, whose pages SQLite finds sound and that can start a write (tried in a transaction that is
    // rolled back, so the file stays as it was) is writable. Otherwise its cause is told, the first that applies:
    // - damage (SQLite finds a page malformed or the file no database, in the set-up, its check of the pages or the
    //   write tried): the store is closed and accessError() says that the file is damaged or unreadable;
    // - no room (SQLITE_FULL in the set-up, whatever the write tried afterwards finds, or in the write tried):
    //   accessError() ends with fullDiskReason(); the store stays open for reading when probeTable can be read, else
    //   it is closed and told as not written;
    // - any other refusal of a write: when probeTable can still be read, the store stays open for reading and
    //   accessError() says it is read-only, naming the file; otherwise it is closed and told as damaged or unreadable.
    // A set-up or a check that waited in vain for another program's write goes no further (no write is tried): the
    // store is writable when its set-up succeeded, else read-only when probeTable can be read, with that program as
    // the reason; a store that program keeps from being read is closed and told as held, not as damaged. Each failure
    // is logged (category "storage") with the file and the driver's text. Returns accessError().
    QString settle(const QSqlError &setUpError, const QString &probeTable);
    // Open for reading only: the file, its folder or its disk refuses writes (see settle()).
    bool isReadOnly() const { return m_readOnly; }
    // Why the store is read-only or was closed after opening; empty otherwise.
    QString accessError() const { return m_accessError; }

    // Connections made while this is on open their files for reading only, as SQLite opens a file on a
    // read-only disk: for tests, which cannot make a disk read-only for a process running as root.
    static void setOpenReadOnly(bool readOnly);

private:
    // The failure of a write started and taken back; no error (not valid) when the store takes writes.
    QSqlError writeProbeError() const;
    // SQLite's check of every page of the file: no error when it finds them sound, SQLITE_CORRUPT with SQLite's
    // words when it finds one malformed, the driver's error when the check itself failed (a file another program
    // holds, damage that stops the check).
    QSqlError pageCheckError() const;
    void logFailure(const QString &what, const QString &text) const;

    QString m_name;
    QString m_path;
    QString m_openError;
    QString m_accessError;
    bool m_readOnly = false;
};

// SQLite's primary result code of the connection's last failed call, as QSqlError's native code ("13"); empty where
// the connection is no SQLite one. Qt keeps only SQLite's text of a failed commit, and the code tells a full disk.
QString lastSqliteCode(const QSqlDatabase &database);
// SQLite's primary result code of a failed statement (QSqlError's native code without the extended bits); -1 where
// the error carries none.
int sqliteCode(const QSqlError &error);
// True where SQLite failed for want of room on the disk (SQLITE_FULL).
bool isDiskFull(const QSqlError &error);
// True where SQLite found the file damaged: a page it cannot make sense of (SQLITE_CORRUPT, "database disk image is
// malformed") or a file that is no database (SQLITE_NOTADB).
bool isDamaged(const QSqlError &error);
// True where another connection's write held the file past the wait (SQLITE_BUSY, SQLITE_LOCKED).
bool isWaitedOut(const QSqlError &error);
// " (на диске нет места)", the reason a full disk adds to a sentence, as a file's failure says it.
QString fullDiskReason();

// logging::shownFailure for a failed SQLite statement: the sentence, with "(на диске нет места)" when SQLite found
// the disk full, as a file's failure says it; SQLite's own text goes to the log under category.
QString shownSqlFailure(const QString &sentence, const QSqlError &error, const QString &category);

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
