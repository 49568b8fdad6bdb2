#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace tessaron::storage {

// Keeps one XML file per issued certificate in a folder of its own, with the append-only ledger
// "checksums.txt" beside the files: one line "checksum|file name" per save, never rewritten. The ledger tells
// whether a certificate with the same content was saved before, and whether a file still holds what was saved.
// The synchronisation copies the folder and its ledger as plain files, so both formats are fixed.
//
// A small value object for one thread; nothing is locked against other processes. Error pointers may be null
// and are written only on failure.
class CertificateXmlStorage
{
public:
    // Keeps its files in folder, or in Data/XML of the user's data folder when folder is empty, and creates the
    // folder with its parents. A folder that cannot be created is not reported: the first save fails instead.
    explicit CertificateXmlStorage(const QString &folder = {});

    QString folderPath() const { return m_folder; }
    // The ledger: folderPath()/checksums.txt.
    QString checksumsPath() const;

    // The 30 keys of the certificate field set in field-set order (see certificate_field.h).
    static QStringList fieldNames();

    // name with each of < > : " / \ | ? * replaced by "_".
    static QString sanitizeFileName(const QString &name);

    // The file name a record is saved under: "<serial>_<date>.xml" from TachographSerialNumber ("unknown" when
    // the key is absent) and OrderDate ("nodate" when absent, spaces also replaced), both through
    // sanitizeFileName. A second record with the same serial and date replaces the first one's file.
    static QString fileName(const QVariantMap &record);

    // The salted checksum of the record's 30 field values: 43 characters of URL-safe Base64 without padding.
    // Keys outside the field set do not count; any change of a value, white space included, does.
    static QString checksum(const QVariantMap &record);

    // Appends the ledger line "checksum|fileName", whole or not at all: a line that does not reach the file whole
    // (a full disk) is taken back. A ledger that ends inside a line (cut short by a killed program) gets a line end
    // first, so that the new line stands on its own. False, with a Russian sentence naming the reason, when the
    // ledger cannot be opened or written; the file system's own text goes to the log.
    bool appendChecksum(const QString &fileName, const QString &checksum, QString *error = nullptr) const;

    // The ledger as checksum -> file name; where one checksum stands on several lines the last one wins. Lines
    // that do not split into exactly two parts at "|" are skipped. Empty, without error, when the ledger
    // cannot be read.
    QMap<QString, QString> allChecksums() const;

    // Whether the ledger holds the checksum (exact, case-sensitive).
    bool isCertificateExists(const QString &checksum) const;

    // Whether the record's file holds exactly what saving the record would write now, and the ledger pairs that
    // file with the record's checksum. Saving is needed whenever this is false: the file is missing, was
    // written for another record of the same serial and date, was altered, or lost its ledger line.
    bool isSaved(const QVariantMap &record) const;

    // Writes the record's XML file (all 30 fields, in field-set order, through an atomic save) and appends its
    // ledger line as appendChecksum does. Returns the file's full path and, through checksum, the record's
    // checksum. On failure returns the empty text: when the file cannot be written whole (a full disk included)
    // the earlier file of that name stays untouched and no ledger line is written; a value holding a character
    // XML cannot carry is such a failure, named in the error. When only the ledger append fails, the new file
    // stands without its line and the ledger as it was.
    // error gets a Russian sentence naming what failed (a file standing where the folder should be, a folder
    // that cannot be created or written, the file or the ledger with the reason, "на диске нет места" for a full
    // disk, a field); systemError the file system's own text, for the log, and stays empty for a failure of the
    // record's content.
    QString saveCertificate(const QVariantMap &record, QString *checksum = nullptr, QString *error = nullptr,
        QString *systemError = nullptr) const;

    // Reads an XML file back as element name -> text: every element below the root, whatever its name, so
    // keys outside the field set come through and missing ones stay absent. Empty, with the file's or the XML
    // reader's error text, when the file cannot be read, is malformed or an element has child elements.
    QVariantMap loadCertificate(const QString &filePath, QString *error = nullptr) const;

    // True when the ledger holds a line for the file's bare name whose checksum equals the checksum of the
    // file's content, in whatever order the lines stand. False without error text for an altered file or a
    // file without ledger line; false with the load error when the file cannot be read.
    bool verifyCertificateIntegrity(const QString &filePath, QString *error = nullptr) const;

private:
    // The XML document of the record's 30 fields in field-set order; empty, with the error naming the field,
    // when a value holds a character XML cannot carry.
    static QByteArray xmlContent(const QVariantMap &record, QString *error = nullptr);
    // Every ledger line that splits into exactly two parts, as (checksum, file name), in file order.
    QList<QPair<QString, QString>> ledgerEntries() const;
    // Why nothing can be written into the folder, in Russian; the empty text when the folder is a writable one.
    QString folderProblem() const;

    QString m_folder;
};

} // namespace tessaron::storage
