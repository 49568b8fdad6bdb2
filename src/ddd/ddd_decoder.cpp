#include "ddd_decoder.h"

#include <QFile>
#include <QFileInfo>

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
        *error = QStringLiteral("Файл не похож на DDD: неизвестный заголовок");
    return report;
}

DddReport Decoder::decode(const QByteArray &bytes, const QString &filePath)
{
    DddReport report;
    report.filePath = filePath;
    report.fileName = QFileInfo(filePath).fileName();
    report.size = static_cast<qint32>(bytes.size());
    return report;
}

QString Decoder::typeName(DddFileType type)
{
    switch (type) {
    case DddFileType::Unknown:
        return QStringLiteral("Неизвестный формат");
    case DddFileType::DriverCard:
        return QStringLiteral("Карта водителя");
    case DddFileType::Tachograph:
        return QStringLiteral("Тахограф");
    }
    return QStringLiteral("Неизвестный формат");
}

} // namespace tessaron::ddd
