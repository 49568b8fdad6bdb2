#include "record_names.h"

#include <QStringView>

#include <algorithm>
#include <array>

namespace tessaron::ddd {

namespace {

// One coded value with its Russian and English text; an empty view where a table has no text in that language.
struct Name
{
    quint8 code;
    QStringView ru;
    QStringView en;
};

// The texts live in static storage: a returned name shares it and allocates nothing.
QString staticText(QStringView text)
{
    return QString::fromRawData(text.data(), text.size());
}

template<std::size_t N> const Name *findName(const std::array<Name, N> &table, quint8 code)
{
    const auto it = std::find_if(table.begin(), table.end(), [code](const Name &name) { return name.code == code; });
    return it == table.end() ? nullptr : &*it;
}

QString lowerHexFallback(QStringView pattern, quint8 code)
{
    return pattern.toString().arg(code, 2, 16, QLatin1Char('0'));
}

QString hexFallback(QStringView pattern, quint8 code)
{
    return lowerHexFallback(pattern, code).toUpper();
}

constexpr std::array<Name, 6> cardTypes = {{
    {0, {}, u"Reserved"},
    {1, {}, u"Driver Card"},
    {2, {}, u"Workshop Card"},
    {3, {}, u"Control Card"},
    {4, {}, u"Company Card"},
    {5, {}, u"Manufacturing Card"},
}};

constexpr std::array<Name, 26> eventTypes = {{
    {0x00, u"Общее событие: без дополнительных сведений", u"General event - No further details"},
    {0x01, u"Вставка недействительной карты", u"General event - Insertion of a non-valid card"},
    {0x02, u"Конфликт карт", u"General event - Card conflict"},
    {0x03, u"Общее событие: перекрытие времени", u"General event - Time overlap"},
    {0x04, u"Движение без соответствующей карты", u"General event - Driving without an appropriate card"},
    {0x05, u"Вставка карты во время движения", u"General event - Card insertion while driving"},
    {0x06, u"Сессия карты завершена некорректно", u"General event - Last card session not correctly closed"},
    {0x07, u"Превышение скорости", u"General event - Over speeding"},
    {0x08, u"Прерывание питания", u"General event - Power supply interruption"},
    {0x09, u"Ошибка данных движения", u"General event - Motion data error"},
    {0x0A, u"Конфликт движения транспортного средства", u"General event - Vehicle motion conflict"},
    {0x10, u"Попытка нарушения безопасности VU: без дополнительных сведений",
        u"Vehicle unit related security breach attempt event - No further details"},
    {0x11, u"Ошибка аутентификации датчика движения",
        u"Vehicle unit related security breach attempt event - Motion sensor authentication failure"},
    {0x12, u"Ошибка аутентификации карты тахографа",
        u"Vehicle unit related security breach attempt event - Tachograph card authentication failure"},
    {0x13, u"Несанкционированная замена датчика движения",
        u"Vehicle unit related security breach attempt event - Unauthorised change of motion sensor"},
    {0x14, u"Ошибка целостности данных карты",
        u"Vehicle unit related security breach attempt event - Card data input integrity error"},
    {0x15, u"Ошибка целостности пользовательских данных",
        u"Vehicle unit related security breach attempt event - Stored user data integrity error"},
    {0x16, u"Ошибка внутренней передачи данных",
        u"Vehicle unit related security breach attempt event - Internal data transfer error"},
    {0x17, u"Попытка несанкционированного вскрытия",
        u"Vehicle unit related security breach attempt event - Unauthorised case opening"},
    {0x18, u"Аппаратное вмешательство", u"Vehicle unit related security breach attempt event - Hardware sabotage"},
    {0x20, u"Попытка нарушения безопасности датчика: без дополнительных сведений",
        u"Sensor related security breach attempt event - No further details"},
    {0x21, u"Ошибка аутентификации датчика", u"Sensor related security breach attempt event - Authentication failure"},
    {0x22, u"Ошибка целостности данных датчика",
        u"Sensor related security breach attempt event - Stored data integrity error"},
    {0x23, u"Ошибка внутренней передачи данных датчика",
        u"Sensor related security breach attempt event - Internal data transfer error"},
    {0x24, u"Несанкционированное вскрытие датчика",
        u"Sensor related security breach attempt event - Unauthorised case opening"},
    {0x25, u"Аппаратное вмешательство в датчик", u"Sensor related security breach attempt event - Hardware sabotage"},
}};

constexpr std::array<Name, 7> vuEventTypesEnglish = {{
    {0x02, {}, u"General event - Card conflict"},
    {0x04, {}, u"General event - Driving without an appropriate card"},
    {0x05, {}, u"General event - Card insertion while driving"},
    {0x06, {}, u"General event - Last card session not correctly closed"},
    {0x08, {}, u"General event - Power supply interruption"},
    {0x16, {}, u"Vehicle unit related security breach attempt event - Internal data transfer error"},
    {0xB5, {}, u"Manufacturer specific"},
}};

// Named fault types, Russian and English; the tachograph faults 0x35..0x3E follow from their list below.
constexpr std::array<Name, 4> faultTypes = {{
    {0x34, u"Неисправность оборудования записи: ошибка загрузки", u"Recording equipment fault - Downloading fault"},
    {0x40, u"Неисправность карты: без дополнительных сведений", u"Card fault - No further details"},
    {0x3F, u"Зарезервировано для будущего использования", u"Reserved for future use"},
    {0x51, u"Зарезервировано для будущего использования", u"Reserved for future use"},
}};

constexpr std::array<QStringView, 13> tachographFaults = {
    u"Нет неисправности",
    u"Неисправность загрузки",
    u"Неисправность датчика",
    u"Неисправность печати",
    u"Неисправность дисплея",
    u"Неисправность питания",
    u"Неисправность памяти",
    u"Неисправность датчика скорости",
    u"Неисправность считывателя карты",
    u"Внутренняя неисправность VU",
    u"Неисправность часов",
    u"Ошибка калибровки",
    u"Другая неисправность",
};

constexpr std::array<Name, 7> recordPurposes = {{
    {0, u"Одно из 10 последних событий", {}},
    {1, u"Самое длительное событие за последние 10 дней", {}},
    {2, u"Одно из длительных событий за последние 10 дней", {}},
    {3, u"Последнее событие за последние 10 дней", {}},
    {4, u"Первое событие после калибровки", {}},
    {5, u"Одно из последних событий", {}},
    {7, u"Активное событие/неисправность", {}},
}};

constexpr QStringView reservedForFutureUse = u"Reserved for future use";
constexpr QStringView longestEvent = u"The longest event for one of the last 10 days of occurrence";

constexpr std::array<Name, 14> vuFaultPurposesEnglish = {{
    {0x00, {}, reservedForFutureUse},
    {0x0A, {}, reservedForFutureUse},
    {0x22, {}, reservedForFutureUse},
    {0x41, {}, reservedForFutureUse},
    {0x42, {}, reservedForFutureUse},
    {0x45, {}, reservedForFutureUse},
    {0x4A, {}, reservedForFutureUse},
    {0x01, {}, longestEvent},
    {0x5E, {}, longestEvent},
    {0x02, {}, u"One of the longest events for one of the last 10 days of occurrence"},
    {0x03, {}, u"The last event for one of the last 10 days of occurrence"},
    {0x04, {}, u"One of the first events after the last calibration"},
    {0x05, {}, u"One of the most recent events"},
    {0x07, {}, u"An active/on-going event or fault"},
}};

constexpr std::array<Name, 12> countries = {{
    {0x00, u"Нет данных", {}},
    {0x01, u"Австрия", {}},
    {0x02, u"Албания", {}},
    {0x03, u"Андорра", {}},
    {0x04, u"Армения", {}},
    {0x05, u"Азербайджан", {}},
    {0x06, u"Бельгия", {}},
    {0x07, u"Болгария", {}},
    {0x08, u"Босния и Герцеговина", {}},
    {0x09, u"Беларусь", {}},
    {0x2B, u"Российская Федерация", {}},
    {0xBB, u"Российская Федерация", {}},
}};

// Indexed by the code itself.
constexpr std::array<QStringView, 28> specificConditions = {
    u"Нет специального условия",
    u"Выход за область применения — начало",
    u"Выход за область применения — окончание",
    u"Паром/поезд — начало",
    u"Паром/поезд — окончание",
    u"Вне области, карта не вставлена — начало",
    u"Вне области, карта не вставлена — окончание",
    u"Прочее специальное условие — начало",
    u"Прочее специальное условие — окончание",
    u"Прерывание питания",
    u"Ошибка данных движения",
    u"Попытка нарушения безопасности тахографа",
    u"Корректировка времени",
    u"Калибровка",
    u"Загрузка данных",
    u"Неисправность тахографа",
    u"Неисправность датчика",
    u"Вставка карты водителя во время движения",
    u"Извлечение карты водителя во время движения",
    u"Вставка недействительной карты водителя",
    u"Предыдущая сессия карты закрыта некорректно",
    u"Превышение скорости",
    u"Прерывание питания тахографа",
    u"Несанкционированное вскрытие корпуса",
    u"Ошибка движения в тахографе",
    u"Конфликт карт",
    u"Перекрытие времени",
    u"Движение без соответствующей карты водителя",
};

constexpr std::array<Name, 3> calibrationPurposes = {{
    {2, u"Первая установка: первая калибровка после активации",
        u"First Installation: first calibration of the VU after its activation"},
    {3, u"Установка: первая калибровка в текущем ТС",
        u"Installation: first calibration of the VU in the current vehicle"},
    {4, u"Периодическая проверка", u"Periodic Inspection"},
}};

constexpr Name activationPurpose = {0, u"Активация: параметры калибровки при активации",
    u"Activation: recording of calibration parameters known at the moment of activation"};

} // namespace

QString cardTypeName(quint8 code)
{
    if (const Name *name = findName(cardTypes, code))
        return staticText(name->en);
    return QStringLiteral("Unknown type");
}

QString eventName(quint8 code)
{
    if (const Name *name = findName(eventTypes, code))
        return staticText(name->ru);
    if (code >= 0x80)
        return hexFallback(u"Событие производителя (0x%1)", code);
    return hexFallback(u"Неизвестное событие (0x%1)", code);
}

QString eventNameEnglish(quint8 code)
{
    if (const Name *name = findName(eventTypes, code))
        return staticText(name->en);
    if (code >= 0x80)
        return hexFallback(u"Manufacturer-specific event (0x%1)", code);
    return staticText(reservedForFutureUse);
}

QString vuEventTypeEnglish(quint8 code)
{
    if (const Name *name = findName(vuEventTypesEnglish, code))
        return staticText(name->en);
    return staticText(reservedForFutureUse);
}

QString faultName(quint8 code)
{
    if (const Name *name = findName(faultTypes, code))
        return staticText(name->ru);
    if (code >= 0x35 && code <= 0x3E) {
        const auto index = std::min<std::size_t>(code - 0x33, tachographFaults.size() - 1);
        return QStringLiteral("Неисправность тахографа: %1").arg(tachographFaults[index]);
    }
    if (code == 0)
        return staticText(tachographFaults[0]);
    return hexFallback(u"Неизвестная неисправность (0x%1)", code);
}

QString vuFaultTypeEnglish(quint8 code)
{
    if (const Name *name = findName(faultTypes, code))
        return staticText(name->en);
    return hexFallback(u"RFU (0x%1)", code);
}

QString recordPurposeName(quint8 code)
{
    if (const Name *name = findName(recordPurposes, code))
        return staticText(name->ru);
    return hexFallback(u"Зарезервировано (0x%1)", code);
}

QString vuEventPurposeEnglish(quint8 code)
{
    if (code == 0)
        return QStringLiteral("One of the 10 most recent (or last) events or faults");
    if (code == 1)
        return staticText(longestEvent);
    return lowerHexFallback(u"Unknown (0x%1)", code);
}

QString vuFaultPurposeEnglish(quint8 code)
{
    if (const Name *name = findName(vuFaultPurposesEnglish, code))
        return staticText(name->en);
    if (code >= 0x60)
        return QStringLiteral("Manufacturer specific");
    return QStringLiteral("RFU");
}

QString countryName(quint8 code)
{
    if (const Name *name = findName(countries, code))
        return staticText(name->ru);
    return hexFallback(u"0x%1", code);
}

QString specificConditionName(quint8 code)
{
    if (code < specificConditions.size())
        return staticText(specificConditions[code]);
    return hexFallback(u"Специальное условие 0x%1", code);
}

CalibrationPurposeNames calibrationPurposeName(quint8 code)
{
    if (code == 5)
        return {QStringLiteral("Особая калибровка"), hexFallback(u"Неизвестный тип (0x%1)", code)};
    const Name *name = findName(calibrationPurposes, code);
    if (!name)
        name = &activationPurpose;
    return {staticText(name->ru), staticText(name->en)};
}

} // namespace tessaron::ddd
