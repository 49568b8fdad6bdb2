#pragma once

#include "ddd_report.h"

#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

class QSqlQuery;

namespace tessaron::storage {
class SqlConnection;
}

namespace tessaron::ddd {

struct TypedTable;

// Decoded DDD reports in ReportsDB.db. A report is one header row (DriverCardReports or TachographReports,
// numbered independently, so a report is named by its id together with its type), typed child rows for the
// older readers, every dataset row as JSON in DddRows, its sections in DddSections and one JSON object of
// its scalar fields and analysis in DddReportMeta. The JSON is compact with members in ascending key order:
// the synchronisation merge reads these tables too.
//
// Owns one named connection; used on the thread that made it. Failures are results: -1, false or an empty
// value, with the driver's text in lastError(), which no later success clears. A statement waits storage::busyWait
// for a file that another program (or another copy of this one) holds before it fails.
class DddRepository
{
public:
    // Opens path, or the catalogue's reports database (moving an earlier one into place) when path is empty,
    // and creates and upgrades the schema. When the catalogue or the open fails, isOpen() is false, no
    // connection exists and lastError() says why; every operation then fails at once without touching a file.
    explicit DddRepository(const QString &path = {});
    ~DddRepository();
    DddRepository(const DddRepository &) = delete;
    DddRepository &operator=(const DddRepository &) = delete;

    bool isOpen() const;
    QString lastError() const { return m_lastError; }

    // Stores the whole report in one transaction and returns its new id; -1 when nothing was stored (lastError
    // unchanged when the database is not open; "Не удалось сохранить отчёт в базу: недостаточно памяти" when memory
    // ran out). A Tachograph report is stored as a tachograph report, every other type as a driver card. Saving the
    // same report twice stores it twice.
    qint64 save(const DddReport &report);

    // The stored report rebuilt: header fields, meta, all 38 datasets (typed tables for a dataset that has no
    // JSON rows), blocks from the stored sections and a one-line structure note; the analysis is recomputed
    // when none was stored. Every statement runs in one read transaction, so a write of another program is
    // seen whole or not at all. Type Unknown when no such report is stored (or type is neither DriverCard nor
    // Tachograph), error untouched; type Unknown too when a statement failed (a file held past the busy wait) or
    // memory ran out (loadOutOfMemoryText): then lastError and error, when not null, say why, and nothing read so
    // far is returned.
    DddReport loadReport(qint64 reportId, DddFileType type, QString *error = nullptr) const;
    // "Не удалось прочитать сохранённый отчёт: недостаточно памяти": how a load tells that memory ran out, and so
    // whatever builds more from the loaded report on the way to showing it.
    static QString loadOutOfMemoryText();
    // The loaded report as the viewer reads it: its summary with "reportId", "analysis" and 30 of the datasets;
    // an empty map when loadReport finds nothing or fails.
    QVariantMap load(qint64 reportId, DddFileType type) const;
    // One dataset's rows from DddRows in row order; rows that are not JSON objects are skipped. Empty on failure.
    QVariantList loadRows(qint64 reportId, DddFileType type, const QString &dataset) const;
    // All rows of one typed child table for the report, each column under its name and under the name with a
    // lower-case first letter; empty when the table is missing or on failure.
    QVariantList loadLegacyRows(qint64 reportId, const QString &table) const;
    // Replaces the report's dataset of that name with rows; any other name changes nothing.
    static void appendRows(DddReport &report, const QString &dataset, const QVariantList &rows);

    // Every stored report of both kinds as maps (reportId, reportDate, keyValue, description, eventCount,
    // faultCount, reportType as display text, fileKind as the DddFileType's value), newest first; undated entries last;
    // equal dates by the higher id. Empty when the database is not open or the query fails: then lastError says why,
    // and so does error when it is not null, which tells a failed listing from an empty archive.
    QVariantList listReports(QString *error = nullptr) const;

    // The highest id of a stored report of the same type whose fingerprint equals the report's, or, where
    // either fingerprint is missing, whose file path equals the report's non-empty path; 0 when none, -1 on
    // error ("DDD report database is not open" also for a report of type Unknown).
    qint64 findDuplicateReport(const DddReport &report) const;
    // reportId when a report of that type is stored under it, 0 when not, -1 on error (lastError says why).
    qint64 storedReportId(qint64 reportId, DddFileType type) const;

    // Deletes the report with its rows, sections, meta and (by cascade) typed child rows, all or nothing.
    // True also when no such report was stored; false when not open (lastError unchanged) or on failure.
    bool remove(qint64 reportId, DddFileType type);

private:
    void setError(const QString &text) const;
    bool exec(const QString &sql) const;
    // Binds values in order and executes the prepared query; on failure its text becomes the last error.
    bool execBound(QSqlQuery &query, const QVariantList &values) const;
    bool initialize();
    bool ensureColumn(const QString &table, const QString &column, const QString &type);

    qint64 saveDriverCard(const DddReport &report);
    qint64 saveTachograph(const DddReport &report);
    qint64 saveInTransaction(const DddReport &report, DddFileType storedType);
    qint64 insertDriverCardHeader(const DddReport &report) const;
    qint64 insertTachographHeader(const DddReport &report) const;
    bool saveTypedRows(qint64 reportId, const DddReport &report, const TypedTable &table) const;
    bool saveTachographChildren(qint64 reportId, const DddReport &report) const;
    bool saveRows(qint64 reportId, DddFileType type, const QString &dataset, const QVariantList &rows) const;
    bool saveSections(qint64 reportId, DddFileType type, const DddReport &report) const;

    enum class Lookup { Found, Missing, Failed };
    // loadReport's work, which throws std::bad_alloc when memory runs out.
    DddReport rebuildReport(qint64 reportId, DddFileType type, QString *error) const;
    // The stored parts of the report, read in one read transaction: Missing without a header row, Failed when a
    // statement failed.
    Lookup readStoredReport(DddReport &report, qint64 reportId) const;
    Lookup loadHeader(DddReport &report, qint64 reportId) const;
    bool loadMeta(DddReport &report, qint64 reportId) const;
    bool loadDatasets(DddReport &report, qint64 reportId) const;
    bool loadSections(DddReport &report, qint64 reportId) const;
    // Each false on a failed statement, with the load's failure in lastError; rows as their public twins give them.
    bool readRows(qint64 reportId, DddFileType type, const QString &dataset, QVariantList *rows) const;
    bool readLegacyRows(qint64 reportId, const QString &table, QVariantList *rows) const;
    // Makes the query's failure the load's, in lastError; always false.
    bool loadFailed(const QSqlQuery &query) const;
    // After the query's rows: true when they ran out, false (as loadFailed) when a step failed.
    bool rowsRanOut(const QSqlQuery &query) const;

    std::unique_ptr<storage::SqlConnection> m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::ddd
