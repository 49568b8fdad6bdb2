#include "qml_documents_controller.h"

#include "ddd/ddd_readers.h"
#include "documents/document_renderer.h"
#include "logging/shown_failure.h"
#include "storage/app_paths.h"
#include "storage/calibration_repository.h"
#include "storage/certificate_field.h"
#include "storage/certificate_repository.h"
#include "storage/certificate_xml_storage.h"
#include "storage/customer_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "storage/stored_date_time.h"

#include <QDate>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace tessaron::qml {

namespace {

using storage::CertificateField;

// The certificate values copied unchanged from a calibration record key.
constexpr std::array<std::pair<CertificateField, QStringView>, 19> copiedFields = {{
    {CertificateField::OrderNumber, u"OrderNumber"},
    {CertificateField::CustomerName, u"CustomerName"},
    {CertificateField::VehicleVin, u"VehicleIdentificationNumber"},
    {CertificateField::VehicleTyreMarking, u"TyreSize"},
    {CertificateField::VehicleModel, u"VehicleModel"},
    {CertificateField::VehicleRegNumber, u"VehicleRegistrationNumber"},
    {CertificateField::VehicleOdometr, u"HighResOdometer"},
    {CertificateField::TachographManufacture, u"VuManufacturerName"},
    {CertificateField::TachographSerialNumber, u"VuSerialNumber"},
    {CertificateField::TachographSkzi, u"SkziNumber"},
    {CertificateField::TachographDateOfManufacture, u"VuManufacturingDate"},
    {CertificateField::TachographSettingsW, u"WVehicleCharacteristicConstant"},
    {CertificateField::TachographSettingsK, u"KConstantOfRecordingEquipment"},
    {CertificateField::TachographSettingsL, u"LTyreCircumference"},
    {CertificateField::TachographSettingsNextCalibr, u"NextCalibrationDate"},
    {CertificateField::VehicleMark, u"VehicleMark"},
    {CertificateField::OrderDate, u"RecordDateTime"},
    {CertificateField::OrderMaster, u"OrderMaster"},
    {CertificateField::OrderResponsible, u"OrderResponsible"},
}};

// The values the page shows in place of an empty field; they apply only while the record lacks the key.
constexpr std::array<std::pair<CertificateField, QStringView>, 4> defaultedFields = {{
    {CertificateField::Inspection, u"Нет"},
    {CertificateField::Manipulation, u"Нет"},
    {CertificateField::SetupTable, u"Стойка двери водителя"},
    {CertificateField::Note, u"Эксплуатация только на территории РФ."},
}};

QString fieldName(CertificateField field)
{
    return storage::certificateFieldName(field);
}

// A stored date as the list shows it: "dd.MM.yyyy HH:mm" when it has a time, "dd.MM.yyyy" when not; a text
// that is no date stays as it is. The text is read as the date and time it writes, never through local time.
QString documentDate(const QVariant &value)
{
    const QString text = value.toString().trimmed();
    if (text.isEmpty())
        return {};
    const QDateTime dateTime
        = value.metaType().id() == QMetaType::QDateTime ? value.toDateTime() : storage::isoDateTime(text);
    if (!dateTime.isValid())
        return text;
    return dateTime.toString(text.contains(u':') ? u"dd.MM.yyyy HH:mm"_s : u"dd.MM.yyyy"_s);
}

const QString nextCalibrationKey = u"NextCalibrationDate"_s;

enum class ValueKind { WholeNumber, Date };

// The form values a document prints as numbers or as a date, with the names the form gives them.
struct CheckedValue
{
    QStringView key;
    QStringView label;
    ValueKind kind;
};

constexpr std::array<CheckedValue, 4> checkedValues = {{
    {u"WVehicleCharacteristicConstant", u"W", ValueKind::WholeNumber},
    {u"KConstantOfRecordingEquipment", u"K", ValueKind::WholeNumber},
    {u"LTyreCircumference", u"L", ValueKind::WholeNumber},
    {u"NextCalibrationDate", u"Следующая настройка", ValueKind::Date},
}};

// Why the value cannot be printed as its kind; empty when it can.
QString valueProblem(const QVariant &value, ValueKind kind)
{
    static const QRegularExpression digits(u"^[0-9]+$"_s);
    const QString text = value.toString().trimmed();
    switch (kind) {
    case ValueKind::WholeNumber:
        if (text.isEmpty())
            return u"Заполните: целое число"_s;
        return digits.match(text).hasMatch() ? QString() : u"Введите целое число, без букв и знаков"_s;
    case ValueKind::Date:
        if (text.isEmpty())
            return u"Заполните: дата в формате ДД.ММ.ГГГГ"_s;
        return storage::certificateFieldDate(text).isValid() ? QString()
                                                             : u"Введите существующую дату в формате ДД.ММ.ГГГГ"_s;
    }
    return {};
}

// The workshop settings a document prints, with the names the settings page gives them.
QList<std::pair<QString, QString>> workshopDetails()
{
    namespace keys = storage::settings;
    return {
        {keys::workshopMark, u"Клеймо мастерской"_s},
        {keys::workshopName, u"Название мастерской"_s},
        {keys::workshopPost, u"Почтовый индекс"_s},
        {keys::workshopCity, u"Город"_s},
        {keys::workshopStreet, u"Улица и дом"_s},
        {keys::workshopPhone, u"Телефон"_s},
    };
}

QVariantMap listRow(const QVariantMap &record)
{
    return {
        {u"id"_s, record.value(u"Id"_s)},
        {u"order"_s, record.value(u"OrderNumber"_s)},
        {u"customer"_s, record.value(u"CustomerName"_s).toString()},
        {u"date"_s, documentDate(record.value(u"RecordDateTime"_s))},
        {u"serial"_s, record.value(u"VuSerialNumber"_s).toString()},
        {u"nextCalibration"_s, documentDate(record.value(u"NextCalibrationDate"_s))},
        {u"vehicle"_s, record.value(u"VehicleRegistrationNumber"_s)},
    };
}

// A part of a document's file name: every character but ASCII letters and digits, the Cyrillic letters А-я
// (Ё and ё are outside that range) and "_", "." and "-" becomes "_".
QString fileNamePart(const QString &text)
{
    static const QRegularExpression unsafe(u"[^0-9A-Za-zА-Яа-я_.-]"_s);
    return QString(text).replace(unsafe, u"_"_s);
}

// The order date as the file name carries it: an ISO date-time (Qt reads a space in place of the "T" too) as
// "dd_MM_yyyy", anything else as it is; today when nothing is left.
QString fileDatePart(const QString &orderDate)
{
    const QDateTime dateTime = storage::isoDateTime(orderDate);
    const QString part = fileNamePart(dateTime.isValid() ? dateTime.toString(u"dd_MM_yyyy"_s) : orderDate);
    return part.isEmpty() ? ddd::currentDateTime().toString(u"dd_MM_yyyy"_s) : part;
}

documents::DocumentType documentType(bool sticker)
{
    return sticker ? documents::DocumentType::Sticker : documents::DocumentType::Certificate;
}

// Every value of the map through storage::certificateValue.
QVariantMap certificateValues(QVariantMap values)
{
    for (auto it = values.begin(); it != values.end(); ++it)
        it.value() = storage::certificateValue(it.value());
    return values;
}

// The sentence with its first letter in lower case, to follow a colon.
QString continued(const QString &sentence)
{
    return sentence.left(1).toLower() + sentence.mid(1);
}

// What the technician is told about values that run out of their boxes, naming them by their Russian labels.
QString unfitWarning(const QList<CertificateField> &fields)
{
    if (fields.isEmpty())
        return {};
    QStringList labels;
    for (const CertificateField field : fields)
        labels.append(u"«%1»"_s.arg(storage::certificateFieldLabel(field)));
    if (fields.size() == 1) {
        return u"Значение не помещается в своё поле документа даже мелким шрифтом и заходит на соседние строки: "
               "%1. Сократите его и создайте документ заново"_s.arg(labels.constFirst());
    }
    return u"Значения не помещаются в свои поля документа даже мелким шрифтом и заходят на соседние строки: %1. "
           "Сократите их и создайте документ заново"_s.arg(labels.join(u", "_s));
}

void removePreviewFile(const QString &source)
{
    if (!source.isEmpty())
        QFile::remove(QUrl(source).toLocalFile());
}

} // namespace

QmlDocumentsController::QmlDocumentsController(QObject *parent)
    : QObject(parent)
    , m_statusText(u"Откройте раздел документов для загрузки списка"_s)
{ }

QmlDocumentsController::~QmlDocumentsController()
{
    removePreviewFile(m_previewSource);
}

void QmlDocumentsController::ensureRepositories()
{
    if (!m_calibrations) {
        m_calibrations = std::make_unique<storage::CalibrationRepository>();
        // Told once, when the page first needs the journal: what it holds still shows, writes will fail. The
        // store's own sentence names its file and what is wrong with it.
        const QString problem = m_calibrations->lastError();
        if (!m_calibrations->isOpen())
            report(problem.isEmpty() ? u"Не удалось открыть журнал калибровок"_s : problem, m_statusText);
        else if (m_calibrations->isReadOnly())
            report(problem.isEmpty() ? u"Журнал калибровок доступен только для чтения"_s : problem, m_statusText);
    }
    if (!m_certificates)
        m_certificates = std::make_unique<storage::CertificateRepository>();
    if (!m_customers)
        m_customers = std::make_unique<storage::CustomerRepository>();
}

void QmlDocumentsController::report(const QString &error, const QString &status)
{
    m_lastError = error;
    m_statusText = status;
    Q_EMIT selectedChanged();
    Q_EMIT statusChanged();
}

void QmlDocumentsController::refresh(const QString &tachoFilter, const QString &customerFilter)
{
    ensureRepositories();
    m_records.clear();
    m_registrationFilter = tachoFilter;
    m_customerFilter = customerFilter;
    m_filtered = !tachoFilter.trimmed().isEmpty() || !customerFilter.trimmed().isEmpty();
    const QList<QVariantMap> found = m_calibrations->searchSuccessfulCalibrations(tachoFilter, customerFilter);
    for (const QVariantMap &record : found)
        m_records.append(listRow(record));
    m_statusText = (m_filtered ? u"Найдено записей: %1"_s : u"Записей в списке: %1"_s).arg(m_records.size());
    Q_EMIT recordsChanged();
    Q_EMIT statusChanged();
}

QString QmlDocumentsController::emptyListText() const
{
    if (!m_records.isEmpty())
        return {};
    if (m_filtered)
        return u"Нет записей калибровки, подходящих под условия поиска."_s;
    return u"Записей калибровки пока нет. Они поступают с телефона при синхронизации (раздел «Настройки»): "
           "эта программа сама калибровку не проводит и не записывает."_s;
}

QVariantMap QmlDocumentsController::formValues() const
{
    QVariantMap values;
    for (auto it = m_selected.cbegin(); it != m_selected.cend(); ++it)
        values.insert(it.key(), it.value().toString());
    // The order and manufacturing dates are shown only; they read as the list shows them.
    for (const QString &key : {u"RecordDateTime"_s, u"VuManufacturingDate"_s}) {
        if (m_selected.contains(key))
            values.insert(key, documentDate(m_selected.value(key)));
    }
    const QDate date = storage::certificateFieldDate(m_selected.value(nextCalibrationKey).toString());
    if (date.isValid())
        values.insert(nextCalibrationKey, date.toString(u"dd.MM.yyyy"_s));
    return values;
}

QVariantMap QmlDocumentsController::fieldErrors() const
{
    QVariantMap errors;
    if (m_selected.isEmpty())
        return errors;
    for (const CheckedValue &checked : checkedValues) {
        const QString key = checked.key.toString();
        const QString problem = valueProblem(m_selected.value(key), checked.kind);
        if (!problem.isEmpty())
            errors.insert(key, problem);
    }
    return errors;
}

void QmlDocumentsController::select(int id)
{
    ensureRepositories();
    m_selected = m_calibrations->calibration(id);
    if (!m_selected.isEmpty()) {
        if (const auto customer = m_customers->customerByName(m_selected.value(u"CustomerName"_s).toString())) {
            m_selected.insert(u"CustomerAddress"_s, customer->address);
            m_selected.insert(u"CustomerPhone"_s, customer->phone);
        }
    }
    m_selected = certificateValues(m_selected);
    report({}, m_selected.isEmpty() ? u"Запись не найдена"_s : u"Запись выбрана"_s);
}

void QmlDocumentsController::clearSelection()
{
    m_selected.clear();
    report({}, u"Запись не выбрана"_s);
}

bool QmlDocumentsController::removeSelected()
{
    ensureRepositories();
    const int id = m_selected.value(u"Id"_s).toInt();
    if (id > 0 && m_calibrations->deleteCalibration(id)) {
        clearSelection();
        refresh();
        m_statusText = u"Запись удалена"_s;
        Q_EMIT statusChanged();
        return true;
    }
    report(m_calibrations->lastError(), u"Не удалось удалить запись"_s);
    return false;
}

bool QmlDocumentsController::openDataFolder(const QString &folder)
{
    const QString path = QDir(storage::AppPaths::data()).filePath(folder);
    const QString shown = QDir::toNativeSeparators(path);
    if (!QDir().mkpath(path)) {
        report(u"Не удалось создать папку %1"_s.arg(shown), m_statusText);
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        report(u"Не удалось открыть папку (не найдена программа для просмотра папок): %1"_s.arg(shown), m_statusText);
        return false;
    }
    report({}, u"Открыта папка %1"_s.arg(shown));
    return true;
}

void QmlDocumentsController::updateSelectedValue(const QString &key, const QVariant &value)
{
    if (m_selected.isEmpty() || key.isEmpty())
        return;
    // A next calibration the form's check takes is kept in the stored form, whichever way it was typed, so the
    // record, the XML copy and the documents agree.
    const QDate typedDate = key == nextCalibrationKey ? storage::certificateFieldDate(value.toString()) : QDate();
    m_selected.insert(key, typedDate.isValid() ? typedDate.toString(Qt::ISODate) : storage::certificateValue(value));
    m_lastError.clear();
    Q_EMIT selectedChanged();
}

bool QmlDocumentsController::createCertificate()
{
    return createDocument(false);
}

bool QmlDocumentsController::createSticker()
{
    return createDocument(true);
}

QVariantMap QmlDocumentsController::certificateData(const storage::SettingsRepository &settings) const
{
    QVariantMap data;
    for (const auto &[field, key] : copiedFields)
        data.insert(fieldName(field), m_selected.value(key.toString()));
    const QString partNumber = m_selected.value(u"VuPartNumber"_s).toString().trimmed();
    data.insert(fieldName(CertificateField::TachographModel),
        partNumber.isEmpty() ? QString() : u"Корвален исп. "_s + partNumber);
    for (const auto &[field, fallback] : defaultedFields) {
        const QString name = fieldName(field);
        data.insert(name, m_selected.contains(name) ? m_selected.value(name) : QVariant(fallback.toString()));
    }

    QVariant address = m_selected.value(u"CustomerAddress"_s);
    QVariant phone = m_selected.value(u"CustomerPhone"_s);
    if (m_customers) {
        if (const auto customer = m_customers->customerByName(m_selected.value(u"CustomerName"_s).toString())) {
            address = customer->address;
            phone = customer->phone;
        }
    }
    data.insert(fieldName(CertificateField::CustomerAddress), address);
    data.insert(fieldName(CertificateField::CustomerPhone), phone);

    namespace keys = storage::settings;
    const auto workshop = [&settings](const QString &key) { return settings.value(keys::sectionWorkshop, key, {}); };
    data.insert(fieldName(CertificateField::WorkshopStigma), workshop(keys::workshopMark));
    data.insert(fieldName(CertificateField::WorkshopName), workshop(keys::workshopName));
    data.insert(fieldName(CertificateField::WorkshopAddress),
        documents::joinFilled(
            {workshop(keys::workshopPost), workshop(keys::workshopCity), workshop(keys::workshopStreet)}, u", "_s));
    data.insert(fieldName(CertificateField::WorkshopPhone), workshop(keys::workshopPhone));
    // The settings and the directory are typed elsewhere: what they hold reaches the documents cleaned as well.
    return certificateValues(data);
}

bool QmlDocumentsController::createDocument(bool sticker)
{
    ensureRepositories();
    const int id = m_selected.value(u"Id"_s).toInt();
    if (id <= 0) {
        report(u"Сначала выберите запись калибровки"_s, u"Документ не создан"_s);
        return false;
    }
    // The fields fieldErrors names, in the form's order.
    QStringList named;
    for (const CheckedValue &checked : checkedValues) {
        const QString problem = valueProblem(m_selected.value(checked.key.toString()), checked.kind);
        if (!problem.isEmpty())
            named.append(u"«%1»: %2"_s.arg(checked.label, continued(problem)));
    }
    if (!named.isEmpty()) {
        report(u"Исправьте поля формы — %1"_s.arg(named.join(u"; "_s)), u"Документ не создан"_s);
        return false;
    }
    // One connection to the settings for the record and for the check of the workshop's details.
    const storage::SettingsRepository settings;
    const QVariantMap data = certificateData(settings);

    const QString folder = QDir(storage::AppPaths::data()).filePath(sticker ? u"Наклейки"_s : u"Сертификаты"_s);
    QDir().mkpath(folder);
    const QString serial = fileNamePart(data.value(fieldName(CertificateField::TachographSerialNumber)).toString());
    const QString pdfPath = QDir(folder).filePath((sticker ? u"Наклейка_"_s : u"Сертификат_"_s)
        + fileDatePart(data.value(fieldName(CertificateField::OrderDate)).toString()) + u'_'
        + (serial.isEmpty() ? u"unknown"_s : serial) + u".pdf"_s);

    QString error;
    if (!documents::DocumentRenderer::writePdf(pdfPath, documentType(sticker), data, &error)) {
        report(error, u"Ошибка формирования документа"_s);
        return false;
    }
    const QString previewPath
        = QDir::temp().filePath(u"TessaronQt_preview_%1.png"_s.arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    if (!documents::DocumentRenderer::writePreviewImage(previewPath, documentType(sticker), data, &error)) {
        QFile::remove(previewPath);
        report(error, u"PDF создан, но предпросмотр недоступен"_s);
        return false;
    }
    removePreviewFile(m_previewSource);
    m_previewSource = QUrl::fromLocalFile(previewPath).toString();
    m_previewTitle = sticker ? u"Предпросмотр наклейки"_s : u"Предпросмотр сертификата"_s;
    m_documentData = data;
    m_previewIsSticker = sticker;
    Q_EMIT previewChanged();

    QStringList warnings;
    if (!sticker) {
        warnings.append(saveXmlCopy(data));
        if (m_certificates->saveCertificate(data, pdfPath, pdfPath, true) < 0) {
            report(m_certificates->lastError(), u"PDF создан, но запись в БД не сохранена"_s);
            return false;
        }
        warnings.append(writeBack(id, data));
    }
    warnings.append(unfitWarning(documents::DocumentRenderer::unfitFields(documentType(sticker), data)));
    if (const QStringList missing = missingWorkshopDetails(settings); !missing.isEmpty()) {
        warnings.append(u"В настройках мастерской не заполнены обязательные поля, на документе они пусты: %1"_s.arg(
            missing.join(u", "_s)));
    }
    warnings.removeAll(QString());
    // The list first: its count must not take the place of the message.
    refresh();
    report(warnings.join(u'\n'),
        sticker ? u"Наклейка создана. Для печати нажмите «Печать…» в предпросмотре"_s
                : u"Сертификат создан. Для печати нажмите «Печать…» в предпросмотре"_s);
    return true;
}

QString QmlDocumentsController::saveXmlCopy(const QVariantMap &data)
{
    // The XML copy is an archive beside the database row: its failure never stops the issue, but is told. Another
    // certificate of the same serial and date may stand in its file, so the file's content decides.
    const storage::CertificateXmlStorage xml;
    if (xml.isSaved(data))
        return {};
    QString reason;
    QString systemText;
    if (!xml.saveCertificate(data, nullptr, &reason, &systemText).isEmpty())
        return {};
    return logging::shownFailure(
        u"Сертификат создан, но его XML-копия не сохранена: %1"_s.arg(continued(reason)), systemText, u"documents"_s);
}

QStringList QmlDocumentsController::missingWorkshopDetails(const storage::SettingsRepository &settings)
{
    QStringList missing;
    for (const auto &[key, label] : workshopDetails()) {
        if (settings.value(storage::settings::sectionWorkshop, key).trimmed().isEmpty())
            missing.append(label);
    }
    return missing;
}

QString QmlDocumentsController::writeBack(int id, const QVariantMap &data)
{
    const QString customer = data.value(fieldName(CertificateField::CustomerName)).toString();
    bool isNumber = false;
    const int order = data.value(fieldName(CertificateField::OrderNumber)).toString().trimmed().toInt(&isNumber);
    const bool written = isNumber ? m_calibrations->updateCustomerAndOrder(id, customer, order, nullptr)
                                  : m_calibrations->updateCustomer(id, customer, nullptr);
    // The journal's own failure is in the log, and a journal that cannot be written was told when the page opened.
    return written ? QString() : u"Клиент и номер заказа не записаны в запись калибровки"_s;
}

void QmlDocumentsController::discardPreview()
{
    if (m_previewSource.isEmpty())
        return;
    removePreviewFile(m_previewSource);
    m_previewSource.clear();
    Q_EMIT previewChanged();
}

bool QmlDocumentsController::printPreview(const QVariantMap &options)
{
    if (m_documentData.isEmpty()) {
        report(u"Нет документа для печати"_s, u"Печать не выполнена"_s);
        return false;
    }
    QString error;
    switch (documents::DocumentRenderer::printWithOptions(
        documentType(m_previewIsSticker), m_documentData, options, &error)) {
    case documents::PrintStatus::Printed:
        report({}, u"Документ отправлен на печать"_s);
        return true;
    case documents::PrintStatus::Cancelled:
        report({}, error);
        return false;
    case documents::PrintStatus::Failed:
        report(error, u"Печать не выполнена"_s);
        return false;
    }
    return false;
}

} // namespace tessaron::qml
