#pragma once

#include "ddd_datasets.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <array>

namespace tessaron::ddd {

enum class DddFileType { Unknown = 0, DriverCard = 1, Tachograph = 2 };

// One block of a DDD file: a card's elementary file or a vehicle unit's transfer response.
struct DddBlock
{
    QString fileNumber; // four upper-case hex digits of the file id or transfer tag, "0501", "7602"
    QString name;
    qint32 occurrence = 0; // 1-based among the blocks of the same fileNumber, in file order
    qint32 offset = 0; // where the block's header starts in the file
    qint32 length = 0; // size of data
    qint32 recordCount = 0;
    qint32 recordLength = 0;
    QByteArray data; // card: the file's content; vehicle unit: tag through signature
    qint32 fileType = 0; // card: the type byte kept exactly (0 data, 1 signature, 2/3 second generation)
};

// What the ASN.1 pass really found; empty where it found nothing.
struct Asn1Identity
{
    qint32 version = 0;
    QString vin;
    QString registrationNumber;
    QString vehicleFirstUseDate;
    QString driverSurname;
    QString driverFirstName;
    QString cardNumber;
    QString dataStartDate;
    QString dataEndDate;
    QString cardWithdrawalTime;
};

// The decoded content of one DDD file, a value type copied whole. Default-constructed: every text, list and map
// empty, every number 0, type Unknown.
struct DddReport
{
    QString filePath;
    QString fileName;
    QString sourceFingerprint; // hex SHA-256 of the file's bytes
    DddFileType fileType = DddFileType::Unknown;
    qint32 size = 0;

    QString vin;
    QString registrationNumber;
    QString vehicleRegistrationNation;
    QString cardNumber;
    QString driverName;
    QString driverFirstName;
    QString driverSurname;
    QString issuingAuthorityName;
    QString birthDate;
    QString expiryDate;
    QString lastCardDownload;
    QString lastCardDownloadString;
    QString drivingLicenceNumber;
    QString drivingLicenceIssuingAuthority;
    QString drivingLicenceIssuingNation;
    QString dataStartDate;
    QString dataEndDate;
    QString nextCalibrationDate;
    QString vehicleFirstUseDate;
    QString cardWithdrawalTime;

    qint32 asn1Version = 0;

    qint32 totalOverSpeeding = 0;
    qint32 totalCalibrations = 0;
    qint32 totalDays = 0;
    qint32 totalDistanceKm = 0;
    double averageSpeed = 0.0;
    qint32 maxSpeed = 0;
    qint32 daysWithOverSpeeding = 0;
    qint32 daysWithFaults = 0;

    QStringList printableStrings;
    QList<DddBlock> blocks;
    QString structureText;

#define TESSARON_DDD_DATASET_MEMBER(name) QVariantList name;
    TESSARON_DDD_DATASETS(TESSARON_DDD_DATASET_MEMBER)
#undef TESSARON_DDD_DATASET_MEMBER

    Asn1Identity asn1Identity;
    QVariantMap analysis;

    // The fileNumber of a block that claims more bytes than the file holds; empty for a file that is whole. A
    // report stored from such a file keeps it, so that it is told as cut whenever it is shown again.
    QString truncatedBlock;

    // What the technician is told of a file cut inside a block, "Файл обрезан: блок 0504 короче заявленного", in the
    // viewer's status and in the PDF alike; empty for a file that is whole.
    QString truncationText() const;

    // Bytes the splitter could not cut into blocks (the "RAW" blocks).
    qint64 unsplitByteCount() const;

    // Blocks of second-generation data that no record decoder reads: a vehicle unit's second-generation
    // transfer responses (TREP 21-25, 31-35) and a card's data files of its second-generation application
    // (type byte 2, file ids 05xx). Their signatures and the certificates the ASN.1 pass reads are not counted.
    qint32 undecodedSecondGenerationBlockCount() const;

    // Never empty: every key the viewer and the summary readers look up, with neutral values where the file
    // gave none.
    QVariantMap summary() const;
    // One map per block for the viewer's block list.
    QVariantList blockRows() const;
};

// The identity as a map of its field names, as the summary and the report database carry it.
QVariantMap asn1IdentityMap(const Asn1Identity &identity);

// The dataset table: name -> member, in the report's dataset order.
struct DddDataset
{
    QLatin1StringView name;
    QVariantList DddReport::*member;
};

inline constexpr std::array allDatasets = {
#define TESSARON_DDD_DATASET_ENTRY(name) DddDataset {QLatin1StringView(#name), &DddReport::name},
    TESSARON_DDD_DATASETS(TESSARON_DDD_DATASET_ENTRY)
#undef TESSARON_DDD_DATASET_ENTRY
};
static_assert(allDatasets.size() == 38, "a decoded report carries 38 datasets");

// The dataset of that name, or null for a name that is not one of the 38.
const QVariantList *dataset(const DddReport &report, QStringView name);
QVariantList *dataset(DddReport &report, QStringView name);

} // namespace tessaron::ddd
