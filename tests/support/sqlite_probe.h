#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

namespace tessaron::test {

// Looks into an SQLite file behind a repository's back, through a connection of its own that is removed
// before each function returns.
class SqliteProbe
{
public:
    explicit SqliteProbe(const QString &path)
        : m_path(path)
    { }

    // The table's columns in declaration order; empty when the table is missing.
    QStringList columns(const QString &table) const;
    // Runs one statement with bound values; false (and a warning) on failure.
    bool execute(const QString &statement, const QVariantList &values = {}) const;
    // Runs the statements in order on one connection, so that a leading "PRAGMA encoding" gives a new file its text
    // encoding; false (and a warning) at the first that fails.
    bool executeAll(const QStringList &statements) const;
    // The first field of the first row, or an invalid variant.
    QVariant scalar(const QString &statement, const QVariantList &values = {}) const;
    // Every row of the result, each as its list of fields; empty on failure.
    QList<QVariantList> rows(const QString &statement, const QVariantList &values = {}) const;
    // Runs the statements in order on one connection and, while it still holds what they left (a transaction open, a
    // WAL not checkpointed), copies the file with its rollback journal and WAL to copyPath (copyPath + "-journal",
    // "-wal"): what a process killed at that moment leaves on disk. Then an open transaction is rolled back. False
    // (and a warning) when a statement or a copy fails.
    bool copyMidway(const QStringList &statements, const QString &copyPath) const;
    // Adds small views, in one transaction, until the records of the file's schema table come to exactly bytes, as
    // SQLite itself counts them (its dbstat table): many statements over as many pages as they fill. False (and a
    // warning) when the schema is already larger than bytes less one view, or a statement fails.
    bool fillSchema(qint64 bytes) const;

private:
    QString m_path;
};

// Fills a file with bytes that are no SQLite database; returns its content.
QByteArray writeCorruptFile(const QString &path);

// Overwrites page (counted from 1, of the page size the file's header gives) of the SQLite file with random bytes,
// the same on every run; false when the file cannot be read or written or is shorter.
bool damagePage(const QString &path, qint64 page);

// Appends to the rollback journal at journalPath the record that SQLite writes into each journal of a commit spanning
// several files, naming their super-journal: rolling the journal back, SQLite deletes the file of that name once no
// other journal names it. False when the journal cannot be read or written.
bool nameSuperJournal(const QString &journalPath, const QString &superJournal);

} // namespace tessaron::test
