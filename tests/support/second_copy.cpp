#include "second_copy.h"

#include "ddd/ddd_repository.h"
#include "statement_hook.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace tessaron::test {

namespace {

const QString modeVariable = u"TESSARON_TEST_SECOND_COPY"_s;
const QString fileVariable = u"TESSARON_TEST_SECOND_COPY_FILE"_s;
const QString waitVariable = u"TESSARON_TEST_SECOND_COPY_WAIT_MS"_s;
const QString reportVariable = u"TESSARON_TEST_SECOND_COPY_REPORT"_s;

void say(const QString &line)
{
    QTextStream(stdout) << line << '\n' << Qt::flush;
}

// Holds the file with an exclusive lock until the test closes this process's input.
int actHolding(const QString &path, int waitMs)
{
    const QString name = u"SecondCopy"_s;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        database.setDatabaseName(path);
        database.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=%1"_s.arg(waitMs));
        QSqlQuery query(database);
        if (!database.open() || !query.exec(u"BEGIN EXCLUSIVE"_s)) {
            say(query.lastError().nativeErrorCode() == u"5"_s ? u"busy"_s : u"failed: "_s + query.lastError().text());
        } else {
            say(u"held"_s);
            QFile input;
            if (input.open(stdin, QIODevice::ReadOnly))
                input.readAll();
            query.exec(u"ROLLBACK"_s);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return 0;
}

int actRemoving(const QString &path, qint64 reportId, ddd::DddFileType type)
{
    ddd::DddRepository repository(path);
    const StatementHook hook(u"TessaronDdd_"_s, [](const QString &statement) {
        if (statement == u"COMMIT")
            say(u"committing"_s);
    });
    say(repository.remove(reportId, type) ? u"removed"_s : u"failed: "_s + repository.lastError());
    return 0;
}

} // namespace

SecondCopy::SecondCopy(const QList<std::pair<QString, QString>> &request)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &[name, value] : request)
        environment.insert(name, value);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QCoreApplication::applicationFilePath(), {});
    m_said = nextLine();
}

SecondCopy::~SecondCopy()
{
    finish();
}

std::unique_ptr<SecondCopy> SecondCopy::holdFile(const QString &path, std::chrono::milliseconds wait)
{
    return std::unique_ptr<SecondCopy>(new SecondCopy(
        {{modeVariable, u"hold"_s}, {fileVariable, path}, {waitVariable, QString::number(wait.count())}}));
}

std::unique_ptr<SecondCopy> SecondCopy::removeReport(const QString &path, qint64 reportId, ddd::DddFileType type)
{
    return std::unique_ptr<SecondCopy>(new SecondCopy({{modeVariable, u"remove"_s}, {fileVariable, path},
        {reportVariable, u"%1 %2"_s.arg(reportId).arg(int(type))}}));
}

QString SecondCopy::nextLine()
{
    while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning)
        m_process.waitForReadyRead(1000);
    return QString::fromUtf8(m_process.readLine()).trimmed();
}

QString SecondCopy::finish()
{
    m_process.closeWriteChannel();
    m_process.waitForFinished(30000);
    QString last = m_said;
    for (const QByteArray &line : m_process.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            last = QString::fromUtf8(line.trimmed());
    }
    return last;
}

void SecondCopy::actIfAsked()
{
    const QString mode = qEnvironmentVariable(qPrintable(modeVariable));
    if (mode.isEmpty())
        return;
    int exitCode = 0;
    {
        int argc = 1;
        char name[] = "second-copy";
        char *argv[] = {name, nullptr};
        const QCoreApplication application(argc, argv);
        const QString path = qEnvironmentVariable(qPrintable(fileVariable));
        const QStringList report = qEnvironmentVariable(qPrintable(reportVariable)).split(u' ');
        exitCode = mode == u"hold"_s
            ? actHolding(path, qEnvironmentVariableIntValue(qPrintable(waitVariable)))
            : actRemoving(path, report.value(0).toLongLong(), ddd::DddFileType(report.value(1).toInt()));
    }
    std::exit(exitCode);
}

} // namespace tessaron::test
