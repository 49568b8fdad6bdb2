// Area "merge-rows": the synchronisation merge of report files whose rows the matching cannot tell apart by an index
// key, each beside a file of as many distinct rows. One vehicle-unit report holding 20,000 equal events (rows of one
// key) against one holding 20,000 distinct events, each merged into a copy of itself, as every import after the
// first does; 1,000 copies of one report without report meta, of 30 and of 1,000 events each (every copy goes to the
// same local report), against one report of 30,000 and of 1,000,000 events, each merged into an installation without
// the file (a new file) and into a copy of itself. The files are written with the program's own layout and filled by
// SQL.

#include "core_bench.h"

#include "ddd/ddd_repository.h"
#include "storage/sql_connection.h"
#include "sync/database_merge.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <tuple>

using namespace Qt::StringLiterals;

namespace tessaron::bench {

namespace {

constexpr int oneKeyRows = 20000;
constexpr int copies = 1000;

// What a report file holds: how many reports, whether each has its meta (a fingerprint of its own), and how many
// events each; distinct events differ in their begin time, equal ones in nothing.
struct ReportFile
{
    int reports;
    bool withMeta;
    int events;
    bool distinct;
};

bool execute(const QSqlDatabase &database, const QString &statement)
{
    QSqlQuery query(database);
    if (query.exec(statement))
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(statement), qPrintable(query.lastError().text()));
    return false;
}

bool writeReportFile(const QString &path, const ReportFile &file)
{
    if (!ddd::DddRepository(path).isOpen())
        return false;
    storage::SqlConnection connection(u"TessaronBenchRows"_s, path);
    const QSqlDatabase database = connection.database();
    const QString numbers = u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "_s;
    // Copies of one report repeat its events; within a report they differ or not.
    const QString beginTime = file.distinct
        ? u"datetime('2024-02-01', '+' || ((i - 1) % %1) || ' minutes')"_s.arg(file.events)
        : u"'2024-02-01 10:00:00'"_s;
    return execute(database, u"BEGIN"_s)
        && execute(database,
            numbers.arg(file.reports)
                + u"INSERT INTO TachographReports (ReportId, ReportDate, VIN) SELECT i, '2024-03-01 12:00:00', "
                  "'WDB0000000000001' FROM n"_s)
        && (!file.withMeta
            || execute(database,
                numbers.arg(file.reports)
                    + u"INSERT INTO DddReportMeta (ReportId, ReportType, Json) SELECT i, 2, "
                      "json_object('sourceFingerprint', 'f' || i, 'filePath', '/d/' || i || '.ddd') FROM n"_s))
        && execute(database,
            numbers.arg(file.reports * file.events)
                + u"INSERT INTO TachoEvents (ReportId, EventType, EventRecordPurpose, EventBeginTime, EventEndTime) "
                  "SELECT (i - 1) / %1 + 1, 'Превышение скорости', '1', %2, '2024-02-01 11:00:00' FROM n"_s.arg(
                      QString::number(file.events), beginTime))
        && execute(database, u"COMMIT"_s);
}

// Merges the file into a copy of itself (repeat times) and, unless intoCopyOnly, into an installation without it.
bool measureFile(const char *what, const ReportFile &file, int repeat, bool intoCopyOnly)
{
    QTemporaryDir folder;
    const QString incoming = folder.filePath(u"incoming.db"_s);
    if (!writeReportFile(incoming, file)) {
        std::fprintf(stderr, "cannot write the report file\n");
        return false;
    }
    bool merged = true;
    int added = 0;
    QString error;
    const QString fresh = folder.filePath(u"new/driver_cards.db"_s);
    if (!intoCopyOnly) {
        print((std::string(what) + ", into a new file").c_str(), repeat, measure(repeat, [&] {
            QFile::remove(fresh);
            added = 0;
            merged = merged && sync::mergeDatabase(incoming, fresh, &added, &error);
        }));
        std::printf("  %d rows added\n", added);
    } else {
        merged = sync::mergeDatabase(incoming, fresh, &added, &error);
    }
    print((std::string(what) + ", into a copy").c_str(), repeat, measure(repeat, [&] {
        added = 0;
        merged = merged && sync::mergeDatabase(incoming, fresh, &added, &error);
    }));
    if (!merged || added != 0) {
        std::fprintf(stderr, "merge: %s, %d rows added\n", qPrintable(error), added);
        return false;
    }
    return true;
}

} // namespace

int benchSyncMergeRows(const QStringList &, int repeat)
{
    bool measured = measureFile("20,000 events of one key", {1, true, oneKeyRows, false}, repeat, true)
        && measureFile("20,000 distinct events", {1, true, oneKeyRows, true}, repeat, true);
    for (const auto &[events, copy, report] : {std::tuple {30, "30", "30,000"}, {1000, "1,000", "1,000,000"}}) {
        measured = measured
            && measureFile(qPrintable(u"1,000 copies of %1 events, no meta"_s.arg(QLatin1StringView(copy))),
                {copies, false, events, true}, repeat, false)
            && measureFile(qPrintable(u"one report of %1 events, no meta"_s.arg(QLatin1StringView(report))),
                {1, false, copies * events, true}, repeat, false);
    }
    return measured ? 0 : 1;
}

} // namespace tessaron::bench
