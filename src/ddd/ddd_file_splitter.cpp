#include "ddd_file_splitter.h"

#include "byte_reader.h"
#include "checked_growth.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

namespace {

constexpr quint8 TransferTag = 0x76;
constexpr qsizetype TagLength = 2;
constexpr qsizetype CardHeaderLength = 5; // file id 2, type 1, length 2
constexpr qsizetype SignatureLength = 128;
constexpr quint8 Gen2SignatureRecordType = 0x08;
constexpr qsizetype Gen2ArrayHeaderLength = 5; // record type 1, record size 2, number of records 2

struct NamedCode
{
    quint16 code;
    QLatin1StringView name;
};

struct NamedText
{
    quint16 code;
    QStringView name;
};

// Second-generation RecordType values and the structure each record array holds.
constexpr NamedCode Gen2RecordTypes[] = {
    {0x01, "ActivityChangeInfo"_L1},
    {0x02, "CardSlotsStatus"_L1},
    {0x03, "CurrentDateTime"_L1},
    {0x04, "MemberStateCertificate"_L1},
    {0x05, "OdometerValueMidnight"_L1},
    {0x06, "DateOfDayDownloaded"_L1},
    {0x07, "SensorPaired"_L1},
    {0x08, "Signature"_L1},
    {0x09, "SpecificConditionRecord"_L1},
    {0x0A, "VehicleIdentificationNumber"_L1},
    {0x0B, "VehicleRegistrationNumber"_L1},
    {0x0C, "VuCalibrationRecord"_L1},
    {0x0D, "VuCardIWRecord"_L1},
    {0x0E, "VuCardRecord"_L1},
    {0x0F, "VuCertificate"_L1},
    {0x10, "VuCompanyLocksRecord"_L1},
    {0x11, "VuControlActivityRecord"_L1},
    {0x12, "VuDetailedSpeedBlock"_L1},
    {0x13, "VuDownloadablePeriod"_L1},
    {0x14, "VuDownloadActivityData"_L1},
    {0x15, "VuEventRecord"_L1},
    {0x16, "VuGNSSADRecord"_L1},
    {0x17, "VuITSConsentRecord"_L1},
    {0x18, "VuFaultRecord"_L1},
    {0x19, "VuIdentification"_L1},
    {0x1A, "VuOverSpeedingControlData"_L1},
    {0x1B, "VuOverSpeedingEventRecord"_L1},
    {0x1C, "VuPlaceDailyWorkPeriodRecord"_L1},
    {0x1D, "VuTimeAdjustmentGNSSRecord"_L1},
    {0x1E, "VuTimeAdjustmentRecord"_L1},
    {0x1F, "VuPowerSupplyInterruptionRecord"_L1},
    {0x20, "SensorPairedRecord"_L1},
    {0x21, "SensorExternalGNSSCoupledRecord"_L1},
    {0x22, "VuBorderCrossingRecord"_L1},
    {0x23, "VuLoadUnloadRecord"_L1},
    {0x24, "VehicleRegistrationIdentification"_L1},
};

constexpr NamedText CardFiles[] = {
    {0x0002, u"ICC"},
    {0x0005, u"IC"},
    {0x0501, u"Идентификация приложения"},
    {0x0502, u"События"},
    {0x0503, u"Неисправности"},
    {0x0504, u"Активность водителя"},
    {0x0505, u"Использованные ТС"},
    {0x0506, u"Места"},
    {0x0507, u"Текущее использование"},
    {0x0508, u"Контрольная активность"},
    {0x050E, u"Загрузка карты"},
    {0x0520, u"Идентификация карты"},
    {0x0521, u"Водительское удостоверение"},
    {0x0522, u"Особые условия"},
    {0x0523, u"Использованные тахографы"},
    {0x0524, u"Места GNSS"},
    {0xC100, u"Сертификат карты"},
    {0xC101, u"Сертификат подписи карты"},
    {0xC108, u"Сертификат удостоверяющего центра"},
    {0xC109, u"Связующий сертификат"},
};

constexpr QStringView TransferBlockNames[] = {
    u"Обзор",
    u"Активность",
    u"События и неисправности",
    u"Детальная скорость",
    u"Технические данные",
};

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

// Walks the record groups of one transfer response from its tag, recording them when asked.
class GroupWalker
{
public:
    GroupWalker(QByteArrayView bytes, QList<RecordGroup> *groups)
        : m_reader(bytes)
        , m_groups(groups)
    {
        m_reader.skip(TagLength);
    }

    qsizetype position() const { return m_reader.position(); }
    bool atEnd() const { return m_reader.atEnd(); }

    // True when a walk failed because a group claimed more bytes than the data holds.
    bool ranOut() const { return m_ranOut; }

    bool fixed(QLatin1StringView name, qsizetype length)
    {
        const qsizetype start = m_reader.position();
        if (!m_reader.skip(length))
            return runOut();
        add(name, start, 1, length);
        return true;
    }

    bool counted(QLatin1StringView name, int countWidth, qsizetype recordLength)
    {
        const qsizetype start = m_reader.position();
        std::optional<quint32> count;
        if (countWidth == 1)
            count = m_reader.readU8();
        else
            count = m_reader.readU16Be();
        if (!count || qsizetype(*count) > m_reader.remaining() / recordLength) {
            m_reader.seek(start);
            return runOut();
        }
        m_reader.skip(qsizetype(*count) * recordLength);
        add(name, start, qint32(*count), recordLength);
        return true;
    }

    // One record array; false when its header or records do not fit. Sets isSignature for the closing array.
    bool recordArray(bool &isSignature)
    {
        const qsizetype start = m_reader.position();
        if (!m_reader.hasRoom(Gen2ArrayHeaderLength))
            return runOut();
        const auto type = m_reader.readU8();
        const auto size = m_reader.readU16Be();
        const auto count = m_reader.readU16Be();
        if (*size != 0 && qsizetype(*count) > m_reader.remaining() / *size)
            return runOut();
        m_reader.skip(qsizetype(*size) * *count);
        isSignature = *type == Gen2SignatureRecordType;
        if (m_groups) {
            QString name = u"RecordType 0x%1"_s.arg(*type, 2, 16, QLatin1Char('0'));
            for (const NamedCode &entry : Gen2RecordTypes) {
                if (entry.code == *type)
                    name = entry.name;
            }
            m_groups->append({name, qint32(start), qint32(m_reader.position() - start), qint32(*count), qint32(*size)});
        }
        return true;
    }

    // True when the next bytes open another transfer response of at least that generation.
    bool atNextTransfer(int minimumGeneration = 1) const
    {
        const auto tag = m_reader.u8At(m_reader.position());
        const auto parameter = m_reader.u8At(m_reader.position() + 1);
        return tag && parameter && *tag == TransferTag
            && FileSplitter::transferGeneration(*parameter) >= minimumGeneration;
    }

private:
    bool runOut()
    {
        m_ranOut = true;
        return false;
    }

    void add(QLatin1StringView name, qsizetype start, qint32 count, qsizetype recordLength)
    {
        if (m_groups)
            m_groups->append({name, qint32(start), qint32(m_reader.position() - start), count, qint32(recordLength)});
    }

    ByteReader m_reader;
    QList<RecordGroup> *m_groups;
    bool m_ranOut = false;
};

// First generation: every length follows from the layout and the record counts.
bool walkFirstGeneration(GroupWalker &w, quint8 parameter)
{
    switch (parameter) {
    case 0x01:
        return w.fixed("MemberStateCertificate"_L1, 194) && w.fixed("VUCertificate"_L1, 194)
            && w.fixed("VehicleIdentification"_L1, 32) && w.fixed("CurrentDateTime"_L1, 4)
            && w.fixed("VUDownloadablePeriod"_L1, 8) && w.fixed("CardSlotsStatus"_L1, 1)
            && w.fixed("VUDownloadActivityData"_L1, 58) && w.counted("VUCompanyLocksData"_L1, 1, 98)
            && w.counted("VUControlActivityData"_L1, 1, 31) && w.fixed("Signature"_L1, SignatureLength);
    case 0x02:
        return w.fixed("DayInformation"_L1, 7) && w.counted("VUCardIWData"_L1, 2, 129)
            && w.counted("VUActivityDailyData"_L1, 2, 2) && w.counted("VUPlaceDailyWorkPeriodData"_L1, 1, 28)
            && w.counted("VUSpecificConditionData"_L1, 2, 5) && w.fixed("Signature"_L1, SignatureLength);
    case 0x03:
        return w.counted("VUFaultData"_L1, 1, 82) && w.counted("VUEventData"_L1, 1, 83)
            && w.fixed("VUOverSpedingControlData"_L1, 9) && w.counted("VUOverSpedingEventData"_L1, 1, 31)
            && w.counted("VUTimeAdjustmentData"_L1, 1, 98) && w.fixed("Signature"_L1, SignatureLength);
    case 0x04:
        return w.counted("VUDetailedSpeedData"_L1, 2, 64) && w.fixed("Signature"_L1, SignatureLength);
    case 0x05:
        return w.fixed("VUIdentification"_L1, 116) && w.fixed("SensorPaired"_L1, 20)
            && w.counted("VUCalibrationData"_L1, 1, 167) && w.fixed("Signature"_L1, SignatureLength);
    default:
        return false;
    }
}

// Second generation: record arrays up to and including the signature array that closes the response, or up to
// the next transfer response or the end of the data when the signature is missing. A day of the activities
// response carries its own signature array followed by the next day's arrays, so a signature closes the
// response only when a second-generation transfer tag or the end of the data follows it.
bool walkSecondGeneration(GroupWalker &w)
{
    while (!w.atEnd() && !w.atNextTransfer()) {
        bool isSignature = false;
        if (!w.recordArray(isSignature))
            return false;
        if (isSignature && (w.atEnd() || w.atNextTransfer(2)))
            break;
    }
    return true;
}

bool walkTransfer(GroupWalker &w, quint8 parameter)
{
    switch (FileSplitter::transferGeneration(parameter)) {
    case 1:
        return walkFirstGeneration(w, parameter);
    case 2:
    case 3:
        return walkSecondGeneration(w);
    default:
        return false;
    }
}

bool isCardFileId(quint16 fileId)
{
    return fileId == 0x0002 || fileId == 0x0005 || (fileId & 0xFF00) == 0x0500 || (fileId & 0xFF00) == 0xC100;
}

// Elementary files a download may carry: the chip files, the application files (0501 up, with room for those
// later generations added after 0524) and certificates, including the 0xC2xx certificates of cards issued
// outside the Union.
bool isKnownCardFileId(quint16 fileId)
{
    return fileId == 0x0002 || fileId == 0x0005 || (fileId >= 0x0501 && fileId <= 0x053F)
        || (fileId >= 0xC100 && fileId <= 0xC2FF);
}

qint32 clampedSize(qsizetype size)
{
    return qint32(qMin<qsizetype>(size, std::numeric_limits<qint32>::max()));
}

DddBlock rawBlock(const QByteArray &bytes, qsizetype offset)
{
    DddBlock block;
    block.fileNumber = u"RAW"_s;
    block.name = u"Неразобранные данные"_s;
    block.offset = clampedSize(offset);
    block.data = bytes.sliced(offset);
    block.length = clampedSize(block.data.size());
    block.recordCount = 1;
    block.recordLength = block.length;
    return block;
}

// A card holds one copy of each elementary file per application folder (the type byte tells the folder and
// whether it is the signature), so an unknown or repeated file ends the chain: the rest is "RAW". Without
// that, a file of repeated empty headers would split into a block per five bytes.
void splitCard(const QByteArray &bytes, QList<DddBlock> &blocks, QString *truncatedBlock)
{
    ByteReader reader(bytes);
    CheckedSet<quint32> seen;
    while (!reader.atEnd()) {
        const qsizetype offset = reader.position();
        const auto fileId = reader.u16BeAt(offset);
        const auto type = reader.u8At(offset + 2);
        if (!reader.hasRoom(CardHeaderLength) || !isKnownCardFileId(*fileId)
            || seen.contains((quint32(*fileId) << 8) | *type)) {
            blocks.append(rawBlock(bytes, offset));
            break;
        }
        seen.insert((quint32(*fileId) << 8) | *type);
        reader.skip(3);
        const quint16 length = *reader.readU16Be();
        const qsizetype taken = qMin<qsizetype>(length, reader.remaining());
        if (taken < length && truncatedBlock)
            *truncatedBlock = hex4(*fileId);
        DddBlock block;
        block.fileNumber = hex4(*fileId);
        block.name = FileSplitter::cardFileName(*fileId, *type);
        block.offset = clampedSize(offset);
        block.data = bytes.sliced(reader.position(), taken);
        block.length = clampedSize(taken);
        block.recordCount = 1;
        block.recordLength = block.length;
        block.fileType = *type;
        blocks.append(std::move(block));
        reader.skip(taken);
    }
}

void splitVehicleUnit(const QByteArray &bytes, QList<DddBlock> &blocks, QString *truncatedBlock)
{
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const QByteArrayView rest = QByteArrayView(bytes).sliced(offset);
        GroupWalker probe(rest, nullptr);
        const ByteReader head(rest);
        const auto tag = head.u8At(0);
        const auto parameter = head.u8At(1);
        if (!tag || !parameter || *tag != TransferTag || !walkTransfer(probe, *parameter)) {
            if (probe.ranOut() && truncatedBlock)
                *truncatedBlock = hex4(quint16((TransferTag << 8) | *parameter));
            blocks.append(rawBlock(bytes, offset));
            break;
        }
        const qsizetype length = probe.position();
        QList<RecordGroup> groups;
        GroupWalker counter(rest.first(length), &groups);
        walkTransfer(counter, *parameter);

        DddBlock block;
        block.fileNumber = hex4(quint16((TransferTag << 8) | *parameter));
        block.name = FileSplitter::transferBlockName(*parameter);
        block.offset = clampedSize(offset);
        block.data = bytes.sliced(offset, length);
        block.length = clampedSize(length);
        block.recordCount = clampedSize(groups.size());
        blocks.append(std::move(block));
        offset += length;
    }
}

} // namespace

int FileSplitter::transferGeneration(quint8 transferParameter)
{
    if (transferParameter >= 0x01 && transferParameter <= 0x05)
        return 1;
    if (transferParameter >= 0x21 && transferParameter <= 0x25)
        return 2;
    if (transferParameter >= 0x31 && transferParameter <= 0x35)
        return 3;
    return 0;
}

DddFileType FileSplitter::detect(QByteArrayView bytes)
{
    const ByteReader reader(bytes);
    const auto first = reader.u8At(0);
    const auto second = reader.u8At(1);
    if (first && second && *first == TransferTag && transferGeneration(*second) != 0)
        return DddFileType::Tachograph;
    const auto fileId = reader.u16BeAt(0);
    if (reader.hasRoom(CardHeaderLength) && fileId && isCardFileId(*fileId))
        return DddFileType::DriverCard;
    return DddFileType::Unknown;
}

QList<DddBlock> FileSplitter::split(const QByteArray &bytes, DddFileType type, QString *truncatedBlock)
{
    QList<DddBlock> blocks;
    switch (type) {
    case DddFileType::DriverCard:
        splitCard(bytes, blocks, truncatedBlock);
        break;
    case DddFileType::Tachograph:
        splitVehicleUnit(bytes, blocks, truncatedBlock);
        break;
    case DddFileType::Unknown:
        if (!bytes.isEmpty())
            blocks.append(rawBlock(bytes, 0));
        break;
    }
    CheckedHash<QString, qint32> occurrences;
    for (DddBlock &block : blocks)
        block.occurrence = ++occurrences[block.fileNumber];
    return blocks;
}

QList<RecordGroup> FileSplitter::recordGroups(const DddBlock &block)
{
    const ByteReader head(block.data);
    const auto tag = head.u8At(0);
    const auto parameter = head.u8At(1);
    if (!tag || !parameter || *tag != TransferTag || !block.fileNumber.startsWith(u"76"))
        return {};
    QList<RecordGroup> groups;
    GroupWalker walker(block.data, &groups);
    if (!walkTransfer(walker, *parameter))
        return {};
    return groups;
}

QString FileSplitter::cardFileName(quint16 fileId, qint32 fileType)
{
    QString name = u"Файл %1"_s.arg(hex4(fileId));
    for (const NamedText &entry : CardFiles) {
        if (entry.code == fileId)
            name = entry.name.toString();
    }
    switch (fileType) {
    case 0:
        return name;
    case 1:
        return name + u" (подпись)"_s;
    case 2:
        return name + u" (поколение 2)"_s;
    case 3:
        return name + u" (поколение 2, подпись)"_s;
    default:
        return name + u" (тип %1)"_s.arg(fileType);
    }
}

QString FileSplitter::transferBlockName(quint8 transferParameter)
{
    const int generation = transferGeneration(transferParameter);
    if (generation == 0)
        return u"Блок 76%1"_s.arg(transferParameter, 2, 16, QLatin1Char('0')).toUpper();
    const QString name = TransferBlockNames[(transferParameter & 0x0F) - 1].toString();
    switch (generation) {
    case 2:
        return name + u" (поколение 2)"_s;
    case 3:
        return name + u" (поколение 2, версия 2)"_s;
    default:
        return name;
    }
}

} // namespace tessaron::ddd
