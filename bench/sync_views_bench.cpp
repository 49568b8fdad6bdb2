// Area "views": the import of a package whose masters database holds, beside its one master, views that SQLite takes
// long to compile (fifteen, each the UNION ALL of the one before with itself, and forty over the last) and a trigger
// over them, beside the import of the same package without them. The merge reads neither, so the two should cost
// about the same. The files given are not read.

#include "core_bench.h"

#include "storage/master_repository.h"
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

constexpr int nestedViews = 15;
constexpr int viewsOverTheLast = 40;

// The views, and a trigger that would compile them all when a master is inserted into the file.
bool writeViews(const QString &path)
{
    QStringList statements {u"CREATE VIEW Nested0 AS SELECT * FROM Masters"_s};
    for (int level = 1; level <= nestedViews; ++level)
        statements.append(u"CREATE VIEW Nested%1 AS SELECT * FROM Nested%2 UNION ALL SELECT * FROM Nested%2"_s.arg(
            QString::number(level), QString::number(level - 1)));
    for (int view = 1; view <= viewsOverTheLast; ++view)
        statements.append(u"CREATE VIEW Over%1 AS SELECT * FROM Nested%2"_s.arg(view).arg(nestedViews));
    statements.append(u"CREATE TRIGGER Counted AFTER INSERT ON Masters BEGIN SELECT count(*) FROM Over%1; END"_s.arg(
        viewsOverTheLast));
    storage::SqlConnection connection(u"ViewsBench"_s, path);
    QSqlQuery query(connection.database());
    for (const QString &statement : std::as_const(statements)) {
        if (!query.exec(statement))
            return false;
    }
    return true;
}

// Exports installation name, holding one master (and the views when asked), as the package at path.
bool writePackage(const QTemporaryDir &root, const QString &name, bool withViews, const QString &path)
{
    useInstallation(root, name);
    const QString masters = SynchronizationManager::databasePath(u"MasterDB.db"_s);
    return storage::MasterRepository(masters).addMaster(u"Иванов"_s) > 0 && (!withViews || writeViews(masters))
        && SynchronizationManager::exportPackage(path).success;
}

} // namespace

int benchSyncViews(const QStringList &, int repeat)
{
    QTemporaryDir root;
    const QByteArray previousLocalAppData = qgetenv("LOCALAPPDATA");
    const QString plain = root.filePath(u"plain.tspak"_s);
    const QString views = root.filePath(u"views.tspak"_s);
    if (!writePackage(root, u"A"_s, false, plain) || !writePackage(root, u"B"_s, true, views)) {
        std::fprintf(stderr, "cannot write the packages\n");
        return 1;
    }
    std::printf("views: packages of %lld bytes (plain) and %lld bytes (%d views and a trigger)\n",
        QFileInfo(plain).size(), QFileInfo(views).size(), nestedViews + 1 + viewsOverTheLast);
    int run = 0;
    for (const auto &[what, package] : {std::pair {"importPackage of the plain package", plain},
             std::pair {"importPackage of the package with the views", views}}) {
        SyncResult result;
        print(what, repeat, measure(repeat, [&] {
            useInstallation(root, u"C%1"_s.arg(run++));
            result = SynchronizationManager::importPackage(package);
        }));
        std::printf("  %s\n", qPrintable(result.message));
    }
    storage::AppPaths::setProgramDirectoryForTesting({});
    qputenv("LOCALAPPDATA", previousLocalAppData);
    return 0;
}

} // namespace tessaron::bench
