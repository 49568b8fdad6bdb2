#include "documents/ddd_report_renderer.h"

#include "ddd/checked_growth.h"
#include "ddd/ddd_readers.h"
#include "documents/ddd_report_renderer_p.h"
#include "storage/checked_save_file.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <exception>
#include <new>

using namespace Qt::StringLiterals;

namespace tessaron::documents {

namespace {

using ddd::DddReport;
using KeyValuePairs = QList<QPair<QString, QString>>;

bool isFractional(const QVariant &value)
{
    const int type = value.typeId();
    return type == QMetaType::Double || type == QMetaType::Float;
}

// A value's own text; a double (an average) as decimalText.
QString valueText(const QVariant &value)
{
    return isFractional(value) ? decimalText(value.toDouble()) : value.toString();
}

// A list's items as their plain texts joined by ", " (nested values are not formatted).
QString joinedItems(const QVariant &value)
{
    QStringList parts;
    const QVariantList items = value.toList();
    ddd::reserveChecked(parts, items.size());
    for (const QVariant &item : items)
        parts.append(valueText(item));
    return parts.join(u", "_s);
}

QString plainText(const QVariant &value)
{
    return isList(value) ? joinedItems(value) : valueText(value);
}

QString mapEntriesText(const QVariantMap &map)
{
    QStringList parts;
    ddd::reserveChecked(parts, map.size());
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        parts.append(it.key() + u": "_s + scalarText(it.value()));
    return parts.join(u"; "_s);
}

QString count(const QVariantList &rows)
{
    return QString::number(rows.size());
}

QString dataPeriod(const DddReport &report)
{
    return u"%1 - %2"_s.arg(report.dataStartDate, report.dataEndDate);
}

KeyValuePairs basicInfo(const DddReport &report)
{
    if (report.fileType == ddd::DddFileType::DriverCard) {
        const QString name = report.driverName.isEmpty()
            ? u"%1 %2"_s.arg(report.driverSurname, report.driverFirstName).trimmed()
            : report.driverName;
        return {
            {u"ФИО водителя"_s, name},
            {u"Номер карты"_s, report.cardNumber},
            {u"Компания"_s, report.issuingAuthorityName},
            {u"Дата рождения"_s, report.birthDate},
            {u"Срок действия карты"_s, report.expiryDate},
            {u"Номер водительского удостоверения"_s, report.drivingLicenceNumber},
            {u"Орган выдачи"_s, report.drivingLicenceIssuingAuthority},
            {u"Период данных"_s, dataPeriod(report)},
        };
    }
    return {
        {u"VIN"_s, report.vin},
        {u"Регистрационный номер"_s, report.registrationNumber},
        {u"Страна регистрации"_s, report.vehicleRegistrationNation},
        {u"Период данных"_s, dataPeriod(report)},
        {u"Следующая калибровка"_s, report.nextCalibrationDate},
    };
}

KeyValuePairs statistics(const DddReport &report)
{
    if (report.fileType == ddd::DddFileType::DriverCard) {
        return {
            {u"События"_s, count(report.events)},
            {u"Неисправности"_s, count(report.faults)},
            {u"Транспортные средства"_s, count(report.vehicles)},
            {u"Записи активности"_s, count(report.activities)},
            {u"Изменения активности"_s, count(report.activityChanges)},
            {u"Пробег, км"_s, QString::number(report.totalDistanceKm)},
        };
    }
    return {
        {u"События"_s, count(report.tachoEvents)},
        {u"Неисправности"_s, count(report.tachoFaults)},
        {u"Превышения скорости"_s, count(report.overSpeedingEvents)},
        {u"Калибровки"_s, count(report.calibrationData)},
        {u"Дни"_s, count(report.dayInformation)},
        {u"Средняя скорость, км/ч"_s, decimalText(report.averageSpeed)},
        {u"Максимальная скорость, км/ч"_s, QString::number(report.maxSpeed)},
        {u"Пробег, км"_s, QString::number(report.totalDistanceKm)},
    };
}

struct Column
{
    QString header;
    QLatin1StringView key;
};

enum class SectionKind { BasicInfo, Statistics, Columns, Generic };

// One section of a layout. Columns tables show the named row keys; generic tables one cell per row under the
// single header.
struct ReportSection
{
    QString key;
    QString heading;
    SectionKind kind = SectionKind::Generic;
    QVariantList DddReport::*dataset = nullptr;
    QList<Column> columns = {};
    QString genericHeader = u"Данные"_s;
};

const QList<ReportSection> &vehicleUnitLayout()
{
    static const QList<ReportSection> layout = {
        {u"basicInfo"_s, u"Основная информация"_s, SectionKind::BasicInfo},
        {u"statistics"_s, u"Статистика"_s, SectionKind::Statistics},
        {u"tachoEvents"_s, u"События тахографа"_s, SectionKind::Columns, &DddReport::tachoEvents,
            {{u"Тип"_s, "eventType"_L1}, {u"Назначение"_s, "eventRecordPurpose"_L1}, {u"Начало"_s, "eventBeginTime"_L1},
                {u"Окончание"_s, "eventEndTime"_L1}}},
        {u"tachoFaults"_s, u"Неисправности тахографа"_s, SectionKind::Columns, &DddReport::tachoFaults,
            {{u"Тип"_s, "faultType"_L1}, {u"Назначение"_s, "faultRecordPurpose"_L1}, {u"Начало"_s, "faultBeginTime"_L1},
                {u"Окончание"_s, "faultEndTime"_L1}}},
        {u"overspeed"_s, u"Превышения скорости"_s, SectionKind::Columns, &DddReport::overSpeedingEvents,
            {{u"Тип"_s, "eventType1"_L1}, {u"Начало"_s, "eventBeginTime1"_L1}, {u"Окончание"_s, "eventEndTime1"_L1},
                {u"Макс. скорость"_s, "maxSpeedValue"_L1}, {u"Средняя скорость"_s, "averageSpeedValue"_L1}}},
        {u"calibration"_s, u"Данные калибровки"_s, SectionKind::Columns, &DddReport::calibrationData,
            {{u"Назначение"_s, "calibrationPurpose"_L1}, {u"VIN"_s, "vehicleIdentificationNumber"_L1},
                {u"Рег. номер"_s, "vehicleRegistrationNumber"_L1}, {u"W"_s, "wVehicleCharacteristicConstant"_L1},
                {u"K"_s, "kConstantOfRecordingEquipment"_L1}, {u"L"_s, "iTyreCircumference"_L1},
                {u"Следующая дата"_s, "nextCalibrationDate"_L1}}},
        {u"activity"_s, u"Ежедневная активность"_s, SectionKind::Columns, &DddReport::activityDaily,
            {{u"День"_s, "dayNo"_L1}, {u"Время"_s, "timeOfChange"_L1}, {u"Карта"_s, "cardStatus"_L1},
                {u"Активность"_s, "activity"_L1}}},
        {u"places"_s, u"Места рабочего периода"_s, SectionKind::Columns, &DddReport::placeDailyWorkPeriod,
            {{u"День"_s, "dayNo"_L1}, {u"Время"_s, "entryTime"_L1}, {u"Операция"_s, "entryTypeDailyWorkPeriod"_L1},
                {u"Страна"_s, "dailyWorkPeriodCountry"_L1}, {u"Одометр"_s, "vehicleOdometerValue"_L1}}},
        {u"detailedSpeed"_s, u"Детальная скорость"_s, SectionKind::Columns, &DddReport::detailedSpeed,
            {{u"Начало блока"_s, "speedBlockBeginDate"_L1}, {u"Средняя"_s, "averageSpeed"_L1},
                {u"Максимальная"_s, "maxSpeed"_L1}, {u"Значения"_s, "speedsPerSecond"_L1}}},
        {u"specificConditions"_s, u"Специальные условия"_s, SectionKind::Columns, &DddReport::specificConditions,
            {{u"День"_s, "dayNo"_L1}, {u"Время"_s, "entryTime"_L1}, {u"Условие"_s, "specificConditionType"_L1}}},
        {u"vuIdentification"_s, u"Информация VU"_s, SectionKind::Generic, &DddReport::vuIdentification},
        {u"sensor"_s, u"Сопряжённый датчик"_s, SectionKind::Generic, &DddReport::sensorPaired},
        {u"downloadActivity"_s, u"Активность выгрузки"_s, SectionKind::Generic, &DddReport::downloadActivity},
        {u"companyLocks"_s, u"Блокировки компании"_s, SectionKind::Generic, &DddReport::companyLocks},
        {u"controlActivity"_s, u"Контрольная активность"_s, SectionKind::Generic, &DddReport::controlActivity},
        {u"currentUsage"_s, u"Текущее использование"_s, SectionKind::Generic, &DddReport::currentUsage},
        {u"timeAdjustments"_s, u"Корректировки времени"_s, SectionKind::Generic, &DddReport::timeAdjustments},
        {u"cardIwData"_s, u"Card IW"_s, SectionKind::Generic, &DddReport::cardIwData},
        {u"dayInformation"_s, u"Дни тахографа"_s, SectionKind::Generic, &DddReport::dayInformation},
    };
    return layout;
}

const QList<ReportSection> &driverCardLayout()
{
    static const QList<ReportSection> layout = {
        {u"basicInfo"_s, u"Основная информация"_s, SectionKind::BasicInfo},
        {u"statistics"_s, u"Статистика"_s, SectionKind::Statistics},
        {u"events"_s, u"События"_s, SectionKind::Columns, &DddReport::events,
            {{u"Тип"_s, "eventType"_L1}, {u"Начало"_s, "eventBeginTime"_L1}, {u"Окончание"_s, "eventEndTime"_L1},
                {u"ТС"_s, "vehicleRegistrationNumber"_L1}}},
        {u"faults"_s, u"Неисправности"_s, SectionKind::Columns, &DddReport::faults,
            {{u"Тип"_s, "faultType"_L1}, {u"Начало"_s, "faultBeginTime"_L1}, {u"Окончание"_s, "faultEndTime"_L1},
                {u"ТС"_s, "faultVehicleRegistrationNumber"_L1}}},
        {u"vehicles"_s, u"Использованные транспортные средства"_s, SectionKind::Columns, &DddReport::vehicles,
            {{u"Рег. номер"_s, "vehicleRegistrationNumber1"_L1}, {u"Начало одометра"_s, "vehicleOdometerBegin"_L1},
                {u"Конец одометра"_s, "vehicleOdometerEnd"_L1}, {u"Первое использование"_s, "vehicleFirstUsed"_L1},
                {u"Последнее использование"_s, "vehicleLastUsed"_L1}}},
        {u"activity"_s, u"Изменения активности"_s, SectionKind::Columns, &DddReport::activityChanges,
            {{u"День"_s, "activityDailyPresenceCounter1"_L1}, {u"Время"_s, "time"_L1}, {u"Карта"_s, "cardStatus"_L1},
                {u"Активность"_s, "activity"_L1}}},
        {u"places"_s, u"Места рабочего периода"_s, SectionKind::Columns, &DddReport::places,
            {{u"Время"_s, "entryTime"_L1}, {u"Операция"_s, "entryTypeDailyWorkPeriod"_L1},
                {u"Страна"_s, "dailyWorkPeriodCountry"_L1}, {u"Одометр"_s, "vehicleOdometerValue"_L1}}},
        {u"icc"_s, u"ICC"_s, SectionKind::Generic, &DddReport::cardIcc},
        {u"ic"_s, u"IC"_s, SectionKind::Generic, &DddReport::cardIc},
        {u"applicationIdentification"_s, u"Идентификация приложения"_s, SectionKind::Generic,
            &DddReport::applicationIdentification},
        {u"cardIdentification"_s, u"Идентификация карты"_s, SectionKind::Generic, &DddReport::cardIdentification},
        {u"cardDownload"_s, u"Загрузка карты"_s, SectionKind::Generic, &DddReport::cardDownload},
        {u"drivingLicence"_s, u"Водительское удостоверение"_s, SectionKind::Generic, &DddReport::drivingLicence},
        {u"asn1"_s, u"ASN.1 поля"_s, SectionKind::Generic, &DddReport::asn1Fields, {}, u"Путь и значение"_s},
    };
    return layout;
}

void drawSection(ReportPainter &painter, const ReportSection &section, const DddReport &report)
{
    switch (section.kind) {
    case SectionKind::BasicInfo:
        painter.section(section.heading);
        painter.keyValues(basicInfo(report));
        return;
    case SectionKind::Statistics:
        painter.section(section.heading);
        painter.keyValues(statistics(report));
        return;
    case SectionKind::Columns: {
        QStringList headers;
        KeyNames keys;
        for (const Column &column : section.columns) {
            headers.append(column.header);
            keys.append(column.key);
        }
        painter.table(section.heading, headers, rowsFor(report.*section.dataset, keys));
        return;
    }
    case SectionKind::Generic:
        painter.table(section.heading, {section.genericHeader}, genericRows(report.*section.dataset));
        return;
    }
}

void drawTitleBlock(ReportPainter &painter, const DddReport &report)
{
    const QString truncation = report.truncationText();
    painter.ensureRoom(truncation.isEmpty() ? 56.0 : 76.0);
    const double width = painter.pageWidth - 2.0 * painter.leftMargin;
    QPainter *p = painter.painter;
    p->setPen(Qt::black);
    p->setFont(ReportPainter::font(16, true));
    const QString title
        = report.fileType == ddd::DddFileType::DriverCard ? u"ОТЧЁТ ПО КАРТЕ ВОДИТЕЛЯ"_s : u"ОТЧЁТ ПО ТАХОГРАФУ"_s;
    p->drawText(QRectF(painter.leftMargin, painter.y, width, 24.0), Qt::AlignCenter, title);
    painter.y += 27.0;

    p->setFont(ReportPainter::font(9, false));
    p->setPen(QColor(0x55, 0x55, 0x55));
    const QString source = report.fileName.isEmpty() ? u"сохранённый отчёт"_s : report.fileName;
    const QString when = ddd::currentDateTime().toLocalTime().toString(u"dd.MM.yyyy HH:mm"_s);
    p->drawText(QRectF(painter.leftMargin, painter.y, width, 16.0), Qt::AlignCenter, u"%1 | %2"_s.arg(source, when));
    painter.y += 25.0;
    // A report of a file cut inside a block says so on paper too, as the viewer does, whether it was decoded just now
    // or reopened from the archive.
    if (!truncation.isEmpty()) {
        p->setFont(ReportPainter::font(9, true));
        p->setPen(QColor(0xa0, 0x60, 0x00));
        p->drawText(QRectF(painter.leftMargin, painter.y, width, 16.0), Qt::AlignCenter, truncation);
        painter.y += 20.0;
    }
    p->setPen(Qt::black);
}

// Draws the whole report on an open painter.
void drawReport(ReportPainter &painter, const DddReport &report, const QVariantMap &options)
{
    drawTitleBlock(painter, report);
    const bool card = report.fileType == ddd::DddFileType::DriverCard;
    for (const ReportSection &section : card ? driverCardLayout() : vehicleUnitLayout()) {
        if (includes(options, section.key))
            drawSection(painter, section, report);
    }
    if (includes(options, u"analysis"_s))
        addAnalysis(painter, report.analysis);
    addRequestedCharts(painter, report, options);
    painter.drawFooter();
}

} // namespace

bool isList(const QVariant &value)
{
    const int type = value.typeId();
    return type == QMetaType::QVariantList || type == QMetaType::QStringList;
}

QStringList optionList(const QVariantMap &options, const QString &name)
{
    const QVariant value = options.value(name);
    QStringList list = value.toStringList();
    if (list.isEmpty()) {
        const QVariantList items = value.toList();
        for (const QVariant &item : items)
            list.append(item.toString());
    }
    return list;
}

bool includes(const QVariantMap &options, const QString &key)
{
    if (options.isEmpty() || !options.contains(u"sections"_s))
        return true;
    const QStringList sections = optionList(options, u"sections"_s);
    return sections.contains(u"all"_s) || sections.contains(key);
}

QString scalarText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (isList(value)) {
        QStringList parts;
        const QVariantList items = value.toList();
        ddd::reserveChecked(parts, items.size());
        for (const QVariant &item : items)
            parts.append(scalarText(item));
        return parts.join(u", "_s);
    }
    if (value.typeId() == QMetaType::QVariantMap)
        return mapEntriesText(value.toMap());
    return valueText(value);
}

QString decimalText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // Rounded first, so 23.96 reads "24" and not "24,0", and -0.04 reads "0".
    const double rounded = std::round(value * 10.0) / 10.0 + 0.0;
    // Built once: a report's tables ask for it in every cell that holds a fraction.
    static const QLocale russian = [] {
        QLocale locale(QLocale::Russian);
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale;
    }();
    return russian.toString(rounded, 'f', rounded == std::trunc(rounded) ? 0 : 1);
}

QString mapText(const QVariantMap &map, const QString &key)
{
    return scalarText(map.value(key));
}

QList<QStringList> genericRows(const QVariantList &rows)
{
    QList<QStringList> result;
    ddd::reserveChecked(result, rows.size());
    for (const QVariant &row : rows)
        result.append(QStringList() << mapEntriesText(row.toMap()));
    return result;
}

QList<QStringList> rowsFor(const QVariantList &rows, const KeyNames &keys)
{
    QStringList names;
    for (const QLatin1StringView key : keys)
        names.append(key);
    QList<QStringList> result;
    ddd::reserveChecked(result, rows.size());
    for (const QVariant &row : rows) {
        const QVariantMap map = row.toMap();
        QStringList cells;
        ddd::reserveChecked(cells, names.size());
        for (const QString &name : names)
            cells.append(plainText(map.value(name)));
        result.append(cells);
    }
    return result;
}

QString rowValue(const QVariantMap &row, const KeyNames &keys)
{
    for (const QLatin1StringView key : keys) {
        const auto it = row.constFind(key);
        if (it != row.cend())
            return plainText(it.value());
    }
    return {};
}

void addAnalysis(ReportPainter &painter, const QVariantMap &analysis)
{
    if (analysis.isEmpty())
        return;
    painter.section(u"Анализ рабочего времени и нарушений"_s);
    const QVariantMap efficiency = analysis.value(u"efficiency"_s).toMap();
    const QVariantMap drivingCycles = analysis.value(u"drivingCycles"_s).toMap();
    const QVariantMap violations = analysis.value(u"violations"_s).toMap();
    const QVariantMap restBreaks = analysis.value(u"restBreaks"_s).toMap();
    const QVariantMap compliance = analysis.value(u"compliance"_s).toMap();
    painter.keyValues({
        {u"Рабочее время"_s, mapText(efficiency, u"totalWorkTime"_s)},
        {u"Время отдыха"_s, mapText(efficiency, u"totalRestTime"_s)},
        {u"Максимальное непрерывное вождение"_s, mapText(drivingCycles, u"maxContinuousDriving"_s)},
        {u"Недельное вождение"_s, mapText(drivingCycles, u"weeklyDrivingTime"_s)},
        {u"Двухнедельное вождение"_s, mapText(drivingCycles, u"biWeeklyDrivingTime"_s)},
        {u"Сверхурочное время"_s, mapText(violations, u"totalOvertime"_s)},
        {u"Короткие перерывы"_s, mapText(restBreaks, u"shortBreakCount"_s)},
        {u"Ежедневный отдых"_s, mapText(restBreaks, u"dailyRest"_s)},
        {u"Оценка соответствия"_s, mapText(compliance, u"overallScore"_s)},
    });
    painter.table(u"Рабочие дни"_s, {u"День"_s, u"Работа"_s, u"Отдых"_s, u"Начало"_s, u"Окончание"_s},
        rowsFor(analysis.value(u"workingHours"_s).toList(),
            {"dayNumber"_L1, "workTime"_L1, "restTime"_L1, "workStart"_L1, "workEnd"_L1}));

    const std::pair<QString, QString> messageTables[] = {
        {u"Нарушения"_s, u"violations"_s},
        {u"Предупреждения"_s, u"warnings"_s},
        {u"Рекомендации"_s, u"recommendations"_s},
    };
    for (const auto &[title, key] : messageTables) {
        QList<QStringList> rows;
        const QVariantList messages = compliance.value(key).toList();
        for (const QVariant &message : messages)
            rows.append(QStringList() << message.toString());
        painter.table(title, {u"Описание"_s}, rows);
    }
}

namespace {

// Ends the painting without the PDF engine's last writes when an exception unwinds past it. Memory that ran out
// inside the engine leaves it halfway through a page: ended as usual it would write on and fail again, inside the
// painter's destructor, which ends the program. Dropped, the engine writes nothing more (Qt then warns that the
// writer goes while painted on), and the save file discards its temporary copy.
class PainterUnwindGuard
{
public:
    explicit PainterUnwindGuard(QPainter &painter)
        : m_painter(painter)
    { }
    PainterUnwindGuard(const PainterUnwindGuard &) = delete;
    PainterUnwindGuard &operator=(const PainterUnwindGuard &) = delete;
    ~PainterUnwindGuard()
    {
        if (std::uncaught_exceptions() > m_exceptions && m_painter.isActive()) {
            m_painter.paintEngine()->setActive(false);
            m_painter.end();
        }
    }

private:
    QPainter &m_painter;
    const int m_exceptions = std::uncaught_exceptions();
};

bool writeReportPdf(const QString &filePath, const DddReport &report, const QVariantMap &options, QString *error)
{
    const QString failure = u"Не удалось создать PDF отчёта: %1"_s.arg(filePath);
    const auto fail = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    storage::CheckedSaveFile file(filePath);
    if (!file.open())
        return fail(failure);

    QPdfWriter writer(file.device());
    const bool card = report.fileType == ddd::DddFileType::DriverCard;
    writer.setTitle(card ? u"Отчёт по карте водителя"_s : u"Отчёт по тахографу"_s);
    writer.setCreator(u"TessaronQt"_s);
    writer.setResolution(72);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
        QPageLayout::Point, QMarginsF(0, 0, 0, 0)));

    QPainter painter;
    const PainterUnwindGuard unwindGuard(painter);
    if (!painter.begin(&writer))
        return fail(failure);
    ReportPainter reportPainter;
    reportPainter.painter = &painter;
    reportPainter.device = &writer;
    reportPainter.pageWidth = writer.width();
    reportPainter.pageHeight = writer.height();
    drawReport(reportPainter, report, options);
    // A write that failed part-way (a full disk) shows only here; the save file then removes its temporary copy
    // and an earlier report at filePath stays as it was.
    if (!painter.end() || !file.commit())
        return fail(file.failure(failure, u"documents"_s));
    return true;
}

} // namespace

bool DddReportRenderer::writePdf(
    const QString &filePath, const DddReport &report, const QVariantMap &options, QString *error)
{
    // The rows' texts and the chart samples grow with the report. Running out of memory for them unwinds through the
    // save file, which drops its temporary copy unwritten: the earlier file at filePath stays.
    try {
        return writeReportPdf(filePath, report, options, error);
    } catch (const std::bad_alloc &) {
        if (error)
            *error = u"Не удалось создать PDF отчёта: недостаточно памяти"_s;
        return false;
    }
}

bool DddReportRenderer::writePdf(const QString &filePath, const DddReport &report, QString *error)
{
    return writePdf(filePath, report, QVariantMap(), error);
}

} // namespace tessaron::documents
