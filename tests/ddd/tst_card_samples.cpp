// Real driver-card downloads against the facts recorded beside them: every day of each activity ring, the
// identification, licence and download files, and the record counts.

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/record_names.h"
#include "support/ddd_test_rows.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

#include <algorithm>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::fieldValue;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;

namespace {

QDateTime utcOf(const QJsonValue &iso)
{
    return QDateTime::fromString(iso.toString(), Qt::ISODate).toUTC();
}

// "dd.MM.yyyy HH:mm:ss" of an ISO time of the facts, empty for null.
QString unixText(const QJsonValue &iso)
{
    return iso.isNull() ? QString() : utcOf(iso).toString(u"dd.MM.yyyy HH:mm:ss"_s);
}

QString russianDate(QDate date)
{
    static const QStringList months = {u"января"_s, u"февраля"_s, u"марта"_s, u"апреля"_s, u"мая"_s, u"июня"_s,
        u"июля"_s, u"августа"_s, u"сентября"_s, u"октября"_s, u"ноября"_s, u"декабря"_s};
    return u"%1 %2 %3 г."_s.arg(date.day()).arg(months.at(date.month() - 1)).arg(date.year());
}

QString activityText(int activity)
{
    static const QStringList texts = {u"Rest"_s, u"Availability"_s, u"Work"_s, u"Drive"_s};
    return texts.at(activity);
}

struct ExpectedChange
{
    int day;
    int minute;
    QJsonObject fact;
};

} // namespace

class TestCardSamples : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { pinTimeZoneAndClock(); }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }

    void realFiles_data();
    void realFiles();
};

void TestCardSamples::realFiles_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addRow("wrapped ring, code page 1") << u"card-gen1-a.ddd"_s;
    QTest::addRow("2007 layout, Latin-1 surname") << u"card-gen1-2007.ddd"_s;
    QTest::addRow("both generations") << u"card-gen2-anon.ddd"_s;
    QTest::addRow("non-standard, Cyrillic") << u"card-nonstandard.ddd"_s;
}

void TestCardSamples::realFiles()
{
    QFETCH(QString, sample);
    TESSARON_REQUIRE_SAMPLE(path, sample);
    const DddReport report = Decoder::decodeFile(path);
    const QJsonObject card
        = tessaron::test::sampleFacts(sample).value(u"card"_s).toObject().value(u"gen1"_s).toObject();
    {
        const QJsonObject identification = card.value(u"identification"_s).toObject();

        QCOMPARE(report.cardNumber, identification.value(u"card_number"_s).toString());
        QCOMPARE(report.driverSurname, identification.value(u"holder_surname"_s).toString());
        QCOMPARE(report.driverFirstName, identification.value(u"holder_first_names"_s).toString());
        QCOMPARE(report.driverName, report.driverSurname + u' ' + report.driverFirstName);
        QCOMPARE(report.birthDate,
            russianDate(QDate::fromString(identification.value(u"birth_date"_s).toString(), Qt::ISODate)));
        QCOMPARE(report.expiryDate, russianDate(utcOf(identification.value(u"expiry_date"_s)).date()));

        const QVariantList &rows = report.cardIdentification;
        QCOMPARE(fieldValue(rows, u"cardIssuingMemberState"_s),
            countryName(quint8(identification.value(u"issuing_member_state"_s).toInt())));
        QCOMPARE(
            fieldValue(rows, u"cardIssuingAuthorityName"_s), identification.value(u"issuing_authority"_s).toString());
        QCOMPARE(
            fieldValue(rows, u"cardIssueDate"_s), russianDate(utcOf(identification.value(u"issue_date"_s)).date()));
        QCOMPARE(fieldValue(rows, u"cardValidityBegin"_s),
            russianDate(utcOf(identification.value(u"validity_begin"_s)).date()));
        QCOMPARE(fieldValue(rows, u"cardHolderPreferredLanguage"_s),
            identification.value(u"preferred_language"_s).toString());

        const QJsonValue licence = card.value(u"driving_licence"_s);
        if (licence.isNull()) {
            QVERIFY(report.drivingLicence.isEmpty());
            QVERIFY(report.drivingLicenceNumber.isEmpty());
        } else {
            const QJsonObject facts = licence.toObject();
            QCOMPARE(report.drivingLicenceIssuingAuthority, facts.value(u"issuing_authority"_s).toString());
            QCOMPARE(report.drivingLicenceIssuingNation, countryName(quint8(facts.value(u"issuing_nation"_s).toInt())));
            QCOMPARE(report.drivingLicenceNumber, facts.value(u"number"_s).toString());
            QCOMPARE(report.drivingLicence.size(), 3);
        }
        QCOMPARE(report.lastCardDownload, unixText(card.value(u"last_card_download"_s)));

        const QJsonObject application = card.value(u"application"_s).toObject();
        QCOMPARE(fieldValue(report.applicationIdentification, u"cardStructureVersion"_s),
            application.value(u"structure_version"_s).toString());
        QCOMPARE(fieldValue(report.applicationIdentification, u"activityStructureLength"_s),
            QString::number(application.value(u"activity_structure_length"_s).toInt()));
        QCOMPARE(fieldValue(report.applicationIdentification, u"noOfCardVehicleRecords"_s),
            QString::number(application.value(u"vehicle_records"_s).toInt()));
    }
    {
        const QJsonObject activity = card.value(u"activity"_s).toObject();
        const QJsonArray days = activity.value(u"days"_s).toArray();
        QCOMPARE(report.activities.size(), days.size());
        QCOMPARE(days.size(), activity.value(u"day_count"_s).toInt());

        // Days in ring order, each change as its chart point in the same order.
        std::vector<ExpectedChange> changes;
        qsizetype chart = 0;
        for (qsizetype i = 0; i < days.size(); ++i) {
            const QJsonObject day = days.at(i).toObject();
            const QVariantMap row = report.activities.at(i).toMap();
            const QString date
                = QDate::fromString(day.value(u"date"_s).toString(), Qt::ISODate).toString(u"dd.MM.yyyy"_s);
            QCOMPARE(row.value(u"activityRecordDate"_s).toString(), date);
            QCOMPARE(row.value(u"activityDailyPresenceCounter"_s).toString().toInt(),
                day.value(u"presence_counter"_s).toInt());
            QCOMPARE(row.value(u"activityDayDistance"_s).toInt(), day.value(u"distance"_s).toInt());
            QCOMPARE(row.value(u"activityRecordLength"_s).toInt(), day.value(u"length"_s).toInt());
            const QJsonArray dayChanges = day.value(u"changes"_s).toArray();
            QCOMPARE(row.value(u"activityChangeCount"_s).toInt(), dayChanges.size());
            for (const QJsonValue &value : dayChanges) {
                const QJsonObject change = value.toObject();
                const int counter = day.value(u"presence_counter"_s).toInt();
                changes.push_back({counter, change.value(u"min"_s).toInt(), change});
                QVERIFY(chart < report.charts.size());
                const QVariantMap point = report.charts.at(chart++).toMap();
                QCOMPARE(point.value(u"day"_s).toString().toInt(), counter);
                QCOMPARE(point.value(u"time"_s).toInt(), change.value(u"min"_s).toInt());
                const bool inserted = change.value(u"inserted"_s).toBool();
                QCOMPARE(point.value(u"value"_s).toInt(), inserted ? change.value(u"act"_s).toInt() : 0);
            }
        }
        QCOMPARE(report.charts.size(), chart);

        // The analysis reads the changes sorted by day and minute.
        std::stable_sort(changes.begin(), changes.end(), [](const ExpectedChange &a, const ExpectedChange &b) {
            return a.day != b.day ? a.day < b.day : a.minute < b.minute;
        });
        QCOMPARE(report.activityChanges.size(), qsizetype(changes.size()));
        for (size_t i = 0; i < changes.size(); ++i) {
            const QVariantMap row = report.activityChanges.at(qsizetype(i)).toMap();
            const QJsonObject &fact = changes[i].fact;
            const bool inserted = fact.value(u"inserted"_s).toBool();
            QCOMPARE(row.value(u"day"_s).toString().toInt(), changes[i].day);
            QCOMPARE(row.value(u"minutes"_s).toInt(), changes[i].minute);
            QCOMPARE(row.value(u"time"_s).toString(), formatMinutes(changes[i].minute));
            QCOMPARE(row.value(u"slot"_s).toString(), fact.value(u"slot"_s).toInt() ? u"Co-Driver"_s : u"Driver"_s);
            QCOMPARE(row.value(u"cardStatus"_s).toString(), inserted ? u"Inserted"_s : u"Not Inserted"_s);
            const QString status = fact.value(u"status"_s).toString() == u"crew"_s ? u"Crew"_s : u"Single"_s;
            QCOMPARE(row.value(u"drivingStatus"_s).toString(), inserted ? status : u"Unknown"_s);
            QCOMPARE(
                row.value(u"activity"_s).toString(), inserted ? activityText(fact.value(u"act"_s).toInt()) : QString());
        }
    }
    {
        const auto count
            = [&card](const QString &name) { return qsizetype(card.value(name).toObject().value(u"count"_s).toInt()); };
        QCOMPARE(report.events.size(), count(u"events"_s));
        QCOMPARE(report.faults.size(), count(u"faults"_s));
        QCOMPARE(report.vehicles.size(), count(u"vehicles_used"_s));
        QCOMPARE(report.places.size(), count(u"places"_s));
        QCOMPARE(report.specificConditions.size(), count(u"specific_conditions"_s));

        // The newest vehicle record, found by its first use.
        const QJsonObject newest = card.value(u"vehicles_used"_s).toObject().value(u"newest"_s).toObject();
        const QString firstUse = unixText(newest.value(u"first_use"_s));
        const auto vehicle
            = std::find_if(report.vehicles.cbegin(), report.vehicles.cend(), [&firstUse](const QVariant &row) {
                  return row.toMap().value(u"vehicleFirstUsed"_s).toString() == firstUse;
              });
        QVERIFY(vehicle != report.vehicles.cend());
        const QVariantMap row = vehicle->toMap();
        QCOMPARE(row.value(u"vehicleRegistrationNumber1"_s).toString(),
            newest.value(u"registration"_s).toObject().value(u"number"_s).toString());
        QCOMPARE(row.value(u"vehicleOdometerBegin"_s).toInt(), newest.value(u"odometer_begin"_s).toInt());
        const QJsonValue lastUse = newest.value(u"last_use"_s);
        QCOMPARE(row.value(u"vehicleLastUsed"_s).toString(), lastUse.isNull() ? u"НЕТ ДАННЫХ"_s : unixText(lastUse));
    }
    {
        const QJsonValue usage = card.value(u"current_usage"_s);
        if (usage.isNull()) {
            QVERIFY(report.currentUsage.isEmpty());
        } else {
            const QJsonObject facts = usage.toObject();
            const QJsonObject vehicle = facts.value(u"vehicle"_s).toObject();
            QCOMPARE(
                fieldValue(report.currentUsage, u"sessionOpenTime"_s), unixText(facts.value(u"session_open_time"_s)));
            QCOMPARE(fieldValue(report.currentUsage, u"vehicleRegistrationNation"_s),
                countryName(quint8(vehicle.value(u"nation"_s).toInt())));
            QCOMPARE(
                fieldValue(report.currentUsage, u"vehicleRegistrationNumber"_s), vehicle.value(u"number"_s).toString());
        }
        // Every sample card holds an empty control record.
        QCOMPARE(card.value(u"control_activity"_s).toObject().value(u"control_type"_s).toInt(), 0);
        QCOMPARE(fieldValue(report.controlActivity, u"controlType"_s), u"No Activity"_s);
        QCOMPARE(fieldValue(report.controlActivity, u"controlTime"_s), u"01.01.1970"_s);
        QCOMPARE(fieldValue(report.controlActivity, u"cardNumber"_s), QString());
        QCOMPARE(fieldValue(report.controlActivity, u"controlDownloadPeriodBegin"_s), QString());
    }
}

QTEST_GUILESS_MAIN(TestCardSamples)
#include "tst_card_samples.moc"
