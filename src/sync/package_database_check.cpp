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
#include "sync/database_merge.h"
#include "sync/entry_name_check.h"
#include "sync/merge_rules.h"
#include "sync/sqlite_schema_size.h"
#include "sync/table_catalogue.h"

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

bool containsName(const QStringList &names, const QString &name)
{
    return names.contains(name, Qt::CaseInsensitive);
}

// The program's own layout for a file name: its tables, and the statements that make them and their indexes.
struct OwnLayout
{
    QList<OwnTable> tables;
    QStringList statements;
};

// The layout as the file at path holds it; *read false when the catalogue cannot be read.
OwnLayout readLayout(const QString &path, bool *read)
{
    storage::SqlConnection connection(u"TessaronOwnLayout"_s, path);
    QList<CatalogueEntry> entries;
    OwnLayout layout;
    *read = connection.isOpen() && readCatalogue(connection.database(), &entries)
        && readSchemaStatements(connection.database(), &layout.statements);
    for (const CatalogueEntry &entry : std::as_const(entries)) {
        if (entry.kind == CatalogueKind::View)
            continue;
        const TableInfo info = describeTable(connection.database(), entry);
        OwnTable table {entry.name, {}, {}};
        for (const ColumnInfo &column : info.declared) {
            if (column.notNull)
                table.notNullColumns.append(column.name);
            if (column.inPrimaryKey || (column.notNull && !column.hasDefault))
                table.keyColumns.append(column.name);
        }
        QStringList references;
        *read = *read && info.exists() && !info.isVirtual
            && readReferencingColumns(connection.database(), entry.name, &references);
        for (const QString &column : std::as_const(references)) {
            if (!containsName(table.keyColumns, column))
                table.keyColumns.append(column);
        }
        layout.tables.append(table);
    }
    return layout;
}

// The layout made in a temporary folder of its own; empty when it could not be made, with why, naming the folder, in
// *problem (for the log).
OwnLayout makeOwnLayout(const QString &fileName, bool *known, QString *problem)
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
    OwnLayout layout = readLayout(path, &read);
    if (read && !layout.tables.isEmpty())
        return layout;
    *problem = u"не удалось прочитать таблицы базы в %1"_s.arg(QDir::toNativeSeparators(folder.path()));
    return {};
}

// The layout for the file name, made once per process by makeOwnLayout and read back; *known false, the layout empty,
// for a name the program keeps no database under; empty with *known true, and why in *problem, when it could not be
// made.
OwnLayout cachedLayout(const QString &fileName, bool *known, QString *problem)
{
    static QMutex mutex;
    // The layouts made so far, and an empty one for each name the program keeps no database under.
    static QHash<QString, OwnLayout> layouts;
    const QMutexLocker locker(&mutex);
    if (const auto found = layouts.constFind(fileName); found != layouts.constEnd()) {
        *known = !found->tables.isEmpty();
        return *found;
    }
    *known = true;
    const OwnLayout layout = makeOwnLayout(fileName, known, problem);
    if (!*known || !layout.tables.isEmpty())
        layouts.insert(fileName, layout);
    return layout;
}

// One table the merge reads, as the incoming file holds it.
struct IncomingTable
{
    // The program's table (its name as the program spells it), or, under a name without a layout, the file's own.
    OwnTable own;
    TableInfo info;
};

// A failing statement: the file is damaged or no database; SQLite's words go to the log.
PackageDatabaseFault damagedBy(const QString &systemText)
{
    logging::shownFailure(u"База данных в пакете повреждена"_s, systemText, u"sync"_s);
    return {true, {}};
}

PackageDatabaseFault damagedBy(const QSqlQuery &query)
{
    return damagedBy(query.lastError().text());
}

PackageDatabaseFault refusedFor(const QString &reason)
{
    return {false, reason};
}

// The tables of the file that the merge under the file name's rule reads, each checked to be an ordinary table
// without generated columns that has the program's key columns. Only the schema table and the pragmas about one
// named ordinary table are read: no view's query, nor any trigger, is even compiled.
PackageDatabaseFault readTables(const QSqlDatabase &database, const QString &fileName, QList<IncomingTable> *tables)
{
    QList<CatalogueEntry> entries;
    QString error;
    if (!readCatalogue(database, &entries, &error))
        return damagedBy(error);
    bool known = true;
    const QList<OwnTable> layout = ownLayout(fileName, &known);
    if (known && layout.isEmpty())
        return refusedFor(u"не удалось подготовить образец её таблиц для сверки"_s);
    for (const CatalogueEntry &entry : std::as_const(entries)) {
        OwnTable own;
        for (const OwnTable &table : layout) {
            if (table.name.compare(entry.name, Qt::CaseInsensitive) == 0)
                own = table;
        }
        // Under a name without a layout the merge reads every table and no view.
        if (known ? own.name.isEmpty() : entry.kind == CatalogueKind::View)
            continue;
        if (own.name.isEmpty())
            own.name = entry.name;
        if (entry.kind == CatalogueKind::View)
            return refusedFor(u"на месте таблицы %1 лежит представление"_s.arg(own.name));
        if (entry.kind == CatalogueKind::VirtualTable)
            return refusedFor(u"на месте таблицы %1 лежит виртуальная таблица"_s.arg(own.name));
        const TableInfo info = describeTable(database, entry, &error);
        if (!info.exists())
            return damagedBy(error);
        for (const ColumnInfo &column : info.declared) {
            if (column.generated) {
                return refusedFor(
                    u"столбец %1 таблицы %2 вычисляемый"_s.arg(EntryNameCheck::displayed(column.name), own.name));
            }
        }
        for (const QString &key : std::as_const(own.keyColumns)) {
            if (!containsName(info.columns, key))
                return refusedFor(u"в таблице %1 нет столбца %2"_s.arg(own.name, key));
        }
        tables->append({own, info});
    }
    return {};
}

// SQLite's own check of each table the merge reads, with its indexes, and of the schema table: a table the merge
// does not read is never looked into, so nothing it would compute counts.
PackageDatabaseFault checkWhole(const QSqlDatabase &database, const QList<IncomingTable> &tables)
{
    QStringList checked {u"sqlite_schema"_s};
    for (const IncomingTable &table : tables)
        checked.append(table.info.name);
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
        if (containsName(table.info.columns, column))
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
            which.join(u' '), quoteIdentifier(table.info.name), anyNull.join(u" OR "_s))))
        return damagedBy(query);
    if (!query.next())
        return {};
    return refusedFor(u"в таблице %1 пустое значение в обязательном столбце %2"_s.arg(
        table.own.name, present.value(query.value(0).toInt())));
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

// The first column of the table whose values SQLite cannot order, as it cannot compare them: one declared with a
// collation SQLite does not have.
QString uncomparableColumn(const QSqlDatabase &database, const TableInfo &table)
{
    QSqlQuery query(database);
    for (const QString &column : table.columns) {
        if (!query.prepare(
                u"SELECT 1 FROM main.%1 ORDER BY %2"_s.arg(quoteIdentifier(table.name), quoteIdentifier(column))))
            return column;
    }
    return {};
}

// Why the merge could not read a table of the file, in the words of the other refusals.
PackageDatabaseFault unreadable(
    const QSqlDatabase &database, const MergeReadFault &fault, const QList<IncomingTable> &tables)
{
    if (!fault.missingColumn.isEmpty())
        return refusedFor(u"в таблице %1 нет столбца %2"_s.arg(fault.table, fault.missingColumn));
    if (fault.table.isEmpty()) {
        logging::shownFailure(u"Не удалось подготовить образец базы для сверки"_s, fault.systemText, u"sync"_s);
        return refusedFor(u"не удалось подготовить образец её таблиц для сверки"_s);
    }
    logging::shownFailure(
        u"База данных в пакете не читается так, как её читает программа"_s, fault.systemText, u"sync"_s);
    for (const IncomingTable &table : tables) {
        if (table.own.name.compare(fault.table, Qt::CaseInsensitive) != 0)
            continue;
        if (const QString column = uncomparableColumn(database, table.info); !column.isEmpty()) {
            return refusedFor(u"у столбца %1 таблицы %2 неизвестное правило сравнения"_s.arg(
                EntryNameCheck::displayed(column), table.own.name));
        }
    }
    return refusedFor(u"таблица %1 не читается так, как её читает программа"_s.arg(fault.table));
}

// Every statement by which the merge reads the file, prepared as the merge will run it: on this connection, and on an
// empty database of the program's own layout made in memory, to which the file is attached as the merge attaches it
// to the local one. Nothing is read from the tables and nothing written.
PackageDatabaseFault checkMergeReads(
    const QSqlDatabase &database, const QString &fileName, const QList<IncomingTable> &tables)
{
    bool known = true;
    QString problem;
    const OwnLayout layout = cachedLayout(fileName, &known, &problem);
    // The package file is attached by its URI, which only a connection opened for URIs takes everywhere.
    const storage::SqlConnection target(u"TessaronPackageCheckLayout"_s, u":memory:"_s, uriConnectOption());
    QString failure = target.openError();
    if (target.isOpen()) {
        QSqlQuery make(target.database());
        for (const QString &statement : layout.statements) {
            if (failure.isEmpty() && !make.exec(statement))
                failure = make.lastError().text();
        }
        distrustSchema(target.database());
    }
    if (failure.isEmpty() && known)
        attachIncoming(target.database(), database.databaseName(), &failure);
    if (!failure.isEmpty()) {
        logging::shownFailure(u"Не удалось подготовить образец базы для сверки"_s, failure, u"sync"_s);
        return refusedFor(u"не удалось подготовить образец её таблиц для сверки"_s);
    }
    const MergeReadFault fault = prepareMergeReads(database, target.database(), fileName);
    return fault.isNone() ? PackageDatabaseFault() : unreadable(database, fault, tables);
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
    // The store's own text names a temporary file; of it only a full disk is worth the technician's reading.
    const QString sentence = u"Не удалось создать базу %1"_s.arg(fileName);
    *error = logging::shownFailure(
        failure.endsWith(storage::fullDiskReason()) ? sentence + storage::fullDiskReason() : sentence, failure,
        u"sync"_s);
    return false;
}

QList<OwnTable> ownLayout(const QString &fileName, bool *known)
{
    QString problem;
    return cachedLayout(fileName, known, &problem).tables;
}

bool prepareOwnLayout(const QString &fileName, QString *error)
{
    bool known = true;
    QString problem;
    if (!cachedLayout(fileName, &known, &problem).tables.isEmpty() || !known)
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
    return checkMergeReads(database, fileName, tables);
}

PackageDatabaseFault checkPackageDatabaseFile(const QString &path, const QString &fileName)
{
    storage::SqlConnection connection(u"TessaronPackageCheck"_s, packageDatabaseUri(path), packageConnectOptions());
    if (!connection.isOpen())
        return {true, {}};
    return checkPackageDatabase(connection.database(), fileName);
}

} // namespace tessaron::sync
