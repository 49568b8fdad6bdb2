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

// What the copy is asked to do, its fields one a line: "hold", the file, the wait in milliseconds; or "remove", the
// file, the report id, the report type's value.
const char *const requestVariable = "TESSARON_TEST_SECOND_COPY";

void say(const QString &line)
{
    QTextStream(stdout) << line << '\n' << Qt::flush;
}

// Holds the file with an exclusive lock until the test closes this process's input.
void holdFile(const QString &path, const QString &waitMs)
{
    const QString name = u"SecondCopy"_s;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        database.setDatabaseName(path);
        database.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT="_s + waitMs);
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
}

void removeReport(const QString &path, qint64 reportId, ddd::DddFileType type)
{
    ddd::DddRepository repository(path);
    const StatementHook hook(u"TessaronDdd_"_s, [](const QString &statement) {
        if (statement == u"COMMIT")
            say(u"committing"_s);
    });
    say(repository.remove(reportId, type) ? u"removed"_s : u"failed: "_s + repository.lastError());
}

} // namespace

SecondCopy::SecondCopy(const QStringList &request)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(requestVariable), request.join(u'\n'));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QCoreApplication::applicationFilePath(), {});
    while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning)
        m_process.waitForReadyRead(1000);
    m_said = QString::fromUtf8(m_process.readLine()).trimmed();
}

SecondCopy::~SecondCopy()
{
    finish();
}

std::unique_ptr<SecondCopy> SecondCopy::holdFile(const QString &path, std::chrono::milliseconds wait)
{
    return std::unique_ptr<SecondCopy>(new SecondCopy({u"hold"_s, path, QString::number(wait.count())}));
}

std::unique_ptr<SecondCopy> SecondCopy::removeReport(const QString &path, qint64 reportId, ddd::DddFileType type)
{
    return std::unique_ptr<SecondCopy>(
        new SecondCopy({u"remove"_s, path, QString::number(reportId), QString::number(int(type))}));
}

QString SecondCopy::finish()
{
    m_process.closeWriteChannel();
    m_process.waitForFinished(30000);
    const QString rest = QString::fromUtf8(m_process.readAll()).trimmed();
    return rest.isEmpty() ? m_said : rest.section(u'\n', -1);
}

void SecondCopy::actIfAsked()
{
    const QStringList request = qEnvironmentVariable(requestVariable).split(u'\n');
    if (request.size() < 3)
        return;
    {
        int argc = 1;
        char name[] = "second-copy";
        char *argv[] = {name, nullptr};
        const QCoreApplication application(argc, argv);
        if (request.at(0) == u"hold")
            tessaron::test::holdFile(request.at(1), request.at(2));
        else
            tessaron::test::removeReport(
                request.at(1), request.at(2).toLongLong(), ddd::DddFileType(request.value(3).toInt()));
    }
    std::exit(0);
}

} // namespace tessaron::test
