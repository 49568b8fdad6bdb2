#include "storage/certificate_field.h"
#include "storage/certificate_xml_storage.h"
#include "support/temp_app_paths.h"
#include "support/test_paths.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::CertificateField;
using tessaron::storage::certificateFieldName;
using tessaron::storage::CertificateXmlStorage;
using tessaron::test::readFile;
using tessaron::test::writeFile;

namespace {

// A full record with Cyrillic, a number, blanks and an invalid value; its checksum was computed apart with
// python3's hashlib and base64 from the same 30 texts and the salt.
QVariantMap goldenRecord()
{
    QVariantMap record;
    const QStringList names = CertificateXmlStorage::fieldNames();
    for (qsizetype i = 0; i < names.size(); ++i)
        record.insert(names.at(i), u"%1 поле"_s.arg(i + 1));
    record.insert(u"OrderNumber"_s, 17);
    record.insert(u"OrderResponsible"_s, QString());
    record.insert(u"CustomerAddress"_s, QVariant());
    record.insert(u"Note"_s, u" Эксплуатация только на территории РФ. "_s);
    return record;
}

} // namespace

class TestCertificateXmlStorage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultFolderIsCreatedUnderData();
    void checksum();
    void fileName_data();
    void fileName();
    void valuesComeBackExactly();
    void partialRecordWritesEveryElementInOrder();
    void unreadableFileFails_data();
    void unreadableFileFails();
    void characterXmlCannotCarryKeepsEarlierFile();
    void ledgerReading();
    void failedLedgerAppendLeavesTheFile();
    void integrity();

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
    QString m_folder;
};

void TestCertificateXmlStorage::init()
{
    m_paths = std::make_unique<tessaron::test::TempAppPaths>();
    m_folder = m_paths->filePath(u"certificates/xml"_s);
}

void TestCertificateXmlStorage::cleanup()
{
    m_paths.reset();
}

void TestCertificateXmlStorage::defaultFolderIsCreatedUnderData()
{
    const CertificateXmlStorage storage;
    QCOMPARE(storage.folderPath(), QDir(m_paths->localAppData()).filePath(u"Tessaron/Data/XML"_s));
    QVERIFY(QFileInfo(storage.folderPath()).isDir());
    QCOMPARE(storage.checksumsPath(), storage.folderPath() + u"/checksums.txt"_s);

    const CertificateXmlStorage given(m_folder);
    QCOMPARE(given.folderPath(), m_folder);
    QVERIFY(QFileInfo(m_folder).isDir());
}

void TestCertificateXmlStorage::checksum()
{
    QVariantMap record = goldenRecord();
    QCOMPARE(CertificateXmlStorage::checksum(record), u"mjBa_aa1V53MNXzHQdLl_L4YNB9sa8o2TM5iPeUqJuo"_s);

    record.insert(u"NotACertificateField"_s, u"anything"_s);
    QCOMPARE(CertificateXmlStorage::checksum(record), u"mjBa_aa1V53MNXzHQdLl_L4YNB9sa8o2TM5iPeUqJuo"_s);
    record.insert(u"WorkshopPhone"_s, u"30 поле "_s);
    QVERIFY(CertificateXmlStorage::checksum(record) != u"mjBa_aa1V53MNXzHQdLl_L4YNB9sa8o2TM5iPeUqJuo"_s);

    // Digests whose standard Base64 holds "/", "+" and padding still give 43 file- and ledger-safe characters.
    static const QRegularExpression safe(u"^[A-Za-z0-9_-]{43}$"_s);
    bool sawUnderscore = false;
    bool sawMinus = false;
    for (int i = 0; i < 200; ++i) {
        const QString sum = CertificateXmlStorage::checksum({{u"OrderNumber"_s, i}});
        QVERIFY2(safe.match(sum).hasMatch(), qPrintable(sum));
        sawUnderscore = sawUnderscore || sum.contains(u'_');
        sawMinus = sawMinus || sum.contains(u'-');
    }
    QVERIFY(sawUnderscore && sawMinus);
}

void TestCertificateXmlStorage::fileName_data()
{
    QTest::addColumn<QVariantMap>("record");
    QTest::addColumn<QString>("expected");

    QTest::addRow("neither key") << QVariantMap() << u"unknown_nodate.xml"_s;
    QTest::addRow("both keys empty") << QVariantMap {{u"TachographSerialNumber"_s, QString()},
        {u"OrderDate"_s, QString()}} << u"_.xml"_s;
    QTest::addRow("serial and date") << QVariantMap {{u"TachographSerialNumber"_s, u"AB/12"_s},
        {u"OrderDate"_s, u"2024-05-06 12:34:56"_s}}
                                     << u"AB_12_2024-05-06_12_34_56.xml"_s;
    for (const QChar c : QStringView(u"<>:\"/\\|?*")) {
        QTest::addRow("%s in both", QString(c).toUtf8().constData()) << QVariantMap {
            {u"TachographSerialNumber"_s, QString(u'a' + QString(c) + u'b')},
            {u"OrderDate"_s, QString(u"1 " + QString(c))}} << u"a_b_1__.xml"_s;
    }
}

void TestCertificateXmlStorage::fileName()
{
    QFETCH(QVariantMap, record);
    QFETCH(QString, expected);
    QCOMPARE(CertificateXmlStorage::fileName(record), expected);

    const CertificateXmlStorage storage(m_folder);
    QString error;
    QCOMPARE(storage.saveCertificate(record, nullptr, &error), QDir(m_folder).filePath(expected));
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestCertificateXmlStorage::valuesComeBackExactly()
{
    QVariantMap record = goldenRecord();
    record.insert(u"CustomerName"_s, u"ООО «Рога & Копыта» <\"главный\"> 'филиал'"_s);
    record.insert(u"Note"_s, u"строка 1\nстрока 2\r\n\tстрока 3  "_s);
    record.insert(u"TachographSerialNumber"_s, u"  12345678 "_s);

    const CertificateXmlStorage storage(m_folder);
    QString checksum;
    QString error;
    const QString path = storage.saveCertificate(record, &checksum, &error);
    QVERIFY2(!path.isEmpty(), qPrintable(error));
    QCOMPARE(checksum, CertificateXmlStorage::checksum(record));
    QCOMPARE(storage.allChecksums(), (QMap<QString, QString> {{checksum, QFileInfo(path).fileName()}}));
    QVERIFY(storage.isCertificateExists(checksum));

    const QVariantMap loaded = storage.loadCertificate(path, &error);
    QStringList keys = loaded.keys();
    QStringList names = CertificateXmlStorage::fieldNames();
    keys.sort();
    names.sort();
    QCOMPARE(keys, names);
    for (const CertificateField field : tessaron::storage::certificateFields) {
        const QString name = certificateFieldName(field);
        QCOMPARE(loaded.value(name).toString(), tessaron::storage::certificateFieldText(record, field));
    }
    QVERIFY(storage.verifyCertificateIntegrity(path, &error));
}

void TestCertificateXmlStorage::partialRecordWritesEveryElementInOrder()
{
    const CertificateXmlStorage storage(m_folder);
    const QString path = storage.saveCertificate({{u"WorkshopPhone"_s, u"+7 900"_s}, {u"OrderNumber"_s, 5}});
    QVERIFY(!path.isEmpty());

    const QString xml = QString::fromUtf8(readFile(path));
    QVERIFY2(xml.startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CertificateData>\n"_s), qPrintable(xml));
    QStringList elements;
    static const QRegularExpression element(
        u"^    <(\\w+)(?:/>|>([^<]*)</\\1>)$"_s, QRegularExpression::MultilineOption);
    for (auto it = element.globalMatch(xml); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        elements.append(match.captured(1));
        const bool filled = match.captured(1) == u"WorkshopPhone" || match.captured(1) == u"OrderNumber";
        QCOMPARE(match.captured(2).isEmpty(), !filled);
    }
    QCOMPARE(elements, CertificateXmlStorage::fieldNames());
}

void TestCertificateXmlStorage::unreadableFileFails_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("errorPart");

    QTest::addRow("malformed") << QByteArray("<CertificateData><OrderNumber>1</CertificateData>") << u"mismatch"_s;
    QTest::addRow("element with children")
        << QByteArray("<CertificateData><Note><b>1</b></Note></CertificateData>") << u"character data"_s;
    QTest::addRow("empty file") << QByteArray() << u"Premature end"_s;
}

void TestCertificateXmlStorage::unreadableFileFails()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, errorPart);
    const CertificateXmlStorage storage(m_folder);
    const QString path = QDir(m_folder).filePath(u"bad.xml"_s);
    QVERIFY(writeFile(path, content));
    QVERIFY(storage.appendChecksum(u"bad.xml"_s, CertificateXmlStorage::checksum({})));

    QString error;
    QVERIFY(storage.loadCertificate(path, &error).isEmpty());
    QVERIFY2(error.contains(errorPart, Qt::CaseInsensitive), qPrintable(error));
    error.clear();
    QVERIFY(!storage.verifyCertificateIntegrity(path, &error));
    QVERIFY(!error.isEmpty());

    error.clear();
    QVERIFY(storage.loadCertificate(QDir(m_folder).filePath(u"missing.xml"_s), &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

void TestCertificateXmlStorage::characterXmlCannotCarryKeepsEarlierFile()
{
    const CertificateXmlStorage storage(m_folder);
    QVariantMap record = goldenRecord();
    const QString path = storage.saveCertificate(record);
    QVERIFY(!path.isEmpty());
    const QByteArray file = readFile(path);
    const QByteArray ledger = readFile(storage.checksumsPath());

    record.insert(u"TachographSkzi"_s, u"SKZI\u0001 from the device"_s);
    QString checksum = u"untouched"_s;
    QString error;
    QCOMPARE(storage.saveCertificate(record, &checksum, &error), QString());
    QVERIFY2(error.contains(u"TachographSkzi"_s), qPrintable(error));
    QCOMPARE(checksum, u"untouched"_s);
    QCOMPARE(readFile(path), file);
    QCOMPARE(readFile(storage.checksumsPath()), ledger);
    QCOMPARE(QDir(m_folder).entryList(QDir::Files), (QStringList {QFileInfo(path).fileName(), u"checksums.txt"_s}));
}

void TestCertificateXmlStorage::ledgerReading()
{
    const CertificateXmlStorage storage(m_folder);
    QVERIFY(storage.allChecksums().isEmpty());
    QVERIFY(!storage.isCertificateExists(QString()));

    QVERIFY(writeFile(storage.checksumsPath(),
        "aaa|first.xml\n"
        "no separator\n"
        "two|separa|tors\n"
        "|empty.xml\r\n"
        "bbb|Сертификат.xml\n"
        "aaa|later.xml\n"
        "ccc|\n"));
    const QMap<QString, QString> expected = {
        {u"aaa"_s, u"later.xml"_s},
        {QString(), u"empty.xml"_s},
        {u"bbb"_s, u"Сертификат.xml"_s},
        {u"ccc"_s, QString()},
    };
    QCOMPARE(storage.allChecksums(), expected);
    QVERIFY(storage.isCertificateExists(u"bbb"_s));
    QVERIFY(!storage.isCertificateExists(u"BBB"_s));
    QVERIFY(!storage.isCertificateExists(u"two"_s));

    QVERIFY(storage.appendChecksum(u"new.xml"_s, u"ddd"_s));
    QCOMPARE(storage.allChecksums().value(u"ddd"_s), u"new.xml"_s);
    QVERIFY(readFile(storage.checksumsPath()).endsWith("ccc|\nddd|new.xml\n"));
}

void TestCertificateXmlStorage::failedLedgerAppendLeavesTheFile()
{
    const CertificateXmlStorage storage(m_folder);
    QVERIFY(QDir().mkpath(storage.checksumsPath()));
    QVERIFY(storage.allChecksums().isEmpty());

    QString error;
    QCOMPARE(storage.saveCertificate(goldenRecord(), nullptr, &error), QString());
    QVERIFY(!error.isEmpty());
    const QString path = QDir(m_folder).filePath(CertificateXmlStorage::fileName(goldenRecord()));
    QCOMPARE(storage.loadCertificate(path).size(), 30);
}

void TestCertificateXmlStorage::integrity()
{
    const CertificateXmlStorage storage(m_folder);
    QVariantMap first = goldenRecord();
    QVariantMap second = first;
    second.insert(u"VehicleOdometr"_s, u"123456"_s);
    QCOMPARE(CertificateXmlStorage::fileName(first), CertificateXmlStorage::fileName(second));

    // A certificate issued again under the same name verifies as its current content, whichever of the ledger's
    // lines for that name sorts first.
    const QString path = storage.saveCertificate(first);
    QVERIFY(storage.verifyCertificateIntegrity(path));
    QCOMPARE(storage.saveCertificate(second), path);
    QVERIFY(storage.verifyCertificateIntegrity(path));
    QCOMPARE(storage.saveCertificate(first), path);
    QString error;
    QVERIFY(storage.verifyCertificateIntegrity(path, &error));

    QByteArray content = readFile(path);
    QVERIFY(!content.contains("123456"));
    content.replace("<VehicleOdometr>13 поле<", "<VehicleOdometr>13 полe<");
    QVERIFY(writeFile(path, content));
    QVERIFY(!storage.verifyCertificateIntegrity(path, &error));
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QVERIFY(QFile::remove(storage.checksumsPath()));
    QCOMPARE(storage.saveCertificate(first), path);
    QVERIFY(QFile::rename(path, QDir(m_folder).filePath(u"renamed.xml"_s)));
    QVERIFY(!storage.verifyCertificateIntegrity(QDir(m_folder).filePath(u"renamed.xml"_s), &error));
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestCertificateXmlStorage)
#include "tst_certificate_xml_storage.moc"
