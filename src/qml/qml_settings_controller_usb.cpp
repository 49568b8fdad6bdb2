#include "qml_settings_controller.h"

#include "logging/application_logger.h"
#include "logging/shown_failure.h"
#include "sync/usb_sync_session.h"

#include <QThread>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace tessaron::qml {

QmlSettingsController::UsbSyncRunner QmlSettingsController::defaultUsbSyncRunner()
{
    return [](bool pcSide, std::atomic<bool> &cancel, const std::function<void(const QString &)> &progress) {
        return sync::UsbSyncSession::run(pcSide, cancel, progress);
    };
}

void QmlSettingsController::setUsbSyncRunner(UsbSyncRunner runner)
{
    m_usbSyncRunner = std::move(runner);
}

int QmlSettingsController::usbSyncProgressFor(const QString &text, int current)
{
    // In this order: a text holding two of them takes the first listed, not the first in the text.
    static const std::array<std::pair<QString, int>, 5> stages {{
        {u"ожидание"_s, 10},
        {u"соединение"_s, 20},
        {u"подготовка"_s, 35},
        {u"передача"_s, 55},
        {u"слияние"_s, 85},
    }};
    for (const auto &[word, percent] : stages) {
        if (text.contains(word, Qt::CaseInsensitive))
            return percent;
    }
    return current;
}

bool QmlSettingsController::startUsbSync()
{
    if (isUsbSyncRunning()) {
        m_lastError = u"Синхронизация по MTP уже выполняется."_s;
        Q_EMIT changed();
        return false;
    }
    if (!save())
        return false;
    m_usbSyncCancel = false;
    m_usbSyncStatus = u"Подготовка MTP-синхронизации..."_s;
    m_usbSyncActive = true;
    m_usbSyncProgress = 0;
    m_lastError.clear();
    Q_EMIT changed();
    Q_EMIT syncChanged();
    runUsbSyncWorker(true);
    return true;
}

void QmlSettingsController::cancelUsbSync()
{
    if (m_usbSyncWorker == nullptr)
        return;
    m_usbSyncCancel = true;
    m_usbSyncStatus = u"Отмена USB-синхронизации..."_s;
    Q_EMIT syncChanged();
}

void QmlSettingsController::runUsbSyncWorker(bool pcSide)
{
    // The worker reaches the controller only through queued calls, which Qt drops when the controller is
    // gone, and through the cancel flag, which the destructor raises before it waits for the thread.
    QThread *thread = QThread::create([this, pcSide, runner = m_usbSyncRunner] {
        const auto progress = [this](const QString &text) {
            QMetaObject::invokeMethod(
                this, [this, text] { applyUsbSyncProgress(text); }, Qt::QueuedConnection);
        };
        sync::UsbSyncResult result;
        // An exception leaving a thread's function would end the program, and without a completion the page
        // would stay busy for good (a package too large for memory throws std::bad_alloc). What threw may have come
        // after the merge (the answer to the phone reads every data file into memory), so the session is taken as one
        // that may have changed the stored data, as a failure after the merge is.
        try {
            result = runner(pcSide, m_usbSyncCancel, progress);
        } catch (...) {
            result = {};
            result.message = logging::withSentence(
                u"Синхронизация по MTP прервана из-за внутренней ошибки"_s, u"Данные, возможно, уже объединены."_s);
            result.dataChanged = true;
            logging::ApplicationLogger::write(logging::Level::Error, u"sync.mtp"_s, result.message, u"thrown"_s);
        }
        QMetaObject::invokeMethod(
            this, [this, result] { finishUsbSync(result); }, Qt::QueuedConnection);
    });
    m_usbSyncWorker = thread;
    connect(thread, &QThread::finished, this, [this, thread] {
        if (m_usbSyncWorker == thread)
            m_usbSyncWorker = nullptr;
        thread->deleteLater();
    });
    thread->start(QThread::InheritPriority);
}

void QmlSettingsController::stopUsbSyncWorker()
{
    if (m_usbSyncWorker == nullptr)
        return;
    m_usbSyncCancel = true;
    m_usbSyncWorker->wait();
    delete std::exchange(m_usbSyncWorker, nullptr);
}

void QmlSettingsController::applyUsbSyncProgress(const QString &text)
{
    m_usbSyncStatus = text;
    m_usbSyncProgress = usbSyncProgressFor(text, m_usbSyncProgress);
    Q_EMIT syncChanged();
}

void QmlSettingsController::finishUsbSync(const sync::UsbSyncResult &result)
{
    m_usbSyncActive = false;
    m_usbSyncProgress = result.success ? 100 : 0;
    m_usbSyncStatus = result.message;
    // A cancel is the user's own stop, not a failure: its outcome takes the place of the last one shown.
    const bool stopped = result.success || result.cancelled;
    if (stopped) {
        m_syncStatus = result.message;
        m_lastError.clear();
        Q_EMIT changed();
    }
    // The merge may have brought settings, masters and customers from the phone, also when the session failed or
    // was cancelled after it: fields left holding the older values would write them back, newer, at the next save.
    if (stopped || result.dataChanged) {
        loadSettings(true);
        refreshSyncPackages();
    }
    if (!stopped)
        fail(result.message);
    Q_EMIT syncChanged();
}

} // namespace tessaron::qml
