#pragma once

#include <QString>

#include <span>

// Every section and key of the settings database, with the defaults seeded into a new store. Code reads and
// writes settings only through these names.
namespace tessaron::storage::settings {

inline const QString sectionPorts = QStringLiteral("Ports");
inline const QString sectionMain = QStringLiteral("Main");
inline const QString sectionProgram = QStringLiteral("Program");
inline const QString sectionWorkshop = QStringLiteral("WORKSHOP");

// Ports: the serial links of calibration and download, the Parvik device and the card reader.
inline const QString calibrationPort = QStringLiteral("CalibrationPort");
inline const QString calibrationBaudRate = QStringLiteral("CalibrationBaudRate");
inline const QString downloadPort = QStringLiteral("DownloadPort");
inline const QString downloadBaudRate = QStringLiteral("DownloadBaudRate");
inline const QString downloadMaxBaudRate = QStringLiteral("DownloadMaxBaudRate");
inline const QString useParvik = QStringLiteral("UseParvik");
inline const QString parvikPort = QStringLiteral("ParvikPort");
inline const QString cardReader = QStringLiteral("CardReader");

// Main: the printers chosen for certificates and for stickers ("По умолчанию" is the system's default).
inline const QString printerAct = QStringLiteral("PrinterAct");
inline const QString printerLabel = QStringLiteral("PrinterLabel");
inline const QString defaultPrinterName = QStringLiteral("По умолчанию");

// Program: the log switch.
inline const QString logEnable = QStringLiteral("LogEnable");

// WORKSHOP: the workshop's details printed on certificates and stickers.
inline const QString workshopMark = QStringLiteral("mark");
inline const QString workshopName = QStringLiteral("name");
inline const QString workshopPost = QStringLiteral("post");
inline const QString workshopCity = QStringLiteral("city");
inline const QString workshopStreet = QStringLiteral("street");
inline const QString workshopPhone = QStringLiteral("phone");

// ValueType column texts.
inline const QString typeString = QStringLiteral("String");
inline const QString typeInt = QStringLiteral("Int");
inline const QString typeBool = QStringLiteral("Bool");

struct Default
{
    const QString &section;
    const QString &key;
    QString value;
    const QString &valueType;
    QString description;
};

// The defaults seeded into every new store, in a fixed order.
std::span<const Default> defaults();

} // namespace tessaron::storage::settings
