#include "scripted_phone.h"

#include "support/sync_package_bytes.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

using namespace Qt::StringLiterals;

namespace tessaron::test {

QStringList filesIn(const QString &folder, const QString &filter)
{
    return QDir(folder).entryList({filter}, QDir::Files | QDir::System, QDir::Name);
}

QString waitForUpload(const QString &folder, const QString &pattern, const std::stop_token &stop, bool takes)
{
    static const QRegularExpression temporary(u"^(.+)\\.[0-9a-f-]{36}\\.uploading$"_s);
    const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
    for (;; QThread::msleep(5)) {
        for (const QString &name : filesIn(folder)) {
            const QString path = folder + u'/' + name, finalName = temporary.match(name).captured(1);
            const bool complete
                = finalName.endsWith(u".tspak"_s) ? !packageEntryPaths(path).isEmpty() : QFileInfo(path).size() > 0;
            if (finalName.isEmpty() || !complete)
                continue;
            if (!takes && expression.match(finalName).hasMatch())
                return name;
            if (takes)
                QFile::rename(path, folder + u'/' + finalName);
        }
        if (const QStringList names = filesIn(folder).filter(expression); takes && !names.isEmpty())
            return names.first();
        if (stop.stop_requested())
            return {};
    }
}

void putWhole(const QString &folder, const QString &name, const QByteArray &content)
{
    writeFile(folder + u"/.incoming"_s, content);
    QFile::rename(folder + u"/.incoming"_s, folder + u'/' + name);
}

} // namespace tessaron::test
