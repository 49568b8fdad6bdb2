#include "sqlite_probe.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace tessaron::test {

namespace {

template<typename Work> auto withConnection(const QString &path, Work work)
{
    const QString name = u"TestProbe_"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    struct Remover
    {
        QString name;
        ~Remover() { QSqlDatabase::removeDatabase(name); }
    } remover {name};
    QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
    database.setDatabaseName(path);
    if (!database.open())
        qWarning("probe cannot open %s: %s", qPrintable(path), qPrintable(database.lastError().text()));
    auto result = work(database);
    database.close();
    database = QSqlDatabase();
    return result;
}

bool executeEach(QSqlDatabase &database, const QStringList &statements)
{
    for (const QString &statement : statements) {
        QSqlQuery query(database);
        if (!query.exec(statement)) {
            qWarning("probe statement failed: %s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
            return false;
        }
    }
    return true;
}

} // namespace

QStringList SqliteProbe::columns(const QString &table) const
{
    return withConnection(m_path, [&](QSqlDatabase &database) {
        QStringList names;
        QSqlQuery query(database);
        QString quoted = table;
        quoted.replace(u'"', u"\"\""_s);
        if (query.exec(u"PRAGMA table_info(\""_s + quoted + u"\")"_s)) {
            while (query.next())
                names.append(query.value(1).toString());
        }
        return names;
    });
}

bool SqliteProbe::execute(const QString &statement, const QVariantList &values) const
{
    return withConnection(m_path, [&](QSqlDatabase &database) {
        QSqlQuery query(database);
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (query.exec())
            return true;
        qWarning("probe statement failed: %s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
        return false;
    });
}

bool SqliteProbe::executeAll(const QStringList &statements) const
{
    return withConnection(m_path, [&](QSqlDatabase &database) { return executeEach(database, statements); });
}

bool SqliteProbe::copyMidway(const QStringList &statements, const QString &copyPath) const
{
    return withConnection(m_path, [&](QSqlDatabase &database) {
        bool copied = executeEach(database, statements);
        for (const QString &suffix : {QString(), u"-journal"_s, u"-wal"_s}) {
            QFile::remove(copyPath + suffix);
            if (copied && QFileInfo::exists(m_path + suffix) && !QFile::copy(m_path + suffix, copyPath + suffix)) {
                qWarning("probe cannot copy %s", qPrintable(m_path + suffix));
                copied = false;
            }
        }
        QSqlQuery(database).exec(u"ROLLBACK"_s); // a transaction left open, if any
        return copied;
    });
}

bool SqliteProbe::fillSchema(qint64 bytes) const
{
    return withConnection(m_path, [&](QSqlDatabase &database) {
        QSqlQuery query(database);
        const auto schemaBytes = [&query] {
            return query.exec(u"SELECT sum(payload) FROM dbstat WHERE name = 'sqlite_schema'"_s) && query.next()
                ? query.value(0).toLongLong()
                : -1;
        };
        // Views of one length make records of one size; the last one's text is longer by what remains. Their texts
        // stay between 58 and 8,185 bytes, whose length the record's header writes in two bytes.
        int number = 0;
        const auto addView = [&](qsizetype padding) {
            return query.exec(
                u"CREATE VIEW v%1 AS SELECT '%2'"_s.arg(number++, 6, 10, QChar(u'0')).arg(QString(64 + padding, u'x')));
        };
        const qint64 empty = schemaBytes();
        const qint64 first = query.exec(u"BEGIN"_s) && addView(0) ? schemaBytes() : -1;
        const qint64 record = first - empty;
        const qint64 views = empty < 0 || first < 0 ? 0 : (bytes - empty) / record;
        bool filled = views > 0;
        for (qint64 view = 2; filled && view < views; ++view)
            filled = addView(0);
        filled = filled && (views < 2 || addView((bytes - empty) % record)) && query.exec(u"COMMIT"_s)
            && schemaBytes() == bytes;
        if (!filled)
            qWarning("probe cannot fill the schema of %s to %lld bytes", qPrintable(m_path), bytes);
        return filled;
    });
}

QVariant SqliteProbe::scalar(const QString &statement, const QVariantList &values) const
{
    const QList<QVariantList> all = rows(statement, values);
    return all.isEmpty() ? QVariant() : all.constFirst().value(0);
}

QList<QVariantList> SqliteProbe::rows(const QString &statement, const QVariantList &values) const
{
    return withConnection(m_path, [&](QSqlDatabase &database) {
        QList<QVariantList> result;
        QSqlQuery query(database);
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return result;
        while (query.next()) {
            QVariantList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields.append(query.value(i));
            result.append(fields);
        }
        return result;
    });
}

QByteArray writeCorruptFile(const QString &path)
{
    QByteArray bytes = QByteArrayLiteral("not a database at all, just words and a few bytes:");
    for (int i = 0; i < 4096; ++i)
        bytes.append(char(i * 37 % 251));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return bytes;
}

bool damagePage(const QString &path, qint64 page)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray header = file.read(18);
    if (header.size() < 18)
        return false;
    const quint16 size = qFromBigEndian<quint16>(header.constData() + 16);
    const qint64 pageSize = size == 1 ? 65536 : size;
    if (file.size() < page * pageSize)
        return false;
    QRandomGenerator random(63);
    QByteArray bytes(pageSize, '\0');
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return file.seek((page - 1) * pageSize) && file.write(bytes) == pageSize;
}

bool nameSuperJournal(const QString &journalPath, const QString &superJournal)
{
    // The record as SQLite's pager writes it: the page number it reserves for the lock byte's page, the name, then
    // its length, its checksum (the sum of its bytes, taken as signed chars) and the journal's magic, big-endian.
    QFile journal(journalPath);
    if (!journal.open(QIODevice::ReadWrite) || journal.size() < 28)
        return false;
    const QByteArray header = journal.read(28);
    const quint32 pageSize = qFromBigEndian<quint32>(header.constData() + 24);
    if (pageSize == 0)
        return false;
    const QByteArray name = QFile::encodeName(superJournal);
    quint32 checksum = 0;
    for (const char c : name)
        checksum += quint32(qint32(static_cast<signed char>(c)));
    QByteArray record(4, '\0');
    qToBigEndian<quint32>(0x40000000U / pageSize + 1, record.data());
    record += name;
    for (const quint32 value : {quint32(name.size()), checksum}) {
        char bytes[4];
        qToBigEndian(value, bytes);
        record.append(bytes, 4);
    }
    record += QByteArray::fromHex("d9d505f920a163d7");
    return journal.seek(journal.size()) && journal.write(record) == record.size();
}

} // namespace tessaron::test
