#pragma once

#include <QSqlDatabase>
#include <QString>

// The row-by-row merge of an incoming SQLite database file into the local one: the file checked, the local file opened
// or made, and the rule of its name run in one transaction (merge_rules.h). Only the synchronisation code and its tests
// include this header. Callers with an error argument pass a non-null text, written only on failure.
namespace tessaron::sync {

// Merges the incoming database file into the local one by the rule of the local file's name (exact letter
// case): "SettingsDB.db", "MasterDB.db", "CustomersDB.db", "VehicleConfigurations.db", "VehicleDB.db" and
// "driver_cards.db" have their own rules, any other name the generic one. A missing incoming file is nothing
// to merge. A missing local file is made with the program's own layout for its name (the package databases
// and "ReportsDB.db"; any other name is not taken, and nothing is made) and the incoming rows are merged into
// it like into an existing one, so nothing but the program's tables, columns and indexes arrives and the rows
// are counted; the file appears only when complete. Only the tables of the program's layout for the name are read
// from the incoming file (every table under another name). An incoming file that checkPackageDatabase does not
// pass is refused first ("База данных в пакете повреждена", or "База данных в пакете не принята: " and the
// reason). The merge runs in one transaction: on false the local file is as it was, *added is unchanged and
// *error says why; on success the rows that changed the local file (inserted, or settings updated to other
// values) are added to *added. A missing local file is made at buildingDatabasePath(localPath, buildId) (a fresh
// id when buildId is empty), so that what a killed process leaves there can be told by the id of its owner.
bool mergeDatabase(
    const QString &incomingPath, const QString &localPath, int *added, QString *error, const QString &buildId = {});

// Where mergeDatabase makes a missing database until it is complete: "<localPath>.<buildId>.new".
QString buildingDatabasePath(const QString &localPath, const QString &buildId);

// Attaches the incoming file to the connection under the schema name by which the merge's statements read it, as
// mergeDatabase attaches it to the local connection. False, with SQLite's words in *error, when SQLite cannot.
bool attachIncoming(const QSqlDatabase &target, const QString &incomingPath, QString *error);

// Creates the parent folder of the file path with every missing parent. On failure *error is
// "Не удалось создать каталог: <folder>" and the result false.
bool ensureParent(const QString &filePath, QString *error);

} // namespace tessaron::sync
