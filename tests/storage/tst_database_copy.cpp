#include "storage/database_copy.h"
#include "support/sqlite_probe.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::test::SqliteProbe;

namespace {

const QStringList rowsCommitted {
    u"CREATE TABLE Rows (Id INTEGER PRIMARY KEY, Value TEXT)"_s,
    u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
    "INSERT INTO Rows (Value) SELECT 'committed ' || hex(randomblob(200)) FROM n"_s,
};

// An update large enough to leave SQLite's tiny page cache, so that the writer takes the file for itself and its
// uncommitted pages reach the database file.
const QStringList spilledUpdate {
    u"PRAGMA cache_size = 2"_s,
    u"BEGIN"_s,
    u"UPDATE Rows SET Value = 'UNCOMMITTED ' || hex(randomblob(200))"_s,
};

int committedRows(const QString &path)
{
    return SqliteProbe(path).scalar(u"SELECT count(*) FROM Rows WHERE Value LIKE 'committed %'"_s).toInt();
}

// A second connection of this process in the middle of a write, rolled back with the scope.
class Writer
{
public:
    Writer(const QString &path, const QStringList &statements)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(path);
        m_ok = db.open();
        QSqlQuery query(db);
        for (const QString &statement : statements)
            m_ok = m_ok && query.exec(statement);
    }
    ~Writer()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name);
            QSqlQuery(db).exec(u"ROLLBACK"_s);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    bool isOk() const { return m_ok; }

private:
    QString m_name = u"TestWriter"_s;
    bool m_ok = false;
};

} // namespace

// The consistent copy of a database: the committed state whatever a writer is doing, or a failure naming why.
class TestDatabaseCopy : public QObject
{
    Q_OBJECT

private slots:
    void copyHoldsTheCommittedState_data();
    void copyHoldsTheCommittedState();
    void failureLeavesNothingAtTheTarget_data();
    void failureLeavesNothingAtTheTarget();
};

void TestDatabaseCopy::copyHoldsTheCommittedState_data()
{
    QTest::addColumn<QStringList>("writerStatements");
    QTest::addColumn<bool>("killedWriter");
    QTest::addRow("no writer") << QStringList {} << false;
    QTest::addRow("writer with an open update still in its cache")
        << QStringList {u"BEGIN"_s, u"UPDATE Rows SET Value = 'UNCOMMITTED' WHERE Id < 10"_s} << false;
    QTest::addRow("writer killed with its update in the file and a hot journal") << spilledUpdate << true;
}

void TestDatabaseCopy::copyHoldsTheCommittedState()
{
    QFETCH(QStringList, writerStatements);
    QFETCH(bool, killedWriter);
    QTemporaryDir dir;
    QString source = dir.filePath(u"source.db"_s);
    const QString target = dir.filePath(u"copy.db"_s);
    QVERIFY(SqliteProbe(source).executeAll(rowsCommitted));
    QFile::copy(source, target + u"-journal"_s); // a stale journal at the target must not be played into the copy

    QString error;
    if (killedWriter) {
        const QString left = dir.filePath(u"left.db"_s);
        QVERIFY(SqliteProbe(source).copyMidway(writerStatements, left));
        QVERIFY(QFile::exists(left + u"-journal"_s));
        source = left;
        QVERIFY(tessaron::storage::copyDatabase(source, target, &error));
    } else {
        const Writer writer(source, writerStatements);
        QVERIFY(writer.isOk());
        QVERIFY2(tessaron::storage::copyDatabase(source, target, &error), qPrintable(error));
    }
    QVERIFY(error.isEmpty());
    QCOMPARE(SqliteProbe(target).scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    QCOMPARE(committedRows(target), 2000);
    QCOMPARE(committedRows(source), 2000);
}

void TestDatabaseCopy::failureLeavesNothingAtTheTarget_data()
{
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QStringList>("writerStatements");
    QTest::addColumn<QString>("expectedError");
    QTest::addRow("missing source") << u"missing.db"_s << QStringList {}
                                    << u"Не удалось открыть базу %1 для копирования"_s;
    QTest::addRow("not a database") << u"garbage.db"_s << QStringList {}
                                    << u"Не удалось скопировать базу %1: файл повреждён или не является базой данных"_s;
    QTest::addRow("writer holding the file past the wait")
        << u"source.db"_s << spilledUpdate
        << u"Не удалось скопировать базу %1: её держит другая программа дольше 0 с"_s;
}

void TestDatabaseCopy::failureLeavesNothingAtTheTarget()
{
    QFETCH(QString, sourceName);
    QFETCH(QStringList, writerStatements);
    QFETCH(QString, expectedError);
    QTemporaryDir dir;
    QVERIFY(SqliteProbe(dir.filePath(u"source.db"_s)).executeAll(rowsCommitted));
    tessaron::test::writeCorruptFile(dir.filePath(u"garbage.db"_s));
    const QString source = dir.filePath(sourceName);
    const QString target = dir.filePath(u"copy.db"_s);
    QFile stale(target);
    QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("an older copy") > 0);
    stale.close();

    const Writer writer(dir.filePath(u"source.db"_s), writerStatements);
    QVERIFY(writer.isOk());
    QString error;
    QVERIFY(!tessaron::storage::copyDatabase(source, target, &error, std::chrono::milliseconds(300)));
    QCOMPARE(error, expectedError.arg(source));
    QVERIFY(!QFile::exists(target));
    QVERIFY(!QFile::exists(target + u"-journal"_s));
}

QTEST_GUILESS_MAIN(TestDatabaseCopy)
#include "tst_database_copy.moc"
