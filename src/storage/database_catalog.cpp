#include "database_catalog.h"

#include "app_paths.h"
#include "database_copy.h"
#include "logging/shown_failure.h"
#include "sql_connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

const QString formerReportsFileName = QStringLiteral("driver_cards.db");

void setError(QString *error, const QString &text)
{
    if (error != nullptr)
        *error = text;
}

// Runs "PRAGMA quick_check" on the file through a connection of its own; true when SQLite answers "ok".
bool passesQuickCheck(const QString &path, QString *problem)
{
    SqlConnection connection(u"TessaronReportsCheck"_s, path);
    if (!connection.isOpen()) {
        *problem = connection.openError();
        return false;
    }
    QSqlQuery query(connection.database());
    if (!query.exec(u"PRAGMA quick_check"_s)) {
        *problem = query.lastError().text();
        return false;
    }
    QStringList findings;
    while (query.next())
        findings.append(query.value(0).toString());
    if (findings == QStringList {u"ok"_s})
        return true;
    *problem = findings.isEmpty() ? u"нет ответа"_s : findings.join(u"; "_s);
    return false;
}

// Copies source beside target through SQLite, checks the copy and renames it into place. Nothing is left at the
// target or at the temporary name when a step fails; source's committed content is never changed.
bool moveReportsDatabase(const QString &source, const QString &target, QString *error)
{
    const QString temporary = target + u".moving"_s;
    // Not the file's bytes: another program in the middle of an update (or one killed there) has written pages of it
    // into the file that its journal undoes, and only SQLite reads the file as its last commit left it.
    if (QString problem; !copyDatabase(source, temporary, &problem)) {
        setError(error, logging::withSentence(problem, u"Перенос повторится при следующем запуске программы."_s));
        return false;
    }
    QString problem;
    if (!passesQuickCheck(temporary, &problem)) {
        QFile::remove(temporary);
        setError(error,
            logging::shownFailure(u"База отчётов %1 повреждена и не перенесена"_s.arg(QDir::toNativeSeparators(source)),
                problem, u"storage"_s));
        return false;
    }
    if (!QFile::rename(temporary, target)) {
        QFile::remove(temporary);
        setError(error, u"Не удалось переименовать копию базы отчётов в %1"_s.arg(QDir::toNativeSeparators(target)));
        return false;
    }
    return true;
}

} // namespace

QString DatabaseCatalog::fileName(KnownDatabase database)
{
    switch (database) {
    case KnownDatabase::Settings:
        return u"SettingsDB.db"_s;
    case KnownDatabase::Masters:
        return u"MasterDB.db"_s;
    case KnownDatabase::Customers:
        return u"CustomersDB.db"_s;
    case KnownDatabase::Vehicles:
        return u"VehicleDB.db"_s;
    case KnownDatabase::Calibrations:
        return u"CalibrationDB.db"_s;
    case KnownDatabase::Certificates:
        return u"CertificateDB.db"_s;
    case KnownDatabase::DriverCards:
        return formerReportsFileName;
    case KnownDatabase::Reports:
        return u"ReportsDB.db"_s;
    }
    return {};
}

QString DatabaseCatalog::path(KnownDatabase database)
{
    switch (database) {
    case KnownDatabase::Settings:
    case KnownDatabase::Masters:
    case KnownDatabase::Customers:
    case KnownDatabase::Vehicles:
    case KnownDatabase::Calibrations:
    case KnownDatabase::Certificates:
        return AppPaths::database(fileName(database));
    case KnownDatabase::DriverCards:
        return QDir::cleanPath(AppPaths::runtimeDataDirectory() + u'/' + formerReportsFileName);
    case KnownDatabase::Reports: {
        const QString localAppData = qEnvironmentVariable("LOCALAPPDATA");
        if (localAppData.isEmpty())
            return AppPaths::database(fileName(database));
        return QDir::cleanPath(localAppData + u"/Tessaron/Data/DB/ReportsDB.db"_s);
    }
    }
    return {};
}

bool DatabaseCatalog::prepareReportsDatabase(QString *error)
{
    const QString target = path(KnownDatabase::Reports);
    if (QFileInfo::exists(target))
        return true;

    const QString cleanedTarget = QDir::cleanPath(target);
    const QString candidates[] = {
        QDir::cleanPath(AppPaths::runtimeDataDirectory() + u'/' + formerReportsFileName),
        QDir::cleanPath(AppPaths::databaseDirectory() + u'/' + formerReportsFileName),
        QDir::cleanPath(AppPaths::programDirectory() + u'/' + formerReportsFileName),
    };
    QString source;
    for (const QString &candidate : candidates) {
        if (candidate == cleanedTarget)
            continue;
        if (QFileInfo(candidate).isFile()) {
            source = candidate;
            break;
        }
    }

    const QString targetDirectory = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(targetDirectory)) {
        setError(
            error, u"Не удалось создать каталог базы отчётов: %1"_s.arg(QDir::toNativeSeparators(targetDirectory)));
        return false;
    }
    if (source.isEmpty())
        return true;
    return moveReportsDatabase(source, target, error);
}

} // namespace tessaron::storage
