#include "documents/document_renderer.h"
#include "logging/application_logger.h"
#include "qml/qml_documents_controller.h"
#include "storage/app_paths.h"
#include "storage/calibration_repository.h"
#include "storage/certificate_xml_storage.h"
#include "storage/customer_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "storage/sql_connection.h"
#include "support/pdf_probe.h"
#include "support/print_queue.h"
#include "support/sqlite_probe.h"
#include "support/temp_app_paths.h"
#include "support/test_files.h"
#include "support/time_zone_pin.h"
#include "support/url_catcher.h"

#include <QDesktopServices>
#include <QDir>
#include <QImage>
#include <QPrinterInfo>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using tessaron::qml::QmlDocumentsController;

namespace {

// A successfully written calibration record, with the given values replacing the defaults. Returns its id.
int insertRecord(const QVariantMap &values = {})
{
    QVariantMap record {{u"OrderNumber"_s, 17}, {u"CustomerName"_s, u"Иванов"_s}, {u"VuSerialNumber"_s, u"12345"_s},
        {u"VehicleRegistrationNumber"_s, u"А123ВС77"_s}, {u"VehicleIdentificationNumber"_s, u"XTA21099"_s},
        {u"RecordDateTime"_s, u"2024-05-06 12:34:56"_s}, {u"NextCalibrationDate"_s, u"2026-05-06"_s},
        {u"VuPartNumber"_s, u" 1381 "_s}, {u"WVehicleCharacteristicConstant"_s, u"8000"_s},
        {u"KConstantOfRecordingEquipment"_s, u"8000"_s}, {u"LTyreCircumference"_s, u"3250"_s}, {u"WriteResult"_s, 1},
        {u"WriteTimestamp"_s, u"2024-05-06 12:40:00"_s}};
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        record.insert(it.key(), it.value());
    return tessaron::storage::CalibrationRepository().insertCalibration(record);
}

QVariantMap storedRecord(int id)
{
    return tessaron::storage::CalibrationRepository().calibration(id);
}

QStringList column(const QVariantList &rows, const QString &key)
{
    QStringList values;
    for (const QVariant &row : rows)
        values.append(row.toMap().value(key).toString());
    return values;
}

QString dataPath(const QString &relative)
{
    return QDir(tessaron::storage::AppPaths::data()).filePath(relative);
}

QVariant certificateValue(const QString &column)
{
    return tessaron::test::SqliteProbe(tessaron::storage::AppPaths::database(u"CertificateDB.db"_s))
        .scalar(u"SELECT "_s + column + u" FROM CertificateData ORDER BY Id DESC LIMIT 1"_s);
}

// Stores the six workshop details, each one filled unless it is named in empty.
bool setWorkshop(const QStringList &empty = {})
{
    namespace keys = tessaron::storage::settings;
    const QList<std::pair<QString, QString>> values
        = {{keys::workshopMark, u"RUS 77 М-0412"_s}, {keys::workshopName, u"ООО Тахосервис"_s},
            {keys::workshopPost, u"190000"_s}, {keys::workshopCity, u"Санкт-Петербург"_s},
            {keys::workshopStreet, u"ул. Заводская, 5"_s}, {keys::workshopPhone, u"+7 812 000-00-00"_s}};
    QList<tessaron::storage::SettingValue> rows;
    for (const auto &[key, value] : values)
        rows.append({keys::sectionWorkshop, key, empty.contains(key) ? u"  "_s : value});
    return tessaron::storage::SettingsRepository().setValues(rows);
}

} // namespace

class TestQmlDocumentsController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_paths = std::make_unique<tessaron::test::TempAppPaths>();
        tessaron::storage::AppPaths::ensureDirectories();
        tessaron::test::pinTimeZoneAndClock();
    }

    void cleanup()
    {
        tessaron::test::releaseTimeZoneAndClock();
        m_paths.reset();
    }

    void refreshFilters_data()
    {
        QTest::addColumn<QString>("tacho");
        QTest::addColumn<QString>("customer");
        QTest::addColumn<QStringList>("serials");
        QTest::addRow("no filter, newest write first") << QString() << QString() << QStringList {u"S2"_s, u"S1"_s};
        QTest::addRow("Cyrillic registration, other case, blanks") << u" а123 "_s << QString() << QStringList {u"S1"_s};
        QTest::addRow("both filters") << u"b456"_s << u" ромашка "_s << QStringList {u"S2"_s};
        QTest::addRow("both must match") << u"b456"_s << u"иванов"_s << QStringList {};
    }

    void refreshFilters()
    {
        QFETCH(QString, tacho);
        QFETCH(QString, customer);
        QFETCH(QStringList, serials);
        insertRecord({{u"VuSerialNumber"_s, u"S1"_s}, {u"CustomerName"_s, u"Иванов И.И."_s}});
        insertRecord({{u"VuSerialNumber"_s, u"S2"_s}, {u"CustomerName"_s, u"ООО Ромашка"_s},
            {u"VehicleRegistrationNumber"_s, u"B456OP"_s}, {u"WriteTimestamp"_s, u"2024-06-01 08:00:00"_s}});
        insertRecord({{u"VuSerialNumber"_s, u"S3"_s}, {u"WriteResult"_s, 0}});
        QmlDocumentsController controller;
        QSignalSpy records(&controller, &QmlDocumentsController::recordsChanged);
        controller.refresh(tacho, customer);
        QCOMPARE(column(controller.records(), u"serial"_s), serials);
        QCOMPARE(records.size(), 1);
    }

    // A journal that cannot be written still lists what it holds, and says so once, when first opened.
    void readOnlyJournalIsToldAndStillListed()
    {
        insertRecord({{u"VuSerialNumber"_s, u"S1"_s}});
        tessaron::storage::SqlConnection::setOpenReadOnly(true);
        QmlDocumentsController controller;
        controller.refresh();
        tessaron::storage::SqlConnection::setOpenReadOnly(false);
        QVERIFY2(controller.lastError().startsWith(u"База данных "_s)
                && controller.lastError().endsWith(u" доступна только для чтения"_s),
            qPrintable(controller.lastError()));
        QCOMPARE(column(controller.records(), u"serial"_s), QStringList {u"S1"_s});
        controller.refresh();
        controller.select(controller.records().constFirst().toMap().value(u"id"_s).toInt());
        QCOMPARE(controller.lastError(), QString());
    }

    void listRowsShowStoredDates_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addRow("date and time") << u"2024-05-06 12:34:56"_s << u"06.05.2024 12:34"_s;
        QTest::addRow("date only") << u"2024-05-06"_s << u"06.05.2024"_s;
        QTest::addRow("no date") << u" 12/31 "_s << u"12/31"_s;
        QTest::addRow("blank") << u"  "_s << QString();
    }

    void listRowsShowStoredDates()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        const int id = insertRecord({{u"RecordDateTime"_s, stored}, {u"NextCalibrationDate"_s, stored}});
        QmlDocumentsController controller;
        controller.refresh();
        QCOMPARE(controller.records().size(), 1);
        const QVariantMap row = controller.records().constFirst().toMap();
        QCOMPARE(row,
            (QVariantMap {{u"id"_s, id}, {u"order"_s, 17}, {u"customer"_s, u"Иванов"_s}, {u"date"_s, shown},
                {u"serial"_s, u"12345"_s}, {u"nextCalibration"_s, shown}, {u"vehicle"_s, u"А123ВС77"_s}}));
    }

    // A record stored inside a clock change's gap (Berlin's on 31 March 2024, Moscow's on 28 March 2010) reads as
    // the date and time it writes: the list, the form and the certificate's name are the same in every zone.
    void datesInAClockChangeGap_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("fileDate");
        for (const char *zone : {"UTC", "Europe/Berlin", "Europe/Moscow"}) {
            QTest::addRow("%s, Berlin's gap", zone)
                << QByteArray(zone) << u"2024-03-31 02:30:00"_s << u"31.03.2024"_s << u"31_03_2024"_s;
            QTest::addRow("%s, Moscow's gap", zone)
                << QByteArray(zone) << u"2010-03-28 02:30:00"_s << u"28.03.2010"_s << u"28_03_2010"_s;
        }
    }

    void datesInAClockChangeGap()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(QString, fileDate);
        tessaron::test::pinTimeZoneAndClock(zone.constData());
        QVERIFY(setWorkshop());
        QString nextCalibration = stored;
        nextCalibration[10] = u'T';
        const int id = insertRecord({{u"RecordDateTime"_s, stored}, {u"NextCalibrationDate"_s, nextCalibration}});
        QmlDocumentsController controller;
        controller.refresh();
        const QVariantMap row = controller.records().constFirst().toMap();
        QCOMPARE(row.value(u"date"_s).toString(), shown + u" 02:30"_s);
        QCOMPARE(row.value(u"nextCalibration"_s).toString(), shown + u" 02:30"_s);

        controller.select(id);
        QCOMPARE(controller.formValues().value(u"RecordDateTime"_s).toString(), shown + u" 02:30"_s);
        QCOMPARE(controller.formValues().value(u"NextCalibrationDate"_s).toString(), shown);
        QCOMPARE(controller.fieldErrors(), QVariantMap());
        QVERIFY2(controller.createCertificate(), qPrintable(controller.lastError()));
        const QString pdf = u"Сертификат_%1_12345.pdf"_s.arg(fileDate);
        QCOMPARE(QDir(dataPath(u"Сертификаты"_s)).entryList(QDir::Files), QStringList {pdf});
        const QString printed
            = tessaron::test::pdfPageTexts(tessaron::test::fileBytes(dataPath(u"Сертификаты/"_s + pdf))).join(u'\n');
        QVERIFY2(printed.contains(shown) && !printed.contains(nextCalibration), qPrintable(printed));
    }

    void selectEditAndRemove_data()
    {
        QTest::addColumn<QString>("directoryName");
        QTest::addColumn<QVariant>("address");
        QTest::addRow("same name") << u"Иванов"_s << QVariant(u"Москва"_s);
        QTest::addRow("other letter case is another customer") << u"иванов"_s << QVariant();
    }

    void selectEditAndRemove()
    {
        QFETCH(QString, directoryName);
        QFETCH(QVariant, address);
        QVERIFY(tessaron::storage::CustomerRepository().addCustomer(directoryName, u"Москва"_s, u"123"_s) > 0);
        const int id = insertRecord();
        QmlDocumentsController controller;
        QSignalSpy selected(&controller, &QmlDocumentsController::selectedChanged);
        controller.updateSelectedValue(u"Note"_s, u"до выбора"_s);
        QCOMPARE(selected.size(), 0);

        controller.select(id);
        QCOMPARE(controller.selected().value(u"CustomerAddress"_s), address);
        QCOMPARE(controller.statusText(), u"Запись выбрана"_s);
        controller.updateSelectedValue(QString(), u"без ключа"_s);
        controller.updateSelectedValue(u"Note"_s, u"Примечание"_s);
        QCOMPARE(selected.size(), 2);
        QCOMPARE(controller.selected().value(u"Note"_s), u"Примечание"_s);

        QVERIFY(controller.removeSelected());
        QCOMPARE(controller.statusText(), u"Запись удалена"_s);
        QVERIFY(!controller.hasSelection() && controller.records().isEmpty() && storedRecord(id).isEmpty());
        QVERIFY(!controller.removeSelected());
        QCOMPARE(controller.statusText(), u"Не удалось удалить запись"_s);
        controller.select(id);
        QVERIFY(!controller.hasSelection());
        QCOMPARE(controller.statusText(), u"Запись не найдена"_s);
    }

    void openDataFolderCreatesItWithoutADesktopProgram()
    {
        tessaron::test::UrlCatcher catcher;
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
        QmlDocumentsController controller;
        const QString absolute = m_paths->filePath(u"Другая папка"_s);
        QVERIFY(controller.openDataFolder(u"Сертификаты"_s));
        QVERIFY(controller.openDataFolder(absolute));
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(controller.statusText(), u"Открыта папка %1"_s.arg(QDir::toNativeSeparators(absolute)));
        QVERIFY(QFileInfo(dataPath(u"Сертификаты"_s)).isDir() && QFileInfo(absolute).isDir());
        QCOMPARE(catcher.urls,
            (QList<QUrl> {QUrl::fromLocalFile(dataPath(u"Сертификаты"_s)), QUrl::fromLocalFile(absolute)}));
    }

    void issuesACertificateEndToEnd()
    {
        QVERIFY(setWorkshop());
        QVERIFY(tessaron::storage::CustomerRepository().addCustomer(u"ООО Ромашка"_s, u"Тверь"_s, u"321"_s) > 0);
        const int id = insertRecord();
        QmlDocumentsController controller;
        controller.select(id);
        controller.updateSelectedValue(u"CustomerName"_s, u"ООО Ромашка"_s);
        controller.updateSelectedValue(u"OrderNumber"_s, u"42"_s);
        controller.updateSelectedValue(u"Inspection"_s, u"Да"_s);
        QVERIFY(controller.createCertificate());
        QCOMPARE(controller.statusText(), u"Сертификат создан. Для печати нажмите «Печать…» в предпросмотре"_s);
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(QImage(QUrl(controller.previewSource()).toLocalFile()).size(), QSize(1190, 1684));

        const QString pdf = dataPath(u"Сертификаты/Сертификат_06_05_2024_12345.pdf"_s);
        QVERIFY(tessaron::test::fileBytes(pdf).startsWith("%PDF"));
        const QDir xml(dataPath(u"XML"_s));
        const QVariantMap expected {{u"OrderDate"_s, u"2024-05-06 12:34:56"_s}, {u"CustomerAddress"_s, u"Тверь"_s},
            {u"VehicleVin"_s, u"XTA21099"_s}, {u"TachographModel"_s, u"Корвален исп. 1381"_s},
            {u"Inspection"_s, u"Да"_s}, {u"Note"_s, u"Эксплуатация только на территории РФ."_s},
            {u"WorkshopAddress"_s, u"190000, Санкт-Петербург, ул. Заводская, 5"_s}, {u"PdfPath"_s, pdf}};
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(certificateValue(it.key()).toString(), it.value().toString());
        QCOMPARE(column(controller.records(), u"order"_s), QStringList {u"42"_s});

        // Again: the same PDF and XML file, no second ledger line, a second row; the preview survives a clear.
        QVERIFY(controller.createCertificate());
        QCOMPARE(QDir(dataPath(u"Сертификаты"_s)).entryList(QDir::Files).size(), 1);
        QCOMPARE(xml.entryList(QDir::Files), (QStringList {u"12345_2024-05-06_12_34_56.xml"_s, u"checksums.txt"_s}));
        QCOMPARE(tessaron::test::fileBytes(xml.filePath(u"checksums.txt"_s)).count('\n'), 1);
        QCOMPARE(certificateValue(u"COUNT(*)"_s), 2);
        controller.clearSelection();
        QVERIFY(!controller.previewSource().isEmpty());
        QVERIFY(controller.printPreview({{u"printerName"_s, u"NoSuchPrinter"_s}}) == false);
        QCOMPARE(controller.lastError(), u"Принтер не найден: NoSuchPrinter"_s);
    }

    void stickerFileNames_data()
    {
        QTest::addColumn<QString>("orderDate");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("fileName");
        QTest::addRow("space between date and time")
            << u"2024-05-06 12:34:56"_s << u"12345"_s << u"Наклейка_06_05_2024_12345.pdf"_s;
        QTest::addRow("not ISO stays") << u"06.05.2024"_s << u"12345"_s << u"Наклейка_06.05.2024_12345.pdf"_s;
        QTest::addRow("only replaced characters") << u"//"_s << u"12345"_s << u"Наклейка____12345.pdf"_s;
        QTest::addRow("empty is today") << QString() << QString() << u"Наклейка_01_03_2026_unknown.pdf"_s;
        QTest::addRow("blanks and Ё in the serial")
            << u"2024-05-06"_s << u"AB 12Ёё"_s << u"Наклейка_06_05_2024_AB_12__.pdf"_s;
    }

    void stickerFileNames()
    {
        QFETCH(QString, orderDate);
        QFETCH(QString, serial);
        QFETCH(QString, fileName);
        const int id = insertRecord({{u"RecordDateTime"_s, orderDate}, {u"VuSerialNumber"_s, serial}});
        QmlDocumentsController controller;
        controller.select(id);
        controller.updateSelectedValue(u"CustomerName"_s, u"Петров"_s);
        QVERIFY(controller.createSticker());
        QCOMPARE(controller.statusText(), u"Наклейка создана. Для печати нажмите «Печать…» в предпросмотре"_s);
        QCOMPARE(QDir(dataPath(u"Наклейки"_s)).entryList(QDir::Files), QStringList {fileName});
        QCOMPARE(QImage(QUrl(controller.previewSource()).toLocalFile()).size(), QSize(566, 106));
        // Only the PDF and its preview: no XML copy, no database row, the calibration record untouched.
        QVERIFY(QDir(dataPath(u"XML"_s)).isEmpty() && certificateValue(u"COUNT(*)"_s) == 0);
        QCOMPARE(storedRecord(id).value(u"CustomerName"_s), u"Иванов"_s);
    }

    // The typed customer and order number go back to the calibration record (a number that is no whole number
    // keeps the stored one); a certificate not issued changes nothing.
    void issuingWritesBack_data()
    {
        QTest::addColumn<QString>("inTheWay");
        QTest::addColumn<bool>("selectFirst");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("deletedMeanwhile");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("status");
        const QString issued = u"Сертификат создан. Для печати нажмите «Печать…» в предпросмотре"_s;
        QTest::addRow("whole number") << QString() << true << u" 42 "_s << false << QVariant(42) << QString() << issued;
        QTest::addRow("letters keep the stored number")
            << QString() << true << u"А-17"_s << false << QVariant(17) << QString() << issued;
        QTest::addRow("empty keeps the stored number")
            << QString() << true << QString() << false << QVariant(17) << QString() << issued;
        QTest::addRow("record deleted meanwhile")
            << QString() << true << u"42"_s << true << QVariant()
            << u"Клиент и номер заказа не записаны в запись калибровки"_s << issued;
        QTest::addRow("no selection") << QString() << false << u"42"_s << false << QVariant(17)
                                      << u"Сначала выберите запись калибровки"_s << u"Документ не создан"_s;
        QTest::addRow("data folder cannot be written")
            << u"Сертификаты"_s << true << u"42"_s << false << QVariant(17) << u"Не удалось создать PDF: "_s
            << u"Ошибка формирования документа"_s;
        QTest::addRow("database path is a folder")
            << u"DB/CertificateDB.db/x"_s << true << u"42"_s << false << QVariant(17) << u"?"_s
            << u"PDF создан, но запись в БД не сохранена"_s;
    }

    void issuingWritesBack()
    {
        QFETCH(QString, inTheWay);
        QFETCH(bool, selectFirst);
        QFETCH(QString, typed);
        QFETCH(bool, deletedMeanwhile);
        QFETCH(QVariant, stored);
        QFETCH(QString, error);
        QFETCH(QString, status);
        QVERIFY(setWorkshop());
        if (!inTheWay.isEmpty())
            QVERIFY(tessaron::test::writeFile(dataPath(inTheWay)));
        const int id = insertRecord();
        QmlDocumentsController controller;
        if (selectFirst)
            controller.select(id);
        controller.updateSelectedValue(u"OrderNumber"_s, typed);
        controller.updateSelectedValue(u"CustomerName"_s, u"Петров"_s);
        if (deletedMeanwhile)
            QVERIFY(tessaron::storage::CalibrationRepository().deleteCalibration(id));
        const bool issued = status.startsWith(u"Сертификат создан."_s);
        QCOMPARE(controller.createCertificate(), issued);
        QCOMPARE(controller.statusText(), status);
        // "?": some text of the driver's.
        if (error == u"?"_s)
            QVERIFY(!controller.lastError().isEmpty());
        else
            QVERIFY2(error.isEmpty() ? controller.lastError().isEmpty() : controller.lastError().startsWith(error),
                qPrintable(controller.lastError()));
        QCOMPARE(storedRecord(id).value(u"OrderNumber"_s), stored);
        if (!deletedMeanwhile)
            QCOMPARE(storedRecord(id).value(u"CustomerName"_s), issued ? u"Петров"_s : u"Иванов"_s);
        if (issued)
            QCOMPARE(certificateValue(u"OrderNumber"_s).toString(), typed);
    }

    // Certificates A and B share serial and date, so one XML file name: after A, B and A again the file holds A
    // and verifies as A, each save with its ledger line; issuing A once more writes nothing.
    void xmlCopyHoldsTheCertificateLastIssued()
    {
        QVERIFY(setWorkshop());
        QmlDocumentsController controller;
        controller.select(insertRecord());
        const tessaron::storage::CertificateXmlStorage xml;
        const QString path = xml.folderPath() + u"/12345_2024-05-06_12_34_56.xml"_s;
        const QStringList customers {u"Иванов"_s, u"ООО Ромашка"_s, u"Иванов"_s, u"Иванов"_s};
        QByteArray issuedAsA;
        for (qsizetype i = 0; i < customers.size(); ++i) {
            controller.updateSelectedValue(u"CustomerName"_s, customers.at(i));
            QVERIFY(controller.createCertificate());
            QCOMPARE(xml.loadCertificate(path).value(u"CustomerName"_s).toString(), customers.at(i));
            QVERIFY(xml.verifyCertificateIntegrity(path));
            QCOMPARE(tessaron::test::fileBytes(xml.checksumsPath()).count('\n'), qMin(i + 1, qsizetype(3)));
            if (i == 0)
                issuedAsA = tessaron::test::fileBytes(path);
        }
        QCOMPARE(tessaron::test::fileBytes(path), issuedAsA);
        QCOMPARE(certificateValue(u"CustomerName"_s).toString(), u"Иванов"_s);
        QCOMPARE(QDir(xml.folderPath()).entryList(QDir::Files).size(), 2);
    }

    // A value that cannot be printed is shown with its problem, and neither document is issued.
    void impossibleValuesAreRefused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("problem");
        const QString next = u"NextCalibrationDate"_s;
        const QString dateProblem = u"Введите существующую дату в формате ДД.ММ.ГГГГ"_s;
        const QString numberProblem = u"Введите целое число, без букв и знаков"_s;
        QTest::addRow("day and month out of range") << next << u"32.13.2028"_s << dateProblem;
        QTest::addRow("29 February of a common year") << next << u"29.02.2027"_s << dateProblem;
        QTest::addRow("no date") << next << QString() << u"Заполните: дата в формате ДД.ММ.ГГГГ"_s;
        QTest::addRow("K letters") << u"KConstantOfRecordingEquipment"_s << u"abcXY"_s << numberProblem;
        QTest::addRow("W with a fraction") << u"WVehicleCharacteristicConstant"_s << u"8000.5"_s << numberProblem;
        QTest::addRow("L negative") << u"LTyreCircumference"_s << u"-3250"_s << numberProblem;
    }

    void impossibleValuesAreRefused()
    {
        QFETCH(QString, key);
        QFETCH(QString, typed);
        QFETCH(QString, problem);
        QmlDocumentsController controller;
        controller.select(insertRecord());
        controller.updateSelectedValue(key, typed);
        QCOMPARE(controller.selected().value(key).toString(), typed);
        QCOMPARE(controller.fieldErrors(), (QVariantMap {{key, problem}}));
        const QString label = key == u"NextCalibrationDate"_s ? u"Следующая настройка"_s : key.left(1);
        for (const bool sticker : {false, true}) {
            QVERIFY(!(sticker ? controller.createSticker() : controller.createCertificate()));
            QCOMPARE(controller.statusText(), u"Документ не создан"_s);
            QCOMPARE(controller.lastError(),
                u"Исправьте поля формы — «%1»: %2%3"_s.arg(label, problem.left(1).toLower(), problem.mid(1)));
        }
        for (const QString &folder : {u"Сертификаты"_s, u"Наклейки"_s})
            QVERIFY(QDir(dataPath(folder)).isEmpty());
        QVERIFY(controller.previewSource().isEmpty());
        QCOMPARE(certificateValue(u"COUNT(*)"_s), 0);
    }

    // Every problem is named at once, in the order the form shows the fields.
    void refusalNamesEveryField()
    {
        QmlDocumentsController controller;
        controller.select(insertRecord({{u"LTyreCircumference"_s, u"3 250"_s}}));
        controller.updateSelectedValue(u"NextCalibrationDate"_s, u"31.04.2028"_s);
        controller.updateSelectedValue(u"WVehicleCharacteristicConstant"_s, u"W8000"_s);
        QVERIFY(!controller.createCertificate());
        QCOMPARE(controller.lastError(),
            u"Исправьте поля формы — «W»: введите целое число, без букв и знаков; «L»: введите целое число, без "
            "букв и знаков; «Следующая настройка»: введите существующую дату в формате ДД.ММ.ГГГГ"_s);
    }

    // Dates are shown day first (the manufacturing and order dates only shown, as the list shows them) and
    // issued as stored; a date typed day first is kept as the record keeps dates.
    void formShowsDatesDayFirst()
    {
        const QString stored = u"2028-12-07 00:00:00"_s;
        QVERIFY(setWorkshop());
        QmlDocumentsController controller;
        controller.select(
            insertRecord({{u"NextCalibrationDate"_s, stored}, {u"VuManufacturingDate"_s, u"2019-03-01"_s}}));
        QCOMPARE(controller.formValues().value(u"NextCalibrationDate"_s).toString(), u"07.12.2028"_s);
        QCOMPARE(controller.formValues().value(u"VuManufacturingDate"_s).toString(), u"01.03.2019"_s);
        QCOMPARE(controller.formValues().value(u"RecordDateTime"_s).toString(), u"06.05.2024 12:34"_s);
        QVERIFY(controller.createCertificate());
        QCOMPARE(certificateValue(u"TachographSettingsNextCalibr"_s).toString(), stored);
        controller.updateSelectedValue(u"NextCalibrationDate"_s, u"08.12.2028"_s);
        QCOMPARE(controller.selected().value(u"NextCalibrationDate"_s).toString(), u"2028-12-08"_s);
        QCOMPARE(controller.formValues().value(u"NextCalibrationDate"_s).toString(), u"08.12.2028"_s);
        controller.updateSelectedValue(u"NextCalibrationDate"_s, u"1.2.2029"_s);
        QCOMPARE(controller.selected().value(u"NextCalibrationDate"_s).toString(), u"2029-02-01"_s);
        QCOMPARE(controller.fieldErrors(), QVariantMap());
    }

    // The document is issued; the message after it names each required workshop detail left empty, and the
    // address joins only the parts that have text (all filled: the end-to-end test above).
    void emptyWorkshopDetailsAreNamed_data()
    {
        namespace keys = tessaron::storage::settings;
        QTest::addColumn<QStringList>("empty");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("address");
        QTest::addRow("postcode, street and phone")
            << QStringList {keys::workshopPost, keys::workshopStreet, keys::workshopPhone}
            << u"Почтовый индекс, Улица и дом, Телефон"_s << u"Санкт-Петербург"_s;
        QTest::addRow("no address") << QStringList {keys::workshopPost, keys::workshopCity, keys::workshopStreet}
                                    << u"Почтовый индекс, Город, Улица и дом"_s << QString();
    }

    void emptyWorkshopDetailsAreNamed()
    {
        QFETCH(QStringList, empty);
        QFETCH(QString, named);
        QVERIFY(setWorkshop(empty));
        QmlDocumentsController controller;
        controller.select(insertRecord());
        const QString expected
            = u"В настройках мастерской не заполнены обязательные поля, на документе они пусты: "_s + named;
        QVERIFY(controller.createCertificate());
        QCOMPARE(controller.statusText(), u"Сертификат создан. Для печати нажмите «Печать…» в предпросмотре"_s);
        QCOMPARE(controller.lastError(), expected);
        QTEST(certificateValue(u"WorkshopAddress"_s).toString(), "address");
        QVERIFY(controller.createSticker());
        QCOMPARE(controller.lastError(), expected);
    }

    // The first list replaces the opening status; an empty list says why, differently with a search.
    void listStatusAndEmptyList()
    {
        QmlDocumentsController controller;
        QCOMPARE(controller.statusText(), u"Откройте раздел документов для загрузки списка"_s);
        QSignalSpy status(&controller, &QmlDocumentsController::statusChanged);
        controller.refresh();
        QCOMPARE(status.size(), 1);
        QCOMPARE(controller.statusText(), u"Записей в списке: 0"_s);
        QVERIFY2(controller.emptyListText().contains(u"поступают с телефона при синхронизации"_s),
            qPrintable(controller.emptyListText()));

        insertRecord();
        controller.refresh(u"нет такого"_s);
        QCOMPARE(controller.statusText(), u"Найдено записей: 0"_s);
        QCOMPARE(controller.emptyListText(), u"Нет записей калибровки, подходящих под условия поиска."_s);
        controller.refresh(QString(), u"иванов"_s);
        QCOMPARE(controller.statusText(), u"Найдено записей: 1"_s);
        QCOMPARE(controller.emptyListText(), QString());
    }

    // A file where the XML folder should be and a value too long for its box: the certificate and its row are issued,
    // and the message says why the XML copy was not saved (the log adds the system's words) and what to shorten.
    void issueTellsLostXmlCopyAndUnfitValue()
    {
        QVERIFY(setWorkshop());
        const QString folder = dataPath(u"XML"_s);
        QVERIFY(tessaron::test::writeFile(folder, "not a folder"));
        tessaron::logging::ApplicationLogger::initialize(m_paths->filePath(u"log"_s));
        QmlDocumentsController controller;
        controller.select(insertRecord());
        controller.updateSelectedValue(u"OrderResponsible"_s, u"Ответственный "_s.repeated(14));
        const bool issued = controller.createCertificate();
        const QString log
            = QString::fromUtf8(tessaron::test::fileBytes(tessaron::logging::ApplicationLogger::filePath()));
        tessaron::logging::ApplicationLogger::shutdown();
        QVERIFY(issued);
        QCOMPARE(certificateValue(u"COUNT(*)"_s), 1);
        const QString xml
            = u"Сертификат создан, но его XML-копия не сохранена: на месте папки XML-копий находится файл: "_s
            + QDir::toNativeSeparators(folder);
        const QString unfit = u"Значение не помещается в своё поле документа даже мелким шрифтом и заходит на соседние "
                              "строки: «%1». Сократите его и создайте документ заново"_s;
        QCOMPARE(controller.lastError(), xml + u'\n' + unfit.arg(u"Ответственный"_s));
        QVERIFY2(log.contains(u"\"category\":\"documents\""_s) && log.contains(xml + u": "_s), qPrintable(log));
        controller.updateSelectedValue(u"VehicleIdentificationNumber"_s, u"VIN XTA21099 "_s.repeated(60));
        QVERIFY(controller.createSticker());
        QCOMPARE(controller.lastError(), unfit.arg(u"VIN"_s));
    }

    // A control character pasted into the workshop's name, a record's registration number and a typed value is
    // removed where the value comes in: the PDF, the XML copy and the database row hold the same text.
    void controlCharactersAreRemovedWhereValuesComeIn()
    {
        namespace keys = tessaron::storage::settings;
        QVERIFY(setWorkshop()
            && tessaron::storage::SettingsRepository().setValues(
                {{keys::sectionWorkshop, keys::workshopName, u"ООО Тахо\u000Bсервис"_s}}));
        QmlDocumentsController controller;
        controller.select(insertRecord({{u"VehicleRegistrationNumber"_s, u"А123\u001BВС77"_s}}));
        QCOMPARE(controller.selected().value(u"VehicleRegistrationNumber"_s), u"А123ВС77"_s);
        controller.updateSelectedValue(u"OrderResponsible"_s, u"Смирнова\u0007 О.В.\nзам."_s);
        QVERIFY(controller.createCertificate() && controller.lastError().isEmpty());
        const tessaron::storage::CertificateXmlStorage xml;
        const QVariantMap copy = xml.loadCertificate(xml.folderPath() + u"/12345_2024-05-06_12_34_56.xml"_s);
        const QString pdf = tessaron::test::pdfPageTexts(
            tessaron::test::fileBytes(dataPath(u"Сертификаты/Сертификат_06_05_2024_12345.pdf"_s)))
                                .join(u'\n');
        for (const auto &[key, text] : {std::pair {u"WorkshopName"_s, u"ООО Тахосервис"_s},
                 {u"VehicleRegNumber"_s, u"А123ВС77"_s}, {u"OrderResponsible"_s, u"Смирнова О.В.\nзам."_s}}) {
            QCOMPARE(certificateValue(key).toString(), text);
            QCOMPARE(copy.value(key).toString(), text);
            QVERIFY2(pdf.contains(text.section(u'\n', 0, 0)), qPrintable(key));
        }
    }

    // A preview image lives as long as it is shown: replaced by the next, discarded with its dialog (printing
    // still has the document), or left when the controller goes.
    void previewImagesAreRemoved()
    {
        auto controller = std::make_unique<QmlDocumentsController>();
        const auto shown = [&controller] { return QUrl(controller->previewSource()).toLocalFile(); };
        controller->select(insertRecord());
        QVERIFY(controller->createSticker());
        const QString first = shown();
        QVERIFY(controller->createCertificate() && QFileInfo::exists(shown()) && !QFileInfo::exists(first));
        const QString second = shown();
        controller->discardPreview();
        QVERIFY(!QFileInfo::exists(second) && controller->previewSource().isEmpty());
        QVERIFY(!controller->printPreview({{u"printerName"_s, u"NoSuchPrinter"_s}}));
        QCOMPARE(controller->lastError(), u"Принтер не найден: NoSuchPrinter"_s);
        QVERIFY(controller->createSticker());
        const QString last = shown();
        controller.reset();
        QVERIFY(!QFileInfo::exists(last));
    }

    // No file browser and no launcher: the desktop answers false, and the controller tells it with the path.
    void openDataFolderFailureNamesThePath()
    {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", m_paths->filePath(u"no-programs"_s).toLocal8Bit());
        QmlDocumentsController controller;
        const bool opened = controller.openDataFolder(u"Наклейки"_s);
        qputenv("PATH", path);
        QVERIFY(!opened);
        QVERIFY(QFileInfo(dataPath(u"Наклейки"_s)).isDir());
        QCOMPARE(controller.lastError(),
            u"Не удалось открыть папку (не найдена программа для просмотра папок): "_s
                + QDir::toNativeSeparators(dataPath(u"Наклейки"_s)));

        QVERIFY(tessaron::test::writeFile(dataPath(u"Сертификаты"_s)));
        QVERIFY(!controller.openDataFolder(u"Сертификаты"_s));
        QCOMPARE(controller.lastError(),
            u"Не удалось создать папку %1"_s.arg(QDir::toNativeSeparators(dataPath(u"Сертификаты"_s))));
    }

    // Printing renders the kept document again: nothing issued, a dialog the user cancels, the real queue.
    void printing()
    {
        QmlDocumentsController controller;
        QVERIFY(!controller.printPreview({}));
        QCOMPARE(controller.lastError(), u"Нет документа для печати"_s);
        QCOMPARE(controller.statusText(), u"Печать не выполнена"_s);
        const QDir out(tessaron::test::printOutputFolder());
        TESSARON_REQUIRE_PRINT_QUEUE(
            !QPrinterInfo::printerInfo(u"TessaronPDF"_s).isNull() && out.exists(), "cups-pdf queue");
        controller.select(insertRecord());
        QVERIFY(controller.createSticker());
        using tessaron::documents::DocumentRenderer;
        DocumentRenderer::setPrintDialogForTesting([](QPrinter &, const QString &) { return false; });
        const QVariantMap queue {{u"printerName"_s, u"TessaronPDF"_s}, {u"paper"_s, u"driver"_s}};
        QVERIFY(!controller.printPreview(queue));
        DocumentRenderer::setPrintDialogForTesting({});
        QCOMPARE(controller.lastError(), QString());
        QCOMPARE(controller.statusText(), u"Печать отменена"_s);
        QVERIFY(controller.createCertificate());
        const QStringList before = out.entryList({u"*.pdf"_s}, QDir::Files);
        QVERIFY(controller.printPreview(queue));
        QCOMPARE(controller.statusText(), u"Документ отправлен на печать"_s);
        QVERIFY(!tessaron::test::takePrintedJob(out, before, 30000).isEmpty());
    }

private:
    std::unique_ptr<tessaron::test::TempAppPaths> m_paths;
};

QTEST_MAIN(TestQmlDocumentsController)

#include "tst_qml_documents_controller.moc"
