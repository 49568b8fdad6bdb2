#pragma once

// Output of the calibration certificate (A4) and of the tachograph sticker (100 × 18.6 mm): a PDF file, a PNG
// preview image and a printed page. Both documents are drawn from one certificate record (the 30 keys of
// storage/certificate_field.h); keys the record lacks are drawn as empty values. A value too long for its box
// at its size is drawn smaller, down to 60 % of that size, and wrapped where the box has room for more lines; it
// is never cut off (one that does not fit even so is broken inside words and runs below its box, whole, and
// unfitFields names it). Dates read dd.MM.yyyy.
//
// Every operation runs synchronously on the GUI thread. The file operations return true on success, the print
// operations a PrintStatus. On failure (false, Failed) a Russian message is stored through error when it is not
// null (nothing is written there on success); a cancelled print stores printCancelledText() there. Nothing is
// deleted on failure: folders created on the way stay.

#include "storage/certificate_field.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class QPrinter;

namespace tessaron::documents {

enum class DocumentType {
    Certificate = 0,
    Sticker = 1,
};

// How a print ended. A cancel in the print dialog is the user's choice, not a failure: a caller tells it by this
// status, never by the message's text.
enum class PrintStatus {
    Printed = 0,
    Cancelled = 1,
    Failed = 2,
};

// The parts that hold more than blanks, trimmed, joined by separator: a value made of several settings (the
// workshop's postcode, city and street) never prints as ", ," when some are empty.
QString joinFilled(const QStringList &parts, const QString &separator);

class DocumentRenderer
{
public:
    DocumentRenderer() = delete;

    // Writes the document as a one-page PDF (title "Сертификат" or "Наклейка", creator "TessaronQt"; A4 or
    // 100 × 18.6 mm, text in real fonts). The file's folder is created first. The file is replaced only when
    // every byte of the PDF reached the disk: a failed re-issue (a full disk) leaves an earlier file whole.
    // Failure: "Не удалось создать PDF: <path>", followed by the reason in brackets when the write failed
    // ("(на диске нет места)").
    static bool writePdf(const QString &filePath, DocumentType type, const QVariantMap &data, QString *error = nullptr);

    // Writes a PNG of the page at 144 dpi (twice the page's size in points: 1190 × 1684 for the certificate,
    // 566 × 106 for the sticker), on white, with the PDF's lines at the PDF's sizes. Failures: "Не удалось создать
    // изображение предпросмотра: <path>", "Не удалось сохранить изображение предпросмотра: <path>".
    static bool writePreviewImage(
        const QString &filePath, DocumentType type, const QVariantMap &data, QString *error = nullptr);

    // Prints with the options of the print settings form; a missing key takes its default:
    //   "printerName" (text, "По умолчанию" or empty = the system's default printer),
    //   "paper" ("A4", "A5", "Letter", "sticker", or "driver": keep the tape the driver reports, sticker only;
    //           anything else: A4 for a certificate, 100 × 18.6 mm for a sticker),
    //   "orientation" ("landscape" exactly, else portrait), "copies" (int, clamped to 1 … 99, default 1),
    //   "color" (bool, default true), "duplex" (1 long side, 2 short side, else none),
    //   "fitToPage" (bool, default true; a sticker is always fitted to its tape).
    // A sticker on "driver" paper opens the print dialog (see setPrintDialogForTesting). Refuses OneNote (also
    // when chosen in the dialog), unknown printers ("Принтер не найден: <name>"), a sticker on a page outside
    // the tape window (17–40 × 80–500 mm), and reports a job the spooler refused: Failed, with the message. A
    // dialog the user cancelled gives Cancelled, with printCancelledText() as the text to show.
    static PrintStatus printWithOptions(
        DocumentType type, const QVariantMap &data, const QVariantMap &options, QString *error = nullptr);

    // Shows the print dialog for the default printer (A4 set first for a certificate) and prints fitted to the
    // page; statuses as printWithOptions. Not used by the application's pages.
    static PrintStatus printWithDialog(DocumentType type, const QVariantMap &data, QString *error = nullptr);

    // Prints on the named printer ("По умолчанию" or empty = default) without a dialog, on the page the driver
    // has (A4 for a certificate); OneNote is skipped with a message. Never Cancelled. Not used by the
    // application's pages.
    static PrintStatus print(
        DocumentType type, const QVariantMap &data, const QString &printerName, QString *error = nullptr);

    // The fields whose value runs out of its box on the document even at the smallest size (a word broken to fit
    // the width still fits), in drawing order: the document is drawn all the same, but such a value runs over
    // what lies beside its box. Empty when every value fits.
    static QList<storage::CertificateField> unfitFields(DocumentType type, const QVariantMap &data);

    // Whether the trimmed name (the default printer's name for empty or "По умолчанию") contains "onenote" in
    // any letter case: that virtual printer is refused everywhere.
    static bool isOneNotePrinter(const QString &printerName);

    // "Печать отменена": the text given with a Cancelled status, for the status line.
    static QString printCancelledText();

    // The platform's print dialog, called with the printer to configure and the dialog's title; true when the
    // user accepted. Tests install an answer here (choose a page or printer and accept, or cancel) so nothing
    // modal opens; an empty function restores the real dialog.
    using PrintDialog = std::function<bool(QPrinter &printer, const QString &title)>;
    static void setPrintDialogForTesting(PrintDialog dialog);
};

} // namespace tessaron::documents
