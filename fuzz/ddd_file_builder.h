#pragma once

// Synthetic driver-card and vehicle-unit downloads for the decoder tests. Everything is composed from the
// published record layouts; no byte comes from a real file.

#include <QByteArray>
#include <QList>
#include <QString>

namespace tessaron::test {

// Seconds since 1970-01-01 00:00 UTC of a UTC date and time.
quint32 unixTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// value as width big-endian bytes (width 1 to 4).
QByteArray beBytes(quint32 value, int width);
QByteArray be32(quint32 value);

// Composes big-endian records. Texts are padded (or cut) to their field width.
class ByteWriter
{
public:
    ByteWriter &u8(quint32 value);
    ByteWriter &u16(quint32 value);
    ByteWriter &u24(quint32 value);
    ByteWriter &u32(quint32 value);
    ByteWriter &bytes(const QByteArray &data);
    // data cut or padded with fill to exactly width bytes
    ByteWriter &bytes(const QByteArray &data, int width, char fill = 0);
    ByteWriter &fill(int count, char value = 0);
    // Latin-1 text, padded with pad to width.
    ByteWriter &text(const QString &text, int width, char pad = ' ');
    // A code-page byte, then the text in that code page (1 Latin-1, 5 Cyrillic ISO-8859-5), padded with
    // spaces to width - 1 bytes.
    ByteWriter &codePageText(int codePage, const QString &text, int width);
    // Two-digit binary-coded decimal of 0..99.
    ByteWriter &bcd(int value);

    QByteArray data() const { return m_data; }
    qsizetype size() const { return m_data.size(); }

private:
    QByteArray m_data;
};

// ActivityChangeInfo, 2 bytes, as a vehicle unit and a driver card both record it.
struct VuActivityChange
{
    int slot = 0; // 0 driver, 1 co-driver
    bool crew = false;
    bool notInserted = false;
    int activity = 0; // 0 rest, 1 availability, 2 work, 3 driving
    int minute = 0;
};

// ---- driver card ------------------------------------------------------------------------------------------

// CardActivityDailyRecord: the day's date (midnight UTC), its daily presence counter, written as the four
// binary-coded decimal digits of presenceCounter, the distance and the changes.
struct CardActivityDay
{
    quint32 date = unixTime(2024, 3, 1);
    int presenceCounter = 1;
    int distance = 100;
    QList<VuActivityChange> changes;
};

// EF Identification (0520), 143 bytes.
struct CardIdentification
{
    quint8 issuingMemberState = 0x2B;
    QString cardNumber = QStringLiteral("RUD0000012345600");
    QString issuingAuthority = QStringLiteral("GIBDD");
    quint32 issueDate = unixTime(2020, 1, 15);
    quint32 validityBegin = unixTime(2020, 1, 15);
    quint32 expiryDate = unixTime(2025, 1, 14);
    QString surname = QStringLiteral("IVANOV");
    QString firstNames = QStringLiteral("IVAN");
    int birthYear = 1980;
    int birthMonth = 5;
    int birthDay = 17;
    QString preferredLanguage = QStringLiteral("ru");
    int codePage = 1;
};

class CardFileBuilder
{
public:
    // One elementary file: id (2 bytes), type byte, length (2 bytes), then the content.
    CardFileBuilder &addFile(quint16 fileId, quint8 type, const QByteArray &content);
    // A data file (type 0, or 2 for generation 2) followed by its signature file (type 1 or 3).
    CardFileBuilder &addSignedFile(
        quint16 fileId, const QByteArray &content, int generation = 1, int signatureLength = 128);
    QByteArray build() const { return m_data; }

    static QByteArray identificationContent(const CardIdentification &identification);
    // A small, well-formed first-generation card: ICC, IC, application identification, identification,
    // card download and driving licence, the data files signed, and a certificate.
    static QByteArray minimalDriverCard();
    // EF Driver_Activity_Data (0504): the oldest and newest record pointers, then the records one after another
    // from the start of the ring, which they fill exactly.
    static QByteArray activityContent(const QList<CardActivityDay> &days);
    // count days from 1 March 2024, each of driving, work and rest as a driver's day goes.
    static QList<CardActivityDay> workingDays(int count);
    // The minimal driver card with those days as its signed activity file.
    static QByteArray driverCardWithActivity(const QList<CardActivityDay> &days);
    // The same download stopped halfway through the activity file's content, as a file still being written is read:
    // its 0504 block claims more bytes than the file holds.
    static QByteArray driverCardCutInActivity(const QList<CardActivityDay> &days);

private:
    QByteArray m_data;
};

// ---- vehicle unit -----------------------------------------------------------------------------------------

// FullCardNumber, 18 bytes: card type, issuing nation, 16 characters.
struct VuCard
{
    quint8 cardType = 1;
    quint8 nation = 0x2B;
    QString number = QStringLiteral("RUD0000012345600");
};

struct VuOverview
{
    QByteArray memberStateCertificate = QByteArray(194, '\x11');
    QByteArray vuCertificate = QByteArray(194, '\x22');
    QString vin = QStringLiteral("XTA21099012345678");
    quint8 registrationNation = 0x2B;
    int registrationCodePage = 5;
    QString registrationNumber = QStringLiteral("А123ВС77");
    quint32 currentDateTime = unixTime(2024, 3, 2, 10, 0);
    quint32 minDownloadableTime = unixTime(2024, 2, 1);
    quint32 maxDownloadableTime = unixTime(2024, 3, 2, 9, 59);
    quint8 cardSlotsStatus = 0x01;
    quint32 downloadingTime = unixTime(2024, 3, 2, 10, 0);
    VuCard downloadCard;
    QString companyOrWorkshopName = QStringLiteral("ООО Тест");
    QList<QByteArray> companyLocks; // 98 bytes each
    QList<QByteArray> controlActivities; // 31 bytes each
};

struct VuCardIwRecord
{
    QString surname = QStringLiteral("IVANOV");
    QString firstNames = QStringLiteral("IVAN");
    VuCard card;
    quint32 cardExpiryDate = unixTime(2026, 1, 1);
    quint32 insertionTime = unixTime(2024, 3, 1, 6, 0);
    quint32 odometerAtInsertion = 120000;
    quint8 slot = 0;
    quint32 withdrawalTime = unixTime(2024, 3, 1, 18, 0);
    quint32 odometerAtWithdrawal = 120350;
    quint8 previousNation = 0x2B;
    QString previousRegistration = QStringLiteral("А123ВС77");
    quint32 previousWithdrawalTime = unixTime(2024, 2, 29, 18, 0);
    quint8 manualInputFlag = 0;
};

// PlaceRecord with its card, 28 bytes.
struct VuPlaceRecord
{
    VuCard card;
    quint32 entryTime = unixTime(2024, 3, 1, 6, 5);
    quint8 entryType = 0;
    quint8 country = 0x2B;
    quint8 region = 0x2B;
    quint32 odometer = 120000;
};

struct VuSpecificCondition
{
    quint32 time = unixTime(2024, 3, 1, 12, 0);
    quint8 type = 1;
};

struct VuActivityDay
{
    quint32 timeReal = unixTime(2024, 3, 1, 23, 59, 59);
    quint32 odometerMidnight = 120000;
    QList<VuCardIwRecord> cardIw;
    QList<VuActivityChange> changes;
    QList<VuPlaceRecord> places;
    QList<VuSpecificCondition> specificConditions;
};

struct VuFaultRecord
{
    quint8 type = 0x31;
    quint8 purpose = 1;
    quint32 begin = unixTime(2024, 3, 1, 8, 0);
    quint32 end = unixTime(2024, 3, 1, 8, 30);
    VuCard driverBegin, coDriverBegin, driverEnd, coDriverEnd;
};

struct VuEventRecord
{
    quint8 type = 0x05;
    quint8 purpose = 1;
    quint32 begin = unixTime(2024, 3, 1, 9, 0);
    quint32 end = unixTime(2024, 3, 1, 9, 10);
    VuCard driverBegin, coDriverBegin, driverEnd, coDriverEnd;
    quint8 similarEvents = 0;
};

struct VuOverspeedingEvent
{
    quint8 type = 0x07;
    quint8 purpose = 1;
    quint32 begin = unixTime(2024, 3, 1, 11, 0);
    quint32 end = unixTime(2024, 3, 1, 11, 2);
    quint8 maxSpeed = 112;
    quint8 averageSpeed = 95;
    VuCard driver;
    quint8 similarEvents = 1;
};

struct VuTimeAdjustment
{
    quint32 oldTime = unixTime(2024, 2, 10, 12, 0);
    quint32 newTime = unixTime(2024, 2, 10, 12, 1);
    QString workshopName = QStringLiteral("Мастерская");
    QString workshopAddress = QStringLiteral("Москва");
    VuCard workshopCard {2, 0x2B, QStringLiteral("RUW0000000000100")};
};

struct VuEventsAndFaults
{
    QList<VuFaultRecord> faults;
    QList<VuEventRecord> events;
    quint32 lastOverspeedControlTime = unixTime(2024, 2, 1);
    quint32 firstOverspeedSince = unixTime(2024, 2, 5);
    quint8 numberOfOverspeedSince = 1;
    QList<VuOverspeedingEvent> overspeedingEvents;
    QList<VuTimeAdjustment> timeAdjustments;
};

// VuDetailedSpeedBlock, 64 bytes: begin time and 60 speeds (missing ones are 0, 0xFF marks an invalid second).
struct VuSpeedBlock
{
    quint32 begin = unixTime(2024, 3, 1, 8, 0);
    QList<int> speeds;
};

// ExtendedSerialNumber, 8 bytes.
struct VuSerialNumber
{
    quint32 serialNumber = 12345678;
    int month = 3;
    int year = 19;
    quint8 type = 6;
    quint8 manufacturerCode = 0x10;
};

struct VuCalibrationRecord
{
    quint8 purpose = 1;
    QString workshopName = QStringLiteral("Мастерская");
    QString workshopAddress = QStringLiteral("Москва");
    VuCard workshopCard {2, 0x2B, QStringLiteral("RUW0000000000100")};
    quint32 workshopCardExpiry = unixTime(2026, 6, 1);
    QString vin = QStringLiteral("XTA21099012345678");
    quint8 registrationNation = 0x2B;
    QString registrationNumber = QStringLiteral("А123ВС77");
    quint16 w = 8000;
    quint16 k = 8000;
    quint16 l = 25000; // 1/8 mm
    QString tyreSize = QStringLiteral("315/70R22.5");
    quint8 authorisedSpeed = 90;
    quint32 oldOdometer = 100;
    quint32 newOdometer = 100;
    quint32 oldTime = unixTime(2024, 1, 10, 10, 0);
    quint32 newTime = unixTime(2024, 1, 10, 10, 0);
    quint32 nextCalibrationDate = unixTime(2026, 1, 10);
};

struct VuTechnicalData
{
    QString manufacturerName = QStringLiteral("ATOL");
    QString manufacturerAddress = QStringLiteral("Moscow");
    QString partNumber = QStringLiteral("DRIVE5-01");
    VuSerialNumber serialNumber;
    QString softwareVersion = QStringLiteral("0105");
    quint32 softwareInstallationDate = unixTime(2019, 3, 1);
    quint32 manufacturingDate = unixTime(2019, 3, 1);
    QString approvalNumber = QStringLiteral("e5 0001");
    VuSerialNumber sensorSerialNumber {7654321, 2, 19, 5, 0x11};
    QString sensorApprovalNumber = QStringLiteral("e1 0002");
    quint32 sensorPairingDate = unixTime(2019, 4, 1);
    QList<VuCalibrationRecord> calibrations;
};

// A second-generation record array: type, record size, records (each cut or padded to the size).
struct VuRecordArray
{
    quint8 type = 0;
    quint16 recordSize = 0;
    QList<QByteArray> records;
};

class VuFileBuilder
{
public:
    // A first-generation transfer response: 76, the parameter, the body and a signature (0x5A bytes).
    VuFileBuilder &addTransfer(quint8 parameter, const QByteArray &body, int signatureLength = 128);
    VuFileBuilder &addOverview(const VuOverview &overview) { return addTransfer(0x01, overviewBody(overview)); }
    VuFileBuilder &addActivityDay(const VuActivityDay &day) { return addTransfer(0x02, activityDayBody(day)); }
    VuFileBuilder &addEventsAndFaults(const VuEventsAndFaults &data)
    {
        return addTransfer(0x03, eventsAndFaultsBody(data));
    }
    VuFileBuilder &addDetailedSpeed(const QList<VuSpeedBlock> &blocks)
    {
        return addTransfer(0x04, detailedSpeedBody(blocks));
    }
    VuFileBuilder &addTechnicalData(const VuTechnicalData &data) { return addTransfer(0x05, technicalDataBody(data)); }
    // A second-generation transfer response: 76, the parameter, the arrays and, when asked, a signature array
    // of one 64-byte record.
    VuFileBuilder &addRecordArrays(quint8 parameter, const QList<VuRecordArray> &arrays, bool withSignature = true);
    // One second-generation response of several days, as a vehicle unit downloads its activities: the tag once,
    // then each day's arrays, each day closed by its own signature array when asked.
    VuFileBuilder &addSecondGenerationDays(
        quint8 parameter, const QList<QList<VuRecordArray>> &days, bool withSignature = true);
    // Bytes appended as they are (for trailing garbage).
    VuFileBuilder &addRaw(const QByteArray &bytes);
    QByteArray build() const { return m_data; }

    static QByteArray overviewBody(const VuOverview &overview);
    static QByteArray activityDayBody(const VuActivityDay &day);
    static QByteArray eventsAndFaultsBody(const VuEventsAndFaults &data);
    static QByteArray detailedSpeedBody(const QList<VuSpeedBlock> &blocks);
    static QByteArray technicalDataBody(const VuTechnicalData &data);

    static QByteArray card(const VuCard &card);
    static QByteArray cardIwRecord(const VuCardIwRecord &record);
    static QByteArray activityChange(const VuActivityChange &change);
    static QByteArray placeRecord(const VuPlaceRecord &record);
    static QByteArray faultRecord(const VuFaultRecord &record);
    static QByteArray eventRecord(const VuEventRecord &record);
    static QByteArray overspeedingEvent(const VuOverspeedingEvent &event);
    static QByteArray timeAdjustment(const VuTimeAdjustment &adjustment);
    static QByteArray speedBlock(const VuSpeedBlock &block);
    static QByteArray serialNumber(const VuSerialNumber &serial);
    static QByteArray calibrationRecord(const VuCalibrationRecord &record);

    // A whole first-generation download: overview, `days` activity days (from 1 March 2024, each with a card
    // session, driving, work and rest), events and faults, `speedBlocks` one-minute detailed-speed blocks and
    // technical data with one calibration.
    static QByteArray typicalDownload(int days = 3, int speedBlocks = 10);

private:
    QByteArray m_data;
};

} // namespace tessaron::test
