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

private:
    QString m_path;
};

// Fills a file with bytes that are no SQLite database; returns its content.
QByteArray writeCorruptFile(const QString &path);

} // namespace tessaron::test
