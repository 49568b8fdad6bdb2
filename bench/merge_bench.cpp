// tessaron_merge_bench: how long a synchronisation takes to merge a large legacy report file ("driver_cards.db")
// into a copy of itself, the usual case of every import, where every row is a duplicate. The file is synthetic:
// card reports of 227 days and month-long vehicle-unit reports in the report database's layout.

#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"
#include "sync/database_merge.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QString schema[] = {
    u"CREATE TABLE DriverCardReports (ReportId INTEGER PRIMARY KEY AUTOINCREMENT, ReportDate DATETIME DEFAULT "
    "CURRENT_TIMESTAMP, CardNumber TEXT, DriverFullName TEXT, DataStartDate TEXT, DataEndDate TEXT, ImportDate "
    "DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE Events (EventId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER, EventType TEXT, "
    "EventBeginTime TEXT, EventEndTime TEXT, VehicleRegistrationNumber TEXT, VehicleRegistrationNation TEXT, "
    "ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE ActivityChanges (ActivityChangeId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER, "
    "ActivityDailyPresenceCounter1 TEXT, Slot TEXT, DrivingStatus TEXT, CardStatus TEXT, Activity TEXT, Time TEXT, "
    "ImportDate DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE DriverActivities (ActivityId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER, "
    "ActivityRecordDate TEXT, ActivityDayDistance TEXT, ActivityDailyPresenceCounter TEXT, ImportDate DATETIME "
    "DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE TachographReports (ReportId INTEGER PRIMARY KEY AUTOINCREMENT, ReportDate DATETIME DEFAULT "
    "CURRENT_TIMESTAMP, VIN TEXT, VehicleRegistration TEXT, DataStartDate TEXT, DataEndDate TEXT, ImportDate "
    "DATETIME DEFAULT CURRENT_TIMESTAMP)"_s,
    u"CREATE TABLE TachoActivityDaily (ActivityId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER NOT NULL, "
    "DayNo INTEGER, Slot TEXT, DrivingStatus TEXT, CardStatus TEXT, Activity TEXT, TimeOfChange TEXT)"_s,
    u"CREATE TABLE TachoDetailedSpeedData (SpeedId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER NOT NULL, "
    "SpeedBlockBeginDate TEXT, SpeedsPerSecond TEXT, SpeedValuesJson TEXT)"_s,
    u"CREATE TABLE DddRows (RowId INTEGER PRIMARY KEY AUTOINCREMENT, ReportId INTEGER NOT NULL, ReportType INTEGER "
    "NOT NULL, Dataset TEXT NOT NULL, RowIndex INTEGER NOT NULL, Json TEXT NOT NULL)"_s,
    u"CREATE INDEX IF NOT EXISTS idx_ddd_rows_report ON DddRows(ReportId, ReportType, Dataset, RowIndex)"_s,
    u"CREATE TABLE DddReportMeta (ReportId INTEGER NOT NULL, ReportType INTEGER NOT NULL, Json TEXT NOT NULL, "
    "PRIMARY KEY(ReportId, ReportType))"_s,
};

class Writer
{
public:
    explicit Writer(QSqlDatabase database)
        : m_database(std::move(database))
    { }

    // Runs the statement with the values; stops the program on failure, a benchmark has nothing to recover.
    void run(const QString &statement, const QVariantList &values = {})
    {
        QSqlQuery &query = m_queries[statement];
        if (query.lastQuery() != statement) {
            query = QSqlQuery(m_database);
            query.prepare(statement);
        }
        for (qsizetype i = 0; i < values.size(); ++i)
            query.bindValue(int(i), values.at(i));
        if (!query.exec()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(statement), qPrintable(query.lastError().text()));
            std::exit(1);
        }
        ++m_rows;
    }

    qint64 rows() const { return m_rows; }
    void clear() { m_queries.clear(); }

private:
    QSqlDatabase m_database;
    QHash<QString, QSqlQuery> m_queries;
    qint64 m_rows = 0;
};

void addGenericRow(Writer &writer, qint64 reportId, int type, const QString &dataset, int index, const QString &json)
{
    writer.run(u"INSERT INTO DddRows (ReportId, ReportType, Dataset, RowIndex, Json) VALUES (?, ?, ?, ?, ?)"_s,
        {reportId, type, dataset, index, json});
}

void addCardReport(Writer &writer, int card)
{
    writer.run(u"INSERT INTO DriverCardReports (CardNumber, DriverFullName, DataStartDate, DataEndDate) "
               "VALUES (?, ?, '01.01.2024', '15.08.2024')"_s,
        {u"RUD%1"_s.arg(card, 13, 10, QLatin1Char('0')), u"Водитель %1"_s.arg(card)});
    const qint64 id = card + 1;
    int row = 0;
    for (int day = 0; day < 227; ++day) {
        const QString counter = u"%1"_s.arg(day, 4, 10, QLatin1Char('0'));
        writer.run(u"INSERT INTO DriverActivities (ReportId, ActivityRecordDate, ActivityDayDistance, "
                   "ActivityDailyPresenceCounter) VALUES (?, ?, ?, ?)"_s,
            {id, u"2024-01-01 +%1 days"_s.arg(day), QString::number(300 + day % 200), counter});
        for (int change = 0; change < 22; ++change) {
            const QString time
                = u"%1:%2"_s.arg(change, 2, 10, QLatin1Char('0')).arg(change * 7 % 60, 2, 10, QLatin1Char('0'));
            const QString activity = change % 4 == 0 ? u"DRIVING"_s : change % 4 == 1 ? u"WORK"_s : u"BREAK/REST"_s;
            writer.run(u"INSERT INTO ActivityChanges (ReportId, ActivityDailyPresenceCounter1, Slot, DrivingStatus, "
                       "CardStatus, Activity, Time) VALUES (?, ?, 'DRIVER', 'SINGLE', 'INSERTED', ?, ?)"_s,
                {id, counter, activity, time});
            addGenericRow(writer, id, 1, u"activityChanges"_s, row++,
                u"{\"activity\":\"%1\",\"activityDailyPresenceCounter1\":\"%2\",\"cardStatus\":\"INSERTED\","
                "\"drivingStatus\":\"SINGLE\",\"slot\":\"DRIVER\",\"time\":\"%3\"}"_s.arg(activity, counter, time));
        }
    }
    for (int event = 0; event < 20; ++event)
        writer.run(u"INSERT INTO Events (ReportId, EventType, EventBeginTime, EventEndTime, "
                   "VehicleRegistrationNumber, VehicleRegistrationNation) VALUES (?, 'Превышение скорости', ?, ?, "
                   "'А123ВС', 'RUS')"_s,
            {id, u"2024-02-%1 10:00:00"_s.arg(event + 1, 2, 10, QLatin1Char('0')),
                u"2024-02-%1 10:05:00"_s.arg(event + 1)});
    writer.run(u"INSERT INTO DddReportMeta (ReportId, ReportType, Json) VALUES (?, 1, '{}')"_s, {id});
}

void addUnitReport(Writer &writer, int unit)
{
    writer.run(u"INSERT INTO TachographReports (VIN, VehicleRegistration, DataStartDate, DataEndDate) "
               "VALUES (?, ?, '01.03.2024', '31.03.2024')"_s,
        {u"WDB%1"_s.arg(unit, 14, 10, QLatin1Char('0')), u"А%1ВС77"_s.arg(unit, 3, 10, QLatin1Char('0'))});
    const qint64 id = unit + 1;
    int chartRow = 0;
    for (int day = 0; day < 30; ++day) {
        for (int change = 0; change < 100; ++change)
            writer.run(u"INSERT INTO TachoActivityDaily (ReportId, DayNo, Slot, DrivingStatus, CardStatus, Activity, "
                       "TimeOfChange) VALUES (?, ?, 'Водитель', 'Один', 'Вставлена', 'Вождение', ?)"_s,
                {id, day,
                    u"%1:%2"_s.arg(change / 6, 2, 10, QLatin1Char('0')).arg(change % 6 * 10, 2, 10, QLatin1Char('0'))});
        for (int block = 0; block < 48; ++block) {
            const QString begin = u"2024-03-%1 %2:%3:00"_s.arg(day + 1, 2, 10, QLatin1Char('0'))
                                      .arg(block / 2, 2, 10, QLatin1Char('0'))
                                      .arg(block % 2 * 30, 2, 10, QLatin1Char('0'));
            QStringList speeds;
            for (int second = 0; second < 60; ++second)
                speeds.append(QString::number((second + block) % 90));
            const QString list = u"["_s + speeds.join(u',') + u"]"_s;
            writer.run(u"INSERT INTO TachoDetailedSpeedData (ReportId, SpeedBlockBeginDate, SpeedsPerSecond, "
                       "SpeedValuesJson) VALUES (?, ?, ?, ?)"_s,
                {id, begin, speeds.join(u' '), list});
            for (int second = 0; second < 60; ++second)
                addGenericRow(writer, id, 2, u"charts"_s, chartRow++,
                    u"{\"speed\":%1,\"time\":\"%2+%3\"}"_s.arg(speeds.at(second), begin).arg(second));
        }
    }
    writer.run(u"INSERT INTO DddReportMeta (ReportId, ReportType, Json) VALUES (?, 2, '{}')"_s, {id});
}

bool writeReportFile(const QString &path, int cards, int units, qint64 *rows)
{
    tessaron::storage::SqlConnection connection(u"MergeBench"_s, path);
    if (!connection.isOpen())
        return false;
    Writer writer(connection.database());
    for (const QString &statement : schema)
        writer.run(statement);
    {
        tessaron::storage::TransactionGuard transaction(connection.database());
        for (int card = 0; card < cards; ++card)
            addCardReport(writer, card);
        for (int unit = 0; unit < units; ++unit)
            addUnitReport(writer, unit);
        writer.clear();
        if (!transaction.commit())
            return false;
    }
    *rows = writer.rows();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Merges a synthetic legacy report file into a copy of itself."_s);
    parser.addHelpOption();
    const QCommandLineOption cardsOption(u"cards"_s, u"Card reports of 227 days (30)."_s, u"n"_s, u"30"_s);
    const QCommandLineOption unitsOption(u"units"_s, u"Month-long vehicle-unit reports (10)."_s, u"n"_s, u"10"_s);
    parser.addOptions({cardsOption, unitsOption});
    parser.process(application);

    QTemporaryDir directory;
    const QString incoming = directory.filePath(u"incoming.db"_s);
    const QString local = directory.filePath(u"driver_cards.db"_s);
    qint64 rows = 0;
    QElapsedTimer timer;
    timer.start();
    if (!writeReportFile(incoming, parser.value(cardsOption).toInt(), parser.value(unitsOption).toInt(), &rows)
        || !QFile::copy(incoming, local)) {
        std::fprintf(stderr, "cannot write the report file\n");
        return 1;
    }
    std::printf("written: %lld rows, %lld bytes, %.2f s\n", rows, QFile(incoming).size(), timer.elapsed() / 1000.0);

    for (int run = 1; run <= 2; ++run) {
        int added = 0;
        QString error;
        timer.restart();
        const bool merged = tessaron::sync::mergeDatabase(incoming, local, &added, &error);
        std::printf("merge %d into a copy: %s, %d rows added, %.2f s\n", run, merged ? "merged" : qPrintable(error),
            added, timer.elapsed() / 1000.0);
    }
    return 0;
}
