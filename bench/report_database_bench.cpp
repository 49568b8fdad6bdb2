// Area "database": saving and loading a real vehicle-unit report, listing 10,000 reports and the duplicate
// search over 2,000 card reports, each on a ReportsDB.db in a temporary folder.

#include "core_bench.h"

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
#include "ddd/ddd_repository_values.h"
#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using tessaron::ddd::DddFileType;
using tessaron::ddd::DddReport;
using tessaron::ddd::DddRepository;

namespace tessaron::bench {

namespace {

bool run(const storage::SqlConnection &connection, const QString &statement, const QVariantList &values = {})
{
    QSqlQuery query(connection.database());
    query.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (query.exec())
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(statement), qPrintable(query.lastError().text()));
    return false;
}

bool saveAndLoad(const QString &folder, const QString &path, int repeat)
{
    QString error;
    const DddReport report = ddd::Decoder::decodeFile(path, &error);
    if (report.fileType == DddFileType::Unknown) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
        return false;
    }
    const QString file = folder + u"/save/ReportsDB.db"_s;
    QDir().mkpath(QFileInfo(file).absolutePath());
    DddRepository repository(file);
    const qint64 emptySize = QFileInfo(file).size();
    qint64 id = 0;
    print("save (one report per run)", repeat, measure(repeat, [&] { id = repository.save(report); }));
    if (id <= 0) {
        std::fprintf(stderr, "save failed: %s\n", qPrintable(repository.lastError()));
        return false;
    }
    std::printf("  %lld chart rows, %lld speed rows; the file grows by %.1f MB per report\n",
        static_cast<long long>(report.charts.size()), static_cast<long long>(report.detailedSpeed.size()),
        double(QFileInfo(file).size() - emptySize) / 1e6 / repeat);
    qsizetype charts = 0;
    print("loadReport", repeat,
        measure(repeat, [&] { charts = repository.loadReport(id, DddFileType::Tachograph).charts.size(); }));
    return charts == report.charts.size();
}

bool listing(const QString &folder, int repeat)
{
    const QString file = folder + u"/list/ReportsDB.db"_s;
    QDir().mkpath(QFileInfo(file).absolutePath());
    DddRepository repository(file);
    const storage::SqlConnection connection(u"Bench"_s, file);
    {
        storage::TransactionGuard transaction(connection.database());
        for (int i = 0; i < 5000; ++i) {
            const QVariantList values {u"-%1 minutes"_s.arg(i)};
            if (!run(connection,
                    u"INSERT INTO DriverCardReports (ReportDate, CardNumber, TotalEvents) VALUES (datetime('now', ?), 'C', 1)"_s,
                    values)
                || !run(connection,
                    u"INSERT INTO TachographReports (ReportDate, VIN, TotalEvents) VALUES (datetime('now', ?), 'V', 1)"_s,
                    values))
                return false;
        }
        transaction.commit();
    }
    qsizetype entries = 0;
    print("listReports, 10,000 reports dated by the database", repeat,
        measure(repeat, [&] { entries = repository.listReports().size(); }));
    for (const QString &table : {u"DriverCardReports"_s, u"TachographReports"_s}) {
        if (!run(connection,
                u"UPDATE %1 SET ReportDate = strftime('%d.%m.%Y %H:%M:%S', ReportDate) WHERE ReportId % 2 = 0"_s.arg(
                    table)))
            return false;
    }
    print("listReports, half of them dated dd.MM.yyyy HH:mm:ss", repeat,
        measure(repeat, [&] { entries = repository.listReports().size(); }));
    return entries == 10000;
}

bool duplicates(const QString &folder, int repeat)
{
    const QString file = folder + u"/duplicates/ReportsDB.db"_s;
    QDir().mkpath(QFileInfo(file).absolutePath());
    DddRepository repository(file);
    const storage::SqlConnection connection(u"Bench"_s, file);
    // A card report's meta of about 50 KB, most of it the analysis of its days.
    QVariantList days;
    for (int day = 0; day < 250; ++day)
        days.append(QVariantMap {{u"dayNumber"_s, day}, {u"workTime"_s, u"08:30"_s}, {u"restTime"_s, u"11:00"_s},
            {u"availableTime"_s, u"01:10"_s}, {u"unknownTime"_s, u"00:00"_s}, {u"workStart"_s, u"06:00"_s},
            {u"workEnd"_s, u"18:20"_s}, {u"activityChangesCount"_s, 24}, {u"manualInputCount"_s, 0}});
    QVariantMap meta {{u"analysis"_s, QVariantMap {{u"workingHours"_s, days}}}, {u"driverName"_s, u"Иванов И. И."_s}};
    {
        storage::TransactionGuard transaction(connection.database());
        for (int id = 1; id <= 2000; ++id) {
            meta.insert(u"sourceFingerprint"_s, u"%1"_s.arg(id, 64, 10, QLatin1Char('0')));
            meta.insert(u"filePath"_s, u"C:/Загрузки/card-%1.ddd"_s.arg(id));
            if (!run(connection, u"INSERT INTO DddReportMeta (ReportId, ReportType, Json) VALUES (?, 1, ?)"_s,
                    {id, QString::fromUtf8(ddd::compactJson(meta))}))
                return false;
        }
        transaction.commit();
    }
    DddReport wanted;
    wanted.fileType = DddFileType::DriverCard;
    wanted.sourceFingerprint = u"f"_s.repeated(64);
    wanted.filePath = u"C:/Загрузки/new.ddd"_s;
    qint64 found = -1;
    print("findDuplicateReport, 2,000 card reports of 50 KB meta, no match", repeat,
        measure(repeat, [&] { found = repository.findDuplicateReport(wanted); }));
    return found == 0;
}

} // namespace

int benchReportDatabase(const QStringList &files, int repeat)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    if (!saveAndLoad(folder.path(), files.constFirst(), repeat) || !listing(folder.path(), repeat)
        || !duplicates(folder.path(), repeat)) {
        std::fprintf(stderr, "report database benchmark failed\n");
        return 1;
    }
    return 0;
}

} // namespace tessaron::bench
