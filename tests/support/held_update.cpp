#include "held_update.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <poll.h>

using namespace Qt::StringLiterals;

namespace tessaron::test {

namespace {

const char pathVariable[] = "TESSARON_TEST_HELD_UPDATE";
const char statementsVariable[] = "TESSARON_TEST_HELD_STATEMENTS";
const char holdVariable[] = "TESSARON_TEST_HELD_MS";
const QString heldLine = u"held\n"_s;
// Statements hold line breaks; this character never appears in SQL the tests write.
constexpr char16_t statementSeparator = u'\x1f';

// Runs the statements and, once they hold, says so and waits for the end of the input (the test ends the update) or
// for the time to pass; the open transaction is rolled back with the connection.
int holdUpdate(const QString &path, const QStringList &statements, int holdMs)
{
    QTextStream out(stdout);
    QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"HeldUpdate"_s);
    database.setDatabaseName(path);
    if (!database.open()) {
        out << database.lastError().text() << Qt::endl;
        return 1;
    }
    QSqlQuery query(database);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            out << statement << u": "_s << query.lastError().text() << Qt::endl;
            return 1;
        }
    }
    out << heldLine << Qt::flush;
    pollfd input {0, POLLIN, 0};
    ::poll(&input, 1, holdMs);
    query.exec(u"ROLLBACK"_s);
    return 0;
}

} // namespace

HeldUpdate::HeldUpdate(const QString &path, const QStringList &statements, std::chrono::milliseconds holdFor)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(pathVariable), path);
    environment.insert(QString::fromLatin1(statementsVariable), statements.join(QChar(statementSeparator)));
    environment.insert(QString::fromLatin1(holdVariable), QString::number(holdFor.count()));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QCoreApplication::applicationFilePath(), {});
    while (!m_output.contains(heldLine) && m_process.waitForReadyRead(60000))
        m_output += QString::fromUtf8(m_process.readAll());
    m_held = m_output.contains(heldLine);
}

HeldUpdate::~HeldUpdate()
{
    end();
}

void HeldUpdate::end()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    m_process.waitForFinished(60000);
    m_held = false;
}

void HeldUpdate::kill()
{
    m_process.kill();
    m_process.waitForFinished(60000);
    m_held = false;
}

int HeldUpdate::runIfAsked()
{
    const QString path = qEnvironmentVariable(pathVariable);
    if (path.isEmpty())
        return -1;
    const QStringList statements = qEnvironmentVariable(statementsVariable).split(QChar(statementSeparator));
    const int code = holdUpdate(path, statements, qEnvironmentVariableIntValue(holdVariable));
    QSqlDatabase::removeDatabase(u"HeldUpdate"_s);
    return code;
}

} // namespace tessaron::test
