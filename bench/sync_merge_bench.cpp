// Area "merge": the check of a large legacy report file ("driver_cards.db") as a package brings it, then its
// synchronisation merge into a copy of itself, the usual case of every import, where every row is already there;
// then into an installation without that file.
// The file is synthetic, saved by the report repository: card reports of 227 days and month-long vehicle-unit
// reports.

#include "core_bench.h"

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
#include "ddd_file_builder.h"
#include "sync/database_merge.h"
#include "sync/package_database_check.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using tessaron::ddd::DddReport;

namespace tessaron::bench {

namespace {

constexpr int cardReports = 30;
constexpr int unitReports = 10;

// A driver-card report of 227 days with 22 activity changes a day, as the card decoder lays out its rows.
DddReport cardReport(int card)
{
    DddReport report;
    report.fileType = ddd::DddFileType::DriverCard;
    report.fileName = u"card-%1.ddd"_s.arg(card);
    report.cardNumber = u"RUD%1"_s.arg(card, 13, 10, QLatin1Char('0'));
    report.driverName = u"Водитель %1"_s.arg(card);
    for (int day = 0; day < 227; ++day) {
        const QString counter = u"%1"_s.arg(day, 4, 10, QLatin1Char('0'));
        const QString date = QDate(2024, 1, 1).addDays(day).toString(u"dd.MM.yyyy"_s);
        report.activities.append(QVariantMap {{u"activityRecordDate"_s, date},
            {u"activityDayDistance"_s, 300 + day % 200}, {u"activityDailyPresenceCounter"_s, counter}});
        for (int change = 0; change < 22; ++change) {
            const QString activity = change % 4 == 0 ? u"DRIVING"_s : change % 4 == 1 ? u"WORK"_s : u"BREAK/REST"_s;
            report.activityChanges.append(QVariantMap {{u"activityDailyPresenceCounter1"_s, counter},
                {u"slot"_s, u"DRIVER"_s}, {u"drivingStatus"_s, u"SINGLE"_s}, {u"cardStatus"_s, u"INSERTED"_s},
                {u"activity"_s, activity}, {u"time"_s, QTime(change, change * 7 % 60).toString(u"HH:mm"_s)}});
        }
    }
    for (int event = 0; event < 20; ++event)
        report.events.append(QVariantMap {{u"eventType"_s, u"Превышение скорости"_s},
            {u"eventBeginTime"_s, u"%1.02.2024 10:00:00"_s.arg(event + 1)},
            {u"vehicleRegistrationNumber"_s, u"А123ВС77"_s}});
    return report;
}

bool writeReportFile(const QString &path)
{
    DddReport unit = ddd::Decoder::decode(test::VuFileBuilder::typicalDownload(30, 1440));
    ddd::DddRepository repository(path);
    for (int card = 0; card < cardReports; ++card) {
        if (repository.save(cardReport(card)) <= 0)
            return false;
    }
    const QString vin = unit.vin;
    const QString fingerprint = unit.sourceFingerprint;
    for (int copy = 0; copy < unitReports; ++copy) {
        // Other vehicles, so other downloads: the merge tells reports apart by their fingerprints.
        unit.vin = vin.left(vin.size() - 2) + u"%1"_s.arg(copy, 2, 10, QLatin1Char('0'));
        unit.sourceFingerprint = fingerprint + unit.vin;
        if (repository.save(unit) <= 0)
            return false;
    }
    return true;
}

} // namespace

int benchSyncMerge(const QStringList &, int repeat)
{
    QTemporaryDir folder;
    const QString incoming = folder.filePath(u"incoming.db"_s);
    const QString local = folder.filePath(u"driver_cards.db"_s);
    if (!writeReportFile(incoming) || !QFile::copy(incoming, local)) {
        std::fprintf(stderr, "cannot write the legacy report file\n");
        return 1;
    }
    std::printf("legacy report file of %d card and %d vehicle-unit reports: %.1f MB\n", cardReports, unitReports,
        double(QFileInfo(incoming).size()) / 1e6);
    // The check every merge starts with (and the import runs on every database before the first merge).
    bool sound = true;
    print("check of the incoming file", repeat, measure(repeat, [&] {
        sound = sound && sync::checkPackageDatabaseFile(incoming, u"driver_cards.db"_s).isNone();
    }));
    if (!sound) {
        std::fprintf(stderr, "the check refuses the legacy report file\n");
        return 1;
    }
    int added = 0;
    bool merged = true;
    QString error;
    print("merge into a copy of itself", repeat,
        measure(repeat, [&] { merged = merged && sync::mergeDatabase(incoming, local, &added, &error); }));
    if (!merged || added != 0) {
        std::fprintf(stderr, "merge: %s, %d rows added\n", qPrintable(error), added);
        return 1;
    }
    // An installation without the file makes it with the program's own layout and takes every row.
    const QString missing = folder.filePath(u"new/driver_cards.db"_s);
    print("merge into an installation without the file", repeat, measure(repeat, [&] {
        QFile::remove(missing);
        added = 0;
        merged = merged && sync::mergeDatabase(incoming, missing, &added, &error);
    }));
    std::printf("  %d rows added\n", added);
    if (!merged || added == 0) {
        std::fprintf(stderr, "merge into a new file: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

} // namespace tessaron::bench
