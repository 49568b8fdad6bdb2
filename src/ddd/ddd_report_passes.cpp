#include "ddd_report_passes.h"

#include "asn1_reader.h"
#include "byte_reader.h"
#include "checked_growth.h"
#include "ddd_decoder.h"
#include "ddd_file_splitter.h"
#include "ddd_readers.h"
#include "decode_stop.h"

#include <QByteArrayView>

using namespace Qt::StringLiterals;

namespace tessaron::ddd::passes {

namespace {

constexpr qsizetype MaxAsn1Rows = 4096;
// The record-group inventory and the structure text describe the file; bounded, they never outgrow it, whatever a
// crafted file of tiny record arrays or huge blocks holds. Real downloads stay far below every bound.
constexpr qsizetype MaxChildSections = 4096;
constexpr qsizetype MaxStructureLines = 4096;
constexpr qsizetype VinLength = 17;
constexpr qsizetype CardNumberLength = 16;
constexpr qsizetype OverviewVinOffset = 390;
constexpr qsizetype OverviewRegistrationOffset = 408;
constexpr qsizetype OverviewRegistrationLength = 14;
constexpr qsizetype Gen2ArrayHeaderLength = 5;

bool isVinCharacter(QChar ch)
{
    const char16_t c = ch.unicode();
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z' && c != u'I' && c != u'O' && c != u'Q');
}

// 17 characters of the VIN alphabet (no I, O, Q) with letters and digits both present: a row of one repeated
// filler character or a word never passes.
bool isVin(QStringView text)
{
    if (text.size() != VinLength)
        return false;
    bool hasDigit = false;
    bool hasLetter = false;
    for (QChar ch : text) {
        if (!isVinCharacter(ch))
            return false;
        hasDigit = hasDigit || ch.isDigit();
        hasLetter = hasLetter || !ch.isDigit();
    }
    return hasDigit && hasLetter;
}

bool isCardNumber(QStringView text)
{
    if (text.size() != CardNumberLength)
        return false;
    bool hasDigit = false;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z')))
            return false;
        hasDigit = hasDigit || ch.isDigit();
    }
    return hasDigit;
}

bool isRegistrationNumber(QStringView text)
{
    if (text.isEmpty())
        return false;
    bool hasDigit = false;
    for (QChar ch : text) {
        if (!(ch.isLetterOrNumber() || ch == u' ' || ch == u'-') || ch.unicode() > 0x04FF)
            return false;
        hasDigit = hasDigit || ch.isDigit();
    }
    return hasDigit;
}

QString asn1ValueText(QByteArrayView value)
{
    bool printable = !value.isEmpty();
    for (char byte : value)
        printable = printable && quint8(byte) >= 0x20 && quint8(byte) <= 0x7E;
    return printable ? QString::fromLatin1(value) : hexText(value);
}

void appendAsn1Rows(DddReport &report, const DddBlock &block, QByteArrayView bytes)
{
    if (report.asn1Fields.size() >= MaxAsn1Rows)
        return;
    const auto nodes = Asn1Reader::parse(bytes);
    if (!nodes)
        return;
    for (const Asn1Node &node : *nodes) {
        if (report.asn1Fields.size() >= MaxAsn1Rows)
            return;
        report.asn1Fields.append(QVariantMap {
            {u"fileNumber"_s, block.fileNumber},
            {u"occurrence"_s, block.occurrence},
            {u"path"_s, node.path},
            {u"tag"_s, node.tag},
            {u"class"_s, Asn1Reader::className(node.tagClass)},
            {u"constructed"_s, node.constructed},
            {u"length"_s, qint32(node.value.size())},
            {u"value"_s, node.constructed ? QString() : asn1ValueText(node.value)},
        });
        // Certificate profile identifier: 00 stands for version 1 of the profile.
        if (node.tag == u"5F29" && node.value.size() == 1 && report.asn1Identity.version == 0) {
            report.asn1Identity.version = quint8(node.value.front()) + 1;
            report.asn1Version = report.asn1Identity.version;
        }
    }
}

bool isSecondGenerationTransfer(const DddBlock &block)
{
    const auto parameter = ByteReader(block.data).u8At(1);
    return block.fileNumber.startsWith(u"76") && parameter && FileSplitter::transferGeneration(*parameter) >= 2;
}

const DddBlock *firstBlock(const DddReport &report, QStringView fileNumber, qint32 fileType)
{
    for (const DddBlock &block : report.blocks) {
        if (block.fileNumber == fileNumber && block.fileType == fileType)
            return &block;
    }
    return nullptr;
}

bool isUpperAlphanumeric(char byte)
{
    return (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z');
}

// The first run of exactly 17 upper-case letters and digits, bounded by other bytes, that reads as a VIN.
QString firstVinIn(const QByteArray &bytes)
{
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && isUpperAlphanumeric(bytes.at(i)))
            continue;
        if (i - runStart == VinLength) {
            const QString candidate = QString::fromLatin1(bytes.constData() + runStart, VinLength);
            if (isVin(candidate))
                return candidate;
        }
        runStart = i + 1;
    }
    return {};
}

QVariantMap groupRecord(const RecordGroup &group, qint32 blockOffset)
{
    return {
        {u"name"_s, group.name},
        {u"offset"_s, blockOffset + group.offset},
        {u"length"_s, group.length},
        {u"recordCount"_s, group.recordCount},
        {u"recordLength"_s, group.recordLength},
    };
}

} // namespace

void runAsn1Pass(DddReport &report)
{
    for (const DddBlock &block : std::as_const(report.blocks)) {
        switch (report.fileType) {
        case DddFileType::DriverCard:
            if (block.fileType % 2 == 0) // signatures are raw bytes
                appendAsn1Rows(report, block, block.data);
            break;
        case DddFileType::Tachograph:
            if (!isSecondGenerationTransfer(block))
                break;
            for (const RecordGroup &group : FileSplitter::recordGroups(block)) {
                const bool isCertificate = group.name == u"MemberStateCertificate" || group.name == u"VuCertificate";
                if (!isCertificate || group.recordLength <= 0)
                    continue;
                const QByteArrayView records
                    = QByteArrayView(block.data)
                          .sliced(group.offset + Gen2ArrayHeaderLength, group.length - Gen2ArrayHeaderLength);
                for (qsizetype at = 0; at + group.recordLength <= records.size(); at += group.recordLength)
                    appendAsn1Rows(report, block, records.sliced(at, group.recordLength));
            }
            break;
        case DddFileType::Unknown:
            appendAsn1Rows(report, block, block.data);
            break;
        }
    }
}

void extractMetadata(DddReport &report, const QByteArray &bytes)
{
    report.printableStrings = printableStrings(bytes);
    switch (report.fileType) {
    case DddFileType::Tachograph: {
        const DddBlock *overview = firstBlock(report, u"7601", 0);
        const QString overviewVin = overview ? readFixedText(overview->data, OverviewVinOffset, VinLength) : QString();
        if (report.vin.isEmpty())
            report.vin = isVin(overviewVin) ? overviewVin : firstVinIn(bytes);
        if (report.registrationNumber.isEmpty() && isVin(overviewVin)) {
            const QString registration
                = readCalibrationText(overview->data, OverviewRegistrationOffset, OverviewRegistrationLength);
            if (isRegistrationNumber(registration))
                report.registrationNumber = registration;
        }
        break;
    }
    case DddFileType::DriverCard:
        if (report.cardNumber.isEmpty()) {
            if (const DddBlock *identification = firstBlock(report, u"0520", 0)) {
                const QString number = readFixedText(identification->data, 1, CardNumberLength);
                if (isCardNumber(number))
                    report.cardNumber = number;
            }
        }
        break;
    case DddFileType::Unknown:
        break;
    }
}

void replaceVehicleIdentification(DddReport &report)
{
    report.vehicleIdentification = {
        QVariantMap {{u"description"_s, u"VIN номер"_s}, {u"value"_s, report.vin}},
        QVariantMap {{u"description"_s, u"Страна регистрации"_s}, {u"value"_s, report.vehicleRegistrationNation}},
        QVariantMap {{u"description"_s, u"Регистрационный номер"_s}, {u"value"_s, report.registrationNumber}},
    };
}

void buildSectionInventories(DddReport &report)
{
    report.sections.clear();
    report.tachoChildSections.clear();
    reserveChecked(report.sections, report.blocks.size());
    for (const DddBlock &block : std::as_const(report.blocks)) {
        if (stopRequested())
            return;
        const QList<RecordGroup> groups
            = report.fileType == DddFileType::Tachograph ? FileSplitter::recordGroups(block) : QList<RecordGroup>();
        QVariantList records;
        reserveChecked(records, groups.size());
        for (const RecordGroup &group : groups) {
            if (report.tachoChildSections.size() >= MaxChildSections)
                break;
            records.append(groupRecord(group, block.offset));
            report.tachoChildSections.append(QVariantMap {
                {u"fileNumber"_s, block.fileNumber},
                {u"name"_s, group.name},
                {u"occurrence"_s, block.occurrence},
                {u"recordCount"_s, group.recordCount},
                {u"recordLength"_s, group.recordLength},
                {u"offset"_s, block.offset + group.offset},
                {u"length"_s, group.length},
                {u"payloadHex"_s, shownHexText(QByteArrayView(block.data).sliced(group.offset, group.length))},
            });
        }
        report.sections.append(QVariantMap {
            {u"fileNumber"_s, block.fileNumber},
            {u"name"_s, block.name},
            {u"occurrence"_s, block.occurrence},
            {u"offset"_s, block.offset},
            {u"length"_s, block.length},
            {u"recordCount"_s, block.recordCount},
            {u"recordLength"_s, block.recordLength},
            {u"payloadHex"_s, hexText(block.data)}, // whole: the report database keeps the blocks' bytes here
            {u"records"_s, records},
            {u"fileType"_s, block.fileType},
        });
    }
}

void writeStructureText(DddReport &report)
{
    const auto number = [](qint64 value) { return QString::number(value); };
    QString text = Decoder::typeName(report.fileType) + u", "_s + number(report.size) + u" байт, блоков: "_s
        + number(report.blocks.size()) + u'\n';
    qsizetype lines = 1;
    const auto full = [&lines] { return lines >= MaxStructureLines || stopRequested(); };
    for (const DddBlock &block : std::as_const(report.blocks)) {
        if (full())
            break;
        text += block.fileNumber + u' ' + block.name + u" — смещение "_s + number(block.offset) + u", длина "_s
            + number(block.length);
        if (report.fileType == DddFileType::DriverCard)
            text += u", тип "_s + number(block.fileType);
        text += u'\n';
        ++lines;
        if (report.fileType != DddFileType::Tachograph)
            continue;
        for (const RecordGroup &group : FileSplitter::recordGroups(block)) {
            if (full())
                break;
            text += u"    "_s + group.name + u" — смещение "_s + number(block.offset + group.offset) + u", длина "_s
                + number(group.length) + u", записей "_s + number(group.recordCount) + u" × "_s
                + number(group.recordLength) + u'\n';
            ++lines;
        }
    }
    if (lines >= MaxStructureLines)
        text += u"… (структура обрезана: показано строк %1)\n"_s.arg(lines);
    report.structureText = text;
}

} // namespace tessaron::ddd::passes
