#include "qml_app_controller.h"

#include "qml_ddd_controller.h"
#include "qml_documents_controller.h"
#include "qml_settings_controller.h"

#include "logging/application_logger.h"
#include "ui/file_dialog_columns.h"

#include <QCoreApplication>

namespace tessaron::qml {

QmlAppController::QmlAppController(QObject *parent)
    : QObject(parent)
{
    m_settings.reset(new QmlSettingsController(this));
    m_documents.reset(new QmlDocumentsController(this));
    m_ddd.reset(new QmlDddController(this));

    using logging::ApplicationLogger;
    ApplicationLogger::setEnabled(m_settings->isLogEnabled());
    ApplicationLogger::write(logging::Level::Info, QStringLiteral("app"),
        QStringLiteral("%1 %2 started")
            .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion()),
        QStringLiteral("startup"));
}

QmlAppController::~QmlAppController()
{
    m_ddd.reset();
    m_documents.reset();
    m_settings.reset();
}

QObject *QmlAppController::settings() const
{
    return m_settings.get();
}

QObject *QmlAppController::documents() const
{
    return m_documents.get();
}

QObject *QmlAppController::ddd() const
{
    return m_ddd.get();
}

void QmlAppController::pauseDeviceMonitoring()
{
    ++m_monitoringPauseCount;
    m_monitoringPaused = true;
}

void QmlAppController::resumeDeviceMonitoring()
{
    if (m_monitoringPauseCount > 0)
        --m_monitoringPauseCount;
    if (m_monitoringPauseCount == 0 && m_monitoringPaused)
        m_monitoringPaused = false;
}

void QmlAppController::quit()
{
    QCoreApplication::quit();
}

QString QmlAppController::fileSizeText(qint64 bytes) const
{
    return ui::fileSizeText(bytes);
}

QString QmlAppController::fileTimeText(const QDateTime &time) const
{
    return ui::fileTimeText(time);
}

} // namespace tessaron::qml
