#include "ddd_decoder.h"

#include "ddd_file_splitter.h"
#include "ddd_report_passes.h"
#include "sha256.h"

#include <QFile>
#include <QFileInfo>

#include <limits>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

DddReport Decoder::decodeFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    DddReport report = decode(file.readAll(), path);
    if (report.fileType == DddFileType::Unknown && error)
        *error = u"Файл не похож на DDD: неизвестный заголовок"_s;
    return report;
}

DddReport Decoder::decode(const QByteArray &bytes, const QString &filePath)
{
    DddReport report;
    report.filePath = filePath;
    report.fileName = filePath.isEmpty() ? QString() : QFileInfo(filePath).fileName();
    report.size = qint32(qMin<qsizetype>(bytes.size(), std::numeric_limits<qint32>::max()));
    report.sourceFingerprint = QString::fromLatin1(Sha256::hash(bytes).toHex());
    report.fileType = FileSplitter::detect(bytes);
    report.blocks = FileSplitter::split(bytes, report.fileType);

    switch (report.fileType) {
    case DddFileType::DriverCard:
        parseDriverCardData(report);
        break;
    case DddFileType::Tachograph:
        parseTachographData(report);
        break;
    case DddFileType::Unknown:
        break;
    }

    passes::runAsn1Pass(report);
    passes::extractMetadata(report, bytes);
    if (report.fileType == DddFileType::Tachograph)
        passes::replaceVehicleIdentification(report);
    passes::buildSectionInventories(report);
    buildAnalysis(report);
    passes::writeStructureText(report);
    return report;
}

QString Decoder::typeName(DddFileType type)
{
    switch (type) {
    case DddFileType::Unknown:
        return u"Неизвестный формат"_s;
    case DddFileType::DriverCard:
        return u"Карта водителя"_s;
    case DddFileType::Tachograph:
        return u"Тахограф"_s;
    }
    return u"Неизвестный формат"_s;
}

} // namespace tessaron::ddd
