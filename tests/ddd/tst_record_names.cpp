#include "ddd/record_names.h"
#include "support/test_paths.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tessaron::ddd;

namespace {

using NameFunction = QString (*)(quint8);

QString calibrationPurposeRussian(quint8 code)
{
    return calibrationPurposeName(code).russian;
}

QString calibrationPurposeEnglish(quint8 code)
{
    return calibrationPurposeName(code).english;
}

} // namespace

class TestRecordNames : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void everyCodeHasText();
    void codesOfTheRealFiles_data();
    void codesOfTheRealFiles();
};

// One code inside and one outside the bounds of each table, and the fallbacks' letter case.
void TestRecordNames::names_data()
{
    QTest::addColumn<quintptr>("function");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");

    const auto add = [](const QByteArray &row, NameFunction function, int code, const QString &expected) {
        QTest::addRow("%s", row.constData()) << reinterpret_cast<quintptr>(function) << code << expected;
    };

    add("card type 5, last named", cardTypeName, 5, u"Manufacturing Card"_s);
    add("card type 0", cardTypeName, 0, u"Reserved"_s);
    add("card type 6, past the table", cardTypeName, 6, u"Unknown type"_s);

    // The general events of the data dictionary's EventFaultType, each by its own name in both languages.
    const QList<std::pair<QString, QString>> generalEvents {
        {u"Общее событие: без дополнительных сведений"_s, u"No further details"_s},
        {u"Вставка недействительной карты"_s, u"Insertion of a non-valid card"_s},
        {u"Конфликт карт"_s, u"Card conflict"_s},
        {u"Общее событие: перекрытие времени"_s, u"Time overlap"_s},
        {u"Движение без соответствующей карты"_s, u"Driving without an appropriate card"_s},
        {u"Вставка карты во время движения"_s, u"Card insertion while driving"_s},
        {u"Сессия карты завершена некорректно"_s, u"Last card session not correctly closed"_s},
        {u"Превышение скорости"_s, u"Over speeding"_s},
        {u"Прерывание питания"_s, u"Power supply interruption"_s},
        {u"Ошибка данных движения"_s, u"Motion data error"_s},
        {u"Конфликт движения транспортного средства"_s, u"Vehicle motion conflict"_s},
    };
    for (int code = 0; code < int(generalEvents.size()); ++code) {
        const QByteArray row = "general event 0x" + QByteArray::number(code, 16);
        add(row + " Russian", eventName, code, generalEvents.at(code).first);
        add(row + " English", eventNameEnglish, code, u"General event - "_s + generalEvents.at(code).second);
    }

    add("event 0x25, last named", eventName, 0x25, u"Аппаратное вмешательство в датчик"_s);
    add("event 0x0A", eventName, 0x0A, u"Конфликт движения транспортного средства"_s);
    add("event 0x0B, gap after the general events", eventName, 0x0B, u"НЕИЗВЕСТНОЕ СОБЫТИЕ (0X0B)"_s);
    add("event 0x19", eventName, 0x19, u"НЕИЗВЕСТНОЕ СОБЫТИЕ (0X19)"_s);
    add("event 0x7F, below the manufacturer range", eventName, 0x7F, u"НЕИЗВЕСТНОЕ СОБЫТИЕ (0X7F)"_s);
    add("event 0x80, manufacturer", eventName, 0x80, u"СОБЫТИЕ ПРОИЗВОДИТЕЛЯ (0X80)"_s);
    add("event 0xFF, manufacturer", eventName, 0xFF, u"СОБЫТИЕ ПРОИЗВОДИТЕЛЯ (0XFF)"_s);

    add("event English 0x25", eventNameEnglish, 0x25,
        u"Sensor related security breach attempt event - Hardware sabotage"_s);
    add("event English 0x26", eventNameEnglish, 0x26, u"Reserved for future use"_s);
    add("event English 0x81", eventNameEnglish, 0x81, u"MANUFACTURER-SPECIFIC EVENT (0X81)"_s);

    add("vu event English 0x02", vuEventTypeEnglish, 0x02, u"General event - Card conflict"_s);
    add("vu event English 0x03, named only by eventName", vuEventTypeEnglish, 0x03, u"Reserved for future use"_s);
    add("vu event English 0xB5", vuEventTypeEnglish, 0xB5, u"Manufacturer specific"_s);
    add("vu event English 0xB6", vuEventTypeEnglish, 0xB6, u"Reserved for future use"_s);

    add("fault 0", faultName, 0, u"Нет неисправности"_s);
    add("fault 0x34, not the list entry", faultName, 0x34, u"Неисправность оборудования записи: ошибка загрузки"_s);
    add("fault 0x35, first tachograph fault", faultName, 0x35, u"Неисправность тахографа: Неисправность датчика"_s);
    add("fault 0x3E, last tachograph fault", faultName, 0x3E, u"Неисправность тахографа: Ошибка калибровки"_s);
    add("fault 0x3F", faultName, 0x3F, u"Зарезервировано для будущего использования"_s);
    add("fault 0x40", faultName, 0x40, u"Неисправность карты: без дополнительных сведений"_s);
    add("fault 0x30", faultName, 0x30, u"НЕИЗВЕСТНАЯ НЕИСПРАВНОСТЬ (0X30)"_s);
    add("fault 0x41", faultName, 0x41, u"НЕИЗВЕСТНАЯ НЕИСПРАВНОСТЬ (0X41)"_s);

    add("fault English 0x34", vuFaultTypeEnglish, 0x34, u"Recording equipment fault - Downloading fault"_s);
    add("fault English 0x51", vuFaultTypeEnglish, 0x51, u"Reserved for future use"_s);
    add("fault English 0x35", vuFaultTypeEnglish, 0x35, u"RFU (0X35)"_s);

    add("purpose 5", recordPurposeName, 5, u"Одно из последних событий"_s);
    add("purpose 6, gap", recordPurposeName, 6, u"ЗАРЕЗЕРВИРОВАНО (0X06)"_s);
    add("purpose 7", recordPurposeName, 7, u"Активное событие/неисправность"_s);
    add("purpose 8", recordPurposeName, 8, u"ЗАРЕЗЕРВИРОВАНО (0X08)"_s);

    add("event purpose English 1", vuEventPurposeEnglish, 1,
        u"The longest event for one of the last 10 days of occurrence"_s);
    add("event purpose English 7, lower case kept", vuEventPurposeEnglish, 7, u"Unknown (0x07)"_s);
    add("event purpose English 0xAB, lower case kept", vuEventPurposeEnglish, 0xAB, u"Unknown (0xab)"_s);

    add("fault purpose English 0", vuFaultPurposeEnglish, 0, u"Reserved for future use"_s);
    add("fault purpose English 0x5E", vuFaultPurposeEnglish, 0x5E,
        u"The longest event for one of the last 10 days of occurrence"_s);
    add("fault purpose English 0x5F", vuFaultPurposeEnglish, 0x5F, u"RFU"_s);
    add("fault purpose English 0x60", vuFaultPurposeEnglish, 0x60, u"Manufacturer specific"_s);

    add("country 0x09", countryName, 0x09, u"Беларусь"_s);
    add("country 0x0A", countryName, 0x0A, u"0X0A"_s);
    add("country 0x2B", countryName, 0x2B, u"Российская Федерация"_s);
    add("country 0x2C", countryName, 0x2C, u"0X2C"_s);
    add("country 0xBB", countryName, 0xBB, u"Российская Федерация"_s);
    add("country 0xBC", countryName, 0xBC, u"0XBC"_s);

    add("condition 27, last named", specificConditionName, 27, u"Движение без соответствующей карты водителя"_s);
    add("condition 28", specificConditionName, 28, u"СПЕЦИАЛЬНОЕ УСЛОВИЕ 0X1C"_s);

    add("calibration 4", calibrationPurposeRussian, 4, u"Периодическая проверка"_s);
    add("calibration 5 Russian", calibrationPurposeRussian, 5, u"Особая калибровка"_s);
    add("calibration 5 English", calibrationPurposeEnglish, 5, u"НЕИЗВЕСТНЫЙ ТИП (0X05)"_s);
    add("calibration 1 Russian", calibrationPurposeRussian, 1, u"Активация: параметры калибровки при активации"_s);
    add("calibration 6 English", calibrationPurposeEnglish, 6,
        u"Activation: recording of calibration parameters known at the moment of activation"_s);
}

void TestRecordNames::names()
{
    QFETCH(quintptr, function);
    QFETCH(int, code);
    QFETCH(QString, expected);

    QCOMPARE(reinterpret_cast<NameFunction>(function)(static_cast<quint8>(code)), expected);
}

void TestRecordNames::everyCodeHasText()
{
    for (int code = 0; code <= 0xFF; ++code) {
        const auto c = static_cast<quint8>(code);
        for (NameFunction function : {cardTypeName, eventName, eventNameEnglish, vuEventTypeEnglish, faultName,
                 vuFaultTypeEnglish, recordPurposeName, vuEventPurposeEnglish, vuFaultPurposeEnglish, countryName,
                 specificConditionName, calibrationPurposeRussian, calibrationPurposeEnglish}) {
            QVERIFY2(!function(c).isEmpty(), qPrintable(QString::number(code)));
        }
    }
}

// Codes the real downloads' facts hold, each against the meaning the published data dictionary gives it: the name
// tables are checked by a statement made apart from them, not by a copy of themselves.
void TestRecordNames::codesOfTheRealFiles_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QStringList>("path");
    QTest::addColumn<quintptr>("function");
    QTest::addColumn<QString>("meaning");
    const auto add = [](const char *row, const QString &sample, const QStringList &path, NameFunction function,
                         const QString &meaning) {
        QTest::addRow("%s", row) << sample << path << reinterpret_cast<quintptr>(function) << meaning;
    };
    const QStringList calibrations {u"vu"_s, u"technical"_s, u"calibrations"_s};
    add("Russian card's issuing state", u"card-nonstandard"_s,
        {u"card"_s, u"gen1"_s, u"identification"_s, u"issuing_member_state"_s}, countryName, u"Российская Федерация"_s);
    add("anonymised registration nation", u"vu-gen1-anon"_s, {u"vu"_s, u"overview"_s, u"registration"_s, u"nation"_s},
        countryName, u"Нет данных"_s);
    add("driver card type", u"card-gen1-a"_s, {u"card"_s, u"gen1"_s, u"card_type"_s}, cardTypeName, u"Driver Card"_s);
    add("activation", u"vu-gen1-a"_s, calibrations + QStringList {u"0"_s, u"purpose"_s}, calibrationPurposeRussian,
        u"Активация: параметры калибровки при активации"_s);
    add("first installation", u"vu-gen1-a"_s, calibrations + QStringList {u"1"_s, u"purpose"_s},
        calibrationPurposeEnglish, u"First Installation: first calibration of the VU after its activation"_s);
    add("installation", u"vu-gen1-a"_s, calibrations + QStringList {u"2"_s, u"purpose"_s}, calibrationPurposeEnglish,
        u"Installation: first calibration of the VU in the current vehicle"_s);
    add("periodic inspection", u"vu-gen1-anon"_s, calibrations + QStringList {u"3"_s, u"purpose"_s},
        calibrationPurposeEnglish, u"Periodic Inspection"_s);
}

void TestRecordNames::codesOfTheRealFiles()
{
    QFETCH(QString, sample);
    QFETCH(QStringList, path);
    QFETCH(quintptr, function);
    QFETCH(QString, meaning);
    QString missing;
    QJsonValue value = tessaron::test::sampleFacts(sample, &missing);
    if (value.toObject().isEmpty())
        TESSARON_SKIP_SAMPLE(missing);
    for (const QString &step : std::as_const(path))
        value = value.isArray() ? value.toArray().at(step.toInt()) : value.toObject().value(step);
    QVERIFY2(value.isDouble(), qPrintable(path.join(u'.')));
    QCOMPARE(reinterpret_cast<NameFunction>(function)(quint8(value.toInt())), meaning);
}

QTEST_GUILESS_MAIN(TestRecordNames)
#include "tst_record_names.moc"
