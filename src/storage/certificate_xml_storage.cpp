#include "certificate_xml_storage.h"

#include "app_paths.h"
#include "certificate_field.h"
#include "checked_save_file.h"
#include "logging/shown_failure.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

// Mixed into every checksum so that a ledger line cannot be forged by hashing a file's values alone. Ledgers
// already written verify only with this exact text: it must never change.
constexpr QStringView checksumSalt = u"Tq7#Lm2!Xv9$Rk4@Pz6%Hn8&W";
static_assert(checksumSalt.size() == 25);

const QString rootElement = u"CertificateData"_s;
const QString ledgerSeparator = u"|"_s;

// Writes the element as QXmlStreamWriter::writeTextElement does, except that each carriage return goes out as a
// character reference: a literal one would reach a reader as a line feed (XML folds line ends), and the value
// read back would no longer match the checksum of the value written.
void writeTextElement(QXmlStreamWriter &writer, const QString &name, const QString &text)
{
    writer.writeStartElement(name);
    const QStringList parts = text.split(u'\r');
    writer.writeCharacters(parts.first());
    for (qsizetype i = 1; i < parts.size(); ++i) {
        writer.writeEntityReference(u"#13"_s);
        writer.writeCharacters(parts.at(i));
    }
    writer.writeEndElement();
}

// Whether the file's last byte, at size - 1, ends a line; an empty file counts as ended.
bool endsWithLineEnd(const QString &path, qint64 size)
{
    if (size <= 0)
        return true;
    QFile file(path);
    char last = 0;
    return file.open(QIODevice::ReadOnly) && file.seek(size - 1) && file.getChar(&last) && last == '\n';
}

// Writes all of bytes, offering a part the file system did not take once more, which either takes it or tells why
// not (a full disk).
bool writeWhole(QFile &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

struct LedgerAppend
{
    bool opened = false;
    QFileDevice::FileError error = QFileDevice::NoError;
    QString systemText;
};

// Adds the line to the ledger whole, on a line of its own, or leaves the ledger as it was.
LedgerAppend appendLedgerLine(const QString &path, const QString &text)
{
    QFile ledger(path);
    // Unbuffered: the line goes out in one write, whose answer tells whether all of it reached the file.
    if (!ledger.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered))
        return {false, ledger.error(), ledger.errorString()};
    const qint64 before = ledger.size();
    QByteArray line = (text + u'\n').toUtf8();
    // A line cut short before (a full disk, a killed program) would take this one into its own.
    if (!endsWithLineEnd(path, before))
        line.prepend('\n');
    if (writeWhole(ledger, line))
        return {true, QFileDevice::NoError, {}};
    const LedgerAppend failed {
        true, ledger.error() == QFileDevice::NoError ? QFileDevice::WriteError : ledger.error(), ledger.errorString()};
    // What the disk took of the line goes again, so that the ledger ends where it did.
    ledger.resize(before);
    return failed;
}

} // namespace

CertificateXmlStorage::CertificateXmlStorage(const QString &folder)
    : m_folder(folder.isEmpty() ? QDir(AppPaths::data()).filePath(u"XML"_s) : folder)
{
    QDir().mkpath(m_folder);
}

QString CertificateXmlStorage::checksumsPath() const
{
    return QDir(m_folder).filePath(u"checksums.txt"_s);
}

QStringList CertificateXmlStorage::fieldNames()
{
    return certificateFieldNames();
}

QString CertificateXmlStorage::sanitizeFileName(const QString &name)
{
    QString result = name;
    for (const QChar c : QStringView(u"<>:\"/\\|?*"))
        result.replace(c, u'_');
    return result;
}

QString CertificateXmlStorage::fileName(const QVariantMap &record)
{
    const QString serialKey = certificateFieldName(CertificateField::TachographSerialNumber);
    const QString dateKey = certificateFieldName(CertificateField::OrderDate);
    const QString serial = record.contains(serialKey) ? record.value(serialKey).toString() : u"unknown"_s;
    QString date = record.contains(dateKey) ? record.value(dateKey).toString() : u"nodate"_s;
    date = sanitizeFileName(date).replace(u' ', u'_');
    return sanitizeFileName(serial) + u'_' + date + u".xml"_s;
}

QString CertificateXmlStorage::checksum(const QVariantMap &record)
{
    QStringList texts;
    texts.reserve(qsizetype(certificateFields.size()) + 1);
    for (const CertificateField field : certificateFields)
        texts.append(certificateFieldText(record, field));
    texts.append(checksumSalt.toString());
    const QByteArray digest = QCryptographicHash::hash(texts.join(u'|').toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool CertificateXmlStorage::appendChecksum(const QString &fileName, const QString &checksum, QString *error) const
{
    const LedgerAppend append = appendLedgerLine(checksumsPath(), checksum + ledgerSeparator + fileName);
    if (!append.opened) {
        if (error)
            *error = logging::shownFailure(
                u"Не удалось открыть журнал контрольных сумм свидетельств"_s, append.systemText, u"storage"_s);
        return false;
    }
    if (append.error != QFileDevice::NoError) {
        if (error)
            *error = logging::shownFileFailure(u"Не удалось записать контрольную сумму свидетельства в журнал"_s,
                append.error, append.systemText, u"storage"_s);
        return false;
    }
    return true;
}

QList<QPair<QString, QString>> CertificateXmlStorage::ledgerEntries() const
{
    QList<QPair<QString, QString>> entries;
    QFile ledger(checksumsPath());
    if (!ledger.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    QTextStream stream(&ledger);
    QString line;
    while (stream.readLineInto(&line)) {
        const QStringList parts = line.split(ledgerSeparator);
        if (parts.size() == 2)
            entries.append({parts.at(0), parts.at(1)});
    }
    return entries;
}

QMap<QString, QString> CertificateXmlStorage::allChecksums() const
{
    QMap<QString, QString> checksums;
    for (const auto &[checksum, fileName] : ledgerEntries())
        checksums.insert(checksum, fileName);
    return checksums;
}

bool CertificateXmlStorage::isCertificateExists(const QString &checksum) const
{
    return allChecksums().contains(checksum);
}

QByteArray CertificateXmlStorage::xmlContent(const QVariantMap &record, QString *error)
{
    QByteArray content;
    QXmlStreamWriter writer(&content);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(rootElement);
    for (const CertificateField field : certificateFields) {
        writeTextElement(writer, certificateFieldName(field), certificateFieldText(record, field));
        // The writer drops a character XML cannot carry and only raises its error flag; keeping its output then
        // would give a file whose content no longer matches the checksum of the record.
        if (writer.hasError()) {
            if (error) {
                *error = u"Поле «%1» (%2) содержит символы, недопустимые в XML"_s.arg(
                    certificateFieldLabel(field), certificateFieldName(field));
            }
            return {};
        }
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return content;
}

bool CertificateXmlStorage::isSaved(const QVariantMap &record) const
{
    const QString name = fileName(record);
    const QByteArray content = xmlContent(record);
    if (content.isEmpty())
        return false;
    // Read as the save wrote it, in text mode, so line ends compare alike on every system.
    QFile file(QDir(m_folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || file.readAll() != content)
        return false;
    return ledgerEntries().contains({checksum(record), name});
}

QString CertificateXmlStorage::folderProblem() const
{
    const QFileInfo folder(m_folder);
    const QString shown = QDir::toNativeSeparators(m_folder);
    if (folder.exists() && !folder.isDir())
        return u"На месте папки XML-копий находится файл: %1"_s.arg(shown);
    if (!folder.exists())
        return u"Не удалось создать папку XML-копий: %1"_s.arg(shown);
    if (!folder.isWritable())
        return u"Нет прав на запись в папку XML-копий: %1"_s.arg(shown);
    return {};
}

QString CertificateXmlStorage::saveCertificate(
    const QVariantMap &record, QString *checksum, QString *error, QString *systemError) const
{
    const QByteArray content = xmlContent(record, error);
    if (content.isEmpty())
        return {};
    const QString name = fileName(record);
    const QString path = QDir(m_folder).filePath(name);
    CheckedSaveFile file(path);
    if (!file.open(QIODevice::Text) || !file.write(content) || !file.commit()) {
        if (systemError)
            *systemError = file.errorString();
        if (error) {
            const QString problem = folderProblem();
            *error = problem.isEmpty() ? u"Не удалось записать файл XML-копии: %1 (%2)"_s.arg(
                         QDir::toNativeSeparators(path), logging::failureReason(file.error()))
                                       : problem;
        }
        return {};
    }

    const QString sum = CertificateXmlStorage::checksum(record);
    const LedgerAppend append = appendLedgerLine(checksumsPath(), sum + ledgerSeparator + name);
    if (!append.opened || append.error != QFileDevice::NoError) {
        if (systemError)
            *systemError = append.systemText;
        if (error) {
            *error = u"Не удалось дописать журнал контрольных сумм XML-копий: %1 (%2)"_s.arg(
                QDir::toNativeSeparators(checksumsPath()), logging::failureReason(append.error));
        }
        return {};
    }
    if (checksum)
        *checksum = sum;
    return path;
}

QVariantMap CertificateXmlStorage::loadCertificate(const QString &filePath, QString *error) const
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = logging::shownFailure(
                u"Не удалось открыть файл свидетельства %1"_s.arg(QDir::toNativeSeparators(filePath)),
                file.errorString(), u"storage"_s);
        return {};
    }
    QVariantMap record;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() != rootElement) {
            const QString name = reader.name().toString();
            record.insert(name, reader.readElementText());
        }
    }
    if (reader.hasError()) {
        if (error)
            *error = logging::shownFailure(u"Файл свидетельства %1 повреждён"_s.arg(QDir::toNativeSeparators(filePath)),
                reader.errorString(), u"storage"_s);
        return {};
    }
    return record;
}

bool CertificateXmlStorage::verifyCertificateIntegrity(const QString &filePath, QString *error) const
{
    const QVariantMap record = loadCertificate(filePath, error);
    if (record.isEmpty())
        return false;
    const QString computed = checksum(record);
    const QString name = QFileInfo(filePath).fileName();
    for (const auto &[sum, fileName] : ledgerEntries()) {
        if (fileName == name && sum == computed)
            return true;
    }
    return false;
}

} // namespace tessaron::storage
