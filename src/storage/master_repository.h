#pragma once

#include "master.h"
#include "sql_connection.h"

#include <QList>
#include <QString>

namespace tessaron::storage {

// The masters directory ("Masters" in "MasterDB.db"). Lives on one thread.
class MasterRepository
{
public:
    // Opens databasePath, or the default location when it is empty, and creates the table. When the store
    // cannot be opened or read, isOpen() is false, lastError() says why and every call fails cleanly.
    explicit MasterRepository(const QString &databasePath = {});
    ~MasterRepository();
    MasterRepository(const MasterRepository &) = delete;
    MasterRepository &operator=(const MasterRepository &) = delete;

    bool isOpen() const;
    // Open for reading only: the file, its folder or its disk refuses writes. lastError() says why, and every
    // write fails with the driver's text.
    bool isReadOnly() const { return m_connection.isReadOnly(); }

    // Adds an active master under the trimmed name. Returns the new id, or -1 with lastError() set when the
    // name is blank or the statement fails.
    qint64 addMaster(const QString &fullName);

    // The active masters, ordered by name without regard to case. Empty on failure (lastError() set).
    QList<Master> masters() const;

    // The text of the last failure; later successes do not clear it.
    QString lastError() const { return m_lastError; }

private:
    SqlConnection m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::storage
