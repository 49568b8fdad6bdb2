#pragma once

#include <QDateTime>
#include <QObject>

#include <memory>

namespace tessaron::qml {

class QmlDddController;
class QmlDocumentsController;
class QmlSettingsController;

// The one object QML is given (the context property "app"): it owns the page controllers, which QML reaches
// as its constant properties, and counts the pauses of device monitoring.
class QmlAppController : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QObject *settings READ settings CONSTANT)
    Q_PROPERTY(QObject *documents READ documents CONSTANT)
    Q_PROPERTY(QObject *ddd READ ddd CONSTANT)

public:
    // Creates the page controllers and switches the log on or off as the settings say.
    explicit QmlAppController(QObject *parent = nullptr);
    // Deletes the page controllers in reverse order of creation; each ends its own work first.
    ~QmlAppController() override;

    QObject *settings() const;
    QObject *documents() const;
    QObject *ddd() const;
    QmlSettingsController *settingsController() const { return m_settings.get(); }
    QmlDocumentsController *documentsController() const { return m_documents.get(); }
    QmlDddController *dddController() const { return m_ddd.get(); }

    // Device monitoring shares the serial port with the calibration and download pages, which pause it while
    // they are open. Pauses are counted: each needs one resume. Not reachable from QML.
    void pauseDeviceMonitoring();
    // Takes back one pause; monitoring restarts when the last one is taken back. Without an outstanding pause
    // it changes nothing.
    Q_INVOKABLE void resumeDeviceMonitoring();
    int deviceMonitoringPauseCount() const { return m_monitoringPauseCount; }
    bool isDeviceMonitoringPaused() const { return m_monitoringPaused; }

    // Ends the event loop; the entry point then destroys the QML engine and this controller.
    Q_INVOKABLE void quit();

    // A file's size and time as every file dialog of the program writes them (ui::fileSizeText, fileTimeText).
    Q_INVOKABLE QString fileSizeText(qint64 bytes) const;
    Q_INVOKABLE QString fileTimeText(const QDateTime &time) const;

private:
    std::unique_ptr<QmlSettingsController> m_settings;
    std::unique_ptr<QmlDocumentsController> m_documents;
    std::unique_ptr<QmlDddController> m_ddd;
    int m_monitoringPauseCount = 0;
    bool m_monitoringPaused = false;
};

} // namespace tessaron::qml
