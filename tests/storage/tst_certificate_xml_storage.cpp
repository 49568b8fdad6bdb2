#include "storage/certificate_field.h"
#include "storage/certificate_xml_storage.h"
#include "support/log_capture.h"
#include "support/small_disk.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/test_paths.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using tessaron::storage::CertificateXmlStorage;
using tessaron::test::fileBytes;
using tessaron::test::writeFile;

namespace {

// Cyrillic, a number, blanks and an invalid value; the checksum was computed apart with python3's hashlib and
// base64 from the same 30 texts and the salt.
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
const QString goldenChecksum = u"mjBa_aa1V53MNXzHQdLl_L4YNB9sa8o2TM5iPeUqJuo"_s;

} // namespace

class TestCertificateXmlStorage : public QObject
{
    Q_OBJECT

private slots:
    void checksum()
    {
        QVariantMap record = goldenRecord();
        QCOMPARE(CertificateXmlStorage::checksum(record), goldenChecksum);
        record.insert(u"NotACertificateField"_s, u"anything"_s);
        QCOMPARE(CertificateXmlStorage::checksum(record), goldenChecksum);
        record.insert(u"WorkshopPhone"_s, u"30 поле "_s);
        QVERIFY(CertificateXmlStorage::checksum(record) != goldenChecksum);

        // 200 digests hold "/", "+" and padding in Base64; their checksums are 43 file- and ledger-safe characters.
        QString all;
        for (int i = 0; i < 200; ++i)
            all += CertificateXmlStorage::checksum({{u"OrderNumber"_s, i}});
        QVERIFY(QRegularExpression(u"^[A-Za-z0-9_-]{8600}$"_s).match(all).hasMatch());
        QVERIFY(all.contains(u'_') && all.contains(u'-'));
    }

    void fileName_data()
    {
        QTest::addColumn<QVariantMap>("record");
        QTest::addColumn<QString>("expected");

        const QString serial = u"TachographSerialNumber"_s;
        const QString date = u"OrderDate"_s;
        QTest::addRow("neither key") << QVariantMap() << u"unknown_nodate.xml"_s;
        QTest::addRow("both empty") << QVariantMap {{serial, QString()}, {date, QString()}} << u"_.xml"_s;
        QTest::addRow("serial and date") << QVariantMap {{serial, u"AB/12"_s}, {date, u"2024-05-06 12:34:56"_s}}
                                         << u"AB_12_2024-05-06_12_34_56.xml"_s;
        for (const QChar c : QStringView(u"<>:\"/\\|?*")) {
            QTest::addRow("%s in both", QString(c).toUtf8().constData())
                << QVariantMap {{serial, QString(u'a' + QString(c) + u'b')}, {date, QString(u"1 " + QString(c))}}
                << u"a_b_1__.xml"_s;
        }
    }

    void fileName()
    {
        QFETCH(QVariantMap, record);
        QFETCH(QString, expected);
        QCOMPARE(CertificateXmlStorage::fileName(record), expected);
    }

    void writtenFileReadsBackExactly()
    {
        const tessaron::test::TempAppPaths paths;
        const CertificateXmlStorage storage;
        QCOMPARE(storage.folderPath(), QDir(paths.localAppData()).filePath(u"Tessaron/Data/XML"_s));

        // A partial record still gives all 30 elements, in field-set order, the missing ones empty.
        const QVariantMap partial = {{u"WorkshopPhone"_s, u"+7 900"_s}, {u"OrderNumber"_s, 5}};
        const QString xml = QString::fromUtf8(fileBytes(storage.saveCertificate(partial)));
        QVERIFY2(xml.startsWith(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CertificateData>\n"_s), qPrintable(xml));
        static const QRegularExpression element(u"^    <(\\w+)>([^<]*)</\\1>$"_s, QRegularExpression::MultilineOption);
        QStringList elements;
        for (auto it = element.globalMatch(xml); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            elements.append(match.captured(1));
            QCOMPARE(match.captured(2), partial.value(match.captured(1)).toString());
        }
        QCOMPARE(elements, CertificateXmlStorage::fieldNames());

        QVariantMap record = goldenRecord();
        record.insert(u"CustomerName"_s, u"ООО «Рога & Копыта» <\"главный\"> 'филиал'"_s);
        record.insert(u"Note"_s, u"строка 1\nстрока 2\r\n\tстрока 3  "_s);
        QString checksum;
        QString error;
        const QString path = storage.saveCertificate(record, &checksum, &error);
        QVERIFY2(!path.isEmpty(), qPrintable(error));
        QCOMPARE(checksum, CertificateXmlStorage::checksum(record));
        QVERIFY(storage.isCertificateExists(checksum));
        QVariantMap expected;
        for (const auto field : tessaron::storage::certificateFields)
            expected.insert(tessaron::storage::certificateFieldName(field), certificateFieldText(record, field));
        QCOMPARE(storage.loadCertificate(path, &error), expected);
    }

    void unreadableFileFails_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("errorPart");

        QTest::addRow("malformed") << QByteArray("<CertificateData><OrderNumber>1</CertificateData>") << u"mismatch"_s;
        QTest::addRow("element with children")
            << QByteArray("<CertificateData><Note><b>1</b></Note></CertificateData>") << u"character data"_s;
        QTest::addRow("empty file") << QByteArray() << u"Premature end"_s;
    }

    void unreadableFileFails()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, errorPart);
        const tessaron::test::TempAppPaths paths;
        const QString path = paths.filePath(u"bad.xml"_s);
        QVERIFY(writeFile(path, content));
        const tessaron::test::LogCapture log;
        QString error;
        QVERIFY(CertificateXmlStorage(paths.path()).loadCertificate(path, &error).isEmpty());
        QCOMPARE(error, u"Файл свидетельства %1 повреждён"_s.arg(QDir::toNativeSeparators(path)));
        QVERIFY2(log.text().contains(errorPart, Qt::CaseInsensitive), qPrintable(log.text()));
    }

    void characterXmlCannotCarryKeepsEarlierFile()
    {
        const tessaron::test::TempAppPaths paths;
        const CertificateXmlStorage storage(paths.path());
        QVariantMap record = goldenRecord();
        const QString path = storage.saveCertificate(record);
        const QByteArray file = fileBytes(path);
        const QByteArray ledger = fileBytes(storage.checksumsPath());

        record.insert(u"TachographSkzi"_s, u"SKZI\u0001 from the device"_s);
        QString checksum = u"untouched"_s;
        QString error;
        QCOMPARE(storage.saveCertificate(record, &checksum, &error), QString());
        QVERIFY2(error.contains(u"TachographSkzi"_s), qPrintable(error));
        QCOMPARE(checksum, u"untouched"_s);
        QCOMPARE(fileBytes(path), file);
        QCOMPARE(fileBytes(storage.checksumsPath()), ledger);
    }

    // What a certificate cannot carry alike in the PDF, the XML copy and the database row goes; line breaks stay.
    void certificateText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clean");
        QTest::addRow("line breaks and a whole pair stay") << u"ООО «Рога»\r\nул. 1 😀"_s << u"ООО «Рога»\r\nул. 1 😀"_s;
        const QString unfit = u"a\u000B\tb"_s + QChar(0) + u"c\u001B\u007F\u0085d\uFFFEe\uFFFF"_s + QChar(0xD83D)
            + u"f"_s + QChar(0xDE00);
        QTest::addRow("controls, C1, XML's non-characters, unpaired surrogates") << unfit << u"abcdef"_s;
    }

    void certificateText()
    {
        QFETCH(QString, text);
        QFETCH(QString, clean);
        QCOMPARE(tessaron::storage::certificateText(text), clean);
        QCOMPARE(tessaron::storage::certificateValue(text), QVariant(clean));
        QCOMPARE(tessaron::storage::certificateValue(17), QVariant(17));
    }

    // A failed save says why in Russian; the file system's own text comes apart, for the log, none for a bad value.
    void saveFailureSaysWhy()
    {
        const tessaron::test::TempAppPaths paths;
        const CertificateXmlStorage storage(paths.path());
        QVariantMap record = goldenRecord();
        record.insert(u"TachographSkzi"_s, u"SKZI\u0001"_s);
        QString error;
        QString system;
        QCOMPARE(storage.saveCertificate(record, nullptr, &error, &system), QString());
        QVERIFY2(error.startsWith(u"Поле «СКЗИ» (TachographSkzi)"_s) && system.isEmpty(), qPrintable(error));
        QVERIFY(QDir().mkpath(storage.checksumsPath()));
        QCOMPARE(storage.saveCertificate(goldenRecord(), nullptr, &error, &system), QString());
        QVERIFY2(error.startsWith(u"Не удалось дописать журнал контрольных сумм XML-копий: "_s) && !system.isEmpty(),
            qPrintable(error));
    }

    void ledger()
    {
        const tessaron::test::TempAppPaths paths;
        const CertificateXmlStorage storage(paths.path());
        QVERIFY(storage.allChecksums().isEmpty());
        QVERIFY(writeFile(storage.checksumsPath(),
            "aaa|first.xml\nno separator\ntwo|separa|tors\n|empty.xml\r\nbbb|Сертификат.xml\naaa|later.xml\n"));
        QVERIFY(storage.appendChecksum(u"new.xml"_s, u"ccc"_s));
        const QMap<QString, QString> expected = {{u"aaa"_s, u"later.xml"_s}, {QString(), u"empty.xml"_s},
            {u"bbb"_s, u"Сертификат.xml"_s}, {u"ccc"_s, u"new.xml"_s}};
        QCOMPARE(storage.allChecksums(), expected);
        QVERIFY(fileBytes(storage.checksumsPath()).endsWith("later.xml\nccc|new.xml\n"));
        // A line cut short before stays a line of its own, and the next one starts after it.
        QVERIFY(writeFile(storage.checksumsPath(), fileBytes(storage.checksumsPath()) + "ddd|cut"));
        QVERIFY(storage.appendChecksum(u"next.xml"_s, u"eee"_s));
        QVERIFY(fileBytes(storage.checksumsPath()).endsWith("ccc|new.xml\nddd|cut\neee|next.xml\n"));
        QCOMPARE(storage.allChecksums().value(u"eee"_s), u"next.xml"_s);
        QVERIFY(storage.isCertificateExists(u"bbb"_s));
        QVERIFY(!storage.isCertificateExists(u"BBB"_s));

        // A folder where the ledger should be: it reads as empty, and a save leaves its file without a line.
        const CertificateXmlStorage blocked(paths.filePath(u"blocked"_s));
        QVERIFY(QDir().mkpath(blocked.checksumsPath()));
        QVERIFY(blocked.allChecksums().isEmpty());
        QString error;
        QCOMPARE(blocked.saveCertificate(goldenRecord(), nullptr, &error), QString());
        QVERIFY(!error.isEmpty());
        const QString path = QDir(blocked.folderPath()).filePath(CertificateXmlStorage::fileName(goldenRecord()));
        QCOMPARE(blocked.loadCertificate(path).size(), 30);
    }

    // On a full disk a save either writes the copy whole and adds its ledger line whole, or leaves the earlier copy
    // and the ledger as they were and says the disk is full; a line the disk took only in part is taken back. The
    // next certificate, once there is room, saves and verifies, a ledger that ends inside a line included.
    void fullDisk_data()
    {
        QTest::addColumn<qint64>("ledgerSize");
        QTest::addColumn<bool>("cutLine");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<bool>("sameName");
        QTest::addColumn<QString>("outcome");
        QTest::addRow("no room: the earlier copy and the ledger stay")
            << qint64(200) << false << qint64(0) << true << u"copy not saved"_s;
        QTest::addRow("room for the copy") << qint64(200) << false << qint64(4096) << true << u"saved"_s;
        // The copy takes the last free page; the line fits only with its first 30 bytes in the ledger's last page.
        QTest::addRow("the ledger's line runs past the last free byte")
            << qint64(4096 - 30) << false << qint64(4096) << false << u"line not added"_s;
        QTest::addRow("a ledger ending inside a line") << qint64(200) << true << qint64(4096) << true << u"saved"_s;
        QTest::addRow("a ledger ending inside a line, no room")
            << qint64(200) << true << qint64(0) << true << u"copy not saved"_s;
    }

    void fullDisk()
    {
        QFETCH(qint64, ledgerSize);
        QFETCH(bool, cutLine);
        QFETCH(qint64, room);
        QFETCH(bool, sameName);
        QFETCH(QString, outcome);
        const tessaron::test::SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const CertificateXmlStorage storage(disk.filePath(u"XML"_s));
        const QVariantMap first = goldenRecord();
        const QString firstPath = storage.saveCertificate(first);
        QVERIFY(!firstPath.isEmpty());
        const QByteArray firstFile = fileBytes(firstPath);
        QByteArray ledger = fileBytes(storage.checksumsPath());
        ledger += "padding|" + QByteArray(ledgerSize - ledger.size() - 9, 'p') + '\n';
        if (cutLine)
            ledger += goldenChecksum.left(30).toLatin1();
        QVERIFY(writeFile(storage.checksumsPath(), ledger));
        disk.fill(room);

        QVariantMap second = first;
        second.insert(u"VehicleOdometr"_s, u"123456"_s);
        if (!sameName)
            second.insert(u"TachographSerialNumber"_s, u"другой"_s);
        const QString secondPath = QDir(storage.folderPath()).filePath(CertificateXmlStorage::fileName(second));
        QString error;
        QString system;
        const QString saved = storage.saveCertificate(second, nullptr, &error, &system);
        if (outcome == u"saved"_s) {
            QCOMPARE(saved, secondPath);
            QVERIFY(storage.verifyCertificateIntegrity(saved));
            QCOMPARE(fileBytes(storage.checksumsPath()),
                ledger + (cutLine ? "\n" : "") + (CertificateXmlStorage::checksum(second) + u'|').toUtf8()
                    + CertificateXmlStorage::fileName(second).toUtf8() + '\n');
        } else {
            QCOMPARE(saved, QString());
            QCOMPARE(fileBytes(storage.checksumsPath()), ledger);
            QVERIFY2(system.contains(u"No space left on device"_s), qPrintable(system));
        }
        if (outcome == u"copy not saved"_s) {
            QCOMPARE(error,
                u"Не удалось записать файл XML-копии: %1 (на диске нет места)"_s.arg(
                    QDir::toNativeSeparators(secondPath)));
            QCOMPARE(QDir(storage.folderPath()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                QStringList({CertificateXmlStorage::fileName(first), u"checksums.txt"_s}));
        }
        if (outcome == u"line not added"_s) {
            QCOMPARE(error,
                u"Не удалось дописать журнал контрольных сумм XML-копий: %1 (на диске нет места)"_s.arg(
                    QDir::toNativeSeparators(storage.checksumsPath())));
            QVERIFY(!storage.isSaved(second));
        }
        if (sameName && outcome != u"saved"_s)
            QCOMPARE(fileBytes(firstPath), firstFile);

        // With room again, the next save of each certificate verifies.
        QVERIFY(QFile::remove(disk.filePath(u"filler"_s)));
        QCOMPARE(storage.saveCertificate(second), secondPath);
        QVERIFY(storage.verifyCertificateIntegrity(secondPath));
        QVERIFY(storage.isSaved(second));
        if (!sameName) {
            QVERIFY(storage.verifyCertificateIntegrity(firstPath));
            QVERIFY(storage.isSaved(first));
        }
    }

    // Saving is needed unless the record's own file and its ledger line are both there as saving left them.
    void isSavedOnlyWhenFileAndLedgerAgree_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("saved");
        QTest::addRow("just saved") << QString() << true;
        QTest::addRow("one character of the file altered") << u"alter file"_s << false;
        QTest::addRow("ledger line names another file") << u"other name in ledger"_s << false;
    }

    void isSavedOnlyWhenFileAndLedgerAgree()
    {
        QFETCH(QString, change);
        QFETCH(bool, saved);
        const tessaron::test::TempAppPaths paths;
        const CertificateXmlStorage storage(paths.path());
        const QVariantMap record = goldenRecord();
        const QString path = storage.saveCertificate(record);
        QVERIFY(!path.isEmpty());
        if (change == u"alter file"_s)
            QVERIFY(writeFile(path, fileBytes(path).replace("13 поле", "13 полe")));
        if (change == u"other name in ledger"_s)
            QVERIFY(writeFile(
                storage.checksumsPath(), (CertificateXmlStorage::checksum(record) + u"|other.xml\n"_s).toUtf8()));
        QCOMPARE(storage.isSaved(record), saved);
    }

    void integrity()
    {
        const tessaron::test::TempAppPaths paths;
        const CertificateXmlStorage storage(paths.path());
        const QVariantMap first = goldenRecord();
        QVariantMap second = first;
        second.insert(u"VehicleOdometr"_s, u"123456"_s);

        // Issued again under the same name, a certificate verifies as its current content, whichever of the
        // ledger's lines for that name sorts first.
        const QString path = storage.saveCertificate(first);
        QVERIFY(storage.verifyCertificateIntegrity(path));
        QCOMPARE(storage.saveCertificate(second), path);
        QVERIFY(storage.verifyCertificateIntegrity(path));
        QCOMPARE(storage.saveCertificate(first), path);
        QString error;
        QVERIFY(storage.verifyCertificateIntegrity(path, &error));

        QByteArray content = fileBytes(path);
        QVERIFY(writeFile(path, content.replace("<VehicleOdometr>13 поле<", "<VehicleOdometr>13 полe<")));
        QVERIFY(!storage.verifyCertificateIntegrity(path, &error));
        QVERIFY(QFile::remove(storage.checksumsPath()));
        QCOMPARE(storage.saveCertificate(first), path);
        QVERIFY(QFile::rename(path, paths.filePath(u"renamed.xml"_s)));
        QVERIFY(!storage.verifyCertificateIntegrity(paths.filePath(u"renamed.xml"_s), &error));
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestCertificateXmlStorage)
#include "tst_certificate_xml_storage.moc"
