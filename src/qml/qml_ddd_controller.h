#pragma once

#include "ddd/ddd_datasets.h"
#include "ddd/ddd_report.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QThread;

namespace tessaron::ddd {
class DddRepository;
}

// One read-only QML list property per dataset, expanded from the report's one dataset list. moc expands it only
// because it can see ddd/ddd_datasets.h through the target's include path; a missing path would silently drop
// the 38 properties, which the controller's test catches by comparing the property list with allDatasets.
#define TESSARON_QML_DDD_DATASET_PROPERTY(name) Q_PROPERTY(QVariantList name READ name NOTIFY stateChanged)
#define TESSARON_QML_DDD_DATASET_GETTER(name)                                                                          \
    QVariantList name() const                                                                                          \
    {                                                                                                                  \
        return m_report.name;                                                                                          \
    }

namespace tessaron::qml {

struct ShownReport;

// The DDD viewer as QML sees it (app.ddd): opens a DDD file, decodes it on a worker thread of its own and
// publishes the decoded report as read-only properties, one per dataset. At most one decode runs at a time;
// a request made while one runs is refused silently (false, nothing changes).
class QmlDddController : public QObject
{
    Q_OBJECT

    Q_PROPERTY(bool busy READ isBusy NOTIFY stateChanged)
    Q_PROPERTY(QString fileName READ fileName NOTIFY stateChanged)
    Q_PROPERTY(QString filePath READ filePath NOTIFY stateChanged)
    Q_PROPERTY(QString fileType READ fileType NOTIFY stateChanged)
    Q_PROPERTY(int fileKind READ fileKind NOTIFY stateChanged)
    Q_PROPERTY(int fileSize READ fileSize NOTIFY stateChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY stateChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY stateChanged)
    Q_PROPERTY(QVariantMap summary READ summary NOTIFY stateChanged)
    Q_PROPERTY(QVariantList blocks READ blocks NOTIFY stateChanged)
    TESSARON_DDD_DATASETS(TESSARON_QML_DDD_DATASET_PROPERTY)
    Q_PROPERTY(QVariantMap analysis READ analysis NOTIFY stateChanged)
    Q_PROPERTY(QVariantList drivenDistances READ drivenDistances NOTIFY stateChanged)
    Q_PROPERTY(QVariantList savedReports READ savedReports NOTIFY savedReportsChanged)
    Q_PROPERTY(QString structureText READ structureText NOTIFY stateChanged)
    Q_PROPERTY(bool statusWarning READ statusWarning NOTIFY stateChanged)

public:
    // The decode step a worker runs. Tests swap it to hold a decode in flight; null restores the real one.
    using DecodeFunction = ddd::DddReport (*)(const QString &path, QString *error, const std::atomic<bool> *stop);
    static void setDecodeFunctionForTesting(DecodeFunction function);

    explicit QmlDddController(QObject *parent = nullptr);
    // Asks a decode in flight to stop and waits for it (it ends within a fraction of a second); its result is
    // dropped.
    ~QmlDddController() override;

    bool isBusy() const { return m_busy; }
    QString fileName() const { return m_fileName; }
    QString filePath() const { return m_filePath; }
    QString fileType() const { return m_fileType; }
    // What the shown report was read from, as a number the page decides its sections by: the value of its
    // ddd::DddFileType (0 when nothing is shown). fileType is the same as display text.
    int fileKind() const { return int(m_report.fileType); }
    int fileSize() const { return m_fileSize; }
    QString statusText() const { return m_statusText; }
    // True while statusText is a warning: it tells that the shown report was decoded from a damaged file (bytes left
    // unsplit or a block cut short) or with data left undecoded, or reopened from the archive as stored from a file
    // with a block cut short. Any later status (a save, a removal) is not.
    bool statusWarning() const { return m_statusWarning; }
    QString lastError() const { return m_lastError; }
    QVariantMap summary() const { return m_summary; }
    QVariantList blocks() const { return m_blocks; }
    TESSARON_DDD_DATASETS(TESSARON_QML_DDD_DATASET_GETTER)
    QVariantMap analysis() const { return m_report.analysis; }
    // What the mileage chart draws: ddd::drivenDistanceRows of the shown report, as the PDF draws it.
    QVariantList drivenDistances() const { return m_drivenDistances; }
    QVariantList savedReports() const { return m_savedReports; }
    QString structureText() const { return m_report.structureText; }

    // Shows the opening dialog; false when it was cancelled or the chosen file could not be opened.
    Q_INVOKABLE bool chooseAndOpenFile();
    // Where the page's save dialog starts: see platform::dialogStartFolder (it may make the documents folder).
    Q_INVOKABLE QUrl dialogStartFolder() const;
    // Starts decoding the file (a path or a local-file URL text). True when the decode has started; false when
    // one is running (nothing changes), or the path is refused or no thread could be made for the decode (lastError
    // says why; the shown report is gone).
    Q_INVOKABLE bool openFile(const QString &filePath);
    Q_INVOKABLE bool openDocument(const QUrl &url);
    // Empties everything but savedReports; ignored while a decode runs.
    Q_INVOKABLE void clear();

    // The archive and the export run on the calling (GUI) thread against ReportsDB.db, opened on first use.
    // Each failure leaves its text in lastError; the status names what happened.

    // Creates the folder of downloaded DDD files when missing and hands it to the desktop's file browser.
    Q_INVOKABLE void openDataFolder();
    // Stores the shown report unless the same file (or the stored report it was reopened from) is stored
    // already; then emits duplicateReportDetected with that id and stores nothing. True when a row was added.
    Q_INVOKABLE bool saveReport();
    // Writes the shown report as a PDF at filePath (a path or a "file:" URL; ".pdf" appended when missing),
    // with the page's export options ({sections, graphs}; empty: every section, no chart).
    Q_INVOKABLE bool exportReportPdf(const QString &filePath, const QVariantMap &exportOptions);
    Q_INVOKABLE bool exportReportPdf(const QString &filePath);
    // Export through a platform document provider, which this desktop platform has none of: always false.
    Q_INVOKABLE bool exportReportPdfDocument(const QUrl &documentUrl, const QVariantMap &exportOptions);
    Q_INVOKABLE bool exportReportPdfDocument(const QUrl &documentUrl);
    // Reloads savedReports; a database that is closed or cannot be listed puts its text in lastError.
    Q_INVOKABLE void refreshSavedReports();
    // Shows a stored report, named by its id and kind; one stored from a file cut inside a block is told as its
    // decode told it (statusText and statusWarning). Refused while a decode runs (false, nothing changes), since
    // the decode's result would replace it. A report not stored, or a load that failed (the file held by another
    // program, memory run out while reading it or making the page's rows), leaves the shown report and the status
    // as they were, with lastError saying which.
    Q_INVOKABLE bool openSavedReport(qlonglong reportId, bool tachograph);
    // Removes a stored report; the shown report stays shown even when it is the removed one.
    Q_INVOKABLE bool deleteSavedReport(qlonglong reportId, bool tachograph);

    // Publishes a report without touching busy, statusText or lastError and without a signal: callers set
    // the status and emit stateChanged once. The report it replaces is freed off the GUI thread. The rows the page
    // reads besides the datasets are made first: when memory runs out for them, the std::bad_alloc leaves
    // everything as it was.
    void setReport(const ddd::DddReport &report);
    // The shown report, whole: the source for saving and export.
    const ddd::DddReport &report() const { return m_report; }
    // Run when openSavedReport has read a stored report whole and made its status, just before the page's rows are
    // made of it. Tests take the memory left there, so that it runs out while those rows are made. Empty runs
    // nothing.
    void setReadPauseForTesting(std::function<void()> pause) { m_readPause = std::move(pause); }

Q_SIGNALS:
    void stateChanged();
    void savedReportsChanged();
    void duplicateReportDetected(qlonglong existingReportId);

private:
    void clearState();
    // Every status goes through here: a success that follows a warning is told as a success.
    void setStatus(const QString &text, bool warning = false);
    // openSavedReport past its busy check; memory running out escapes as std::bad_alloc before anything changes.
    bool reopen(qlonglong reportId, ddd::DddFileType type);
    // Moves the shown report and the rows made from it aside, leaving them empty here, to be freed on a pool
    // thread shortly after: freeing a long download's rows takes long enough to hold up the window's drawing.
    void retireShownReport();
    // Collects the QML engine's garbage, if an engine reads this controller, then hands the reports moved aside to
    // the pool.
    void releaseRetiredReports();
    void handRetiredReportsToThePool();
    void show(const ShownReport &shown);
    void deliverResult(const ShownReport &shown, const QString &error);
    void workerFinished(QThread *thread);
    // The report database, opened on first use and kept; check isOpen() on it.
    ddd::DddRepository &ensureRepository();
    void setExportFailure(const QString &error, const QString &status);

    bool m_busy = false;
    QString m_fileName;
    QString m_filePath;
    QString m_fileType;
    int m_fileSize = 0;
    QString m_statusText;
    bool m_statusWarning = false;
    QString m_lastError;
    QThread *m_worker = nullptr;
    std::atomic<bool> m_stopDecode {false};
    QVariantMap m_summary;
    QVariantList m_blocks;
    QVariantList m_drivenDistances;
    QVariantList m_savedReports;
    // The shown report, whole; the dataset, analysis and structure properties read it.
    ddd::DddReport m_report;
    // Reports replaced since the last release, and the timer of the next release.
    struct RetiredReport
    {
        ddd::DddReport report;
        QVariantMap summary;
        QVariantList blocks;
    };
    std::vector<std::unique_ptr<RetiredReport>> m_retired;
    QTimer m_releaseTimer;
    std::unique_ptr<ddd::DddRepository> m_repository;
    // The stored report the shown one was reopened from (id 0 when it was decoded from a file): a report
    // stored without its file's fingerprint and path is found as already stored through it.
    qint64 m_reopenedReportId = 0;
    ddd::DddFileType m_reopenedReportType = ddd::DddFileType::Unknown;
    std::function<void()> m_readPause;
};

} // namespace tessaron::qml
