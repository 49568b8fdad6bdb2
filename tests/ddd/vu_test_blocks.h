#pragma once

// Synthetic first-generation vehicle-unit transfer blocks, laid out as the published download format lays
// them out, for the record decoders' tests.

#include "ddd/ddd_report.h"
#include "support/ddd_file_builder.h"

#include <QByteArray>
#include <QList>

namespace tessaron::test::vu {

using tessaron::test::beBytes;
using tessaron::test::unixTime;

inline void appendBe(QByteArray &data, quint32 value, int width)
{
    data.append(beBytes(value, width));
}

// A text field: code-page byte, then the text padded with spaces to width - 1 bytes.
inline QByteArray textField(const QByteArray &text, int width, char codePage = 0x01)
{
    return codePage + text.leftJustified(width - 1, ' ', true);
}

// Card type, issuing nation and 16 card-number bytes.
inline QByteArray fullCardNumber(quint8 cardType, quint8 nation, const QByteArray &number)
{
    return char(cardType) + QByteArray(1, char(nation)) + number.leftJustified(16, ' ', true);
}

// The 128 bytes every transfer block ends with.
inline QByteArray signature(char fill = char(0xEE))
{
    return QByteArray(128, fill);
}

inline ddd::DddBlock block(const QString &fileNumber, int occurrence, const QByteArray &data)
{
    ddd::DddBlock result;
    result.fileNumber = fileNumber;
    result.occurrence = occurrence;
    result.length = qint32(data.size());
    result.data = data;
    return result;
}

struct CardRecord
{
    QByteArray surname = "ORTEGA SANCHEZ";
    QByteArray firstNames = "JUAN JESUS";
    char codePage = 0x01;
    quint8 cardType = 1;
    quint8 nation = 0x0F;
    QByteArray number = "E51372045G000001";
    quint32 expiry = unixTime(2023, 3, 5);
    quint32 insertion = unixTime(2022, 7, 30, 14, 45, 38);
    quint32 odometerAtInsertion = 265382;
    quint8 slot = 0;
    quint32 withdrawal = unixTime(2022, 7, 31, 3, 45, 20);
    quint32 odometerAtWithdrawal = 265549;
    quint8 previousNation = 0x0F;
    QByteArray previousRegistration = "5104JNL";
    quint32 previousWithdrawal = unixTime(2022, 7, 29, 15, 44, 40);
    quint8 manualInput = 1;

    // VuCardIWRecord, 129 bytes.
    QByteArray bytes() const
    {
        QByteArray data = textField(surname, 36, codePage) + textField(firstNames, 36, codePage)
            + fullCardNumber(cardType, nation, number);
        appendBe(data, expiry, 4);
        appendBe(data, insertion, 4);
        appendBe(data, odometerAtInsertion, 3);
        data.append(char(slot));
        appendBe(data, withdrawal, 4);
        appendBe(data, odometerAtWithdrawal, 3);
        data.append(char(previousNation));
        data.append(textField(previousRegistration, 14));
        appendBe(data, previousWithdrawal, 4);
        data.append(char(manualInput));
        return data;
    }
};

struct PlaceRecord
{
    quint8 cardType = 1;
    quint8 nation = 0x0F;
    QByteArray number = "E51372045G000001";
    quint32 entryTime = unixTime(2022, 7, 31, 3, 45, 20);
    quint8 entryType = 1;
    quint8 country = 0x0F;
    quint8 region = 0x0E;
    quint32 odometer = 265549;

    // VuPlaceDailyWorkPeriodRecord, 28 bytes.
    QByteArray bytes() const
    {
        QByteArray data = fullCardNumber(cardType, nation, number);
        appendBe(data, entryTime, 4);
        data.append(char(entryType));
        data.append(char(country));
        data.append(char(region));
        appendBe(data, odometer, 3);
        return data;
    }
};

// An activity change word: slot, driving status, card status, activity, minute of the day.
inline quint16 activityWord(bool coDriver, bool crew, bool notInserted, int activity, int minute)
{
    return quint16((coDriver ? 0x8000 : 0) | (crew ? 0x4000 : 0) | (notInserted ? 0x2000 : 0) | ((activity & 3) << 11)
        | (minute & 0x7FF));
}

struct DayBlock
{
    quint32 date = unixTime(2022, 7, 31, 23, 59, 59);
    quint32 odometer = 265563;
    QList<CardRecord> cards;
    QList<quint16> activities = {activityWord(false, false, true, 0, 0), activityWord(true, false, true, 0, 0)};
    QList<PlaceRecord> places;
    QByteArray signatureBytes = signature();

    // The VuActivities transfer block from its tag through the signature, with an empty specific-condition list.
    QByteArray bytes() const
    {
        QByteArray data("\x76\x02", 2);
        appendBe(data, date, 4);
        appendBe(data, odometer, 3);
        appendBe(data, quint32(cards.size()), 2);
        for (const CardRecord &card : cards)
            data.append(card.bytes());
        appendBe(data, quint32(activities.size()), 2);
        for (quint16 word : activities)
            appendBe(data, word, 2);
        data.append(char(places.size()));
        for (const PlaceRecord &place : places)
            data.append(place.bytes());
        appendBe(data, 0, 2);
        return data + signatureBytes;
    }
};

struct OverviewBlock
{
    QByteArray vin = "WDB9634031L123456";
    quint8 nation = 0x2B;
    QByteArray registration = "A123BC77";
    quint32 current = unixTime(2022, 9, 7, 10, 9, 25);
    quint32 minDownloadable = unixTime(2021, 8, 4);
    quint32 maxDownloadable = unixTime(2022, 9, 7);
    quint8 slotStatus = 0x31;
    quint32 downloading = unixTime(2022, 8, 30, 17, 30, 16);
    quint8 downloadCardType = 4;
    quint8 downloadCardNation = 0x2B;
    QByteArray downloadCardNumber = "RUC0000012345678";
    QByteArray company = "TRANSKOM";
    int companyLockCount = 1;
    int companyLockRecords = 1;
    int controlCount = 0;
    int controlRecords = 0;

    // The VuOverview transfer block from its tag through the signature.
    QByteArray bytes() const
    {
        QByteArray data("\x76\x01", 2);
        data.append(QByteArray(388, '\0'));
        data.append(vin.leftJustified(17, ' ', true));
        data.append(char(nation));
        data.append(textField(registration, 14));
        appendBe(data, current, 4);
        appendBe(data, minDownloadable, 4);
        appendBe(data, maxDownloadable, 4);
        data.append(char(slotStatus));
        appendBe(data, downloading, 4);
        data.append(fullCardNumber(downloadCardType, downloadCardNation, downloadCardNumber));
        data.append(textField(company, 36));
        data.append(char(companyLockCount));
        for (int i = 0; i < companyLockRecords; ++i)
            data.append(QByteArray(98, char('L' + i)));
        data.append(char(controlCount));
        for (int i = 0; i < controlRecords; ++i)
            data.append(QByteArray(31, char('C' + i)));
        return data + signature();
    }
};

} // namespace tessaron::test::vu
