#pragma once

#include "ddd_report.h"

#include <QByteArray>
#include <QString>

#include <atomic>

namespace tessaron::ddd {

// Decodes DDD files into reports. Static and stateless: safe to call from any thread.
class Decoder
{
public:
    Decoder() = delete;

    // A real download is well under 2 MB; larger files are refused before they are read.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    // Reads and decodes the file. When it cannot be opened or read, is empty or larger than MaxFileSize: an
    // empty report (Unknown) and a Russian text in *error. When its head is not a DDD file: the decoded report
    // and "Файл не похож на DDD: неизвестный заголовок" in *error. *error is written only on failure. A decode
    // stopped through *stop returns an empty report and no error text. A file the system could not open or read
    // names the file in *error and leaves the system's own (English) text in *systemError, for the log.
    static DddReport decodeFile(const QString &path, QString *error = nullptr, const std::atomic<bool> *stop = nullptr,
        QString *systemError = nullptr);

    // The whole decoding sequence over bytes already read: detection, splitting, record decoders, ASN.1,
    // metadata, inventories, analysis and structure text. Never fails; unknown data gives an Unknown report.
    // *stop, when given, is checked between blocks and in the long row loops; once it is set the decode ends
    // soon with an empty report.
    static DddReport decode(
        const QByteArray &bytes, const QString &filePath = {}, const std::atomic<bool> *stop = nullptr);

    // Russian display name of a file type.
    static QString typeName(DddFileType type);

    // Record decoders over a report whose blocks are already split.
    static void parseTachographData(DddReport &report);
    static void parseDriverCardData(DddReport &report);

    // Replaces the report's analysis with the driver activity analysis of its rows and sets totalDays to the
    // number of analysed days. buildAnalysis is the decoding step; analyze the same for a reopened report.
    static void buildAnalysis(DddReport &report);
    static void analyze(DddReport &report);
};

} // namespace tessaron::ddd
