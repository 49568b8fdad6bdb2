#include "logging/application_logger.h"
#include "storage/app_paths.h"
#include "support/temp_app_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using tessaron::logging::ApplicationLogger;
using tessaron::logging::Level;

Q_LOGGING_CATEGORY(testCategory, "tessaron.test")

namespace {

// Every line of the file as a JSON object; fails the test on a line that is not one.
QList<QJsonObject> recordsOf(const QString &path)
{
    QList<QJsonObject> records;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.takeLast().size() != 0) // the last line ends like every other
        QTest::qFail("the file does not end with a line break", __FILE__, __LINE__);
    for (const QByteArray &line : std::as_const(lines)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            QTest::qFail(qPrintable(u"not one JSON object: "_s + QString::fromUtf8(line)), __FILE__, __LINE__);
            return {};
        }
        records.append(document.object());
    }
    return records;
}

} // namespace

class TestApplicationLogger : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writesOnlyWhileStartedAndSwitchedOn();
    void recordsAreOneJsonObjectPerLine_data();
    void recordsAreOneJsonObjectPerLine();
    void qtMessagesLandInTheLog();
    void rotationKeepsTheNewestLines();
    void severalThreadsWriteWholeLines();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
};

void TestApplicationLogger::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
}

void TestApplicationLogger::cleanup()
{
    ApplicationLogger::shutdown();
    ApplicationLogger::setEnabled(true);
    ApplicationLogger::setRotation(ApplicationLogger::defaultMaxFileSize, ApplicationLogger::defaultMaxBackupFiles);
    m_paths.reset();
}

// Nothing is written before the log starts; then it writes into the program's log folder, not while switched
// off, and nothing after it shut down, Qt's messages included.
void TestApplicationLogger::writesOnlyWhileStartedAndSwitchedOn()
{
    QVERIFY(!ApplicationLogger::isInitialized());
    ApplicationLogger::write(Level::Error, u"serial"_s, u"lost"_s, u"read"_s);
    QVERIFY(ApplicationLogger::filePath().isEmpty());
    QVERIFY(!QFileInfo::exists(tessaron::storage::AppPaths::logDirectory()));

    ApplicationLogger::initialize();
    const QString path = ApplicationLogger::filePath();
    QCOMPARE(path, m_paths->programDirectory() + u"/Logs/tessaron.log"_s);
    ApplicationLogger::setEnabled(false);
    ApplicationLogger::write(Level::Info, u"serial"_s, u"hidden"_s);
    ApplicationLogger::setEnabled(true);
    ApplicationLogger::write(Level::Info, u"serial"_s, u"shown"_s);
    ApplicationLogger::shutdown();
    QVERIFY(!ApplicationLogger::isInitialized());
    ApplicationLogger::write(Level::Info, u"app"_s, u"after"_s);
    QTest::ignoreMessage(QtWarningMsg, "after shutdown");
    qWarning("after shutdown");

    const QList<QJsonObject> records = recordsOf(path);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().value(u"message"_s).toString(), u"shown"_s);
}

void TestApplicationLogger::recordsAreOneJsonObjectPerLine_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<QString>("levelText");
    QTest::addColumn<QString>("message");

    QTest::addRow("debug") << Level::Debug << u"debug"_s << u"TX 81 EE F0 02 C1"_s;
    QTest::addRow("info") << Level::Info << u"info"_s << u"Калибровка записана"_s;
    QTest::addRow("warning with quotes") << Level::Warning << u"warning"_s << u"ответ \"7F\" и \\ слеш"_s;
    QTest::addRow("error over several lines") << Level::Error << u"error"_s << u"первая\nвторая\r\nтретья"_s;
    QTest::addRow("critical with control bytes") << Level::Critical << u"critical"_s
                                                 << QString::fromUtf8("a\tb\x01\x1f"
                                                                      "c");
}

void TestApplicationLogger::recordsAreOneJsonObjectPerLine()
{
    QFETCH(Level, level);
    QFETCH(QString, levelText);
    QFETCH(QString, message);

    ApplicationLogger::initialize(m_paths->filePath(u"logs"_s));
    ApplicationLogger::write(level, u"sync.mtp"_s, message, u"card-operation"_s);
    ApplicationLogger::write(Level::Info, u"calibration"_s, u"second"_s);

    const QList<QJsonObject> records = recordsOf(ApplicationLogger::filePath());
    QCOMPARE(records.size(), 2);
    const QJsonObject &first = records.first();
    QCOMPARE(first.value(u"level"_s).toString(), levelText);
    QCOMPARE(first.value(u"category"_s).toString(), u"sync.mtp"_s);
    QCOMPARE(first.value(u"operation"_s).toString(), u"card-operation"_s);
    QCOMPARE(first.value(u"message"_s).toString(), message);
    const QDateTime stamp = QDateTime::fromString(first.value(u"timestamp"_s).toString(), Qt::ISODateWithMs);
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 60);
    QCOMPARE(records.last().value(u"operation"_s).toString(), QString());
}

void TestApplicationLogger::qtMessagesLandInTheLog()
{
    ApplicationLogger::initialize(m_paths->filePath(u"logs"_s));
    QTest::ignoreMessage(QtWarningMsg, "plain warning 5");
    qWarning("plain warning %d", 5);
    QTest::ignoreMessage(QtCriticalMsg, "категория");
    qCCritical(testCategory) << "категория";

    const QList<QJsonObject> records = recordsOf(ApplicationLogger::filePath());
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(0).value(u"level"_s).toString(), u"warning"_s);
    QCOMPARE(records.at(0).value(u"category"_s).toString(), u"qt"_s);
    QCOMPARE(records.at(0).value(u"message"_s).toString(), u"plain warning 5"_s);
    QCOMPARE(records.at(1).value(u"level"_s).toString(), u"error"_s);
    QCOMPARE(records.at(1).value(u"category"_s).toString(), u"tessaron.test"_s);
}

void TestApplicationLogger::rotationKeepsTheNewestLines()
{
    ApplicationLogger::setRotation(4096, 2);
    ApplicationLogger::initialize(m_paths->filePath(u"logs"_s));
    const QString path = ApplicationLogger::filePath();
    const int total = 300;
    for (int number = 0; number < total; ++number)
        ApplicationLogger::write(Level::Info, u"serial"_s, QString::number(number), u"rotation"_s);

    QVERIFY(QFileInfo::exists(path + u".1"_s));
    QVERIFY(QFileInfo::exists(path + u".2"_s));
    QVERIFY(!QFileInfo::exists(path + u".3"_s));

    QList<int> numbers;
    for (const QString &file : QStringList {path + u".2"_s, path + u".1"_s, path}) {
        QVERIFY(QFileInfo(file).size() <= 4096 + 200);
        for (const QJsonObject &object : recordsOf(file))
            numbers.append(object.value(u"message"_s).toString().toInt());
    }
    // The kept lines are the newest ones, without gaps, ending with the last line written.
    QVERIFY(!numbers.isEmpty());
    QCOMPARE(numbers.last(), total - 1);
    QVERIFY(numbers.first() > 0);
    for (int i = 1; i < numbers.size(); ++i)
        QCOMPARE(numbers.at(i), numbers.at(i - 1) + 1);
}

void TestApplicationLogger::severalThreadsWriteWholeLines()
{
    // Small files and enough backups to keep every line: rotation runs often while threads write.
    ApplicationLogger::setRotation(16 * 1024, 200);
    ApplicationLogger::initialize(m_paths->filePath(u"logs"_s));
    const QString path = ApplicationLogger::filePath();
    const int threadCount = 8;
    const int perThread = 400;

    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back(QThread::create([t] {
            for (int i = 0; i < perThread; ++i)
                ApplicationLogger::write(
                    Level::Debug, u"thread"_s, u"%1:%2 длинная строка для ротации"_s.arg(t).arg(i), u"stress"_s);
        }));
        threads.back()->start();
    }
    // Qt's own messages from another thread take the same path.
    threads.emplace_back(QThread::create([] {
        for (int i = 0; i < 20; ++i)
            qCDebug(testCategory, "from Qt %d", i);
    }));
    threads.back()->start();
    for (const auto &thread : threads)
        QVERIFY(thread->wait(60000));

    QVERIFY(QFileInfo::exists(path + u".5"_s) && !QFileInfo::exists(path + u".200"_s));
    QList<int> lastSeen(threadCount, -1);
    int lines = 0;
    int qtLines = 0;
    for (int backup = 199; backup >= 0; --backup) { // oldest first: the highest backup number, the live file last
        for (const QJsonObject &object : recordsOf(backup ? path + u'.' + QString::number(backup) : path)) {
            if (object.value(u"category"_s).toString() == u"tessaron.test"_s) {
                ++qtLines;
                continue;
            }
            const QString message = object.value(u"message"_s).toString();
            const int thread = message.section(u':', 0, 0).toInt();
            const int index = message.section(u':', 1).section(u' ', 0, 0).toInt();
            QVERIFY(thread >= 0 && thread < threadCount);
            QCOMPARE(index, lastSeen.at(thread) + 1);
            lastSeen[thread] = index;
            ++lines;
        }
    }
    QCOMPARE(lines, threadCount * perThread);
    QCOMPARE(qtLines, 20);
}

QTEST_GUILESS_MAIN(TestApplicationLogger)
#include "tst_application_logger.moc"
