.pragma library

.import "DddFieldLabels.js" as FieldLabels
.import "DddNumberText.js" as NumberText

// What a report was read from, as the controller's fileKind and a stored report's row give it: the values of the
// decoder's file type. A kind is never told from a display text.
var fileKinds = { none: 0, driverCard: 1, tachograph: 2 };

function isTachographKind(kind) {
    return Number(kind) === fileKinds.tachograph;
}

// Texts the controller writes, in English; the page shows them so when its language is English.
var exactTranslations = {
    "Разбор завершён": "Decoding complete",
    "Разбор файла .ddd...": "Decoding .ddd file...",
    "Ошибка разбора": "Decoding error",
    "Выбранный файл не является поддерживаемым DDD-файлом": "The selected file is not a supported DDD file",
    "Файл не выбран": "No file selected",
    "Выберите файл .ddd": "Select a .ddd file",
    "Сохранённый отчёт не найден": "Saved report not found",
    "Не удалось прочитать сохранённый отчёт": "Could not read the saved report",
    "Отчёт не сохранён": "Report was not saved",
    "Отчёт не сформирован": "Report was not generated",
    "Этот отчёт уже сохранён": "This report is already saved",
    "Ошибка формирования отчёта": "Report generation error",
    "Файл для сохранения не выбран": "No save destination selected",
    "Сформированный PDF пуст": "Generated PDF is empty",
    "Сохранённый отчёт удалён": "Saved report deleted",
    "Запись выбрана": "Record selected",
    "Запись не выбрана": "No record selected",
    "Запись удалена": "Record deleted",
    "Тахограф": "Tachograph",
    "Водительская карта": "Driver card",
    "Карта водителя": "Driver card",
    "Нет данных": "No data",
    "Не удалось определить формат DDD": "Could not determine the DDD format",
    "Файл не похож на DDD: неизвестный заголовок": "The file does not look like DDD: unknown header",
    "Неизвестный формат": "Unknown format",
    "Файл пуст": "The file is empty",
    "Ошибка базы отчётов": "Report database error",
    "Не удалось обновить базу отчётов": "Could not upgrade the report database",
    "Не удалось сохранить отчёт в базу": "Could not save the report to the database",
    "Не удалось удалить отчёт из базы": "Could not delete the report from the database",
    "Не удалось сохранить разделы отчёта": "Could not save the report's sections",
    "Не задан путь для сохранения отчёта": "No path given for saving the report",
    "Сначала откройте корректный файл .ddd": "Open a valid .ddd file first",
    "Сохранение через Android-документы доступно только на Android":
        "Saving through Android documents is available only on Android"
};

// Prefixes of controller texts, tried in order; the first that matches is replaced and the rest kept.
var prefixTranslations = [
    ["Файл не найден: ", "File not found: "],
    ["Выбранный путь не является файлом: ", "Selected path is not a file: "],
    ["Разбор завершён с ошибками: ", "Decoded with errors: "],
    ["Разбор завершён: ", "Decoding complete: "],
    ["Файл обрезан: ", "File truncated: "],
    ["Файл слишком большой для файла .ddd: ", "File too large for a .ddd file: "],
    ["Не удалось открыть файл ", "Could not open file "],
    ["Не удалось прочитать файл ", "Could not read file "],
    ["Не удалось открыть базу данных ", "Could not open the database "],
    ["Не удалось сохранить строки отчёта ", "Could not save the report's rows "],
    ["База данных ", "Database "],
    ["Не удалось разобрать файл: ", "Could not decode the file: "],
    ["Путь не удаётся прочитать (ссылки ведут по кругу): ", "The path cannot be read (links lead in a circle): "],
    ["Ошибка: ", "Error: "],
    ["Ошибка разбора: ", "Decoding error: "],
    ["Ошибка выгрузки: ", "Download error: "],
    ["Ошибка чтения: ", "Read error: "],
    ["Не удалось создать временный PDF: ", "Could not create temporary PDF: "],
    ["Не удалось прочитать сформированный PDF: ", "Could not read generated PDF: "],
    ["Не удалось создать PDF отчёта: ", "Could not create the PDF report: "],
    ["Не удалось создать PDF: ", "Could not create PDF: "],
    ["Не удалось создать каталог базы отчётов: ", "Could not create the report database folder: "],
    ["Ошибка записи PDF: ", "PDF write error: "],
    ["PDF не создан: ", "PDF not created: "],
    ["Отчёт сохранён: ", "Report saved: "],
    ["Отчёт сохранён (№", "Report saved (#"],
    ["Этот отчёт уже сохранён (№", "This report is already saved (#"],
    ["Отчёт сохранён в ReportsDB.db (№", "Report saved to ReportsDB.db (#"],
    ["Сохранённый отчёт №", "Saved report #"],
    ["Не удалось прочитать сохранённый отчёт: ", "Could not read the saved report: "],
    ["Превышен дневной лимит вождения: ", "Daily driving limit exceeded: "],
    ["Превышен недельный лимит вождения: ", "Weekly driving limit exceeded: "],
    ["Превышено непрерывное вождение: ", "Continuous driving limit exceeded: "],
    ["Недостаточный ежедневный отдых: ", "Insufficient daily rest: "],
    ["Недостаточный еженедельный отдых: ", "Insufficient weekly rest: "],
    ["Найдено ", "Found "],
    ["Общее сверхурочное время: ", "Total overtime: "],
    ["Ночных рабочих сессий: ", "Night work sessions: "],
    ["Высокая загрузка. Рекомендуется увеличить время отдыха.", "High workload. Increasing rest time is recommended."],
    ["Низкая эффективность вождения. Рассмотрите оптимизацию маршрутов.",
     "Low driving efficiency. Consider route optimization."]
];

// Whole texts after a translated prefix, so a message does not come out half Russian.
var suffixTranslations = [
    [/^(\d+) перерывов короче 15 минут$/, "$1 breaks shorter than 15 minutes"],
    [/^не разобрано (\d+) байт из (\d+)$/, "$1 of $2 bytes not decoded"],
    [/^блок (\S+) короче заявленного$/, "block $1 is shorter than declared"],
    [/^данные второго поколения не расшифрованы \(блоков: (\d+)\)$/, "second-generation data not decoded (blocks: $1)"],
    [/^недостаточно памяти$/, "not enough memory"],
    [/^внутренняя ошибка$/, "internal error"],
    [/^(.*) доступна только для чтения$/, "$1 is read-only"],
    [/^(.*) повреждена или не читается$/, "$1 is damaged or unreadable"],
    [/^\(таблица (.*)\)$/, "(table $1)"],
    [/^(.*) МБ$/, "$1 MB"],
    [/^базу отчётов держит другая программа дольше (\d+) с$/,
     "another program has held the report database for longer than $1 s"],
    [/^(.*) \(на диске нет места\)$/, "$1 (the disk is full)"],
    [/^(.*) \(ошибка записи\)$/, "$1 (write error)"],
    [/^(.*) \(ошибка файловой системы\)$/, "$1 (file system error)"],
    [/^(.*) открыт$/, "$1 opened"],
    [/^(.*) удалён$/, "$1 deleted"]
];

var monthNames = [
    ["января", "January"], ["февраля", "February"], ["марта", "March"], ["апреля", "April"], ["мая", "May"],
    ["июня", "June"], ["июля", "July"], ["августа", "August"], ["сентября", "September"], ["октября", "October"],
    ["ноября", "November"], ["декабря", "December"]
];

function tr(english, ru, en) {
    return english ? en : ru;
}

// A controller text in the page's language: unchanged in Russian; in English an exact match, else the first
// matching prefix replaced.
function translate(text, english) {
    var value = text === undefined || text === null ? "" : String(text);
    if (!english || value.length === 0)
        return value;
    if (exactTranslations.hasOwnProperty(value))
        return exactTranslations[value];
    for (var i = 0; i < prefixTranslations.length; ++i) {
        var prefix = prefixTranslations[i][0];
        if (value.indexOf(prefix) === 0)
            return prefixTranslations[i][1] + translateRest(value.slice(prefix.length));
    }
    return value;
}

function translateRest(rest) {
    for (var i = 0; i < suffixTranslations.length; ++i) {
        if (suffixTranslations[i][0].test(rest))
            return rest.replace(suffixTranslations[i][0], suffixTranslations[i][1]);
    }
    return rest;
}

// Russian genitive month names of a date in English; " г." after a translated month is dropped.
function translateDate(text, english) {
    var value = text === undefined || text === null ? "" : String(text);
    if (!english)
        return value;
    var replaced = false;
    for (var i = 0; i < monthNames.length; ++i) {
        var name = monthNames[i][0];
        var position = value.toLowerCase().indexOf(name);
        while (position >= 0) {
            value = value.slice(0, position) + monthNames[i][1] + value.slice(position + name.length);
            replaced = true;
            position = value.toLowerCase().indexOf(name, position + monthNames[i][1].length);
        }
    }
    if (replaced)
        value = value.replace(/\s+г\.(?=\s|$)/g, "");
    return value;
}

// --- Datasets --------------------------------------------------------------------------------------------

// Columns as [key, Russian title, English title, width]; a null English title repeats the Russian one.
function fieldColumns(fieldWidth, valueWidth) {
    return [["description", "Поле", "Field", fieldWidth], ["value", "Значение", "Value", valueWidth]];
}

// Each entry: key (the controller's dataset property), Russian and English name, when it is listed without
// rows ("always", a card file number, or "" for never) and its columns.
var cardDatasets = [
    { key: "sections", ru: "Содержание файла", en: "File contents", withoutRows: "always", columns: [
        ["fileNumber", "Файл", "File", 90], ["name", "Раздел", "Section", 280], ["offset", "Смещение", "Offset", 110],
        ["length", "Размер", "Size", 100], ["recordCount", "Записей", "Records", 100]] },
    { key: "cardIcc", ru: "ICC", en: "ICC", withoutRows: "", columns: fieldColumns(300, 620) },
    { key: "cardIc", ru: "IC", en: "IC", withoutRows: "", columns: fieldColumns(300, 620) },
    { key: "applicationIdentification", ru: "Идентификация приложения", en: "Application identification",
      withoutRows: "", columns: fieldColumns(300, 620) },
    { key: "cardIdentification", ru: "Идентификация карты", en: "Card identification", withoutRows: "",
      columns: fieldColumns(300, 620) },
    { key: "drivingLicence", ru: "Водительское удостоверение", en: "Driving licence", withoutRows: "", columns: [
        ["fileNumber", "Файл", "File", 90], ["description", "Поле", "Field", 300], ["value", "Значение", "Value", 620]] },
    { key: "cardDownload", ru: "Загрузка карты", en: "Card download", withoutRows: "", columns: fieldColumns(300, 620) },
    { key: "events", ru: "Данные событий", en: "Events Data", withoutRows: "0502", columns: [
        ["eventType", "Событие", "Event", 300], ["eventBeginTime", "Начало", "Start", 190],
        ["eventEndTime", "Окончание", "End", 190], ["vehicleRegistrationNation", "Страна", "Country", 180],
        ["vehicleRegistrationNumber", "Регистрационный номер", "Registration number", 180]] },
    { key: "faults", ru: "Данные неисправностей", en: "Faults Data", withoutRows: "0503", columns: [
        ["faultType", "Неисправность", "Fault", 300], ["faultBeginTime", "Начало", "Start", 190],
        ["faultEndTime", "Окончание", "End", 190], ["faultVehicleRegistrationNation", "Страна", "Country", 180],
        ["faultVehicleRegistrationNumber", "Регистрационный номер", "Registration number", 180]] },
    { key: "activityChanges", ru: "Данные активности водителя", en: "Driver Activity Data", withoutRows: "0504",
      columns: [
        ["day", "День", "Day", 80], ["time", "Время", "Time", 100], ["cardStatus", "Карта", "Card", 150],
        ["activity", "Активность", "Activity", 220], ["slot", "Слот", "Slot", 170]] },
    { key: "vehicles", ru: "Использованные автомобили", en: "Vehicles Used", withoutRows: "0505", columns: [
        ["vehicleOdometerBegin", "Одометр начало", "Odometer at start", 150],
        ["vehicleOdometerEnd", "Одометр конец", "Odometer at end", 150],
        ["vehicleFirstUsed", "Первое использование", "First use", 190],
        ["vehicleLastUsed", "Последнее использование", "Last use", 190],
        ["vehicleRegistrationNation1", "Страна", "Country", 170],
        ["vehicleRegistrationNumber1", "Регистрационный номер", "Registration number", 180],
        ["vuDataBlockCounter", "Счётчик блока", "Data block counter", 130]] },
    { key: "places", ru: "Места", en: "Places", withoutRows: "0506", columns: [
        ["entryTime", "Время", "Time", 190], ["entryTypeDailyWorkPeriod", "Операция", "Operation", 170],
        ["dailyWorkPeriodCountry", "Страна", "Country", 170], ["dailyWorkPeriodRegion", "Регион", "Region", 170],
        ["vehicleOdometerValue", "Одометр", "Odometer", 130]] },
    { key: "currentUsage", ru: "Текущее использование", en: "Current Usage", withoutRows: "0507",
      columns: fieldColumns(300, 620) },
    { key: "controlActivity", ru: "Данные контрольной активности", en: "Control Activity Data", withoutRows: "0508",
      columns: fieldColumns(300, 620) },
    { key: "specificConditions", ru: "Особые условия", en: "Specific Conditions", withoutRows: "0522", columns: [
        ["specificConditionType", "Условие", "Condition", 350], ["entryTime", "Время", "Time", 220],
        ["conditionCode", "Код", "Code", 100]] }
];

var vuCardColumns = [
    ["cardNumberDriverSlotBegin", "Карта водителя: начало", "Driver card: start", 190],
    ["cardNumberCoDriverSlotBegin", "Карта второго водителя: начало", "Co-driver card: start", 190],
    ["cardNumberDriverSlotEnd", "Карта водителя: окончание", "Driver card: end", 190],
    ["cardNumberCoDriverSlotEnd", "Карта второго водителя: окончание", "Co-driver card: end", 190]
];

var tachographDatasets = [
    { key: "tachoChildSections", ru: "Содержание файла", en: "File contents", withoutRows: "always", columns: [
        ["fileNumber", "Файл", "File", 90], ["name", "Раздел", "Section", 300],
        ["occurrence", "Экземпляр", "Occurrence", 100], ["recordCount", "Записей", "Records", 100],
        ["recordLength", "Запись, байт", "Record bytes", 120], ["offset", "Смещение", "Offset", 110],
        ["length", "Размер", "Size", 100]] },
    { key: "vehicleIdentification", ru: "Идентификация транспортного средства", en: "Vehicle identification",
      withoutRows: "", columns: fieldColumns(320, 680) },
    { key: "vuIdentification", ru: "Идентификация тахографа", en: "Tachograph identification", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "sensorPaired", ru: "Сопряжённый датчик", en: "Paired sensor", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "currentDateTime", ru: "Текущая дата и время", en: "Current date and time", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "downloadablePeriod", ru: "Загружаемый период", en: "Downloadable period", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "insertedCardType", ru: "Тип вставленной карты", en: "Inserted card type", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "downloadActivity", ru: "Данные загрузки активности", en: "Activity download data", withoutRows: "",
      columns: [["description", "Поле", "Field", 300], ["time", "Время", "Time", 190],
                ["value", "Значение", "Value", 620]] },
    { key: "companyLocks", ru: "Блокировки компании", en: "Company locks", withoutRows: "", columns: [
        ["lockType", "Тип блокировки", "Lock type", 250], ["begin", "Начало", "Start", 190],
        ["end", "Окончание", "End", 190], ["company", "Компания", "Company", 380]] },
    { key: "controlActivity", ru: "Данные контрольной активности", en: "Control activity data", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "dayInformation", ru: "Информация о дне", en: "Day information", withoutRows: "", columns: [
        ["dayNo", "День", "Day", 90], ["timeReal", "Дата/время", "Date/time", 220],
        ["odometerValueMidnight", "Одометр", "Odometer", 170]] },
    { key: "cardIwData", ru: "Данные карты ИУ тахографа", en: "VU card IW data", withoutRows: "", columns: [
        ["dayNo", "День", "Day", 80], ["cardHolderSurname", "Фамилия", "Surname", 180],
        ["cardHolderFirstNames", "Имя", "First names", 220], ["cardType", "Тип карты", "Card type", 160],
        ["cardIssuingMemberState", "Государство", "Member state", 180],
        ["driverCardNumber", "Номер карты", "Card number", 190],
        ["cardExpiryDate", "Срок действия", "Expiry", 160], ["cardInsertionDate", "Вставка", "Insertion", 190],
        ["vehicleOdometerValueAtInsertion", "Одометр при вставке", "Odometer at insertion", 190],
        ["cardSlotNumber", "Слот", "Slot", 170], ["cardWithdrawalTime", "Изъятие", "Withdrawal", 190],
        ["vehicleOdometerValueAtWithdrawal", "Одометр при изъятии", "Odometer at withdrawal", 190],
        ["prevVehicleRegistrationNation", "Пред. страна", "Previous country", 170],
        ["prevVehicleRegistrationNumber", "Пред. номер", "Previous registration", 190],
        ["prevCardWithdrawalTime", "Пред. изъятие", "Previous withdrawal", 190],
        ["manualInputFlag", "Ручной ввод", "Manual input", 140]] },
    { key: "activityDaily", ru: "Ежедневные данные активности", en: "Daily activity data", withoutRows: "", columns: [
        ["activityDate", "Дата", "Date", 110], ["slot", "Слот", "Slot", 190],
        ["drivingStatus", "Режим", "Driving status", 170], ["cardStatus", "Карта", "Card", 140],
        ["activity", "Активность", "Activity", 190], ["timeOfChange", "Время изменения", "Time of change", 170]] },
    { key: "placeDailyWorkPeriod", ru: "Места рабочего периода", en: "Work period places", withoutRows: "", columns: [
        ["dayNo", "День", "Day", 80], ["entryTime", "Время", "Time", 190],
        ["entryTypeDailyWorkPeriod", "Операция", "Operation", 180],
        ["dailyWorkPeriodCountry", "Страна", "Country", 170], ["dailyWorkPeriodRegion", "Регион", "Region", 170],
        ["vehicleOdometerValue", "Одометр", "Odometer", 130]] },
    { key: "specificConditions", ru: "Данные специальных условий", en: "Specific conditions", withoutRows: "",
      columns: [["specificConditionType", "Условие", "Condition", 350], ["entryTime", "Время", "Time", 220],
                ["conditionCode", "Код", "Code", 100]] },
    { key: "tachoFaults", ru: "Данные неисправностей тахографа", en: "Tachograph fault data", withoutRows: "",
      columns: [["faultType", "Неисправность", "Fault", 320], ["faultRecordPurpose", "Назначение", "Purpose", 260],
                ["faultBeginTime", "Начало", "Start", 190], ["faultEndTime", "Окончание", "End", 190]]
          .concat(vuCardColumns) },
    { key: "tachoEvents", ru: "Данные событий тахографа", en: "Tachograph event data", withoutRows: "",
      columns: [["eventType", "Событие", "Event", 320], ["eventRecordPurpose", "Назначение", "Purpose", 260],
                ["eventBeginTime", "Начало", "Start", 190], ["eventEndTime", "Окончание", "End", 190]]
          .concat(vuCardColumns, [["similarEventsNumber", "Похожие события", "Similar events", 130]]) },
    { key: "overSpeedingControl", ru: "Контроль превышения скорости", en: "Overspeeding control", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "overSpeedingEvents", ru: "Превышение скорости", en: "Overspeeding events", withoutRows: "", columns: [
        ["eventType1", "Событие", "Event", 260], ["eventBeginTime1", "Начало", "Start", 190],
        ["eventEndTime1", "Окончание", "End", 190], ["maxSpeedValue", "Макс. скорость", "Max speed", 160],
        ["averageSpeedValue", "Средняя скорость", "Average speed", 170]] },
    { key: "detailedSpeed", ru: "Детальная скорость", en: "Detailed speed", withoutRows: "", columns: [
        ["speedBlockBeginDate", "Начало блока", "Block start", 210], ["averageSpeed", "Средняя", "Average", 130],
        ["maxSpeed", "Максимальная", "Maximum", 150],
        ["speedsPerSecond", "Значения по секундам", "Values per second", 680]] },
    { key: "calibrationData", ru: "Калибровка и технические данные", en: "Calibration and technical data",
      withoutRows: "", columns: [
        ["calibrationPurpose", "Назначение калибровки", "Calibration purpose", 270],
        ["workshopName", "Название мастерской", "Workshop name", 260],
        ["workshopAddress", "Адрес мастерской", "Workshop address", 330],
        ["workshopCardNumber", "Карта мастерской", "Workshop card", 205],
        ["workshopCardExpiryDate", "Срок карты мастерской", "Workshop card expiry", 205],
        ["vehicleIdentificationNumber", "VIN", null, 205],
        ["vehicleRegistrationNation", "Страна регистрации", "Registration country", 205],
        ["vehicleRegistrationNumber", "Регистрационный номер", "Registration number", 205],
        ["wVehicleCharacteristicConstant", "W", null, 110], ["kConstantOfRecordingEquipment", "K", null, 110],
        ["iTyreCircumference", "L", null, 145], ["tyreSize", "Размер шин", "Tyre size", 150],
        ["authorisedSpeed", "Разрешённая скорость", "Authorised speed", 180],
        ["oldOdometerValue", "Старый одометр", "Old odometer", 160],
        ["newOdometerValue", "Новый одометр", "New odometer", 160],
        ["oldTimeValue", "Старое время", "Old time", 190], ["newTimeValue", "Новое время", "New time", 190],
        ["nextCalibrationDate", "Следующая калибровка", "Next calibration", 210]] },
    { key: "currentUsage", ru: "Текущее использование", en: "Current usage", withoutRows: "",
      columns: fieldColumns(320, 680) },
    { key: "timeAdjustments", ru: "Корректировки времени", en: "Time adjustments", withoutRows: "", columns: [
        ["oldTimeValue", "Старое время", "Old time", 200], ["newTimeValue", "Новое время", "New time", 200],
        ["workshopName", "Мастерская", "Workshop", 300], ["workshopAddress", "Адрес", "Address", 380],
        ["workshopCardNumber", "Карта", "Card", 190]] }
];

var workingHoursColumns = [
    ["dayNumber", "День", "Day", 90], ["workTime", "Работа", "Work", 125], ["restTime", "Отдых", "Rest", 125],
    ["availableTime", "Доступность", "Availability", 145], ["unknownTime", "Неизвестно", "Unknown", 145],
    ["workStart", "Начало", "Start", 150], ["workEnd", "Окончание", "End", 150],
    ["activityChangesCount", "Изменений", "Changes", 120], ["manualInputCount", "Ручной ввод", "Manual input", 130],
    ["specificConditionCount", "Особые условия", "Special conditions", 150]
];

// The controller's lists the page reads: every listed dataset and the sources of the charts.
var controllerLists = (function () {
    var keys = [];
    var add = function (key) {
        if (keys.indexOf(key) < 0)
            keys.push(key);
    };
    for (var i = 0; i < cardDatasets.length; ++i)
        add(cardDatasets[i].key);
    for (var j = 0; j < tachographDatasets.length; ++j)
        add(tachographDatasets[j].key);
    var chartSources = ["activityDaily", "activityChanges", "detailedSpeed", "drivenDistances", "tachoEvents", "events",
                        "tachoFaults", "faults", "dayInformation", "places", "placeDailyWorkPeriod", "calibrationData"];
    for (var k = 0; k < chartSources.length; ++k)
        add(chartSources[k]);
    return keys;
})();

function countOf(list) {
    return list && list.length !== undefined ? list.length : 0;
}

// True when the card file holds a data block (type 0) of that elementary file. A row without a type reads 0.
function hasDataFile(sections, fileNumber) {
    var count = countOf(sections);
    for (var i = 0; i < count; ++i) {
        var row = sections[i];
        if (!row || String(row.fileNumber).toUpperCase() !== fileNumber)
            continue;
        var type = row.fileType === undefined || row.fileType === null || row.fileType === "" ? 0 : Number(row.fileType);
        if (type === 0)
            return true;
    }
    return false;
}

// The datasets the page lists for a report: the entries of its file type that have rows, are always listed
// or whose elementary file the card holds. `rowsOf(key)` gives the rows of a dataset property.
function shownDatasets(isTachograph, rowsOf, sections) {
    var entries = isTachograph ? tachographDatasets : cardDatasets;
    var shown = [];
    for (var i = 0; i < entries.length; ++i) {
        var entry = entries[i];
        var listed = countOf(rowsOf(entry.key)) > 0 || entry.withoutRows === "always"
            || (!isTachograph && entry.withoutRows.length > 0 && hasDataFile(sections, entry.withoutRows));
        if (listed)
            shown.push(entry);
    }
    return shown;
}

// Columns [key, title, width] of an entry in the page's language.
function localizedColumns(columns, english) {
    var result = [];
    for (var i = 0; i < columns.length; ++i) {
        var column = columns[i];
        var title = english && column[2] !== null && column[2] !== undefined ? column[2] : column[1];
        result.push([column[0], title, column[3]]);
    }
    return result;
}

function navigationNames(datasets, english) {
    var names = [];
    for (var i = 0; i < datasets.length; ++i)
        names.push(tr(english, datasets[i].ru, datasets[i].en));
    names.push(tr(english, "Анализ", "Analysis"));
    return names;
}

// Sections are kept by kind: a dataset's key, "#analysis", "#charts" or "#reports" (the stored reports).
var analysisSection = "#analysis";
var chartsSection = "#charts";
var reportsSection = "#reports";

function sectionKey(datasets, index) {
    if (index >= 0 && index < datasets.length)
        return datasets[index].key;
    if (index === datasets.length)
        return analysisSection;
    if (index === datasets.length + 1)
        return chartsSection;
    if (index === datasets.length + 2)
        return reportsSection;
    return "";
}

// The index of a kept section among the listed ones; 0 when it is listed no more.
function sectionIndexOf(datasets, key) {
    for (var i = 0; i < datasets.length; ++i) {
        if (datasets[i].key === key)
            return i;
    }
    if (key === analysisSection)
        return datasets.length;
    if (key === chartsSection)
        return datasets.length + 1;
    if (key === reportsSection)
        return datasets.length + 2;
    return 0;
}

// The page of the data area's stack: 0 the dataset table, 1 the analysis, 2 the charts, 3 the stored reports.
function stackIndex(sectionIndex, datasetCount) {
    if (sectionIndex < datasetCount)
        return 0;
    return Math.max(0, Math.min(3, sectionIndex - datasetCount + 1));
}

// --- File box -------------------------------------------------------------------------------------------

// Tells one shown report from the next (a cleared page counts as one too): a new one resets the page's scroll
// positions and chart choice.
function reportIdentity(controller, summary) {
    if (!controller)
        return "";
    return JSON.stringify([controller.filePath, controller.fileName, controller.fileType, controller.fileSize,
                           summary || {}]);
}

function present(value) {
    return value !== undefined && value !== null && String(value).length > 0;
}

function valueOrNotFound(value, english) {
    return present(value) ? String(value) : tr(english, "не найден", "not found");
}

// Label/value pairs of the file box.
function fileBoxRows(controller, summary, isTachograph, english) {
    var info = summary || {};
    var rows = [];
    var name = present(controller.fileName) ? controller.fileName
                                            : (present(info.fileName) ? info.fileName : tr(english, "сохранённый отчёт", "saved report"));
    rows.push([tr(english, "Имя:", "Name:"), String(name)]);
    var type = present(controller.fileType) ? controller.fileType : info.fileType;
    rows.push([tr(english, "Тип:", "Type:"), valueOrNotFound(translate(type, english), english)]);
    var size = Number(controller.fileSize) || 0;
    rows.push([tr(english, "Размер:", "Size:"),
               size > 0 ? tr(english, "%1 байт", "%1 bytes").replace("%1", size) : tr(english, "из базы данных", "from the database")]);
    if (isTachograph) {
        rows.push(["VIN:", valueOrNotFound(info.vin, english)]);
        rows.push([tr(english, "Рег. номер:", "Reg. number:"), valueOrNotFound(info.registrationNumber, english)]);
        if (present(info.dataStartDate) && present(info.dataEndDate))
            rows.push([tr(english, "Период данных:", "Data period:"),
                       translateDate(info.dataStartDate, english) + " — " + translateDate(info.dataEndDate, english)]);
    } else {
        rows.push([tr(english, "Номер карты:", "Card number:"), valueOrNotFound(info.cardNumber, english)]);
        rows.push([tr(english, "Водитель:", "Driver:"), valueOrNotFound(info.driverSurname, english)]);
        rows.push([tr(english, "Срок действия:", "Expiry:"),
                   valueOrNotFound(translateDate(info.expiryDate, english), english)]);
    }
    rows.push([tr(english, "События / неисправности:", "Events / faults:"),
               (Number(info.eventCount) || 0) + " / " + (Number(info.faultCount) || 0)]);
    return rows;
}

// --- Analysis ---------------------------------------------------------------------------------------------

function group(analysis, name) {
    var value = analysis ? analysis[name] : undefined;
    return value && typeof value === "object" && value.length === undefined ? value : {};
}

function list(map, name) {
    var value = map ? map[name] : undefined;
    return value && typeof value === "object" && value.length !== undefined ? value : [];
}

function textOrDash(value) {
    return present(value) ? String(value) : "—";
}

// Whole hours and remaining minutes as HH:MM; negative or missing values read 0.
function hoursMinutes(minutes) {
    var value = Math.max(0, Math.floor(Number(minutes) || 0));
    var hours = Math.floor(value / 60);
    var rest = value % 60;
    return (hours < 10 ? "0" + hours : String(hours)) + ":" + (rest < 10 ? "0" + rest : String(rest));
}

function scoreColor(score) {
    var value = Number(score) || 0;
    if (value >= 80)
        return "#2e7d32";
    if (value >= 60)
        return "#a06000";
    return "#b00020";
}

// The eight tiles {label, value} of the analysis heading.
function analysisTiles(analysis, english) {
    var efficiency = group(analysis, "efficiency");
    var cycles = group(analysis, "drivingCycles");
    return [
        { label: tr(english, "Рабочее время", "Work time"), value: textOrDash(efficiency.totalWorkTime) },
        { label: tr(english, "Время отдыха", "Rest time"), value: textOrDash(efficiency.totalRestTime) },
        { label: tr(english, "Использование времени", "Time utilization"), value: NumberText.percentText(efficiency.utilizationRate, english) },
        { label: tr(english, "Эффективность вождения", "Driving efficiency"), value: NumberText.percentText(efficiency.drivingEfficiency, english) },
        { label: tr(english, "Макс. непрерывное вождение", "Max continuous driving"),
          value: textOrDash(cycles.maxContinuousDriving) },
        { label: tr(english, "Неделя / две недели", "Week / two weeks"),
          value: textOrDash(cycles.weeklyDrivingTime) + " / " + textOrDash(cycles.biWeeklyDrivingTime) },
        { label: tr(english, "Дней в данных", "Days in data"), value: String(list(analysis, "workingHours").length) },
        { label: tr(english, "Сеансов работы", "Work sessions"), value: String(Number(efficiency.sessionCount) || 0) }
    ];
}

function classificationTiles(analysis, english) {
    var classification = group(analysis, "classification");
    return [
        { label: tr(english, "Вождение", "Driving"), value: hoursMinutes(classification.drivingMinutes), color: "#287bc1" },
        { label: tr(english, "Работа", "Work"), value: hoursMinutes(classification.workMinutes), color: "#2e9b57" },
        { label: tr(english, "Доступность", "Availability"), value: hoursMinutes(classification.availabilityMinutes),
          color: "#d99000" },
        { label: tr(english, "Отдых", "Rest"), value: hoursMinutes(classification.restMinutes), color: "#53a0d8" },
        { label: tr(english, "Неизвестно", "Unknown"), value: hoursMinutes(classification.unknownMinutes), color: "#858585" }
    ];
}

// Lines of a message panel: "• " and each translated item, or "Нет данных" when there is none.
function messageLines(items, english) {
    var count = countOf(items);
    if (count === 0)
        return [tr(english, "Нет данных", "No data")];
    var lines = [];
    for (var i = 0; i < count; ++i)
        lines.push("• " + translate(items[i], english));
    return lines;
}

// --- Hex view ---------------------------------------------------------------------------------------------

var hexViewLimit = 65536;

function blockHex(row) {
    if (!row)
        return "";
    if (present(row.payloadHex))
        return String(row.payloadHex);
    var data = row.data;
    if (data && typeof data === "object" && present(data.hex))
        return String(data.hex);
    return "";
}

function hexPair(value) {
    var text = value.toString(16).toUpperCase();
    return text.length < 2 ? "0" + text : text;
}

// A classic hex dump of a block's bytes: offset, 16 bytes and their printable characters per line, at most
// 65536 bytes.
function hexDump(hexText, english) {
    var digits = String(hexText || "").replace(/[^0-9A-Fa-f]/g, "");
    var byteCount = Math.floor(digits.length / 2);
    if (byteCount === 0)
        return tr(english, "Нет данных HEX", "No HEX data");
    var shown = Math.min(byteCount, hexViewLimit);
    var lines = [];
    for (var offset = 0; offset < shown; offset += 16) {
        var offsetText = offset.toString(16).toUpperCase();
        while (offsetText.length < 8)
            offsetText = "0" + offsetText;
        var hexParts = [];
        var characters = "";
        for (var i = 0; i < 16; ++i) {
            var index = offset + i;
            if (index < shown) {
                var value = parseInt(digits.substr(index * 2, 2), 16);
                hexParts.push(hexPair(value));
                characters += value >= 0x20 && value <= 0x7e ? String.fromCharCode(value) : ".";
            } else {
                hexParts.push("  ");
            }
        }
        lines.push(offsetText + "  " + hexParts.join(" ") + "  |" + characters + "|");
    }
    if (byteCount > hexViewLimit) {
        lines.push("");
        lines.push(tr(english, "Показаны первые 65536 байт", "Showing the first 65536 bytes"));
    }
    return lines.join("\n");
}

// The title line of the hex view: the block's file number and its section name as the section list shows it.
function hexTitle(row, english) {
    if (!row)
        return "";
    var title = present(row.fileNumber) ? String(row.fileNumber) : "";
    if (present(row.name))
        title += " — " + FieldLabels.fieldLabel(String(row.name), english);
    return title;
}

// --- Charts -----------------------------------------------------------------------------------------------

function nonEmpty(first, second) {
    return countOf(first) > 0 ? first : (second || []);
}

var chartMetrics = [
    ["Активность", "Activity"], ["Детальная скорость", "Detailed speed"], ["Пробег", "Distance"],
    ["События", "Events"], ["Неисправности", "Faults"], ["Одометр", "Odometer"], ["Места", "Places"],
    ["Калибровки", "Calibrations"], ["Рабочее время", "Work time"]
];

var chartStyles = [
    ["Авто", "Auto"], ["Столбцы", "Bars"], ["Линия", "Line"], ["Точки", "Points"], ["Область", "Area"],
    ["Круговая", "Pie"]
];

function names(pairs, english) {
    var result = [];
    for (var i = 0; i < pairs.length; ++i)
        result.push(tr(english, pairs[i][0], pairs[i][1]));
    return result;
}
