#include "byte_reader.h"
#include "card_records.h"
#include "code_page_text.h"
#include "ddd_readers.h"
#include "record_names.h"

#include <QByteArrayView>

#include <array>
#include <utility>

namespace tessaron::ddd::card {
namespace {

// Fixed-layout reads after the caller has tested the record's length; a field outside the data reads as zero.
quint8 u8(const ByteReader &reader, qsizetype offset)
{
    return reader.u8At(offset).value_or(0);
}

QString hexAt(const ByteReader &reader, qsizetype offset, qsizetype length)
{
    return hexText(reader.bytesAt(offset, length).value_or(QByteArrayView()));
}

int bcdValue(quint8 byte)
{
    return (byte >> 4) * 10 + (byte & 0x0F);
}

// Card identification, 143 bytes: fields at their fixed offsets, whatever the code-page bytes of the names hold.
constexpr qsizetype CardNumberOffset = 1;
constexpr qsizetype CardNumberLength = 16;
constexpr qsizetype NameLength = 35; // after its code-page byte
constexpr qsizetype AuthorityOffset = 17;
constexpr qsizetype IssueDateOffset = 53;
constexpr qsizetype ValidityBeginOffset = 57;
constexpr qsizetype ExpiryDateOffset = 61;
constexpr qsizetype SurnameOffset = 65;
constexpr qsizetype FirstNamesOffset = 101;
constexpr qsizetype BirthDateOffset = 137;
constexpr qsizetype LanguageOffset = 141;

// A name field with its code page, as a field row when it lies inside the data; empty when it does not.
QString appendNameRow(QVariantList &rows, const QByteArray &data, const QString &label, qsizetype offset)
{
    if (offset > data.size() - 1 - NameLength)
        return {};
    const QString text = readCodePageText(data, offset, NameLength);
    appendFieldRow(rows, label, text);
    return text;
}

// The holder's birth date (Datef, packed BCD yyyy mm dd); a 4-byte time read of the same bytes comes first for
// cards that store one there. Invalid when neither gives a date of a living adult: nothing is made up.
QDate readBirthDate(const QByteArray &data)
{
    const QDate today = currentDateTime().date();
    const auto inAgeWindow = [&today](QDate date) {
        return date.isValid() && date.year() >= today.year() - 100 && date.year() < today.year() - 15;
    };
    const QDate timeReading = readCardDate(data, BirthDateOffset);
    if (inAgeWindow(timeReading))
        return timeReading;
    const auto bytes = ByteReader(data).bytesAt(BirthDateOffset, 4);
    if (!bytes)
        return {};
    const ByteReader field(*bytes);
    const QDate bcd(
        bcdValue(u8(field, 0)) * 100 + bcdValue(u8(field, 1)), bcdValue(u8(field, 2)), bcdValue(u8(field, 3)));
    if (inAgeWindow(bcd) && bcd <= today)
        return bcd;
    return {};
}

} // namespace

void decodeIcc(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    if (data.size() < 25) {
        appendBlockRow(report.cardIcc, block, QStringLiteral("ICC"), printableStrings(data));
        return;
    }
    const ByteReader reader(data);
    QVariantList &rows = report.cardIcc;
    appendFieldRow(rows, QStringLiteral("clockstop"), hexAt(reader, 0, 1));
    appendFieldRow(rows, QStringLiteral("serialNumber"), QString::number(readLe32(data, 1)));
    // Month and year are packed BCD, so their hexadecimal digits are the decimal ones.
    appendFieldRow(rows, QStringLiteral("monthYear"), hexAt(reader, 5, 2));
    appendFieldRow(rows, QStringLiteral("type"), cardTypeName(u8(reader, 7)));
    appendFieldRow(rows, QStringLiteral("manufacturerCode"), QString::number(u8(reader, 8)));
    QString approval(8, Qt::Uninitialized);
    for (qsizetype i = 0; i < approval.size(); ++i) {
        const quint8 byte = u8(reader, 9 + i);
        approval[i] = byte == 0xC0 ? QChar(u'A') : (byte < 0x20 || byte > 0x7E ? QChar(u'?') : QChar(char16_t(byte)));
    }
    appendFieldRow(rows, QStringLiteral("cardApprovalNumber"), approval);
    appendFieldRow(rows, QStringLiteral("cardPersonaliserID"), hexAt(reader, 17, 1));
    appendFieldRow(rows, QStringLiteral("embedderIcAssemblerID"), readFixedText(data, 18, 5));
    appendFieldRow(rows, QStringLiteral("icIdentifier"), hexAt(reader, 23, 2));
}

void decodeIc(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    if (data.size() < 8) {
        appendBlockRow(report.cardIc, block, QStringLiteral("IC"), printableStrings(data));
        return;
    }
    const ByteReader reader(data);
    appendFieldRow(report.cardIc, QStringLiteral("icSerialNumber"), hexAt(reader, 0, 4));
    appendFieldRow(report.cardIc, QStringLiteral("icManufacturingReferences"), hexAt(reader, 4, 4));
}

void decodeApplicationIdentification(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    if (data.size() < 10)
        return;
    const ByteReader reader(data);
    QVariantList &rows = report.applicationIdentification;
    appendFieldRow(rows, QStringLiteral("typeOfTachographCardID"), cardTypeName(u8(reader, 0)));
    appendFieldRow(rows, QStringLiteral("cardStructureVersion"), hexAt(reader, 1, 2));
    appendFieldRow(rows, QStringLiteral("noOfEventsPerType"), QString::number(u8(reader, 3)));
    appendFieldRow(rows, QStringLiteral("noOfFaultsPerType"), QString::number(u8(reader, 4)));
    appendFieldRow(rows, QStringLiteral("activityStructureLength"), QString::number(reader.u16BeAt(5).value_or(0)));
    appendFieldRow(rows, QStringLiteral("noOfCardVehicleRecords"), QString::number(reader.u16BeAt(7).value_or(0)));
    appendFieldRow(rows, QStringLiteral("noOfCardPlaceRecords"), QString::number(u8(reader, 9)));
}

void decodeDrivingLicence(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    if (data.size() < 53)
        return;
    // Issuing authority: a name with its code page (bytes 0..35); nation at 36; number at 37..52.
    report.drivingLicenceIssuingAuthority = readCodePageText(data, 0, 35);
    report.drivingLicenceIssuingNation = countryName(u8(ByteReader(data), 36));
    report.drivingLicenceNumber = readFixedText(data, 37, 16);
    const std::array<std::pair<QString, QString>, 3> fields = {{
        {QStringLiteral("drivingLicenceIssuingAuthority"), report.drivingLicenceIssuingAuthority},
        {QStringLiteral("drivingLicenceIssuingNation"), report.drivingLicenceIssuingNation},
        {QStringLiteral("drivingLicenceNumber"), report.drivingLicenceNumber},
    }};
    const QString hexData = hexText(data);
    for (const auto &[description, value] : fields) {
        report.drivingLicence.append(QVariantMap {
            {QStringLiteral("fileNumber"), block.fileNumber},
            {QStringLiteral("description"), description},
            {QStringLiteral("value"), value},
            {QStringLiteral("decodedText"), value},
            {QStringLiteral("hexData"), hexData},
        });
    }
    for (const auto &[description, value] : fields)
        appendFieldRow(report.asn1Fields, description, value);
}

void decodeCardDownload(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    if (data.size() >= 4) {
        report.lastCardDownload = formatUnix(readBe32(data, 0));
        report.lastCardDownloadString = report.lastCardDownload;
    }
    appendFieldRow(report.cardDownload, QStringLiteral("lastCardDownload"), report.lastCardDownload);
}

void decodeIdentification(DddReport &report, const DddBlock &block)
{
    const QByteArray &data = block.data;
    QVariantList &rows = report.cardIdentification;
    if (!data.isEmpty())
        appendFieldRow(rows, QStringLiteral("cardIssuingMemberState"), countryName(u8(ByteReader(data), 0)));
    QString cardNumber;
    if (CardNumberOffset <= data.size() - CardNumberLength) {
        cardNumber = readFixedText(data, CardNumberOffset, CardNumberLength);
        appendFieldRow(rows, QStringLiteral("cardNumber"), cardNumber);
    }
    const QString authority = appendNameRow(rows, data, QStringLiteral("cardIssuingAuthorityName"), AuthorityOffset);
    const QDate expiryDate = readCardDate(data, ExpiryDateOffset);
    appendFieldRow(rows, QStringLiteral("cardIssueDate"), formatRussianDate(readCardDate(data, IssueDateOffset)));
    appendFieldRow(
        rows, QStringLiteral("cardValidityBegin"), formatRussianDate(readCardDate(data, ValidityBeginOffset)));
    appendFieldRow(rows, QStringLiteral("cardExpiryDate"), formatRussianDate(expiryDate));
    const QString surname = appendNameRow(rows, data, QStringLiteral("cardHolderSurname"), SurnameOffset);
    const QString firstNames = appendNameRow(rows, data, QStringLiteral("cardHolderFirstNames"), FirstNamesOffset);
    const QDate birthDate = readBirthDate(data);
    const QString birthDateText = birthDate.isValid() ? formatRussianDate(birthDate) : QString();
    appendFieldRow(rows, QStringLiteral("cardHolderBirthDate"), birthDateText);
    if (const auto language = ByteReader(data).bytesAt(LanguageOffset, 2)) {
        QString text(language->size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < language->size(); ++i) {
            const auto byte = static_cast<quint8>(language->at(i));
            text[i] = byte >= 0x20 && byte <= 0x7E ? QChar(char16_t(byte)) : QChar(u'?');
        }
        appendFieldRow(rows, QStringLiteral("cardHolderPreferredLanguage"), text.trimmed());
    }

    if (!cardNumber.isEmpty())
        report.cardNumber = cardNumber;
    if (report.issuingAuthorityName.isEmpty())
        report.issuingAuthorityName = authority;
    if (report.driverSurname.isEmpty())
        report.driverSurname = surname;
    if (report.driverFirstName.isEmpty())
        report.driverFirstName = firstNames;
    if (report.birthDate.isEmpty())
        report.birthDate = birthDateText;
    if (report.expiryDate.isEmpty())
        report.expiryDate = formatRussianDate(expiryDate);
}

} // namespace tessaron::ddd::card
