#include "sqlite_probe.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

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
    return withConnection(m_path, [&](QSqlDatabase &database) {
        for (const QString &statement : statements) {
            QSqlQuery query(database);
            if (!query.exec(statement)) {
                qWarning("probe statement failed: %s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
                return false;
            }
        }
        return true;
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

} // namespace tessaron::test
