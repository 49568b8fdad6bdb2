#include "qml_ddd_controller.h"

#include "ddd/ddd_decoder.h"
#include "ddd/ddd_repository.h"
#include "ddd/driven_distance.h"
#include "logging/shown_failure.h"
#include "platform/dialog_start_folder.h"
#include "ui/file_dialog_columns.h"

#include <QFileInfo>
#include <QJSEngine>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <filesystem>
#include <system_error>
#include <utility>

using namespace Qt::StringLiterals;

namespace tessaron::qml {

namespace {

const QString s_statusChoose = QStringLiteral("Выберите файл .ddd");
const QString s_statusDecoding = QStringLiteral("Разбор файла .ddd...");
const QString s_statusDone = QStringLiteral("Разбор завершён");
const QString s_statusFailed = QStringLiteral("Ошибка разбора");
const QString s_decodeOutOfMemory = QStringLiteral("Не удалось разобрать файл: недостаточно памяти");

std::atomic<QmlDddController::DecodeFunction> s_decodeFunction {nullptr};

} // namespace

// A report with the rows the page reads besides its datasets, made together.
struct ShownReport
{
    ddd::DddReport report;
    QVariantMap summary;
    QVariantList blocks;
    QVariantList drivenDistances;
};

namespace {

ShownReport shownReport(const ddd::DddReport &report)
{
    return {report, report.summary(), report.blockRows(), ddd::drivenDistanceRows(report)};
}

// Runs on the worker thread, and so do the shown rows, whose cost grows with the file. Any exception (a
// std::bad_alloc on a file that does not fit in memory) ends the decode as a failure instead of ending the program.
ShownReport decode(const QString &path, QString *error, const std::atomic<bool> *stop)
{
    const QmlDddController::DecodeFunction function = s_decodeFunction.load();
    try {
        if (function)
            return shownReport(function(path, error, stop));
        QString systemError;
        const ddd::DddReport report = ddd::Decoder::decodeFile(path, error, stop, &systemError);
        if (!systemError.isEmpty())
            *error = logging::shownFailure(*error, systemError, u"ddd"_s);
        return shownReport(report);
    } catch (const std::bad_alloc &) {
        *error = s_decodeOutOfMemory;
    } catch (const std::exception &exception) {
        *error = logging::shownFailure(QStringLiteral("Не удалось разобрать файл: внутренняя ошибка"),
            QString::fromLocal8Bit(exception.what()), u"ddd"_s);
    } catch (...) {
        *error = QStringLiteral("Не удалось разобрать файл: внутренняя ошибка");
    }
    return {};
}

// A path the file system cannot resolve because its links lead round in a circle.
bool isLinkLoop(const QString &path)
{
    std::error_code code;
    const auto status = std::filesystem::status(std::filesystem::path(path.toStdU16String()), code);
    Q_UNUSED(status);
    return code == std::errc::too_many_symbolic_link_levels;
}

// The status of a decoded report: a damaged file, or one with data left undecoded, is never called decoded.
QString decodedStatus(const ddd::DddReport &report)
{
    if (QString truncation = report.truncationText(); !truncation.isEmpty())
        return truncation;
    if (const qint64 unsplit = report.unsplitByteCount(); unsplit > 0)
        return QStringLiteral("Разбор завершён с ошибками: не разобрано %1 байт из %2").arg(unsplit).arg(report.size);
    // Only the first-generation records are decoded: a file that carries more says so.
    if (const qint32 kept = report.undecodedSecondGenerationBlockCount(); kept > 0)
        return QStringLiteral("Разбор завершён: данные второго поколения не расшифрованы (блоков: %1)").arg(kept);
    return s_statusDone;
}

} // namespace

void QmlDddController::setDecodeFunctionForTesting(DecodeFunction function)
{
    s_decodeFunction.store(function);
}

QmlDddController::QmlDddController(QObject *parent)
    : QObject(parent)
    , m_statusText(s_statusChoose)
{
    // After the replacing report is drawn: collecting QML's garbage is itself a pause of the GUI thread.
    m_releaseTimer.setSingleShot(true);
    m_releaseTimer.setInterval(250);
    connect(&m_releaseTimer, &QTimer::timeout, this, &QmlDddController::releaseRetiredReports);
}

QmlDddController::~QmlDddController()
{
    if (m_worker) {
        // A thread made by QThread::create runs no event loop that quit() could end: the decode itself stops.
        m_stopDecode = true;
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
    }
    m_repository.reset();
    handRetiredReportsToThePool();
}

bool QmlDddController::chooseAndOpenFile()
{
    const QString startFolder
        = m_filePath.isEmpty() ? platform::dialogStartFolder() : QFileInfo(m_filePath).absolutePath();
    const QString path = ui::chooseExistingFile(
        QStringLiteral("Выберите файл DDD"), startFolder, QStringLiteral("Файлы DDD (*.ddd *.DDD);;Все файлы (*)"));
    return !path.isEmpty() && openFile(path);
}

bool QmlDddController::openFile(const QString &filePath)
{
    if (m_busy || (m_worker && m_worker->isRunning()))
        return false;

    clear();
    m_busy = true;
    setStatus(s_statusDecoding);
    Q_EMIT stateChanged();

    QString path = filePath.trimmed();
    const QUrl url(path, QUrl::TolerantMode);
    if (url.isValid() && url.isLocalFile())
        path = url.toLocalFile();

    QString refusal;
    const QFileInfo info(path);
    if (path.isEmpty())
        refusal = QStringLiteral("Файл не выбран");
    else if (!info.exists() && isLinkLoop(path))
        refusal = QStringLiteral("Путь не удаётся прочитать (ссылки ведут по кругу): %1").arg(path);
    else if (!info.exists())
        refusal = QStringLiteral("Файл не найден: %1").arg(path);
    else if (!info.isFile())
        refusal = QStringLiteral("Выбранный путь не является файлом: %1").arg(path);
    if (!refusal.isEmpty()) {
        m_busy = false;
        m_lastError = refusal;
        setStatus(s_statusFailed);
        Q_EMIT stateChanged();
        return false;
    }

    m_stopDecode = false;
    QThread *thread = QThread::create([controller = this, path, stop = &m_stopDecode] {
        QString error;
        ShownReport shown = decode(path, &error, stop);
        QMetaObject::invokeMethod(
            controller, [controller, shown = std::move(shown), error]() { controller->deliverResult(shown, error); },
            Qt::QueuedConnection);
    });
    m_worker = thread;
    connect(thread, &QThread::finished, this, [this, thread] { workerFinished(thread); });
    thread->start(QThread::InheritPriority);
    // A thread the system could not make (no room left for its stack) neither runs nor ever finishes: no result
    // would come, and the viewer would stay busy for good.
    if (!thread->isRunning() && !thread->isFinished()) {
        m_worker = nullptr;
        delete thread;
        deliverResult({}, s_decodeOutOfMemory);
        return false;
    }
    return true;
}

QUrl QmlDddController::dialogStartFolder() const
{
    return QUrl::fromLocalFile(platform::dialogStartFolder());
}

bool QmlDddController::openDocument(const QUrl &url)
{
    return openFile(url.isLocalFile() ? url.toLocalFile() : url.toString());
}

void QmlDddController::clear()
{
    if (m_busy)
        return;
    clearState();
    Q_EMIT stateChanged();
}

void QmlDddController::clearState()
{
    m_busy = false;
    m_fileName.clear();
    m_filePath.clear();
    m_fileType.clear();
    m_fileSize = 0;
    m_lastError.clear();
    retireShownReport();
    m_drivenDistances.clear();
    m_reopenedReportId = 0;
    setStatus(s_statusChoose);
}

void QmlDddController::setStatus(const QString &text, bool warning)
{
    m_statusText = text;
    m_statusWarning = warning;
}

void QmlDddController::retireShownReport()
{
    if (m_report.fileType == ddd::DddFileType::Unknown) {
        // Nothing is shown: nothing worth a pass of the garbage collector.
        m_report = {};
        m_summary.clear();
        m_blocks.clear();
        return;
    }
    // Room for it made before anything moves: when memory runs out for it, the shown report stays whole.
    auto retired = std::make_unique<RetiredReport>();
    m_retired.reserve(m_retired.size() + 1);
    // Moved, not copied: nothing of the controller refers to the old rows any more.
    retired->report = std::exchange(m_report, {});
    retired->summary = std::exchange(m_summary, {});
    retired->blocks = std::exchange(m_blocks, {});
    m_retired.push_back(std::move(retired));
    m_releaseTimer.start();
}

void QmlDddController::releaseRetiredReports()
{
    // The lists QML read are still shared by its wrappers until they are collected; collected first, they leave
    // the pool thread the last reference, so the rows are freed there.
    if (QJSEngine *engine = qjsEngine(this))
        engine->collectGarbage();
    handRetiredReportsToThePool();
}

void QmlDddController::handRetiredReportsToThePool()
{
    for (std::unique_ptr<RetiredReport> &retired : m_retired)
        QThreadPool::globalInstance()->start([report = retired.release()] { delete report; });
    m_retired.clear();
}

void QmlDddController::setReport(const ddd::DddReport &report)
{
    show(shownReport(report));
}

void QmlDddController::show(const ShownReport &shown)
{
    retireShownReport();
    m_fileName = shown.report.fileName;
    m_filePath = shown.report.filePath;
    m_fileType = ddd::Decoder::typeName(shown.report.fileType);
    m_fileSize = shown.report.size;
    m_summary = shown.summary;
    m_blocks = shown.blocks;
    m_drivenDistances = shown.drivenDistances;
    m_report = shown.report;
    m_reopenedReportId = 0;
}

void QmlDddController::deliverResult(const ShownReport &shown, const QString &error)
{
    m_busy = false;
    if (shown.report.fileType == ddd::DddFileType::Unknown) {
        m_lastError = error.isEmpty() ? QStringLiteral("Не удалось определить формат DDD") : error;
        setStatus(s_statusFailed);
    } else {
        show(shown);
        const QString status = decodedStatus(shown.report);
        setStatus(status, status != s_statusDone);
    }
    Q_EMIT stateChanged();
}

void QmlDddController::workerFinished(QThread *thread)
{
    if (m_worker == thread)
        m_worker = nullptr;
    thread->deleteLater();
}

} // namespace tessaron::qml
