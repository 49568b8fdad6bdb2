#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The one reader of an SQLite database's own catalogue (its schema table and the pragmas about one table), for the
// merge and for the check of a package database. Only the synchronisation code and its tests include this header.
// Every function reads the "main" schema of the connection it is handed and writes nothing.
namespace tessaron::sync {

// What an entry of the schema table makes. SQLite tells a view from a table by the entry's type, and refuses a file
// whose entry's statement says otherwise; a virtual table is a table whose statement reads "CREATE VIRTUAL TABLE".
enum class CatalogueKind { Table, VirtualTable, View };

// One table or view of the schema table.
struct CatalogueEntry
{
    QString name;
    CatalogueKind kind = CatalogueKind::Table;
};

// One column as "PRAGMA table_xinfo" declares it.
struct ColumnInfo
{
    QString name;
    bool notNull = false;
    bool hasDefault = false;
    bool inPrimaryKey = false;
    // Computed from the row's other columns ("GENERATED ALWAYS AS"), stored or not.
    bool generated = false;
};

// A table as the database's own catalogue describes it. An empty name means the table does not exist.
struct TableInfo
{
    QString name;
    // A module's table (such as fts5): its columns are not read, as reading them would start the module.
    bool isVirtual = false;
    // Every column but the generated ones, in declaration order (the field order of a "SELECT *" row).
    QStringList columns;
    // The primary-key columns, in declaration order.
    QStringList primaryKeyColumns;
    // Every column, the generated ones included, in declaration order.
    QList<ColumnInfo> declared;

    bool exists() const { return !name.isEmpty(); }
    bool isSingleKeyed() const { return primaryKeyColumns.size() == 1; }
    // The key column of a single-keyed table, else empty.
    QString keyColumn() const { return isSingleKeyed() ? primaryKeyColumns.constFirst() : QString(); }
};

// The tables and views of the schema table but SQLite's own, in name order, each of its kind. Only the schema table is
// read, its statements as text: nothing of the schema is compiled. False, the list empty and SQLite's words in *error
// when given, when it cannot be read.
bool readCatalogue(const QSqlDatabase &database, QList<CatalogueEntry> *entries, QString *error = nullptr);

// Whether a table's statement in the schema table makes a virtual table, as SQLite reads it: the word after CREATE
// is VIRTUAL, in any letter case, blanks and comments between them skipped.
bool makesVirtualTable(QStringView statement);

// The table of the catalogue's entry: a virtual one by its name alone, an ordinary one with its columns ("PRAGMA
// table_xinfo", which compiles nothing). A view is never described, as that would compile its query and every view
// it reads: an empty TableInfo. Empty too when the pragma fails (SQLite's words in *error when given) or finds no
// column.
TableInfo describeTable(const QSqlDatabase &database, const CatalogueEntry &entry, QString *error = nullptr);

// The columns of the table that refer to a row of another table ("PRAGMA foreign_key_list"), in the order declared.
// False when the pragma fails.
bool readReferencingColumns(const QSqlDatabase &database, const QString &table, QStringList *columns);

// The statements that make the database's tables and indexes, in the order they were made; SQLite's own and the
// automatic indexes of constraints are left out. For a database of the program's own making: a sender's schema is
// never read as text. False when the schema table cannot be read.
bool readSchemaStatements(const QSqlDatabase &database, QStringList *statements);

} // namespace tessaron::sync
