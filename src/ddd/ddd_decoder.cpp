#include "ddd_decoder.h"

#include "ddd_file_splitter.h"
#include "ddd_report_passes.h"
#include "decode_stop.h"
#include "sha256.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <limits>

using namespace Qt::StringLiterals;

namespace tessaron::ddd {

DddReport Decoder::decodeFile(const QString &path, QString *error, const std::atomic<bool> *stop, QString *systemError)
{
    const auto failOn = [error, systemError](const QString &text, const QFile &file) {
        if (error)
            *error = text;
        if (systemError)
            *systemError = file.errorString();
        return DddReport();
    };
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return DddReport();
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failOn(u"Не удалось открыть файл %1"_s.arg(path), file);
    const auto tooLarge = [&fail](qint64 size) {
        const double megabytes = double(size) / (1024.0 * 1024.0);
        return fail(
            u"Файл слишком большой для файла .ddd: %1 МБ"_s.arg(QLocale(QLocale::Russian).toString(megabytes, 'f', 1)));
    };
    // The size is known before reading for a regular file; a device or pipe is read up to one byte past the
    // bound at most.
    if (!file.isSequential() && file.size() > MaxFileSize)
        return tooLarge(file.size());
    const QByteArray bytes = file.isSequential() ? file.read(MaxFileSize + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failOn(u"Не удалось прочитать файл %1"_s.arg(path), file);
    if (bytes.size() > MaxFileSize)
        return tooLarge(bytes.size());
    if (bytes.isEmpty())
        return fail(u"Файл пуст"_s);
    DddReport report = decode(bytes, path, stop);
    if (report.fileType == DddFileType::Unknown && !(stop && stop->load()) && error)
        *error = u"Файл не похож на DDD: неизвестный заголовок"_s;
    return report;
}

DddReport Decoder::decode(const QByteArray &bytes, const QString &filePath, const std::atomic<bool> *stop)
{
    const StopScope stopScope(stop);
    DddReport report;
    report.filePath = filePath;
    report.fileName = filePath.isEmpty() ? QString() : QFileInfo(filePath).fileName();
    report.size = qint32(qMin<qsizetype>(bytes.size(), std::numeric_limits<qint32>::max()));
    report.sourceFingerprint = QString::fromLatin1(Sha256::hash(bytes).toHex());
    report.fileType = FileSplitter::detect(bytes);
    report.blocks = FileSplitter::split(bytes, report.fileType, &report.truncatedBlock);
    if (stopRequested())
        return {};

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

    if (stopRequested())
        return {};
    passes::runAsn1Pass(report);
    passes::extractMetadata(report, bytes);
    if (report.fileType == DddFileType::Tachograph)
        passes::replaceVehicleIdentification(report);
    passes::buildSectionInventories(report);
    if (stopRequested())
        return {};
    buildAnalysis(report);
    passes::writeStructureText(report);
    return stopRequested() ? DddReport() : report;
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
