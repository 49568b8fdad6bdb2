#pragma once

#include "sql_connection.h"

#include <QList>
#include <QSqlError>
#include <QString>
#include <QVariant>

namespace tessaron::storage {

// One setting of a batch write; a bool value is stored as "Bool", an int as "Int", anything else as text.
struct SettingValue
{
    QString section;
    QString key;
    QVariant value;
};

// Typed settings by section and key in the "Settings" table of the settings database. Missing keys are
// seeded from settings::defaults() when the store opens; a key the user already has is never overwritten.
// Lives on one thread.
class SettingsRepository
{
public:
    // Opens databasePath, or "SettingsDB.db" in the database folder when it is empty. When the store cannot
    // be opened or read, isOpen() is false, lastError() says why and every call fails cleanly.
    explicit SettingsRepository(const QString &databasePath = {});
    ~SettingsRepository();
    SettingsRepository(const SettingsRepository &) = delete;
    SettingsRepository &operator=(const SettingsRepository &) = delete;

    bool isOpen() const;
    // Open for reading only: the file, its folder or its disk refuses writes. lastError() says why, and every
    // write fails with the driver's text.
    bool isReadOnly() const { return m_connection.isReadOnly(); }

    // The stored text, or defaultValue when the store is not open, the query fails or the key is absent.
    QString value(const QString &section, const QString &key, const QString &defaultValue = {}) const;
    // The stored value as an integer; defaultValue also when the text is not a number.
    int intValue(const QString &section, const QString &key, int defaultValue) const;
    // "true"/"1"/"yes" and "false"/"0"/"no" (any case); defaultValue for anything else.
    bool boolValue(const QString &section, const QString &key, bool defaultValue) const;

    // Stores the value with its type. LastModified becomes the current UTC time only when the value or its
    // type changes, so writing back unchanged settings does not make them look newer to a merge. False, with
    // lastError() set, when the statement fails.
    bool setString(const QString &section, const QString &key, const QString &value);
    bool setInt(const QString &section, const QString &key, int value);
    bool setBool(const QString &section, const QString &key, bool value);

    // Stores every value in one transaction: all of them, or, when one fails, none (the stored settings stay
    // as they were). False, with lastError() set, on failure.
    bool setValues(const QList<SettingValue> &values);

    // The text of the last failure; later successes do not clear it.
    QString lastError() const { return m_lastError; }

private:
    // Each the failed statement's error, with SQLite's code, for SqlConnection::settle; not valid on success.
    QSqlError createSchema();
    QSqlError seedDefaults();
    bool store(const QString &section, const QString &key, const QString &value, const QString &valueType);
    // Keeps the sentence as the last error and logs the driver's text with it.
    void fail(const QString &sentence, const QSqlError &error) const;

    SqlConnection m_connection;
    mutable QString m_lastError;
};

} // namespace tessaron::storage
