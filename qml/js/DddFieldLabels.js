.pragma library

// Readable labels of the field names a decoded report carries: the description keys of {description, value}
// rows, ASN.1 field keys and the section names of the file-contents list. Each entry is [Russian, English].
var labels = {
    "vuManufacturerName": ["Производитель тахографа", "Tachograph manufacturer"],
    "vuManufacturerAddress": ["Адрес производителя тахографа", "Tachograph manufacturer address"],
    "vuPartNumber": ["Номер детали тахографа", "Tachograph part number"],
    "vuSerialNumber": ["Серийный номер тахографа", "Tachograph serial number"],
    "vuManufacturingDate": ["Дата изготовления тахографа", "Tachograph manufacturing date"],
    "vuSoftwareVersion": ["Версия ПО тахографа", "Tachograph software version"],
    "vuSoftInstallationDate": ["Дата установки ПО тахографа", "Tachograph software installation date"],
    "vuApprovalNumber": ["Номер утверждения типа тахографа", "Tachograph approval number"],
    "sensorSerialNumber": ["Серийный номер датчика", "Sensor serial number"],
    "sensorApprovalNumber": ["Номер утверждения типа датчика", "Sensor approval number"],
    "sensorPairingDateFirst": ["Первое сопряжение датчика", "First sensor pairing"],
    "sensorPairingDateLast": ["Последнее сопряжение датчика", "Last sensor pairing"],
    "manufacturerCode": ["Код производителя", "Manufacturer code"],
    "monthYear": ["Месяц и год изготовления", "Month and year of manufacture"],
    "cardHolderSurname": ["Фамилия держателя карты", "Card holder surname"],
    "cardHolderFirstNames": ["Имя держателя карты", "Card holder first names"],
    "cardIssuingMemberState": ["Государство, выдавшее карту", "Card issuing member state"],
    "cardNumber": ["Номер карты", "Card number"],
    "cardIssuingAuthorityName": ["Орган, выдавший карту", "Card issuing authority"],
    "cardIssueDate": ["Дата выдачи карты", "Card issue date"],
    "cardValidityBegin": ["Начало действия карты", "Card validity begin"],
    "cardExpiryDate": ["Срок действия карты", "Card expiry date"],
    "cardHolderBirthDate": ["Дата рождения держателя карты", "Card holder birth date"],
    "cardHolderPreferredLanguage": ["Предпочитаемый язык держателя карты", "Card holder preferred language"],
    "sessionOpenTime": ["Начало сеанса", "Session open time"],
    "controlType": ["Тип контроля", "Control type"],
    "controlTime": ["Время контроля", "Control time"],
    "cardType": ["Тип карты", "Card type"],
    "controlDownloadPeriodBegin": ["Начало загруженного периода", "Downloaded period begin"],
    "controlDownloadPeriodEnd": ["Окончание загруженного периода", "Downloaded period end"],
    "cardInsertionDate": ["Время вставки карты", "Card insertion time"],
    "cardWithdrawalTime": ["Время извлечения карты", "Card withdrawal time"],
    "vehicleIdentificationNumber": ["Идентификационный номер ТС (VIN)", "Vehicle identification number (VIN)"],
    "vehicleRegistrationNation": ["Страна регистрации ТС", "Vehicle registration country"],
    "vehicleRegistrationNumber": ["Регистрационный номер ТС", "Vehicle registration number"],
    "workshopName": ["Название мастерской", "Workshop name"],
    "workshopAddress": ["Адрес мастерской", "Workshop address"],
    "workshopCardNumber": ["Номер карты мастерской", "Workshop card number"],
    "workshopCardExpiryDate": ["Срок действия карты мастерской", "Workshop card expiry date"],
    "calibrationPurpose": ["Назначение калибровки", "Calibration purpose"],
    "oldOdometerValue": ["Старое значение одометра", "Old odometer value"],
    "newOdometerValue": ["Новое значение одометра", "New odometer value"],
    "oldTimeValue": ["Старое значение времени", "Old time value"],
    "newTimeValue": ["Новое значение времени", "New time value"],
    "nextCalibrationDate": ["Дата следующей калибровки", "Next calibration date"],
    "wVehicleCharacteristicConstant": ["Характеристический коэффициент ТС W", "Vehicle characteristic coefficient W"],
    "kConstantOfRecordingEquipment": ["Константа K тахографа", "Recording equipment constant K"],
    "iTyreCircumference": ["Окружность шины L", "Tyre circumference L"],
    "tyreSize": ["Размер шин", "Tyre size"],
    "authorisedSpeed": ["Разрешённая скорость", "Authorised speed"],
    "currentDateTime": ["Текущие дата и время", "Current date and time"],
    "downloadablePeriod": ["Загружаемый период", "Downloadable period"],
    "minDownloadableTime": ["Начало загружаемого периода", "Downloadable period start"],
    "maxDownloadableTime": ["Окончание загружаемого периода", "Downloadable period end"],
    "driverCardSlot": ["Слот водителя", "Driver card slot"],
    "co-driverCardSlot": ["Слот второго водителя", "Co-driver card slot"],
    "downloadingTime": ["Время загрузки", "Downloading time"],
    "companyOrWorkshopName": ["Предприятие или мастерская", "Company or workshop name"],
    "vehicleIdentification": ["Идентификация транспортного средства", "Vehicle identification"],
    "VIN номер": ["VIN номер", "VIN number"],
    "Страна регистрации": ["Страна регистрации", "Registration country"],
    "Регистрационный номер": ["Регистрационный номер", "Registration number"],
    "clockstop": ["Состояние часов", "Clock stop status"],
    "serialNumber": ["Серийный номер", "Serial number"],
    "cardApprovalNumber": ["Номер утверждения типа карты", "Card approval number"],
    "cardPersonaliserID": ["Идентификатор персонализатора карты", "Card personaliser ID"],
    "embedderIcAssemblerID": ["Идентификатор сборщика микросхемы", "Embedder and IC assembler ID"],
    "icIdentifier": ["Идентификатор микросхемы", "IC identifier"],
    "icSerialNumber": ["Серийный номер микросхемы", "IC serial number"],
    "icManufacturingReferences": ["Производственные данные микросхемы", "IC manufacturing references"],
    "typeOfTachographCardID": ["Тип карты тахографа", "Tachograph card type"],
    "cardStructureVersion": ["Версия структуры карты", "Card structure version"],
    "noOfEventsPerType": ["Событий каждого типа", "Events per type"],
    "noOfFaultsPerType": ["Неисправностей каждого типа", "Faults per type"],
    "activityStructureLength": ["Размер области активности", "Activity structure length"],
    "noOfCardVehicleRecords": ["Записей о транспортных средствах", "Vehicle records"],
    "noOfCardPlaceRecords": ["Записей о местах", "Place records"],
    "drivingLicenceIssuingAuthority": ["Орган, выдавший удостоверение", "Driving licence issuing authority"],
    "drivingLicenceIssuingNation": ["Страна выдачи удостоверения", "Driving licence issuing nation"],
    "drivingLicenceNumber": ["Номер водительского удостоверения", "Driving licence number"],
    "lastCardDownload": ["Последняя загрузка карты", "Last card download"],
    "overspeedingControlRecordCount": ["Записей контроля превышения скорости", "Overspeeding control records"],
    "lastOverspeedControlTime": ["Последний контроль превышения скорости", "Last overspeed control"],
    "firstOverspeedSince": ["Первое превышение после контроля", "First overspeed since control"],
    "numberOfOverspeedSince": ["Превышений после контроля", "Overspeeds since control"],
    "companyLocks": ["Блокировки компании", "Company locks"],
    "recordIndex": ["Номер записи", "Record index"],
    "fileNumber": ["Номер файла", "File number"],
    "fileType": ["Тип файла", "File type"],
    "blockStartPosition": ["Начало блока", "Block start position"],
    "payloadHex": ["Данные блока HEX", "Block payload HEX"],
    "hexData": ["Данные HEX", "HEX data"],
    "decodedText": ["Расшифрованный текст", "Decoded text"],
    "fields": ["Поля", "Fields"],
    "path": ["Путь", "Path"],
    "tag": ["Тег", "Tag"],
    "class": ["Класс", "Class"],
    "constructed": ["Составной", "Constructed"],
    "integer": ["Целое число", "Integer"],
    "index": ["Индекс", "Index"],
    "data": ["Данные", "Data"],
    "value": ["Значение", "Value"],
    "type": ["Тип", "Type"],
    "Signature": ["Электронная подпись", "Digital signature"],
    "MemberStateCertificate": ["Сертификат государства-члена", "Member state certificate"],
    "VUCertificate": ["Сертификат тахографа", "Tachograph certificate"],
    "VehicleIdentification": ["Идентификация транспортного средства", "Vehicle identification"],
    "CurrentDateTime": ["Текущие дата и время", "Current date and time"],
    "VUDownloadablePeriod": ["Загружаемый период", "Downloadable period"],
    "CardSlotsStatus": ["Состояние слотов карт", "Card slots status"],
    "VUDownloadActivityData": ["Данные загрузки активности", "Activity download data"],
    "VUCompanyLocksData": ["Блокировки компании", "Company locks"],
    "VUControlActivityData": ["Данные контрольной активности", "Control activity data"],
    "DayInformation": ["Информация о дне", "Day information"],
    "VUCardIWData": ["Данные карты ИУ тахографа", "VU card IW data"],
    "VUActivityDailyData": ["Ежедневные данные активности", "Daily activity data"],
    "VUPlaceDailyWorkPeriodData": ["Места рабочего периода", "Work period places"],
    "VUSpecificConditionData": ["Данные специальных условий", "Specific conditions"],
    "VUFaultData": ["Данные неисправностей тахографа", "Tachograph fault data"],
    "VUEventData": ["Данные событий тахографа", "Tachograph event data"],
    "VUOverSpedingControlData": ["Контроль превышения скорости", "Overspeeding control"],
    "VUOverSpedingEventData": ["Превышение скорости", "Overspeeding events"],
    "VUTimeAdjustmentData": ["Корректировки времени", "Time adjustments"],
    "VUDetailedSpeedData": ["Детальная скорость", "Detailed speed"],
    "VUIdentification": ["Идентификация тахографа", "Tachograph identification"],
    "SensorPaired": ["Сопряжённый датчик", "Paired sensor"],
    "VUCalibrationData": ["Калибровочные данные", "Calibration data"],
    "TachoVUIdentification": ["Идентификация тахографа", "Tachograph identification"],
    "recordCount": ["Количество записей", "Record count"],
    "recordLength": ["Длина записи", "Record length"],
    "occurrence": ["Экземпляр", "Occurrence"],
    "dayInformation": ["Информация о дне", "Day information"],
    "activityDaily": ["Ежедневная активность", "Daily activity"],
    "specificConditions": ["Особые условия", "Specific conditions"],
    "eventRecordPurpose": ["Назначение записи события", "Event record purpose"],
    "faultRecordPurpose": ["Назначение записи неисправности", "Fault record purpose"],

    // Further names the decoders write into description fields.
    "driverCardNumber": ["Номер карты водителя", "Driver card number"],
    "ICC": ["ICC", "ICC"],
    "IC": ["IC", "IC"],

    // Section names of card files and transfer blocks, as the file splitter writes them.
    "Идентификация приложения": ["Идентификация приложения", "Application identification"],
    "События": ["События", "Events"],
    "Неисправности": ["Неисправности", "Faults"],
    "Активность водителя": ["Активность водителя", "Driver activity"],
    "Использованные ТС": ["Использованные ТС", "Vehicles used"],
    "Места": ["Места", "Places"],
    "Текущее использование": ["Текущее использование", "Current usage"],
    "Контрольная активность": ["Контрольная активность", "Control activity"],
    "Загрузка карты": ["Загрузка карты", "Card download"],
    "Идентификация карты": ["Идентификация карты", "Card identification"],
    "Водительское удостоверение": ["Водительское удостоверение", "Driving licence"],
    "Особые условия": ["Особые условия", "Specific conditions"],
    "Использованные тахографы": ["Использованные тахографы", "Vehicle units used"],
    "Места GNSS": ["Места GNSS", "GNSS places"],
    "Сертификат карты": ["Сертификат карты", "Card certificate"],
    "Сертификат подписи карты": ["Сертификат подписи карты", "Card signature certificate"],
    "Сертификат удостоверяющего центра": ["Сертификат удостоверяющего центра", "Certification authority certificate"],
    "Связующий сертификат": ["Связующий сертификат", "Link certificate"],
    "Неразобранные данные": ["Неразобранные данные", "Unparsed data"],
    "Обзор": ["Обзор", "Overview"],
    "Активность": ["Активность", "Activities"],
    "События и неисправности": ["События и неисправности", "Events and faults"],
    "Детальная скорость": ["Детальная скорость", "Detailed speed"],
    "Технические данные": ["Технические данные", "Technical data"],

    // Record arrays of second-generation transfer blocks.
    "ActivityChangeInfo": ["Изменения активности", "Activity changes"],
    "OdometerValueMidnight": ["Одометр на полночь", "Odometer at midnight"],
    "DateOfDayDownloaded": ["Дата загруженного дня", "Date of day downloaded"],
    "SpecificConditionRecord": ["Запись особого условия", "Specific condition record"],
    "VehicleIdentificationNumber": ["Идентификационный номер ТС (VIN)", "Vehicle identification number (VIN)"],
    "VehicleRegistrationNumber": ["Регистрационный номер ТС", "Vehicle registration number"],
    "VehicleRegistrationIdentification": ["Регистрация ТС", "Vehicle registration"],
    "VuCalibrationRecord": ["Запись калибровки", "Calibration record"],
    "VuCardIWRecord": ["Запись вставки и извлечения карты", "Card insertion and withdrawal record"],
    "VuCardRecord": ["Запись карты", "Card record"],
    "VuCertificate": ["Сертификат тахографа", "Tachograph certificate"],
    "VuCompanyLocksRecord": ["Запись блокировки компании", "Company lock record"],
    "VuControlActivityRecord": ["Запись контрольной активности", "Control activity record"],
    "VuDetailedSpeedBlock": ["Блок детальной скорости", "Detailed speed block"],
    "VuDownloadablePeriod": ["Загружаемый период", "Downloadable period"],
    "VuDownloadActivityData": ["Данные загрузки активности", "Activity download data"],
    "VuEventRecord": ["Запись события", "Event record"],
    "VuGNSSADRecord": ["Запись GNSS при непрерывном вождении", "GNSS accumulated driving record"],
    "VuITSConsentRecord": ["Согласие на передачу данных ITS", "ITS consent record"],
    "VuFaultRecord": ["Запись неисправности", "Fault record"],
    "VuIdentification": ["Идентификация тахографа", "Tachograph identification"],
    "VuOverSpeedingControlData": ["Контроль превышения скорости", "Overspeeding control"],
    "VuOverSpeedingEventRecord": ["Запись превышения скорости", "Overspeeding event record"],
    "VuPlaceDailyWorkPeriodRecord": ["Запись места рабочего периода", "Work period place record"],
    "VuTimeAdjustmentGNSSRecord": ["Корректировка времени по GNSS", "GNSS time adjustment record"],
    "VuTimeAdjustmentRecord": ["Запись корректировки времени", "Time adjustment record"],
    "VuPowerSupplyInterruptionRecord": ["Перерыв электропитания", "Power supply interruption record"],
    "SensorPairedRecord": ["Запись сопряжения датчика", "Sensor pairing record"],
    "SensorExternalGNSSCoupledRecord": ["Сопряжение внешнего GNSS", "External GNSS coupling record"],
    "VuBorderCrossingRecord": ["Пересечение границы", "Border crossing record"],
    "VuLoadUnloadRecord": ["Погрузка и разгрузка", "Load and unload record"]
};

// Section names carry their kind after the file's name ("События (подпись)") or name a file by its number.
var nameSuffixes = [
    [" (поколение 2, подпись)", " (generation 2, signature)"],
    [" (поколение 2, версия 2)", " (generation 2, version 2)"],
    [" (поколение 2)", " (generation 2)"],
    [" (подпись)", " (signature)"]
];

var numberedNames = [
    [/^Файл ([0-9A-F]{4})$/, "Файл $1", "File $1"],
    [/^Блок (76[0-9A-F]{2})$/, "Блок $1", "Block $1"],
    [/^RecordType (0x[0-9a-fA-F]+)$/, "Тип записи $1", "Record type $1"]
];

// The label of a field name in the chosen language; a name without a label is made readable instead.
function fieldLabel(name, english) {
    var text = name === undefined || name === null ? "" : String(name);
    var entry = labels.hasOwnProperty(text) ? labels[text] : null;
    if (entry)
        return english ? entry[1] : entry[0];
    for (var i = 0; i < nameSuffixes.length; ++i) {
        var suffix = nameSuffixes[i][0];
        var base = text.slice(0, text.length - suffix.length);
        if (text.length > suffix.length && text.slice(-suffix.length) === suffix && labels.hasOwnProperty(base))
            return fieldLabel(base, english) + (english ? nameSuffixes[i][1] : suffix);
    }
    var typed = /^(.+) \(тип (\d+)\)$/.exec(text);
    if (typed)
        return fieldLabel(typed[1], english) + (english ? " (type " + typed[2] + ")" : " (тип " + typed[2] + ")");
    for (var n = 0; n < numberedNames.length; ++n) {
        if (numberedNames[n][0].test(text))
            return text.replace(numberedNames[n][0], english ? numberedNames[n][2] : numberedNames[n][1]);
    }
    return readableName(text, english);
}

// "someFieldName" -> "some Field Name"; "_" becomes a space; English raises the first letter.
function readableName(name, english) {
    var text = String(name).replace(/([a-zа-яё])([A-ZА-ЯЁ])/g, "$1 $2").replace(/_/g, " ");
    if (english && text.length > 0)
        text = text.charAt(0).toUpperCase() + text.slice(1);
    return text;
}
