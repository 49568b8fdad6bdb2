// The viewer's archive and export operations: saving the shown report into ReportsDB.db, listing, reopening and
// deleting stored reports, the PDF export and the download folder.

#include "qml_ddd_controller.h"

#include "ddd/ddd_repository.h"
#include "documents/ddd_report_renderer.h"
#include "storage/app_paths.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include <new>

using namespace Qt::StringLiterals;

namespace tessaron::qml {

namespace {

const QString s_openValidFileFirst = u"Сначала откройте корректный файл .ddd"_s;
const QString s_reportNotSaved = u"Отчёт не сохранён"_s;
const QString s_reportNotGenerated = u"Отчёт не сформирован"_s;

ddd::DddFileType storedType(bool tachograph)
{
    return tachograph ? ddd::DddFileType::Tachograph : ddd::DddFileType::DriverCard;
}

} // namespace

ddd::DddRepository &QmlDddController::ensureRepository()
{
    if (!m_repository)
        m_repository = std::make_unique<ddd::DddRepository>();
    return *m_repository;
}

void QmlDddController::openDataFolder()
{
    const QString folder = storage::AppPaths::downloadDirectory();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool QmlDddController::saveReport()
{
    ddd::DddRepository &repository = ensureRepository();
    if (m_report.fileType == ddd::DddFileType::Unknown) {
        m_lastError = s_openValidFileFirst;
        Q_EMIT stateChanged();
        return false;
    }
    qint64 id = repository.findDuplicateReport(m_report);
    // A report stored without its file's fingerprint and path matches no file: while it is the one shown, it is
    // found through the stored report it was reopened from, as long as that is still stored.
    if (id == 0 && m_reopenedReportId > 0)
        id = repository.storedReportId(m_reopenedReportId, m_reopenedReportType);
    if (id > 0) {
        m_lastError.clear();
        setStatus(u"Этот отчёт уже сохранён (№%1)"_s.arg(id));
        Q_EMIT duplicateReportDetected(id);
        Q_EMIT stateChanged();
        return false;
    }
    const qint64 newId = id == 0 ? repository.save(m_report) : -1;
    if (newId < 0) {
        m_lastError = repository.lastError();
        setStatus(s_reportNotSaved);
        Q_EMIT stateChanged();
        return false;
    }
    m_lastError.clear();
    setStatus(u"Отчёт сохранён в ReportsDB.db (№%1)"_s.arg(newId));
    refreshSavedReports();
    Q_EMIT stateChanged();
    return true;
}

bool QmlDddController::exportReportPdf(const QString &filePath, const QVariantMap &exportOptions)
{
    if (m_report.fileType == ddd::DddFileType::Unknown) {
        setExportFailure(s_openValidFileFirst, s_reportNotGenerated);
        return false;
    }
    QString path = filePath.trimmed();
    if (path.startsWith(u"file:"_s, Qt::CaseInsensitive)) {
        const QString local = QUrl(path, QUrl::TolerantMode).toLocalFile();
        if (!local.isEmpty())
            path = local;
    }
    if (path.isEmpty()) {
        setExportFailure(u"Не задан путь для сохранения отчёта"_s, s_reportNotGenerated);
        return false;
    }
    if (!path.endsWith(u".pdf"_s, Qt::CaseInsensitive))
        path += u".pdf"_s;
    path = QFileInfo(path).absoluteFilePath();

    QString error;
    if (!documents::DddReportRenderer::writePdf(path, m_report, exportOptions, &error)) {
        setExportFailure(error, u"Ошибка формирования отчёта"_s);
        return false;
    }
    // The renderer's word is not taken for it: an empty or missing file is a failed export.
    if (QFileInfo(path).size() <= 0) {
        setExportFailure(u"PDF не создан: %1"_s.arg(path), u"Ошибка формирования отчёта"_s);
        return false;
    }
    m_lastError.clear();
    setStatus(u"Отчёт сохранён: %1"_s.arg(path));
    Q_EMIT stateChanged();
    return true;
}

bool QmlDddController::exportReportPdf(const QString &filePath)
{
    return exportReportPdf(filePath, QVariantMap());
}

bool QmlDddController::exportReportPdfDocument(const QUrl &documentUrl, const QVariantMap &exportOptions)
{
    Q_UNUSED(documentUrl)
    Q_UNUSED(exportOptions)
    setExportFailure(m_report.fileType == ddd::DddFileType::Unknown
            ? s_openValidFileFirst
            : u"Сохранение через Android-документы доступно только на Android"_s,
        s_reportNotGenerated);
    return false;
}

bool QmlDddController::exportReportPdfDocument(const QUrl &documentUrl)
{
    return exportReportPdfDocument(documentUrl, QVariantMap());
}

void QmlDddController::setExportFailure(const QString &error, const QString &status)
{
    m_lastError = error;
    setStatus(status);
    Q_EMIT stateChanged();
}

void QmlDddController::refreshSavedReports()
{
    ddd::DddRepository &repository = ensureRepository();
    QString listingError;
    m_savedReports = repository.listReports(&listingError);
    // A closed database and a listing that failed both come back empty: say so, lest an empty list read as an
    // empty archive.
    if (!repository.isOpen() || !listingError.isEmpty()) {
        m_lastError = repository.lastError();
        Q_EMIT stateChanged();
    }
    Q_EMIT savedReportsChanged();
}

bool QmlDddController::openSavedReport(qlonglong reportId, bool tachograph)
{
    if (m_busy)
        return false;
    // A stored report is rebuilt here, on the GUI thread, into rows that grow with it.
    try {
        return reopen(reportId, storedType(tachograph));
    } catch (const std::bad_alloc &) {
        m_lastError = ddd::DddRepository::loadOutOfMemoryText();
        Q_EMIT stateChanged();
        return false;
    }
}

bool QmlDddController::reopen(qlonglong reportId, ddd::DddFileType type)
{
    QString loadError;
    const ddd::DddReport report = ensureRepository().loadReport(reportId, type, &loadError);
    const bool found
        = report.fileType != ddd::DddFileType::Unknown && (!report.fileName.isEmpty() || !report.summary().isEmpty());
    if (!found) {
        // A load that failed returns nothing read: the report shown before stays, and so does what "Сохранить" stores.
        m_lastError = loadError.isEmpty() ? u"Сохранённый отчёт не найден"_s : loadError;
        Q_EMIT stateChanged();
        return false;
    }
    // A report stored from a cut file is told as its decode told it, in the warning colours. The status is made
    // before anything is shown, so that nothing after setReport can run out of memory.
    const QString truncation = report.truncationText();
    const QString status = truncation.isEmpty() ? u"Сохранённый отчёт №%1 открыт"_s.arg(reportId) : truncation;
    if (m_readPause)
        m_readPause();
    setReport(report);
    m_reopenedReportId = reportId;
    m_reopenedReportType = type;
    m_lastError.clear();
    setStatus(status, !truncation.isEmpty());
    Q_EMIT stateChanged();
    return true;
}

bool QmlDddController::deleteSavedReport(qlonglong reportId, bool tachograph)
{
    ddd::DddRepository &repository = ensureRepository();
    const bool removed = repository.remove(reportId, storedType(tachograph));
    if (removed) {
        // An earlier failure would otherwise stand over this success in the status bar; a failed listing
        // that follows still shows.
        m_lastError.clear();
        refreshSavedReports();
        setStatus(u"Сохранённый отчёт удалён"_s);
    } else {
        m_lastError = repository.lastError();
    }
    Q_EMIT stateChanged();
    return removed;
}

} // namespace tessaron::qml
