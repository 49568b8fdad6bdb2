// Area "schema": the import of a package whose customers database (10 MB) holds, in a table the program never reads,
// a column whose DEFAULT is an IN list of 5,000,000 items. SQLite builds the whole schema of a file when it first reads
// it, so this measures what a package's schema can cost the import. The files given are not read. Run the area in a
// process of its own: the peak memory it prints is the process's, and its growth during the imports.

#include "core_bench.h"

#include "storage/app_paths.h"
#include "storage/customer_repository.h"
#include "storage/sql_connection.h"
#include "sync/synchronization_manager.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using tessaron::sync::SynchronizationManager;
using tessaron::sync::SyncResult;

namespace tessaron::bench {

namespace {

constexpr int listItems = 5'000'000;

// The customers database of the program's own layout with one customer, and the unread table. Its statement is
// written into the schema table as it stands, so that this process never builds it.
bool writeHeavySchema(const QString &path)
{
    if (storage::CustomerRepository(path).addCustomer(u"Ромашка"_s, {}, {}) <= 0)
        return false;
    QString statement = u"CREATE TABLE Unread (x DEFAULT (1 IN ("_s;
    statement.reserve(statement.size() + 2 * listItems + 3);
    for (int i = 1; i < listItems; ++i)
        statement += u"1,"_s;
    statement += u"1)))"_s;
    storage::SqlConnection connection(u"SchemaBench"_s, path);
    QSqlQuery query(connection.database());
    if (!query.exec(u"CREATE TABLE Unread (x)"_s) || !query.exec(u"PRAGMA writable_schema = ON"_s)
        || !query.prepare(u"UPDATE sqlite_schema SET sql = ? WHERE name = 'Unread'"_s))
        return false;
    query.addBindValue(statement);
    return query.exec();
}

} // namespace

int benchSyncSchema(const QStringList &, int repeat)
{
    QTemporaryDir root;
    const QByteArray previousLocalAppData = qgetenv("LOCALAPPDATA");
    useInstallation(root, u"A"_s);
    const QString customers = SynchronizationManager::databasePath(u"CustomersDB.db"_s);
    const QString package = root.filePath(u"schema.tspak"_s);
    if (!writeHeavySchema(customers) || !SynchronizationManager::exportPackage(package).success) {
        std::fprintf(stderr, "cannot write the package\n");
        return 1;
    }
    std::printf("schema: CustomersDB.db of %.1f MB, package of %.1f MB\n", double(QFileInfo(customers).size()) / 1e6,
        double(QFileInfo(package).size()) / 1e6);
    // Writing the file took memory of its own: the peak is counted again from here.
    const bool restarted = restartPeakResident();
    const long before = residentKilobytes("VmRSS:");
    int run = 0;
    SyncResult result;
    print("importPackage into an empty installation", repeat, measure(repeat, [&] {
        useInstallation(root, u"B%1"_s.arg(run++));
        result = SynchronizationManager::importPackage(package);
    }));
    std::printf("  %s\n", qPrintable(result.message));
    const long peak = restarted ? residentKilobytes("VmHWM:") : peakResidentKilobytes();
    std::printf("  peak resident memory %s%.1f MB, %.1f MB more than before the imports\n",
        restarted ? "during the imports " : "of the process ", double(peak) / 1024.0, double(peak - before) / 1024.0);
    storage::AppPaths::setProgramDirectoryForTesting({});
    qputenv("LOCALAPPDATA", previousLocalAppData);
    return 0;
}

} // namespace tessaron::bench
