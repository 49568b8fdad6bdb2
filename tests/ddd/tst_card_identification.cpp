// The driver card's identification files: EF ICC and EF IC, application identification, driving licence, card
// download and card identification, decoded from synthetic elementary files.

#include "ddd/card_records.h"
#include "ddd/code_page_tables.h"
#include "ddd/code_page_text.h"
#include "ddd/ddd_decoder.h"
#include "ddd/ddd_readers.h"
#include "support/card_test_blocks.h"
#include "support/ddd_file_builder.h"
#include "support/ddd_test_rows.h"
#include "support/time_zone_pin.h"

#include <QStringDecoder>
#include <QTest>
#include <QTimeZone>

using namespace tessaron::ddd;
using namespace Qt::StringLiterals;
using tessaron::test::be32;
using tessaron::test::cardBlock;
using tessaron::test::decodeCardBlocks;
using tessaron::test::descriptions;
using tessaron::test::fieldValue;
using tessaron::test::pinTimeZoneAndClock;
using tessaron::test::releaseTimeZoneAndClock;
using tessaron::test::setTimeZone;
using tessaron::test::unixTime;

namespace {

// A name field: code page, then the text padded with blanks to 35 bytes.
QByteArray nameField(quint8 codePage, const QByteArray &text)
{
    return char(codePage) + text.leftJustified(35, ' ', true);
}

struct Identification
{
    QByteArray cardNumber = "E53014218T000001";
    QByteArray authority = nameField(1, "MADRID");
    quint32 issue = unixTime(2018, 10, 3);
    quint32 validityBegin = unixTime(2018, 10, 5);
    quint32 expiry = unixTime(2023, 10, 5);
    QByteArray surname = nameField(1, "PRIETO RUIZ");
    QByteArray firstNames = nameField(1, "DAVID");
    QByteArray birthDate = QByteArray::fromHex("19781218");
    QByteArray language = "es";

    // Card identification and holder identification, 143 bytes.
    QByteArray bytes() const
    {
        return char(0x0F) + cardNumber + authority + be32(issue) + be32(validityBegin) + be32(expiry) + surname
            + firstNames + birthDate + language;
    }
};

} // namespace

class TestCardIdentification : public QObject
{
    Q_OBJECT

private slots:
    void init() { pinTimeZoneAndClock(); }
    void cleanup() { releaseTimeZoneAndClock(); }

    void cardTimes_data();
    void cardTimes();
    void littleEndianRescueReadsLocalTime();
    void codePageText_data();
    void codePageText();
    void codePageTablesAgreeWithThePlatform_data();
    void codePageTablesAgreeWithThePlatform();
    void shortIdentification();
    void twoIdentificationFiles();
    void icc();
    void iccTooShort();
    void ic();
    void drivingLicenceTooShort();
    void signatureBlocksNeverDecoded();
};

// A 2006 time read in 2026 must not turn into 2038: the big-endian reading wins whenever it is plausible.
void TestCardIdentification::cardTimes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QDate>("expected");
    QTest::addRow("2006 stays 2006") << be32(unixTime(2006, 2, 8)) << QDate(2006, 2, 8);
    QTest::addRow("zero") << be32(0) << QDate();
    QTest::addRow("three bytes") << QByteArray(3, '\x50') << QDate();
}

void TestCardIdentification::cardTimes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QDate, expected);
    QCOMPARE(card::readCardDate(bytes, 0), expected);
    QCOMPARE(card::readCardDate(bytes, -1), QDate());
}

void TestCardIdentification::littleEndianRescueReadsLocalTime()
{
    setTimeZone("Asia/Tokyo");
    // A low byte below 0x38 makes the big-endian reading fall before 2000.
    const quint32 seconds = unixTime(2024, 3, 5, 20) & ~0xFFu;
    QByteArray bytes = be32(seconds);
    std::reverse(bytes.begin(), bytes.end());
    QCOMPARE(card::readCardDate(bytes, 0), QDate(2024, 3, 6));
}

void TestCardIdentification::codePageText_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected");
    QTest::addRow("1, Latin-1") << 1
                                << QByteArray("MI\xD1"
                                              "ANO MORENO")
                                << u"MIÑANO MORENO"_s;
    QTest::addRow("5, Cyrillic") << 5 << QByteArray("\xB8\xD2\xD0\xDD\xDE\xD2") << u"Иванов"_s;
    QTest::addRow("0, ASCII kept") << 0 << QByteArray("DGT  ") << u"DGT"_s;
    QTest::addRow("255, no text") << 255 << QByteArray("\xFF\xFF\xFF") << QString();
    QTest::addRow("padding and controls") << 1
                                          << QByteArray("  A\x01"
                                                        "B\0\0",
                                                 7)
                                          << u"A B"_s;
}

void TestCardIdentification::codePageText()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QCOMPARE(decodeCodePageText(text, quint8(codePage)), expected);
    const QByteArray field = char(codePage) + text;
    QCOMPARE(readCodePageText(field, 0, text.size()), expected);
    QCOMPARE(readCodePageText(field, 0, text.size() + 1), QString());
    QCOMPARE(readCodePageText(field, -1, 1), QString());
}

void TestCardIdentification::codePageTablesAgreeWithThePlatform_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("converterName");
    for (const int part : {2, 3, 4, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16})
        QTest::addRow("ISO-8859-%d", part) << part << QByteArray("ISO-8859-") + QByteArray::number(part);
    QTest::addRow("KOI8-R") << 85 << QByteArray("KOI8-R");
    QTest::addRow("KOI8-U") << 86 << QByteArray("KOI8-U");
}

// The written-out tables must say what the published character sets say; where this platform's converters
// know a set, they are the reference.
void TestCardIdentification::codePageTablesAgreeWithThePlatform()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, converterName);
    QStringDecoder decoder(converterName.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        QSKIP("this platform has no converter for the set");
    const CodePageHighHalf *table = codePageHighHalf(quint8(codePage));
    QVERIFY(table);
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const QString expected = decoder.decode(QByteArray(1, char(byte)));
        QCOMPARE(expected.size(), 1);
        QCOMPARE(QChar((*table)[byte - 0x80]), expected.at(0));
    }
}

void TestCardIdentification::shortIdentification()
{
    // Cut inside the first names: dates still give their rows, the birth date is left empty.
    const DddReport report = decodeCardBlocks({cardBlock("0520", Identification().bytes().left(120))});
    QCOMPARE(descriptions(report.cardIdentification),
        QStringList({u"cardIssuingMemberState"_s, u"cardNumber"_s, u"cardIssuingAuthorityName"_s, u"cardIssueDate"_s,
            u"cardValidityBegin"_s, u"cardExpiryDate"_s, u"cardHolderSurname"_s, u"cardHolderBirthDate"_s}));
    QCOMPARE(fieldValue(report.cardIdentification, u"cardHolderBirthDate"_s), QString());
    QCOMPARE(report.birthDate, QString());
    QCOMPARE(report.driverName, u"PRIETO RUIZ"_s);

    const DddReport empty = decodeCardBlocks({cardBlock("0520", {})});
    QCOMPARE(descriptions(empty.cardIdentification),
        QStringList({u"cardIssueDate"_s, u"cardValidityBegin"_s, u"cardExpiryDate"_s, u"cardHolderBirthDate"_s}));
    QCOMPARE(fieldValue(empty.cardIdentification, u"cardIssueDate"_s), u"Invalid date"_s);
}

void TestCardIdentification::twoIdentificationFiles()
{
    Identification first;
    Identification second;
    second.cardNumber = "E99999999X000002";
    second.surname = nameField(1, "OTHER");
    second.birthDate = QByteArray::fromHex("19600101");
    second.expiry = unixTime(2030, 1, 1);
    const DddReport report = decodeCardBlocks({cardBlock("0520", first.bytes()), cardBlock("0520", second.bytes())});
    QCOMPARE(report.cardIdentification.size(), 20);
    QCOMPARE(report.cardNumber, u"E99999999X000002"_s);
    QCOMPARE(report.driverSurname, u"PRIETO RUIZ"_s);
    QCOMPARE(report.birthDate, u"18 декабря 1978 г."_s);
    QCOMPARE(report.expiryDate, u"5 октября 2023 г."_s);
}

void TestCardIdentification::icc()
{
    QByteArray data = QByteArray::fromHex("00"
                                          "01000000"
                                          "1018"
                                          "01"
                                          "38");
    data += QByteArray("\xC0"
                       "BC\x01"
                       "EFGH",
        8);
    data += QByteArray::fromHex("15") + QByteArray("AB\0CD", 5) + QByteArray::fromHex("1537");
    QCOMPARE(data.size(), 25);
    const DddReport report = decodeCardBlocks({cardBlock("0002", data)});
    const QVariantList &rows = report.cardIcc;
    QCOMPARE(descriptions(rows),
        QStringList({u"clockstop"_s, u"serialNumber"_s, u"monthYear"_s, u"type"_s, u"manufacturerCode"_s,
            u"cardApprovalNumber"_s, u"cardPersonaliserID"_s, u"embedderIcAssemblerID"_s, u"icIdentifier"_s}));
    QCOMPARE(fieldValue(rows, u"serialNumber"_s), u"1"_s);
    // October 2018, packed BCD (a decimal reading would give "1624").
    QCOMPARE(fieldValue(rows, u"monthYear"_s), u"1018"_s);
    QCOMPARE(fieldValue(rows, u"type"_s), u"Driver Card"_s);
    QCOMPARE(fieldValue(rows, u"manufacturerCode"_s), u"56"_s);
    QCOMPARE(fieldValue(rows, u"cardApprovalNumber"_s), u"ABC?EFGH"_s);
    QCOMPARE(fieldValue(rows, u"cardPersonaliserID"_s), u"15"_s);
    QCOMPARE(fieldValue(rows, u"embedderIcAssemblerID"_s), u"AB CD"_s);
    QCOMPARE(fieldValue(rows, u"icIdentifier"_s), u"1537"_s);
}

void TestCardIdentification::iccTooShort()
{
    const DddReport report = decodeCardBlocks({cardBlock("0002", QByteArray("xxTEXT\x01", 7) + QByteArray(17, '\0'))});
    QCOMPARE(report.cardIcc.size(), 1);
    const QVariantMap row = report.cardIcc.first().toMap();
    QCOMPARE(row.value(u"description"_s).toString(), u"ICC"_s);
    QCOMPARE(row.value(u"length"_s).toLongLong(), 24);
    QCOMPARE(row.value(u"decodedText"_s).toString(), u"xxTEXT"_s);
    QCOMPARE(row.value(u"fileNumber"_s).toString(), u"0002"_s);
}

void TestCardIdentification::ic()
{
    const DddReport report = decodeCardBlocks({cardBlock("0005", QByteArray::fromHex("0a1b2c3d4e5f6071"))});
    QCOMPARE(fieldValue(report.cardIc, u"icSerialNumber"_s), u"0A1B2C3D"_s);
    QCOMPARE(fieldValue(report.cardIc, u"icManufacturingReferences"_s), u"4E5F6071"_s);
    const DddReport shortIc = decodeCardBlocks({cardBlock("0005", QByteArray::fromHex("0a1b2c3d4e5f60"))});
    QCOMPARE(shortIc.cardIc.first().toMap().value(u"description"_s).toString(), u"IC"_s);
}

void TestCardIdentification::drivingLicenceTooShort()
{
    DddReport report;
    report.drivingLicenceNumber = u"earlier"_s;
    report.blocks = {cardBlock("0521", QByteArray(52, 'A'))};
    Decoder::parseDriverCardData(report);
    QVERIFY(report.drivingLicence.isEmpty());
    QCOMPARE(report.drivingLicenceNumber, u"earlier"_s);
}

// Signatures (type 1), second-generation files (2, 3) and other appendix bytes are never read as data.
void TestCardIdentification::signatureBlocksNeverDecoded()
{
    const QByteArray identification = Identification().bytes();
    const DddReport report = decodeCardBlocks({cardBlock("0520", identification, 1),
        cardBlock("0520", identification, 2), cardBlock("0520", identification, 3),
        cardBlock("0520", identification, 0x81), cardBlock("0501", QByteArray(128, 1), 1)});
    QVERIFY(report.cardIdentification.isEmpty());
    QVERIFY(report.applicationIdentification.isEmpty());
    QVERIFY(report.cardNumber.isEmpty());
    QVERIFY(report.driverName.isEmpty());
}

QTEST_GUILESS_MAIN(TestCardIdentification)
#include "tst_card_identification.moc"
