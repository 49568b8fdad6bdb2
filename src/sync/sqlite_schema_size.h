#pragma once

#include <QString>

namespace tessaron::sync {

// The size of the schema of the SQLite database file at path, read from the file's own pages before SQLite sees it:
// the bytes of every record of its schema table (sqlite_schema), which holds the statement, the name and the table
// of each table, index, view and trigger. SQLite parses every one of those statements when it first reads the file,
// and keeps what it built while the file is open, at up to about a hundred times their size, whether anything reads
// their tables or not. Only the pages of the schema table are read (the table b-tree rooted at page 1, as the file
// format lays it out), each at most once, and the count ends as soon as it passes limit: the cost follows the
// schema table's pages, never the length of its statements. Returns the size, or some number above limit once the
// size passes it; 0 for an empty file, which SQLite reads as an empty database; -1 when the file holds no schema
// table that can be walked (no SQLite header, an impossible page size, a page beyond the end of the file, of another
// kind or reached twice, a cell outside its page). Only reads the file.
qint64 schemaSize(const QString &path, qint64 limit);

} // namespace tessaron::sync
