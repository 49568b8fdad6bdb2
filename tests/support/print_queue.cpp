#include "print_queue.h"

#include "pdf_probe.h"
#include "test_files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

using namespace Qt::StringLiterals;

namespace tessaron::test {

QString printOutputFolder()
{
    return QRegularExpression(u"^Out\\s+(\\S+)\\s*$"_s, QRegularExpression::MultilineOption)
        .match(QString::fromUtf8(fileBytes(u"/etc/cups/cups-pdf.conf"_s)))
        .captured(1)
        .replace(u"${HOME}"_s, QDir::homePath());
}

QByteArray takePrintedJob(const QDir &folder, const QStringList &before, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        QThread::msleep(200);
        const QStringList names = folder.entryList({u"*.pdf"_s}, QDir::Files);
        for (const QString &name : names) {
            if (before.contains(name))
                continue;
            const QByteArray printed = fileBytes(folder.filePath(name));
            if (pdfInfoValue(printed, u"Page size"_s).isEmpty())
                continue;
            QFile::remove(folder.filePath(name));
            return printed;
        }
    }
    return {};
}

} // namespace tessaron::test
