#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <memory>

namespace tessaron::storage {
class CalibrationRepository;
class CertificateRepository;
class CustomerRepository;
class SettingsRepository;
} // namespace tessaron::storage

namespace tessaron::qml {

// The documents page as QML sees it (app.documents): lists the successfully written calibration records,
// keeps the selected one with the values only a certificate needs, issues a certificate or a sticker for it
// (PDF, preview image; for a certificate also the XML copy, the database row and the customer and order
// number on the calibration record) and prints the last issued document again. Everything runs on the GUI
// thread; failures end in lastError and statusText, never in an exception.
class QmlDocumentsController : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QVariantList records READ records NOTIFY recordsChanged)
    Q_PROPERTY(QVariantMap selected READ selected NOTIFY selectedChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY selectedChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusChanged)
    Q_PROPERTY(QString previewSource READ previewSource NOTIFY previewChanged)
    Q_PROPERTY(QString previewTitle READ previewTitle NOTIFY previewChanged)
    Q_PROPERTY(bool previewIsSticker READ previewIsSticker NOTIFY previewChanged)
    Q_PROPERTY(bool hasSelection READ hasSelection NOTIFY selectedChanged)
    Q_PROPERTY(QVariantMap formValues READ formValues NOTIFY selectedChanged)
    Q_PROPERTY(QVariantMap fieldErrors READ fieldErrors NOTIFY selectedChanged)
    Q_PROPERTY(QString emptyListText READ emptyListText NOTIFY recordsChanged)
    Q_PROPERTY(QString registrationFilter READ registrationFilter NOTIFY recordsChanged)
    Q_PROPERTY(QString customerFilter READ customerFilter NOTIFY recordsChanged)

public:
    // Opens no store: each is opened on first use and kept for the controller's life.
    explicit QmlDocumentsController(QObject *parent = nullptr);
    // Removes the preview image still shown, so that none is left in the temporary folder.
    ~QmlDocumentsController() override;

    // Rows with "id", "order", "customer", "date", "serial", "nextCalibration" and "vehicle", newest write first.
    QVariantList records() const { return m_records; }
    // The selected calibration record (every column under its name), with the customer's address and phone
    // from the directory and the user's edits.
    QVariantMap selected() const { return m_selected; }
    QString lastError() const { return m_lastError; }
    QString statusText() const { return m_statusText; }
    // The file URL of the last issued document's preview image.
    QString previewSource() const { return m_previewSource; }
    QString previewTitle() const { return m_previewTitle; }
    bool previewIsSticker() const { return m_previewIsSticker; }
    bool hasSelection() const { return !m_selected.isEmpty(); }
    // The selected record as the form shows it: every value as text, the dates day first (the next calibration
    // as dd.MM.yyyy, the order date with its time); a text that is no date as it stands.
    QVariantMap formValues() const;
    // Why a value of the selected record cannot go on a document, by key: W, K and L must be whole numbers and
    // the next calibration a real date. Empty when every one is sound or nothing is selected.
    QVariantMap fieldErrors() const;
    // What the empty list tells: why nothing is listed, with or without search filters; empty while the list
    // has rows.
    QString emptyListText() const;
    // The filters the list was last made with, as given: empty after an issue or a delete, which list everything,
    // so that the page's search fields show what the list shows.
    QString registrationFilter() const { return m_registrationFilter; }
    QString customerFilter() const { return m_customerFilter; }

    // Lists the successful calibration records whose registration number and customer contain the trimmed
    // filters, without regard to case, and tells in statusText how many it found. A failing store gives an
    // empty list; the error stays.
    Q_INVOKABLE void refresh(const QString &tachoFilter = {}, const QString &customerFilter = {});
    // Every text of the record, and the customer's address and phone from the directory, without the characters a
    // certificate cannot carry (see storage::certificateText).
    Q_INVOKABLE void select(int id);
    // The preview and the document kept for printing stay.
    Q_INVOKABLE void clearSelection();
    // Deletes the selected calibration record itself (not an issued certificate).
    Q_INVOKABLE bool removeSelected();
    // Opens folder (relative to the user's data folder, or absolute) in the desktop's file browser, creating
    // it first. False, with the folder's path in lastError, when it cannot be created or the desktop does not
    // open it (no file browser, no launcher).
    Q_INVOKABLE bool openDataFolder(const QString &folder);
    // Sets one value of the selected record, in memory only; a next calibration date the form's check takes
    // (dd.MM.yyyy, d.M.yyyy, ISO) is kept in the stored form yyyy-MM-dd, anything else as given (fieldErrors then tells
    // what is wrong). A text loses the characters a certificate cannot carry, as typed or pasted. Without a
    // selection or with an empty key nothing happens and nothing is emitted.
    Q_INVOKABLE void updateSelectedValue(const QString &key, const QVariant &value);
    // Both refuse, naming the fields, while fieldErrors is not empty. The document is issued, with lastError
    // telling what went wrong beside it, when a workshop detail the settings call required is empty, when a
    // value does not fit its box on the document (named by its Russian label, to be shortened) or, for a
    // certificate, when its XML copy could not be saved (the reason in Russian; the system's text goes to the
    // log). The preview image replaced by the new one is removed.
    Q_INVOKABLE bool createCertificate();
    Q_INVOKABLE bool createSticker();
    // Prints the last issued document again with the print settings form's options. A cancelled print answers
    // false with an empty lastError.
    Q_INVOKABLE bool printPreview(const QVariantMap &options);
    // Removes the preview image once its dialog is closed: previewSource becomes empty; the document kept for
    // printing, the title and the document type stay.
    Q_INVOKABLE void discardPreview();

Q_SIGNALS:
    void recordsChanged();
    void selectedChanged();
    void statusChanged();
    void previewChanged();

private:
    void ensureRepositories();
    // The certificate record of the selected calibration record, the customer directory and the workshop
    // settings, in field-set order.
    QVariantMap certificateData(const storage::SettingsRepository &settings) const;
    bool createDocument(bool sticker);
    // Writes the customer and order number of an issued certificate back to the calibration record; an order
    // number that is no whole number leaves the stored one as it is. The empty text on success, else why not.
    QString writeBack(int id, const QVariantMap &data);
    // The labels of the workshop settings that are empty; the settings page calls all of them required.
    static QStringList missingWorkshopDetails(const storage::SettingsRepository &settings);
    // Sets lastError and statusText and emits selectedChanged, then statusChanged.
    void report(const QString &error, const QString &status);
    // Saves the certificate's XML copy unless it already stands; the empty text, or the warning to show.
    static QString saveXmlCopy(const QVariantMap &data);

    std::unique_ptr<storage::CalibrationRepository> m_calibrations;
    std::unique_ptr<storage::CertificateRepository> m_certificates;
    std::unique_ptr<storage::CustomerRepository> m_customers;
    QVariantList m_records;
    bool m_filtered = false;
    QString m_registrationFilter;
    QString m_customerFilter;
    QVariantMap m_selected;
    QString m_lastError;
    QString m_statusText;
    QString m_previewSource;
    QString m_previewTitle;
    QVariantMap m_documentData;
    bool m_previewIsSticker = false;
};

} // namespace tessaron::qml
