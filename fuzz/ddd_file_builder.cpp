#include "ddd_file_builder.h"

#include <QDateTime>
#include <QTimeZone>

namespace tessaron::test {

namespace {

constexpr char SignatureFill = '\x5A';

// ISO-8859-5 for Cyrillic, Latin-1 otherwise; unknown characters become '?'.
char encodeCharacter(QChar ch, int codePage)
{
    const char16_t c = ch.unicode();
    if (c < 0x80)
        return char(c);
    if (codePage == 5) {
        if (c == 0x0401)
            return char(0xA1);
        if (c >= 0x0410 && c <= 0x044F)
            return char(0xB0 + (c - 0x0410));
        if (c == 0x0451)
            return char(0xF1);
        return '?';
    }
    return c <= 0xFF ? char(c) : '?';
}

bool hasCyrillic(const QString &text)
{
    for (QChar ch : text) {
        if (ch.unicode() >= 0x0400 && ch.unicode() <= 0x04FF)
            return true;
    }
    return false;
}

int codePageFor(const QString &text)
{
    return hasCyrillic(text) ? 5 : 1;
}

} // namespace

quint32 unixTime(int year, int month, int day, int hour, int minute, int second)
{
    return quint32(
        QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc()).toSecsSinceEpoch());
}

QByteArray beBytes(quint32 value, int width)
{
    QByteArray bytes;
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

QByteArray be32(quint32 value)
{
    return beBytes(value, 4);
}

ByteWriter &ByteWriter::u8(quint32 value)
{
    m_data.append(char(value & 0xFF));
    return *this;
}

ByteWriter &ByteWriter::u16(quint32 value)
{
    return u8(value >> 8).u8(value);
}

ByteWriter &ByteWriter::u24(quint32 value)
{
    return u8(value >> 16).u8(value >> 8).u8(value);
}

ByteWriter &ByteWriter::u32(quint32 value)
{
    return u8(value >> 24).u8(value >> 16).u8(value >> 8).u8(value);
}

ByteWriter &ByteWriter::bytes(const QByteArray &data)
{
    m_data.append(data);
    return *this;
}

ByteWriter &ByteWriter::bytes(const QByteArray &data, int width, char fill)
{
    QByteArray part = data.left(width);
    part.append(QByteArray(width - part.size(), fill));
    return bytes(part);
}

ByteWriter &ByteWriter::fill(int count, char value)
{
    m_data.append(QByteArray(count, value));
    return *this;
}

ByteWriter &ByteWriter::text(const QString &text, int width, char pad)
{
    QByteArray encoded;
    for (QChar ch : text)
        encoded.append(encodeCharacter(ch, 1));
    return bytes(encoded, width, pad);
}

ByteWriter &ByteWriter::codePageText(int codePage, const QString &text, int width)
{
    QByteArray encoded;
    for (QChar ch : text)
        encoded.append(encodeCharacter(ch, codePage));
    u8(quint32(codePage));
    return bytes(encoded, width - 1, ' ');
}

ByteWriter &ByteWriter::bcd(int value)
{
    return u8(quint32(((value / 10) % 10) << 4 | (value % 10)));
}

// ---- driver card ------------------------------------------------------------------------------------------

CardFileBuilder &CardFileBuilder::addFile(quint16 fileId, quint8 type, const QByteArray &content)
{
    m_data.append(ByteWriter().u16(fileId).u8(type).u16(quint32(content.size())).bytes(content).data());
    return *this;
}

CardFileBuilder &CardFileBuilder::addSignedFile(
    quint16 fileId, const QByteArray &content, int generation, int signatureLength)
{
    const quint8 dataType = generation == 2 ? 2 : 0;
    addFile(fileId, dataType, content);
    return addFile(fileId, dataType + 1, QByteArray(signatureLength, SignatureFill));
}

QByteArray CardFileBuilder::identificationContent(const CardIdentification &id)
{
    return ByteWriter()
        .u8(id.issuingMemberState)
        .text(id.cardNumber, 16)
        .codePageText(id.codePage, id.issuingAuthority, 36)
        .u32(id.issueDate)
        .u32(id.validityBegin)
        .u32(id.expiryDate)
        .codePageText(id.codePage, id.surname, 36)
        .codePageText(id.codePage, id.firstNames, 36)
        .bcd(id.birthYear / 100)
        .bcd(id.birthYear % 100)
        .bcd(id.birthMonth)
        .bcd(id.birthDay)
        .text(id.preferredLanguage, 2)
        .data();
}

QByteArray CardFileBuilder::minimalDriverCard()
{
    CardFileBuilder builder;
    builder.addFile(0x0002, 0, ByteWriter().u8(1).u32(0x01020304).fill(20, '\x07').data());
    builder.addFile(0x0005, 0, ByteWriter().u32(0xA1B2C3D4).u32(0x00112233).data());
    // Application identification: card type, structure version, events and faults per type, activity
    // structure length, vehicle and place records.
    builder.addSignedFile(0x0501, ByteWriter().u8(1).u16(0x0001).u8(6).u8(12).u16(13776).u16(84).u8(112).data());
    builder.addFile(0xC100, 0, QByteArray(194, '\x33'));
    builder.addFile(0xC108, 0, QByteArray(194, '\x44'));
    builder.addSignedFile(0x0520, identificationContent({}));
    builder.addSignedFile(0x050E, ByteWriter().u32(unixTime(2024, 3, 2, 10, 0)).data());
    builder.addSignedFile(0x0521,
        ByteWriter()
            .codePageText(1, QStringLiteral("GIBDD"), 36)
            .u8(0x2B)
            .text(QStringLiteral("7700123456"), 16)
            .data());
    return builder.build();
}

QByteArray CardFileBuilder::activityContent(const QList<CardActivityDay> &days)
{
    ByteWriter ring;
    quint32 previousLength = 0;
    quint32 newest = 0;
    for (const CardActivityDay &day : days) {
        const auto length = quint32(12 + 2 * day.changes.size());
        newest = quint32(ring.size());
        ring.u16(previousLength).u16(length).u32(day.date);
        ring.bcd(day.presenceCounter / 100).bcd(day.presenceCounter % 100).u16(quint32(day.distance));
        for (const VuActivityChange &change : day.changes)
            ring.bytes(VuFileBuilder::activityChange(change));
        previousLength = length;
    }
    return ByteWriter().u16(0).u16(newest).bytes(ring.data()).data();
}

QList<CardActivityDay> CardFileBuilder::workingDays(int count)
{
    QList<CardActivityDay> days;
    for (int day = 0; day < count; ++day)
        days.append({unixTime(2024, 3, 1 + day), day + 1, 180,
            {{0, false, false, 0, 0}, {0, false, false, 3, 400}, {0, false, false, 2, 700},
                {0, false, false, 0, 1000}}});
    return days;
}

QByteArray CardFileBuilder::driverCardWithActivity(const QList<CardActivityDay> &days)
{
    QByteArray card = minimalDriverCard();
    CardFileBuilder activity;
    activity.addSignedFile(0x0504, activityContent(days));
    return card + activity.build();
}

QByteArray CardFileBuilder::driverCardCutInActivity(const QList<CardActivityDay> &days)
{
    const qsizetype activityContentStart = minimalDriverCard().size() + 5;
    return driverCardWithActivity(days).left(activityContentStart + activityContent(days).size() / 2);
}

// ---- vehicle unit -----------------------------------------------------------------------------------------

VuFileBuilder &VuFileBuilder::addTransfer(quint8 parameter, const QByteArray &body, int signatureLength)
{
    m_data.append(ByteWriter().u8(0x76).u8(parameter).bytes(body).fill(signatureLength, SignatureFill).data());
    return *this;
}

VuFileBuilder &VuFileBuilder::addRecordArrays(quint8 parameter, const QList<VuRecordArray> &arrays, bool withSignature)
{
    return addSecondGenerationDays(parameter, {arrays}, withSignature);
}

VuFileBuilder &VuFileBuilder::addSecondGenerationDays(
    quint8 parameter, const QList<QList<VuRecordArray>> &days, bool withSignature)
{
    ByteWriter writer;
    writer.u8(0x76).u8(parameter);
    for (const QList<VuRecordArray> &day : days) {
        QList<VuRecordArray> all = day;
        if (withSignature)
            all.append({0x08, 64, {QByteArray(64, SignatureFill)}});
        for (const VuRecordArray &array : std::as_const(all)) {
            writer.u8(array.type).u16(array.recordSize).u16(quint32(array.records.size()));
            for (const QByteArray &record : array.records)
                writer.bytes(record, array.recordSize);
        }
    }
    m_data.append(writer.data());
    return *this;
}

VuFileBuilder &VuFileBuilder::addRaw(const QByteArray &bytes)
{
    m_data.append(bytes);
    return *this;
}

QByteArray VuFileBuilder::card(const VuCard &card)
{
    return ByteWriter().u8(card.cardType).u8(card.nation).text(card.number, 16).data();
}

QByteArray VuFileBuilder::overviewBody(const VuOverview &o)
{
    ByteWriter writer;
    writer.bytes(o.memberStateCertificate, 194)
        .bytes(o.vuCertificate, 194)
        .text(o.vin, 17)
        .u8(o.registrationNation)
        .codePageText(o.registrationCodePage, o.registrationNumber, 14)
        .u32(o.currentDateTime)
        .u32(o.minDownloadableTime)
        .u32(o.maxDownloadableTime)
        .u8(o.cardSlotsStatus)
        .u32(o.downloadingTime)
        .bytes(card(o.downloadCard))
        .codePageText(codePageFor(o.companyOrWorkshopName), o.companyOrWorkshopName, 36);
    writer.u8(quint32(o.companyLocks.size()));
    for (const QByteArray &lock : o.companyLocks)
        writer.bytes(lock, 98);
    writer.u8(quint32(o.controlActivities.size()));
    for (const QByteArray &control : o.controlActivities)
        writer.bytes(control, 31);
    return writer.data();
}

QByteArray VuFileBuilder::cardIwRecord(const VuCardIwRecord &r)
{
    return ByteWriter()
        .codePageText(codePageFor(r.surname), r.surname, 36)
        .codePageText(codePageFor(r.firstNames), r.firstNames, 36)
        .bytes(card(r.card))
        .u32(r.cardExpiryDate)
        .u32(r.insertionTime)
        .u24(r.odometerAtInsertion)
        .u8(r.slot)
        .u32(r.withdrawalTime)
        .u24(r.odometerAtWithdrawal)
        .u8(r.previousNation)
        .codePageText(codePageFor(r.previousRegistration), r.previousRegistration, 14)
        .u32(r.previousWithdrawalTime)
        .u8(r.manualInputFlag)
        .data();
}

QByteArray VuFileBuilder::activityChange(const VuActivityChange &c)
{
    const quint32 first = quint32((c.slot & 1) << 7 | (c.crew ? 1 : 0) << 6 | (c.notInserted ? 1 : 0) << 5
        | (c.activity & 3) << 3 | ((c.minute >> 8) & 7));
    return ByteWriter().u8(first).u8(quint32(c.minute & 0xFF)).data();
}

QByteArray VuFileBuilder::placeRecord(const VuPlaceRecord &r)
{
    return ByteWriter()
        .bytes(card(r.card))
        .u32(r.entryTime)
        .u8(r.entryType)
        .u8(r.country)
        .u8(r.region)
        .u24(r.odometer)
        .data();
}

QByteArray VuFileBuilder::activityDayBody(const VuActivityDay &day)
{
    ByteWriter writer;
    writer.u32(day.timeReal).u24(day.odometerMidnight);
    writer.u16(quint32(day.cardIw.size()));
    for (const VuCardIwRecord &record : day.cardIw)
        writer.bytes(cardIwRecord(record));
    writer.u16(quint32(day.changes.size()));
    for (const VuActivityChange &change : day.changes)
        writer.bytes(activityChange(change));
    writer.u8(quint32(day.places.size()));
    for (const VuPlaceRecord &place : day.places)
        writer.bytes(placeRecord(place));
    writer.u16(quint32(day.specificConditions.size()));
    for (const VuSpecificCondition &condition : day.specificConditions)
        writer.u32(condition.time).u8(condition.type);
    return writer.data();
}

QByteArray VuFileBuilder::faultRecord(const VuFaultRecord &r)
{
    return ByteWriter()
        .u8(r.type)
        .u8(r.purpose)
        .u32(r.begin)
        .u32(r.end)
        .bytes(card(r.driverBegin))
        .bytes(card(r.coDriverBegin))
        .bytes(card(r.driverEnd))
        .bytes(card(r.coDriverEnd))
        .data();
}

QByteArray VuFileBuilder::eventRecord(const VuEventRecord &r)
{
    // An event record is a fault record and then the count of similar events.
    const VuFaultRecord head {
        r.type, r.purpose, r.begin, r.end, r.driverBegin, r.coDriverBegin, r.driverEnd, r.coDriverEnd};
    return ByteWriter().bytes(faultRecord(head)).u8(r.similarEvents).data();
}

QByteArray VuFileBuilder::overspeedingEvent(const VuOverspeedingEvent &e)
{
    return ByteWriter()
        .u8(e.type)
        .u8(e.purpose)
        .u32(e.begin)
        .u32(e.end)
        .u8(e.maxSpeed)
        .u8(e.averageSpeed)
        .bytes(card(e.driver))
        .u8(e.similarEvents)
        .data();
}

QByteArray VuFileBuilder::timeAdjustment(const VuTimeAdjustment &a)
{
    return ByteWriter()
        .u32(a.oldTime)
        .u32(a.newTime)
        .codePageText(codePageFor(a.workshopName), a.workshopName, 36)
        .codePageText(codePageFor(a.workshopAddress), a.workshopAddress, 36)
        .bytes(card(a.workshopCard))
        .data();
}

QByteArray VuFileBuilder::eventsAndFaultsBody(const VuEventsAndFaults &d)
{
    ByteWriter writer;
    writer.u8(quint32(d.faults.size()));
    for (const VuFaultRecord &fault : d.faults)
        writer.bytes(faultRecord(fault));
    writer.u8(quint32(d.events.size()));
    for (const VuEventRecord &event : d.events)
        writer.bytes(eventRecord(event));
    writer.u32(d.lastOverspeedControlTime).u32(d.firstOverspeedSince).u8(d.numberOfOverspeedSince);
    writer.u8(quint32(d.overspeedingEvents.size()));
    for (const VuOverspeedingEvent &event : d.overspeedingEvents)
        writer.bytes(overspeedingEvent(event));
    writer.u8(quint32(d.timeAdjustments.size()));
    for (const VuTimeAdjustment &adjustment : d.timeAdjustments)
        writer.bytes(timeAdjustment(adjustment));
    return writer.data();
}

QByteArray VuFileBuilder::speedBlock(const VuSpeedBlock &block)
{
    ByteWriter writer;
    writer.u32(block.begin);
    for (int i = 0; i < 60; ++i)
        writer.u8(i < block.speeds.size() ? quint32(block.speeds.at(i)) : 0u);
    return writer.data();
}

QByteArray VuFileBuilder::detailedSpeedBody(const QList<VuSpeedBlock> &blocks)
{
    ByteWriter writer;
    writer.u16(quint32(blocks.size()));
    for (const VuSpeedBlock &block : blocks)
        writer.bytes(speedBlock(block));
    return writer.data();
}

QByteArray VuFileBuilder::serialNumber(const VuSerialNumber &s)
{
    return ByteWriter().u32(s.serialNumber).bcd(s.month).bcd(s.year).u8(s.type).u8(s.manufacturerCode).data();
}

QByteArray VuFileBuilder::calibrationRecord(const VuCalibrationRecord &r)
{
    return ByteWriter()
        .u8(r.purpose)
        .codePageText(codePageFor(r.workshopName), r.workshopName, 36)
        .codePageText(codePageFor(r.workshopAddress), r.workshopAddress, 36)
        .bytes(card(r.workshopCard))
        .u32(r.workshopCardExpiry)
        .text(r.vin, 17)
        .u8(r.registrationNation)
        .codePageText(codePageFor(r.registrationNumber), r.registrationNumber, 14)
        .u16(r.w)
        .u16(r.k)
        .u16(r.l)
        .text(r.tyreSize, 15)
        .u8(r.authorisedSpeed)
        .u24(r.oldOdometer)
        .u24(r.newOdometer)
        .u32(r.oldTime)
        .u32(r.newTime)
        .u32(r.nextCalibrationDate)
        .data();
}

QByteArray VuFileBuilder::technicalDataBody(const VuTechnicalData &t)
{
    ByteWriter writer;
    writer.codePageText(codePageFor(t.manufacturerName), t.manufacturerName, 36)
        .codePageText(codePageFor(t.manufacturerAddress), t.manufacturerAddress, 36)
        .text(t.partNumber, 16)
        .bytes(serialNumber(t.serialNumber))
        .text(t.softwareVersion, 4)
        .u32(t.softwareInstallationDate)
        .u32(t.manufacturingDate)
        .text(t.approvalNumber, 8)
        .bytes(serialNumber(t.sensorSerialNumber))
        .text(t.sensorApprovalNumber, 8)
        .u32(t.sensorPairingDate);
    writer.u8(quint32(t.calibrations.size()));
    for (const VuCalibrationRecord &record : t.calibrations)
        writer.bytes(calibrationRecord(record));
    return writer.data();
}

QByteArray VuFileBuilder::typicalDownload(int days, int speedBlocks)
{
    VuFileBuilder builder;
    builder.addOverview({});
    for (int d = 0; d < days; ++d) {
        const QDate date = QDate(2024, 3, 1).addDays(d);
        const auto at
            = [&date](int hour, int minute) { return unixTime(date.year(), date.month(), date.day(), hour, minute); };
        VuActivityDay day;
        day.timeReal = at(23, 59) + 59;
        day.odometerMidnight = quint32(120000 + 350 * d);
        VuCardIwRecord session;
        session.insertionTime = at(6, 0);
        session.withdrawalTime = at(18, 0);
        session.odometerAtInsertion = day.odometerMidnight;
        session.odometerAtWithdrawal = day.odometerMidnight + 350;
        day.cardIw = {session};
        day.changes = {
            {0, false, false, 0, 0},
            {0, false, false, 2, 360},
            {0, false, false, 3, 375},
            {0, false, false, 0, 645},
            {0, false, false, 3, 690},
            {0, false, false, 2, 1020},
            {0, false, false, 0, 1080},
            {1, false, true, 0, 0},
        };
        VuPlaceRecord begin;
        begin.entryTime = at(6, 5);
        begin.odometer = day.odometerMidnight;
        day.places = {begin};
        builder.addActivityDay(day);
    }
    VuEventsAndFaults eventsAndFaults;
    eventsAndFaults.faults = {VuFaultRecord {}};
    eventsAndFaults.events = {VuEventRecord {}};
    eventsAndFaults.overspeedingEvents = {VuOverspeedingEvent {}};
    builder.addEventsAndFaults(eventsAndFaults);
    QList<VuSpeedBlock> speed;
    for (int i = 0; i < speedBlocks; ++i) {
        VuSpeedBlock block;
        block.begin = unixTime(2024, 3, 1, 8, 0) + quint32(60 * i);
        for (int s = 0; s < 60; ++s)
            block.speeds.append((i * 7 + s) % 90);
        speed.append(block);
    }
    builder.addDetailedSpeed(speed);
    VuTechnicalData technical;
    technical.calibrations = {VuCalibrationRecord {}};
    builder.addTechnicalData(technical);
    return builder.build();
}

} // namespace tessaron::test
