#pragma once

#include "ddd/ddd_report.h"

#include <QString>
#include <QVariantMap>

namespace tessaron::documents {

// Writes a decoded DDD file as an A4 PDF report: a title block, the sections the export options select in the
// fixed order of the file type's layout, the activity analysis, the requested charts and a footer on every page.
// Static and stateless; draws on the caller's thread.
class DddReportRenderer
{
public:
    DddReportRenderer() = delete;

    // Export options: "sections" (section keys, or a list holding "all"; absent = every section of the file type,
    // present but empty = none) and "graphs" (chart keys; absent or empty = no chart). Keys match case-sensitively.
    //
    // Creates the file's folder, writes the whole report to a temporary file beside it and moves it over
    // filePath only once every byte of every page reached the disk. On failure returns false and stores "Не удалось
    // создать PDF отчёта: <filePath>" through error when it is not null, followed by the reason in brackets when the
    // write failed ("(на диске нет места)"), or "Не удалось создать PDF отчёта: недостаточно памяти" when memory ran
    // out: an earlier file at filePath stays as it was and no partial file is left behind. error is not touched on
    // success.
    static bool writePdf(
        const QString &filePath, const ddd::DddReport &report, const QVariantMap &options, QString *error = nullptr);
    // Every section of the file type, no chart.
    static bool writePdf(const QString &filePath, const ddd::DddReport &report, QString *error = nullptr);
};

} // namespace tessaron::documents
