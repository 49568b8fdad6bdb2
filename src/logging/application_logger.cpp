#include "application_logger.h"

#include "storage/app_paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

using namespace Qt::StringLiterals;

namespace tessaron::logging {

namespace {

const QString logFileName = QStringLiteral("tessaron.log");

void handleQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message);

struct LoggerState
{
    QMutex mutex;
    bool initialized = false;
    bool enabled = true;
    bool handlerInstalled = false;
    QString directory;
    QFile file;
    qint64 maxFileSize = ApplicationLogger::defaultMaxFileSize;
    int maxBackupFiles = ApplicationLogger::defaultMaxBackupFiles;
    std::atomic<QtMessageHandler> previousHandler {nullptr};

    ~LoggerState()
    {
        // Qt may still report during static destruction: it must not reach a logger that is gone.
        if (handlerInstalled)
            qInstallMessageHandler(previousHandler.load());
    }
};

LoggerState &state()
{
    static LoggerState instance;
    return instance;
}

// Set while a thread holds the logger, so that a Qt message raised inside the logger is only passed on.
thread_local bool t_insideLogger = false;

struct InsideLogger
{
    InsideLogger() { t_insideLogger = true; }
    ~InsideLogger() { t_insideLogger = false; }
};

QString backupPath(const QString &path, int number)
{
    return path + u'.' + QString::number(number);
}

bool openFile(LoggerState &s)
{
    if (s.file.isOpen())
        return true;
    QDir().mkpath(s.directory);
    s.file.setFileName(QDir(s.directory).filePath(logFileName));
    return s.file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void rotate(LoggerState &s)
{
    const QString path = s.file.fileName();
    s.file.close();
    if (s.maxBackupFiles > 0) {
        QFile::remove(backupPath(path, s.maxBackupFiles));
        for (int number = s.maxBackupFiles - 1; number >= 1; --number) {
            if (QFile::exists(backupPath(path, number)))
                QFile::rename(backupPath(path, number), backupPath(path, number + 1));
        }
        if (QFile::rename(path, backupPath(path, 1)))
            return;
    }
    // Without backups, or when the file cannot be renamed, start it afresh so it cannot grow without end.
    if (!QFile::remove(path)) {
        QFile truncated(path);
        if (truncated.open(QIODevice::WriteOnly | QIODevice::Truncate))
            truncated.close();
    }
}

QByteArray record(Level level, const QString &category, const QString &message, const QString &operation)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QJsonObject object {
        {u"timestamp"_s, now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs)},
        {u"level"_s, levelName(level)},
        {u"category"_s, category},
        {u"operation"_s, operation},
        {u"message"_s, message},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

Level levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return Level::Debug;
    case QtInfoMsg:
        return Level::Info;
    case QtWarningMsg:
        return Level::Warning;
    case QtCriticalMsg:
        return Level::Error;
    case QtFatalMsg:
        return Level::Critical;
    }
    return Level::Warning;
}

void handleQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!t_insideLogger) {
        const bool plain = context.category == nullptr || qstrcmp(context.category, "default") == 0;
        const QString category = plain ? u"qt"_s : QString::fromLatin1(context.category);
        ApplicationLogger::write(levelOf(type), category, message, u"qt-message"_s);
    }
    if (const QtMessageHandler previous = state().previousHandler.load())
        previous(type, context, message);
}

} // namespace

void ApplicationLogger::initialize(const QString &directory)
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    const InsideLogger inside;
    s.file.close();
    s.directory = directory.isEmpty() ? storage::AppPaths::logDirectory() : directory;
    s.initialized = true;
    openFile(s);
    if (!s.handlerInstalled) {
        s.previousHandler.store(qInstallMessageHandler(handleQtMessage));
        s.handlerInstalled = true;
    }
}

void ApplicationLogger::shutdown()
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    const InsideLogger inside;
    s.file.close();
    s.initialized = false;
    if (s.handlerInstalled) {
        qInstallMessageHandler(s.previousHandler.load());
        s.handlerInstalled = false;
    }
}

bool ApplicationLogger::isInitialized()
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    return s.initialized;
}

void ApplicationLogger::setEnabled(bool enabled)
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    const InsideLogger inside;
    s.enabled = enabled;
    // Switched off, the file is let go, so it can be removed or moved.
    if (!enabled)
        s.file.close();
}

bool ApplicationLogger::isEnabled()
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    return s.enabled;
}

void ApplicationLogger::write(Level level, const QString &category, const QString &message, const QString &operation)
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    if (!s.initialized || !s.enabled)
        return;
    const InsideLogger inside;
    if (!openFile(s))
        return;
    s.file.write(record(level, category, message, operation));
    s.file.flush();
    if (s.file.size() >= s.maxFileSize) {
        rotate(s);
        openFile(s);
    }
}

QString ApplicationLogger::filePath()
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    if (!s.initialized)
        return {};
    return QDir(s.directory).filePath(logFileName);
}

void ApplicationLogger::setRotation(qint64 maxFileSize, int maxBackupFiles)
{
    LoggerState &s = state();
    const QMutexLocker locker(&s.mutex);
    s.maxFileSize = qMax<qint64>(1, maxFileSize);
    s.maxBackupFiles = qMax(0, maxBackupFiles);
}

} // namespace tessaron::logging
