#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "ddd/record_names.h"
#include "ddd/vu_records.h"
#include "support/ddd_file_builder.h"
#include "support/ddd_test_rows.h"
#include "support/test_paths.h"
#include "support/time_zone_pin.h"
#include "vu_sample_blocks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace tessaron::ddd;
using tessaron::test::be32;
using tessaron::test::blockOf;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::utcText;

namespace {

constexpr quint32 Begin = 1659225600; // 31.07.2022 0:00:00 UTC
constexpr quint32 End = 1659229200; // 31.07.2022 1:00:00 UTC

QByteArray concat(std::initializer_list<QByteArrayView> parts)
{
    QByteArray bytes;
    for (const QByteArrayView part : parts)
        bytes.append(part);
    return bytes;
}

QByteArray u8(int value)
{
    return QByteArray(1, char(value));
}

// A FullCardNumber: card type, issuing nation, 16 characters.
QByteArray cardNumber(quint8 type, quint8 nation, QByteArrayView number)
{
    QByteArray bytes;
    bytes.append(char(type));
    bytes.append(char(nation));
    bytes.append(number.toByteArray().left(16).leftJustified(16, ' '));
    return bytes;
}

QByteArray faultRecord(quint8 type, quint8 purpose, const QByteArray &driverCard = QByteArray(18, '\0'))
{
    QByteArray r;
    r.append(char(type));
    r.append(char(purpose));
    r += be32(Begin);
    r += be32(End);
    r.append(driverCard);
    r.append(QByteArray(54, '\0'));
    Q_ASSERT(r.size() == 82);
    return r;
}

QByteArray eventRecord(quint8 type, quint8 purpose, quint32 begin = Begin,
    const QByteArray &driverCard = QByteArray(18, '\0'), quint8 similar = 0)
{
    QByteArray r;
    r.append(char(type));
    r.append(char(purpose));
    r += be32(begin);
    r += be32(End);
    r.append(driverCard);
    r.append(QByteArray(54, '\0'));
    r.append(char(similar));
    Q_ASSERT(r.size() == 83);
    return r;
}

QByteArray overspeedControl(quint32 last = 0, quint32 firstSince = Begin, quint8 number = 6)
{
    QByteArray r;
    r += be32(last);
    r += be32(firstSince);
    r.append(char(number));
    return r;
}

QByteArray overspeedingRecord(quint8 maxSpeed, quint8 averageSpeed)
{
    QByteArray r;
    r.append(char(0x07));
    r.append(char(0x01));
    r += be32(Begin);
    r += be32(End);
    r.append(char(maxSpeed));
    r.append(char(averageSpeed));
    r.append(cardNumber(0x01, 0x2B, "RUD0000012345678"));
    r.append(char(0)); // similar events
    Q_ASSERT(r.size() == 31);
    return r;
}

// A name or address field: code page 1 and 35 characters.
QByteArray nameField(QByteArrayView text)
{
    return concat({"\x01", text.toByteArray().left(35).leftJustified(35, ' ')});
}

QByteArray timeAdjustmentRecord(QByteArrayView name, QByteArrayView address, const QByteArray &card)
{
    QByteArray r;
    r += be32(Begin);
    r += be32(End);
    r.append(nameField(name));
    r.append(nameField(address));
    r.append(card);
    Q_ASSERT(r.size() == 98);
    return r;
}

// A 7603 block: the tag, the sections as given and a signature of 128 bytes that is never read as records.
DddBlock eventsBlock(const QByteArray &sections)
{
    DddBlock block;
    block.fileNumber = u"7603"_s;
    block.occurrence = 1;
    block.data = concat({"\x76\x03", sections, QByteArray(128, char(0xA5))});
    block.length = qint32(block.data.size());
    return block;
}

DddReport decoded(const QByteArray &sections)
{
    DddReport report;
    vu::decodeEventsAndFaultsBlock(report, eventsBlock(sections));
    return report;
}

} // namespace

class TestVuEvents : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTimeZoneAndClock("UTC", QDateTime(QDate(2026, 1, 15), QTime(12, 0), QTimeZone::utc())); }
    void cleanupTestCase() { releaseTimeZoneAndClock(); }

    // Each case ends with an overspeed control whose three rows show where the cursor stood.
    void countsLargerThanTheRoom_data()
    {
        QTest::addColumn<QByteArray>("sections");
        QTest::addColumn<int>("faults");
        QTest::addColumn<int>("events");
        QTest::addColumn<int>("overspeeding");
        QTest::addColumn<bool>("controlRead");

        const QByteArray fault = faultRecord(0x35, 0);
        const QByteArray event = eventRecord(0x08, 0);
        const QByteArray control = overspeedControl();
        const QByteArray overspeeding = overspeedingRecord(95, 70);
        QTest::addRow("no faults, no events") << concat({u8(0), u8(0), control, u8(0)}) << 0 << 0 << 0 << true;
        QTest::addRow("fault count 3, room for 2")
            << concat({u8(3), fault, fault, u8(0), control, u8(0), u8(0)}) << 2 << 0 << 0 << true;
        QTest::addRow("fault count 1, no room: events read after the count")
            << concat({u8(1), u8(0), control, u8(0)}) << 0 << 0 << 0 << true;
        QTest::addRow("event count 3, room for 2")
            << concat({u8(0), u8(3), event, event, control, u8(0), u8(0)}) << 0 << 2 << 0 << true;
        QTest::addRow("event count 255, room for 1") << concat({u8(0), u8(255), event, control}) << 0 << 1 << 0 << true;
        QTest::addRow("overspeeding count 2, room for 1")
            << concat({u8(0), u8(0), control, u8(2), overspeeding}) << 0 << 0 << 0 << true;
        QTest::addRow("overspeeding count 2, room for 2")
            << concat({u8(0), u8(0), control, u8(2), overspeeding, overspeeding}) << 0 << 0 << 2 << true;
        QTest::addRow("overspeed control of 8 bytes")
            << concat({u8(0), u8(0), control.left(8)}) << 0 << 0 << 0 << false;
        QTest::addRow("overspeed control of 9 bytes") << concat({u8(0), u8(0), control}) << 0 << 0 << 0 << true;
        QTest::addRow("nothing after the tag") << QByteArray() << 0 << 0 << 0 << false;
    }

    void countsLargerThanTheRoom()
    {
        QFETCH(QByteArray, sections);
        QFETCH(int, faults);
        QFETCH(int, events);
        QFETCH(int, overspeeding);
        QFETCH(bool, controlRead);

        const DddReport report = decoded(sections);
        QCOMPARE(report.tachoFaults.size(), faults);
        QCOMPARE(report.faults.size(), faults);
        QCOMPARE(report.tachoEvents.size(), events);
        QCOMPARE(report.overSpeedingEvents.size(), overspeeding);
        QCOMPARE(report.timeAdjustments.size(), 0);
        if (!controlRead) {
            QVERIFY(report.overSpeedingControl.isEmpty());
            return;
        }
        QCOMPARE(report.overSpeedingControl.size(), 3);
        const QVariantMap last = report.overSpeedingControl.at(0).toMap();
        QCOMPARE(last.value(u"description"_s).toString(), u"lastOverspeedControlTime"_s);
        QCOMPARE(last.value(u"value"_s).toString(), u"01.01.1970 0:00:00"_s);
        QCOMPARE(last.value(u"hex"_s).toString(), u"00000000"_s);
        const QVariantMap first = report.overSpeedingControl.at(1).toMap();
        QCOMPARE(first.value(u"description"_s).toString(), u"firstOverspeedSince"_s);
        QCOMPARE(first.value(u"value"_s).toString(), utcText(Begin));
        const QVariantMap number = report.overSpeedingControl.at(2).toMap();
        QCOMPARE(number.value(u"description"_s).toString(), u"numberOfOverspeedSince"_s);
        QCOMPARE(number.value(u"value"_s).toInt(), 6);
        QCOMPARE(number.value(u"hex"_s).toString(), u"06"_s);
    }

    void recordsNeverReachIntoTheSignature()
    {
        // The fault's bytes are only complete when the signature is counted in.
        DddBlock block = eventsBlock(QByteArray());
        block.data = concat({"\x76\x03\x01", faultRecord(0x35, 0).left(40), QByteArray(128, '\0')});
        DddReport report;
        vu::decodeEventsAndFaultsBlock(report, block);
        QVERIFY(report.tachoFaults.isEmpty());
        QVERIFY(report.tachoEvents.isEmpty());
    }

    void timeAdjustmentFieldsAtTheirPlaces()
    {
        // Name and address fill all 35 characters, so a field read one byte off loses or gains a character.
        const QByteArray name = "WORKSHOP OF THE NORTHERN DISTRICT 7";
        const QByteArray address = "LONG STREET 12, 123456 NORTHERN CTY";
        const QByteArray card = cardNumber(0x02, 0x2B, "RUM0000098765432");
        const QByteArray record = timeAdjustmentRecord(name, address, card);
        const DddReport report = decoded(concat({u8(0), u8(0), overspeedControl(), u8(0), u8(1), record}));

        QCOMPARE(report.timeAdjustments.size(), 1);
        const QVariantMap row = report.timeAdjustments.constFirst().toMap();
        QCOMPARE(row.value(u"oldTimeValue"_s).toString(), utcText(Begin));
        QCOMPARE(row.value(u"newTimeValue"_s).toString(), utcText(End));
        QCOMPARE(row.value(u"workshopName"_s).toString(), QString::fromLatin1(name));
        QCOMPARE(row.value(u"workshopAddress"_s).toString(), QString::fromLatin1(address));
        QCOMPARE(row.value(u"workshopCardNumber"_s).toString(), u"RUM0000098765432"_s);
        QCOMPARE(row.value(u"hexData"_s).toString(), hexText(record));
    }

    void timeAdjustmentCountLargerThanTheRoom()
    {
        const QByteArray record = timeAdjustmentRecord("A", "B", cardNumber(2, 0x2B, "X"));
        const DddReport report = decoded(concat({u8(0), u8(0), overspeedControl(), u8(0), u8(2), record}));
        QVERIFY(report.timeAdjustments.isEmpty());
    }

    void realFiles_data()
    {
        QTest::addColumn<QString>("sample");
        QTest::addRow("vu-gen1-a") << u"vu-gen1-a"_s;
        QTest::addRow("vu-gen1-anon") << u"vu-gen1-anon"_s;
    }

    void realFiles()
    {
        QFETCH(QString, sample);
        TESSARON_REQUIRE_VU_SAMPLE(vuSample, sample);
        const QJsonObject facts = vuSample.expected.value(u"vu"_s).toObject().value(u"events_faults"_s).toObject();
        QVERIFY(!facts.isEmpty());
        const DddBlock block = blockOf(vuSample, u"7603"_s);
        QVERIFY(!block.data.isEmpty());

        DddReport report;
        vu::decodeEventsAndFaultsBlock(report, block);
        QCOMPARE(report.tachoFaults.size(), facts.value(u"faults"_s).toInt());
        QCOMPARE(report.faults.size(), facts.value(u"faults"_s).toInt());
        QCOMPARE(report.tachoEvents.size(), facts.value(u"events"_s).toInt());
        QCOMPARE(report.events.size(), facts.value(u"events"_s).toInt());
        QCOMPARE(report.overSpeedingEvents.size(), facts.value(u"overspeeding_events"_s).toInt());
        QCOMPARE(report.timeAdjustments.size(), facts.value(u"time_adjustments"_s).toInt());

        const QJsonObject control = facts.value(u"overspeed_control"_s).toObject();
        QCOMPARE(report.overSpeedingControl.size(), 3);
        const auto controlTime = [](const QJsonValue &value) {
            return value.isNull()
                ? QString()
                : QDateTime::fromString(value.toString(), Qt::ISODate).toUTC().toString(u"dd.MM.yyyy H:mm:ss"_s);
        };
        QCOMPARE(report.overSpeedingControl.at(0).toMap().value(u"value"_s).toString(),
            controlTime(control.value(u"last_control"_s)));
        QCOMPARE(report.overSpeedingControl.at(1).toMap().value(u"value"_s).toString(),
            controlTime(control.value(u"first_since"_s)));
        QCOMPARE(report.overSpeedingControl.at(2).toMap().value(u"value"_s).toInt(),
            control.value(u"number_since"_s).toInt());

        for (const QVariant &row : report.timeAdjustments) {
            const QString card = row.toMap().value(u"workshopCardNumber"_s).toString();
            QCOMPARE(card.size(), 16);
            QVERIFY2(
                std::all_of(card.cbegin(), card.cend(), [](QChar c) { return c.unicode() >= 0x20; }), qPrintable(card));
        }

        // The whole decoding of the file, splitter and walk included, gives the same rows.
        const DddReport whole = Decoder::decodeFile(tessaron::test::samplePath(sample + u".ddd"_s));
        QCOMPARE(whole.tachoFaults, report.tachoFaults);
        QCOMPARE(whole.faults, report.faults);
        QCOMPARE(whole.tachoEvents, report.tachoEvents);
        QCOMPARE(whole.events, report.events);
        QCOMPARE(whole.overSpeedingControl, report.overSpeedingControl);
        QCOMPARE(whole.overSpeedingEvents, report.overSpeedingEvents);
        QCOMPARE(whole.timeAdjustments, report.timeAdjustments);
    }
};

QTEST_GUILESS_MAIN(TestVuEvents)
#include "tst_vu_events.moc"
