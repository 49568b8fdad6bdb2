#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"
#include "support/sqlite_probe.h"
#include "support/time_zone_pin.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using tessaron::storage::SqlConnection;
using tessaron::storage::TransactionGuard;
using tessaron::test::SqliteProbe;

class TestSqlConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void connectionsAreNamedUniquelyAndRemoved();
    void quotedIdentifiersWorkInStatements_data();
    void quotedIdentifiersWorkInStatements();
    void timestampsHaveTheDatabaseForm();
    void transactionRollsBackUnlessCommitted();

private:
    std::unique_ptr<QTemporaryDir> m_directory;
    QString m_path;
};

void TestSqlConnection::init()
{
    m_directory = std::make_unique<QTemporaryDir>();
    m_path = m_directory->filePath(u"test.db"_s);
}

void TestSqlConnection::connectionsAreNamedUniquelyAndRemoved()
{
    QString firstName;
    {
        SqlConnection first(u"Prefix"_s, m_path);
        SqlConnection second(u"Prefix"_s, m_path);
        QVERIFY(first.isOpen() && second.isOpen());
        QVERIFY(first.name().startsWith(u"Prefix_"_s) && first.name() != second.name());
        QVERIFY(QSqlDatabase::contains(first.name()));
        firstName = first.name();
        first.close();
        QVERIFY(!first.isOpen());
        QVERIFY(second.isOpen());
    }
    QVERIFY(!QSqlDatabase::contains(firstName));
    QCOMPARE(QSqlDatabase::connectionNames(), QStringList());
}

void TestSqlConnection::quotedIdentifiersWorkInStatements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("quoted");
    QTest::addRow("plain") << u"Calibrations"_s << u"\"Calibrations\""_s;
    QTest::addRow("inner double quote") << u"odd\"name"_s << u"\"odd\"\"name\""_s;
    QTest::addRow("blank and semicolon") << u"a b; DROP TABLE x"_s << u"\"a b; DROP TABLE x\""_s;
    QTest::addRow("cyrillic") << u"Таблица"_s << u"\"Таблица\""_s;
}

void TestSqlConnection::quotedIdentifiersWorkInStatements()
{
    QFETCH(QString, name);
    QFETCH(QString, quoted);
    QCOMPARE(tessaron::storage::quoteIdentifier(name), quoted);
    const SqliteProbe probe(m_path);
    QVERIFY(probe.execute(u"CREATE TABLE "_s + quoted + u" (" + quoted + u" TEXT)"_s));
    QCOMPARE(probe.columns(name), QStringList {name});
}

void TestSqlConnection::timestampsHaveTheDatabaseForm()
{
    const QString now = tessaron::storage::currentSqlTimestamp();
    const QString database = SqliteProbe(m_path).scalar(u"SELECT CURRENT_TIMESTAMP"_s).toString();
    QCOMPARE(now.size(), database.size());
    const QDateTime parsed = tessaron::storage::dateTimeFromSql(now);
    QVERIFY(parsed.isValid());
    QCOMPARE(parsed.timeZone(), QTimeZone::utc());
    QVERIFY(qAbs(parsed.secsTo(QDateTime::currentDateTimeUtc())) < 5);
    QVERIFY(!tessaron::storage::dateTimeFromSql(u"01.02.2024"_s).isValid());
    QVERIFY(!tessaron::storage::dateTimeFromSql(QVariant()).isValid());

    // A stamp inside a local daylight-saving gap is still the UTC instant it names.
    tessaron::test::setTimeZone("Europe/Berlin");
    const QDateTime gap = tessaron::storage::dateTimeFromSql(u"2024-03-31 02:30:00"_s);
    tessaron::test::restoreSuiteTimeZone();
    QCOMPARE(gap, QDateTime(QDate(2024, 3, 31), QTime(2, 30), QTimeZone::utc()));
}

void TestSqlConnection::transactionRollsBackUnlessCommitted()
{
    SqlConnection connection(u"Guard"_s, m_path);
    {
        QSqlQuery query(connection.database());
        QVERIFY(query.exec(u"CREATE TABLE T (V INTEGER)"_s));
    }
    {
        TransactionGuard transaction(connection.database());
        QVERIFY(transaction.isActive());
        QSqlQuery query(connection.database());
        QVERIFY(query.exec(u"INSERT INTO T VALUES (1)"_s));
    }
    {
        TransactionGuard transaction(connection.database());
        QSqlQuery query(connection.database());
        QVERIFY(query.exec(u"INSERT INTO T VALUES (2)"_s));
        QVERIFY(transaction.commit());
        QVERIFY(!transaction.isActive());
        QVERIFY(!transaction.commit());
    }
    // The connection is outside any transaction again: a new one can begin.
    TransactionGuard again(connection.database());
    QVERIFY(again.isActive());
    again.rollback();
    QCOMPARE(SqliteProbe(m_path).scalar(u"SELECT group_concat(V) FROM T"_s).toString(), u"2"_s);

    connection.close();
    TransactionGuard closed(connection.database());
    QVERIFY(!closed.isActive());
    QVERIFY(!closed.commit());
}

QTEST_GUILESS_MAIN(TestSqlConnection)
#include "tst_sql_connection.moc"
