#include "settings_repository.h"

#include "database_catalog.h"
#include "logging/shown_failure.h"
#include "settings_keys.h"
#include "transaction_guard.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

// Seeded defaults carry the earliest stamp, so that any value set anywhere wins a merge against them.
const QString seededTimestamp = QStringLiteral("1970-01-01 00:00:00");

} // namespace

SettingsRepository::SettingsRepository(const QString &databasePath)
    : m_connection(
        u"TessaronSettings"_s, databasePath.isEmpty() ? DatabaseCatalog::path(KnownDatabase::Settings) : databasePath)
{
    if (!m_connection.isOpen()) {
        m_lastError = m_connection.openError();
        return;
    }
    // A store that can be read but not written keeps showing what it holds; the seeding's failure is its error.
    QSqlError setUpError = createSchema();
    if (!setUpError.isValid())
        setUpError = seedDefaults();
    if (const QString error = m_connection.settle(setUpError, u"Settings"_s); !error.isEmpty())
        m_lastError = error;
}

SettingsRepository::~SettingsRepository() = default;

bool SettingsRepository::isOpen() const
{
    return m_connection.isOpen();
}

QSqlError SettingsRepository::createSchema()
{
    QSqlQuery query(m_connection.database());
    if (!query.exec(u"CREATE TABLE IF NOT EXISTS Settings ("
                    "Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                    "Section TEXT NOT NULL, "
                    "Key TEXT NOT NULL, "
                    "Value TEXT, "
                    "ValueType TEXT DEFAULT 'String', "
                    "Description TEXT, "
                    "LastModified DATETIME DEFAULT CURRENT_TIMESTAMP, "
                    "UNIQUE(Section, Key))"_s)) {
        fail(u"Не удалось подготовить базу настроек"_s, query.lastError());
        return query.lastError();
    }
    return {};
}

QSqlError SettingsRepository::seedDefaults()
{
    TransactionGuard transaction(m_connection.database());
    if (!transaction.isActive()) {
        fail(u"Не удалось записать настройки по умолчанию"_s, transaction.error());
        return transaction.error();
    }
    {
        QSqlQuery query(m_connection.database());
        if (!query.prepare(u"INSERT OR IGNORE INTO Settings (Section, Key, Value, ValueType, Description, "
                           "LastModified) VALUES (?, ?, ?, ?, ?, ?)"_s)) {
            fail(u"Не удалось записать настройки по умолчанию"_s, query.lastError());
            return query.lastError();
        }
        for (const settings::Default &entry : settings::defaults()) {
            query.addBindValue(entry.section);
            query.addBindValue(entry.key);
            query.addBindValue(entry.value.isNull() ? u""_s : entry.value);
            query.addBindValue(entry.valueType);
            query.addBindValue(entry.description);
            query.addBindValue(seededTimestamp);
            if (!query.exec()) {
                fail(u"Не удалось записать настройки по умолчанию"_s, query.lastError());
                return query.lastError();
            }
        }
    }
    if (!transaction.commit()) {
        fail(u"Не удалось записать настройки по умолчанию"_s, transaction.error());
        return transaction.error();
    }
    return {};
}

QString SettingsRepository::value(const QString &section, const QString &key, const QString &defaultValue) const
{
    if (!isOpen())
        return defaultValue;
    QSqlQuery query(m_connection.database());
    query.prepare(u"SELECT Value FROM Settings WHERE Section = ? AND Key = ?"_s);
    query.addBindValue(section);
    query.addBindValue(key);
    if (!query.exec()) {
        fail(u"Не удалось прочитать настройку"_s, query.lastError());
        return defaultValue;
    }
    if (!query.next())
        return defaultValue;
    return query.value(0).toString();
}

int SettingsRepository::intValue(const QString &section, const QString &key, int defaultValue) const
{
    bool ok = false;
    const int number = value(section, key).trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

bool SettingsRepository::boolValue(const QString &section, const QString &key, bool defaultValue) const
{
    const QString text = value(section, key).trimmed().toLower();
    if (text == u"true"_s || text == u"1"_s || text == u"yes"_s)
        return true;
    if (text == u"false"_s || text == u"0"_s || text == u"no"_s)
        return false;
    return defaultValue;
}

bool SettingsRepository::setString(const QString &section, const QString &key, const QString &value)
{
    return store(section, key, value.isNull() ? u""_s : value, settings::typeString);
}

bool SettingsRepository::setInt(const QString &section, const QString &key, int value)
{
    return store(section, key, QString::number(value), settings::typeInt);
}

bool SettingsRepository::setBool(const QString &section, const QString &key, bool value)
{
    return store(section, key, value ? u"true"_s : u"false"_s, settings::typeBool);
}

bool SettingsRepository::setValues(const QList<SettingValue> &values)
{
    if (!isOpen())
        return false;
    TransactionGuard transaction(m_connection.database());
    if (!transaction.isActive()) {
        fail(u"Не удалось записать настройки"_s, transaction.error());
        return false;
    }
    for (const SettingValue &setting : values) {
        bool stored = false;
        switch (setting.value.typeId()) {
        case QMetaType::Bool:
            stored = setBool(setting.section, setting.key, setting.value.toBool());
            break;
        case QMetaType::Int:
            stored = setInt(setting.section, setting.key, setting.value.toInt());
            break;
        default:
            stored = setString(setting.section, setting.key, setting.value.toString());
            break;
        }
        if (!stored)
            return false;
    }
    if (!transaction.commit()) {
        fail(u"Не удалось записать настройки"_s, transaction.error());
        return false;
    }
    return true;
}

bool SettingsRepository::store(
    const QString &section, const QString &key, const QString &value, const QString &valueType)
{
    if (!isOpen())
        return false;
    QSqlQuery query(m_connection.database());
    query.prepare(u"INSERT INTO Settings (Section, Key, Value, ValueType, LastModified) VALUES (?, ?, ?, ?, ?) "
                  "ON CONFLICT(Section, Key) DO UPDATE SET Value = excluded.Value, ValueType = excluded.ValueType, "
                  "LastModified = excluded.LastModified "
                  "WHERE Settings.Value IS NOT excluded.Value OR Settings.ValueType IS NOT excluded.ValueType"_s);
    query.addBindValue(section);
    query.addBindValue(key);
    query.addBindValue(value);
    query.addBindValue(valueType);
    query.addBindValue(currentSqlTimestamp());
    if (!query.exec()) {
        fail(u"Не удалось записать настройку"_s, query.lastError());
        return false;
    }
    return true;
}

void SettingsRepository::fail(const QString &sentence, const QSqlError &error) const
{
    m_lastError = shownSqlFailure(sentence, error, u"storage"_s);
}

} // namespace tessaron::storage
