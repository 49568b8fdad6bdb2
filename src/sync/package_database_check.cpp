#include "package_database_check.h"

#include "ddd/ddd_repository.h"
#include "logging/shown_failure.h"
#include "storage/calibration_repository.h"
#include "storage/certificate_repository.h"
#include "storage/customer_repository.h"
#include "storage/master_repository.h"
#include "storage/settings_repository.h"
#include "storage/sql_connection.h"
#include "storage/vehicle_catalog_repository.h"
#include "storage/vehicle_configuration_repository.h"
#include "sync/entry_name_check.h"
#include "sync/sqlite_schema_size.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <utility>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

namespace {

// What "PRAGMA table_xinfo" says in its column "hidden" of a generated column: 2 computed when read, 3 stored.
constexpr int virtualGeneratedColumn = 2;
constexpr int storedGeneratedColumn = 3;

bool containsName(const QStringList &names, const QString &name)
{
    return names.contains(name, Qt::CaseInsensitive);
}

// The layout's tables as the file at path holds them; *read false when a statement fails.
QList<OwnTable> readLayout(const QString &path, bool *read)
{
    storage::SqlConnection connection(u"TessaronOwnLayout"_s, path);
    QList<OwnTable> layout;
    QSqlQuery query(connection.database());
    *read = connection.isOpen()
        && query.exec(u"SELECT name FROM sqlite_schema WHERE type = 'table' "
                      "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name"_s);
    while (*read && query.next())
        layout.append({query.value(0).toString(), {}, {}});
    for (OwnTable &table : layout) {
        *read = *read && query.exec(u"PRAGMA table_info(%1)"_s.arg(quoteIdentifier(table.name)));
        while (*read && query.next()) {
            const QString column = query.value(1).toString();
            const bool notNull = query.value(3).toInt() != 0;
            if (notNull)
                table.notNullColumns.append(column);
            if (query.value(5).toInt() > 0 || (notNull && query.value(4).isNull()))
                table.keyColumns.append(column);
        }
        *read = *read && query.exec(u"PRAGMA foreign_key_list(%1)"_s.arg(quoteIdentifier(table.name)));
        while (*read && query.next()) {
            if (const QString column = query.value(3).toString(); !containsName(table.keyColumns, column))
                table.keyColumns.append(column);
        }
    }
    return layout;
}

// One table the merge reads, as the incoming file holds it.
struct IncomingTable
{
    // The program's table (its name as the program spells it), or, under a name without a layout, the file's own.
    OwnTable own;
    QString name;
    QStringList columns;
};

// A failing statement: the file is damaged or no database; SQLite's words go to the log.
PackageDatabaseFault damagedBy(const QSqlQuery &query)
{
    logging::shownFailure(u"База данных в пакете повреждена"_s, query.lastError().text(), u"sync"_s);
    return {true, {}};
}

PackageDatabaseFault refusedFor(const QString &reason)
{
    return {false, reason};
}

// The tables of the file that the merge under the file name's rule reads, each checked to be an ordinary table
// without generated columns that has the program's key columns. Only the schema table and the pragmas about one
// named ordinary table are read: a view's query is not even compiled.
PackageDatabaseFault readTables(const QSqlDatabase &database, const QString &fileName, QList<IncomingTable> *tables)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT type, name FROM sqlite_schema WHERE type IN ('table', 'view') "
                    "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"_s))
        return damagedBy(query);
    QList<std::pair<QString, QString>> entries;
    while (query.next())
        entries.append({query.value(0).toString(), query.value(1).toString()});
    bool known = true;
    const QList<OwnTable> layout = ownLayout(fileName, &known);
    if (known && layout.isEmpty())
        return refusedFor(u"не удалось подготовить образец её таблиц для сверки"_s);
    for (const auto &[type, name] : std::as_const(entries)) {
        OwnTable own;
        for (const OwnTable &table : layout) {
            if (table.name.compare(name, Qt::CaseInsensitive) == 0)
                own = table;
        }
        // Under a name without a layout the merge reads every table and no view.
        if (known ? own.name.isEmpty() : type != u"table"_s)
            continue;
        if (own.name.isEmpty())
            own.name = name;
        if (type != u"table"_s)
            return refusedFor(u"на месте таблицы %1 лежит представление"_s.arg(own.name));
        if (!query.exec(u"PRAGMA table_list(%1)"_s.arg(quoteIdentifier(name))) || !query.next())
            return damagedBy(query);
        if (query.value(2).toString() == u"virtual"_s)
            return refusedFor(u"на месте таблицы %1 лежит виртуальная таблица"_s.arg(own.name));
        IncomingTable incoming {own, name, {}};
        if (!query.exec(u"PRAGMA table_xinfo(%1)"_s.arg(quoteIdentifier(name))))
            return damagedBy(query);
        while (query.next()) {
            const QString column = query.value(1).toString();
            const int hidden = query.value(6).toInt();
            if (hidden == virtualGeneratedColumn || hidden == storedGeneratedColumn) {
                return refusedFor(
                    u"столбец %1 таблицы %2 вычисляемый"_s.arg(EntryNameCheck::displayed(column), own.name));
            }
            incoming.columns.append(column);
        }
        for (const QString &key : std::as_const(own.keyColumns)) {
            if (!containsName(incoming.columns, key))
                return refusedFor(u"в таблице %1 нет столбца %2"_s.arg(own.name, key));
        }
        tables->append(incoming);
    }
    return {};
}

// SQLite's own check of each table the merge reads, with its indexes, and of the schema table: a table the merge
// does not read is never looked into, so nothing it would compute counts.
PackageDatabaseFault checkWhole(const QSqlDatabase &database, const QList<IncomingTable> &tables)
{
    QStringList checked {u"sqlite_schema"_s};
    for (const IncomingTable &table : tables)
        checked.append(table.name);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    for (const QString &table : std::as_const(checked)) {
        if (!query.exec(u"PRAGMA quick_check(%1)"_s.arg(quoteIdentifier(table))))
            return damagedBy(query);
        QStringList findings;
        while (query.next())
            findings.append(query.value(0).toString());
        if (findings != QStringList {u"ok"_s}) {
            logging::shownFailure(u"База данных в пакете повреждена"_s,
                findings.isEmpty() ? u"no answer from quick_check"_s : findings.join(u"; "_s), u"sync"_s);
            return {true, {}};
        }
    }
    return {};
}

// The first NOT NULL column of the program's that holds NULL in a row of the table, one pass over the table.
PackageDatabaseFault findMissingValue(const QSqlDatabase &database, const IncomingTable &table)
{
    QStringList present;
    for (const QString &column : table.own.notNullColumns) {
        if (containsName(table.columns, column))
            present.append(column);
    }
    if (present.isEmpty())
        return {};
    QStringList which;
    QStringList anyNull;
    for (qsizetype i = 0; i < present.size(); ++i) {
        which.append(u"WHEN %1 IS NULL THEN %2"_s.arg(quoteIdentifier(present.at(i)), QString::number(i)));
        anyNull.append(quoteIdentifier(present.at(i)) + u" IS NULL"_s);
    }
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(u"SELECT CASE %1 END FROM main.%2 WHERE %3 LIMIT 1"_s.arg(
            which.join(u' '), quoteIdentifier(table.name), anyNull.join(u" OR "_s))))
        return damagedBy(query);
    if (!query.next())
        return {};
    return refusedFor(u"в таблице %1 пустое значение в обязательном столбце %2"_s.arg(
        table.own.name, present.value(query.value(0).toInt())));
}

// The layout made in a temporary folder of its own; empty when it could not be made, with why, naming the folder, in
// *problem (for the log).
QList<OwnTable> makeOwnLayout(const QString &fileName, bool *known, QString *problem)
{
    const QTemporaryDir folder;
    if (!folder.isValid()) {
        *problem = u"не удалось создать временную папку в %1: %2"_s.arg(
            QDir::toNativeSeparators(QDir::tempPath()), folder.errorString());
        return {};
    }
    const QString path = folder.filePath(fileName);
    QString error;
    if (!createOwnDatabase(fileName, path, known, &error)) {
        if (*known)
            *problem = u"не удалось создать базу в %1"_s.arg(QDir::toNativeSeparators(folder.path()));
        return {};
    }
    bool read = false;
    const QList<OwnTable> layout = readLayout(path, &read);
    if (read && !layout.isEmpty())
        return layout;
    *problem = u"не удалось прочитать таблицы базы в %1"_s.arg(QDir::toNativeSeparators(folder.path()));
    return {};
}

// ownLayout, with why a layout of a known name could not be made in *problem.
QList<OwnTable> cachedOwnLayout(const QString &fileName, bool *known, QString *problem)
{
    static QMutex mutex;
    // The layouts made so far, and an empty one for each name the program keeps no database under.
    static QHash<QString, QList<OwnTable>> layouts;
    const QMutexLocker locker(&mutex);
    if (const auto found = layouts.constFind(fileName); found != layouts.constEnd()) {
        *known = !found->isEmpty();
        return *found;
    }
    *known = true;
    const QList<OwnTable> layout = makeOwnLayout(fileName, known, problem);
    if (!*known || !layout.isEmpty())
        layouts.insert(fileName, layout);
    return layout;
}

// The file a connection on packageDatabaseUri reads, or the path another connection was opened with.
QString connectedFile(const QSqlDatabase &database)
{
    const QString name = database.databaseName();
    return name.startsWith(u"file:"_s) ? QUrl(name).toLocalFile() : name;
}

// SQLite builds the whole schema of a file the first time it reads it, the objects the merge never reads included,
// at up to a hundred times the size of their statements: a bound far above the program's own schemas (under 10 KB)
// keeps that within a few tens of megabytes.
constexpr qint64 schemaSizeLimit = 256 * 1024;

PackageDatabaseFault checkSchemaSize(const QString &path)
{
    const qint64 size = schemaSize(path, schemaSizeLimit);
    if (size < 0) {
        logging::shownFailure(u"База данных в пакете повреждена"_s, u"its schema table cannot be read"_s, u"sync"_s);
        return {true, {}};
    }
    if (size > schemaSizeLimit) {
        return refusedFor(u"её схема (описание таблиц, индексов, представлений и триггеров) больше %1 КБ"_s.arg(
            schemaSizeLimit / 1024));
    }
    return {};
}

} // namespace

bool createOwnDatabase(const QString &fileName, const QString &path, bool *known, QString *error)
{
    *known = true;
    QString failure;
    if (fileName == u"SettingsDB.db"_s)
        failure = storage::SettingsRepository(path).lastError();
    else if (fileName == u"MasterDB.db"_s)
        failure = storage::MasterRepository(path).lastError();
    else if (fileName == u"CustomersDB.db"_s)
        failure = storage::CustomerRepository(path).lastError();
    else if (fileName == u"VehicleDB.db"_s)
        failure = storage::VehicleCatalogRepository(path).lastError();
    else if (fileName == u"CalibrationDB.db"_s)
        failure = storage::CalibrationRepository(path).lastError();
    else if (fileName == u"CertificateDB.db"_s)
        failure = storage::CertificateRepository(path).lastError();
    else if (fileName == u"VehicleConfigurations.db"_s)
        failure = storage::VehicleConfigurationRepository(path).lastError();
    else if (fileName == u"driver_cards.db"_s || fileName == u"ReportsDB.db"_s)
        failure = ddd::DddRepository(path).lastError();
    else
        *known = false;
    if (!*known)
        return false;
    if (failure.isEmpty() && QFileInfo(path).isFile())
        return true;
    *error = logging::shownFailure(u"Не удалось создать базу %1"_s.arg(fileName), failure, u"sync"_s);
    return false;
}

QList<OwnTable> ownLayout(const QString &fileName, bool *known)
{
    QString problem;
    return cachedOwnLayout(fileName, known, &problem);
}

bool prepareOwnLayout(const QString &fileName, QString *error)
{
    bool known = true;
    QString problem;
    if (!cachedOwnLayout(fileName, &known, &problem).isEmpty() || !known)
        return true;
    *error = logging::shownFailure(
        u"программа не смогла подготовить проверку базы %1: не удалось создать образец её таблиц во временной папке %2"_s
            .arg(fileName, QDir::toNativeSeparators(QDir::tempPath())),
        problem, u"sync"_s);
    return false;
}

bool isReadTable(const QString &fileName, const QString &table)
{
    bool known = true;
    const QList<OwnTable> layout = ownLayout(fileName, &known);
    if (!known)
        return true;
    for (const OwnTable &own : layout) {
        if (own.name.compare(table, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void distrustSchema(const QSqlDatabase &database)
{
    // A failure leaves the connection as SQLite opened it; the check's structure does not depend on it.
    QSqlQuery query(database);
    query.exec(u"PRAGMA trusted_schema = OFF"_s);
}

QString packageDatabaseUri(const QString &path)
{
    // Everything but the separators percent-encoded, after an empty authority: no "?", "#" or "%" of a name is
    // read as part of the URI, and a Windows network path keeps its leading "//".
    QString absolute = QFileInfo(path).absoluteFilePath();
    if (!absolute.startsWith(u'/'))
        absolute.prepend(u'/');
    return u"file://"_s + QString::fromLatin1(QUrl::toPercentEncoding(absolute, "/")) + u"?mode=ro&immutable=1"_s;
}

QString packageConnectOptions()
{
    return uriConnectOption() + u";QSQLITE_OPEN_READONLY"_s;
}

QString uriConnectOption()
{
    return u"QSQLITE_OPEN_URI"_s;
}

PackageDatabaseFault checkPackageDatabase(const QSqlDatabase &database, const QString &fileName)
{
    if (const PackageDatabaseFault fault = checkSchemaSize(connectedFile(database)); !fault.isNone())
        return fault;
    distrustSchema(database);
    QSqlQuery query(database);
    // SQLite evaluates CHECK constraints in its own check; the rows are only read here, never written.
    if (!query.exec(u"PRAGMA ignore_check_constraints = ON"_s) || !query.exec(u"PRAGMA encoding"_s) || !query.next())
        return damagedBy(query);
    // SQLite attaches a file only to a connection of the same text encoding, and the program writes UTF-8.
    if (const QString encoding = query.value(0).toString(); encoding != u"UTF-8"_s)
        return refusedFor(u"текст в ней записан в кодировке %1, а не UTF-8"_s.arg(encoding));
    query.finish();
    QList<IncomingTable> tables;
    if (const PackageDatabaseFault fault = readTables(database, fileName, &tables); !fault.isNone())
        return fault;
    if (const PackageDatabaseFault fault = checkWhole(database, tables); !fault.isNone())
        return fault;
    for (const IncomingTable &table : std::as_const(tables)) {
        if (const PackageDatabaseFault fault = findMissingValue(database, table); !fault.isNone())
            return fault;
    }
    return {};
}

PackageDatabaseFault checkPackageDatabaseFile(const QString &path, const QString &fileName)
{
    storage::SqlConnection connection(u"TessaronPackageCheck"_s, packageDatabaseUri(path), packageConnectOptions());
    if (!connection.isOpen())
        return {true, {}};
    return checkPackageDatabase(connection.database(), fileName);
}

} // namespace tessaron::sync
