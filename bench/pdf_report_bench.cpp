// Area "pdf": the DDD PDF report of each file given, with every section and every chart, written to a temporary
// folder. The report is decoded once; only writePdf is timed.

#include "core_bench.h"

#include "ddd/ddd_decoder.h"
#include "documents/ddd_report_renderer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace tessaron::bench {

namespace {

// Page objects of a PDF written by Qt: "/Type /Page" not followed by "s" (the page tree is "/Pages").
qsizetype pageCount(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression pageObject(u"/Type\\s*/Page(?!s)"_s);
    return QString::fromLatin1(file.readAll()).count(pageObject);
}

} // namespace

int benchPdfReport(const QStringList &files, int repeat)
{
    const QVariantMap everything {
        {u"sections"_s, QStringList {u"all"_s}},
        {u"graphs"_s,
            QStringList {u"activity"_s, u"speed"_s, u"mileage"_s, u"events"_s, u"faults"_s, u"odometer"_s, u"places"_s,
                u"calibration"_s, u"workingTime"_s}},
    };
    QTemporaryDir folder;
    for (const QString &path : files) {
        QString error;
        const ddd::DddReport report = ddd::Decoder::decodeFile(path, &error);
        if (report.blocks.isEmpty()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
        const QString output = QDir(folder.path()).filePath(QFileInfo(path).completeBaseName() + u".pdf"_s);
        bool written = true;
        const Measurement measurement = measure(repeat,
            [&] { written = documents::DddReportRenderer::writePdf(output, report, everything, &error) && written; });
        if (!written) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        print(
            qPrintable(u"writePdf %1, every section and chart"_s.arg(QFileInfo(path).fileName())), repeat, measurement);
        std::printf("  %lld pages, %lld bytes; peak resident memory of the process so far %ld KB\n",
            static_cast<long long>(pageCount(output)), static_cast<long long>(QFileInfo(output).size()),
            peakResidentKilobytes());
    }
    return 0;
}

} // namespace tessaron::bench
