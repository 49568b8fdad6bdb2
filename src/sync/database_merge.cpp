#include "database_merge.h"

#include "logging/shown_failure.h"
#include "storage/sql_connection.h"
#include "storage/transaction_guard.h"
#include "sync/merge_rules.h"
#include "sync/merge_statements.h"
#include "sync/package_database_check.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

using namespace Qt::StringLiterals;
using tessaron::storage::quoteIdentifier;

namespace tessaron::sync {

namespace {

// Merges the incoming file (open as source) into the existing local file by the rule of ruleName, in one
// transaction. The incoming file is also attached to the local connection as "incoming", so that a rule can
// copy rows inside SQLite; SQLite attaches no file inside a transaction, so this comes first.
bool mergeInto(
    const storage::SqlConnection &source, const QString &localPath, const QString &ruleName, int *added, QString *error)
{
    storage::SqlConnection target(u"TessaronMergeTarget"_s, localPath, uriConnectOption());
    if (!target.isOpen()) {
        *error = target.openError();
        return false;
    }
    distrustSchema(target.database());
    if (QString failure; !attachIncoming(target.database(), source.path(), &failure)) {
        *error = logging::shownFailure(u"Не удалось открыть базу пакета для %1"_s.arg(ruleName), failure, u"sync"_s);
        return false;
    }
    storage::TransactionGuard transaction(target.database());
    if (!transaction.isActive()) {
        *error = storage::shownSqlFailure(
            u"Не удалось начать запись в базу %1"_s.arg(ruleName), transaction.error(), u"sync"_s);
        return false;
    }
    if (!mergeByRule(ruleName, source.database(), target.database(), added, error))
        return false;
    if (!transaction.commit()) {
        *error = storage::shownSqlFailure(
            u"Не удалось завершить запись в базу %1"_s.arg(ruleName), transaction.error(), u"sync"_s);
        return false;
    }
    return true;
}

bool mergeFiles(
    const QString &incomingPath, const QString &localPath, const QString &buildId, int *added, QString *error)
{
    storage::SqlConnection source(u"TessaronMergeSource"_s, packageDatabaseUri(incomingPath), packageConnectOptions());
    if (!source.isOpen()) {
        *error = source.openError();
        return false;
    }
    const QString fileName = QFileInfo(localPath).fileName();
    if (const PackageDatabaseFault fault = checkPackageDatabase(source.database(), fileName); !fault.isNone()) {
        *error = fault.damaged ? u"База данных в пакете повреждена"_s
                               : u"База данных в пакете не принята: %1"_s.arg(fault.reason);
        return false;
    }
    if (QFileInfo::exists(localPath))
        return mergeInto(source, localPath, fileName, added, error);

    // A file taken as it is would bring whatever its sender's file holds besides the program's tables (a
    // trigger, a view). The new database is made with the program's own layout beside the local path, takes the
    // incoming rows like an existing one, and is renamed into place only when complete.
    if (!ensureParent(localPath, error))
        return false;
    const QString fresh = buildingDatabasePath(
        localPath, buildId.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : buildId);
    bool known = true;
    bool made = createOwnDatabase(fileName, fresh, &known, error) && mergeInto(source, fresh, fileName, added, error);
    if (made && !QFile::rename(fresh, localPath)) {
        *error = u"Не удалось перенести новую базу: %1"_s.arg(localPath);
        made = false;
    }
    if (!made) {
        QFile::remove(fresh);
        QFile::remove(fresh + u"-journal"_s);
    }
    return made || !known;
}

} // namespace

bool mergeDatabase(
    const QString &incomingPath, const QString &localPath, int *added, QString *error, const QString &buildId)
{
    if (!QFileInfo::exists(incomingPath))
        return true;
    // Rows and text are kept apart until the outcome is known: the caller's counter grows only by a committed
    // merge, and a text left in the caller's variable can never be taken for a failure of this one.
    int count = 0;
    QString failure;
    if (!mergeFiles(incomingPath, localPath, buildId, &count, &failure)) {
        *error = failure.isEmpty() ? u"Не удалось объединить базу данных: %1"_s.arg(localPath) : failure;
        return false;
    }
    *added += count;
    return true;
}

QString buildingDatabasePath(const QString &localPath, const QString &buildId)
{
    return localPath + u'.' + buildId + u".new"_s;
}

bool attachIncoming(const QSqlDatabase &target, const QString &incomingPath, QString *error)
{
    QSqlQuery attach(target);
    attach.prepare(u"ATTACH DATABASE ? AS "_s + quoteIdentifier(incomingSchema));
    attach.bindValue(0, incomingPath);
    if (attach.exec())
        return true;
    *error = attach.lastError().text();
    return false;
}

bool ensureParent(const QString &filePath, QString *error)
{
    const QString folder = QFileInfo(filePath).absolutePath();
    if (QDir().mkpath(folder))
        return true;
    *error = u"Не удалось создать каталог: %1"_s.arg(folder);
    return false;
}

} // namespace tessaron::sync
