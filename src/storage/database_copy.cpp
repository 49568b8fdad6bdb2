#include "database_copy.h"

#include "logging/shown_failure.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <thread>

using namespace Qt::StringLiterals;

namespace tessaron::storage {

namespace {

// A connection of SQLite's C interface, closed with the scope.
class Connection
{
public:
    Connection(const QString &path, int flags)
    {
        m_result = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    }
    ~Connection() { sqlite3_close_v2(m_db); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool isOpen() const { return m_result == SQLITE_OK; }
    sqlite3 *handle() const { return m_db; }
    QString errorText() const { return m_db != nullptr ? QString::fromUtf8(sqlite3_errmsg(m_db)) : u"out of memory"_s; }

private:
    sqlite3 *m_db = nullptr;
    int m_result = SQLITE_ERROR;
};

void removeWithJournals(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1StringView(suffix));
}

bool isBusy(int result)
{
    const int primary = result & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// Copies every page in one step, so the source's read lock is held from the first page to the last. A writer
// holding the file is waited for: by SQLite's busy handler, then by this loop until the deadline.
int backUp(sqlite3 *destination, sqlite3 *source, std::chrono::milliseconds busyWait)
{
    sqlite3_backup *backup = sqlite3_backup_init(destination, "main", source, "main");
    if (backup == nullptr)
        return sqlite3_extended_errcode(destination);
    const auto deadline = std::chrono::steady_clock::now() + busyWait;
    int step = sqlite3_backup_step(backup, -1);
    while (isBusy(step) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        step = sqlite3_backup_step(backup, -1);
    }
    const int finish = sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE)
        return step;
    return finish;
}

// The copy itself, its connections closed on return; the failure's sentence, empty on success.
QString copyInto(const QString &source, const QString &target, std::chrono::milliseconds busyWait)
{
    const QString shownSource = QDir::toNativeSeparators(source);
    // Read-write where the file allows it (SQLite falls back to reading): a hot journal a killed writer left is rolled
    // back only by a connection that may write. Never created: a missing source is a failure, not an empty copy.
    const Connection from(source, SQLITE_OPEN_READWRITE);
    if (!from.isOpen())
        return logging::shownFailure(
            u"Не удалось открыть базу %1 для копирования"_s.arg(shownSource), from.errorText(), u"storage"_s);
    const Connection to(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!to.isOpen())
        return logging::shownFailure(
            u"Не удалось создать копию базы %1: %2"_s.arg(shownSource, QDir::toNativeSeparators(target)),
            to.errorText(), u"storage"_s);
    const int waitMs = int(std::min<std::chrono::milliseconds::rep>(busyWait.count(), 600000));
    sqlite3_busy_timeout(from.handle(), waitMs);
    sqlite3_busy_timeout(to.handle(), waitMs);

    const int result = backUp(to.handle(), from.handle(), busyWait);
    if (result == SQLITE_OK)
        return {};
    QString sentence = u"Не удалось скопировать базу %1"_s.arg(shownSource);
    const int primary = result & 0xff;
    if (isBusy(result))
        sentence += u": её держит другая программа дольше %1 с"_s.arg(
            std::chrono::duration_cast<std::chrono::seconds>(busyWait).count());
    else if (primary == SQLITE_FULL)
        sentence += u": на диске нет места"_s;
    else if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT)
        sentence += u": файл повреждён или не является базой данных"_s;
    return logging::shownFailure(sentence, QString::fromUtf8(sqlite3_errstr(result)), u"storage"_s);
}

} // namespace

bool copyDatabase(const QString &source, const QString &target, QString *error, std::chrono::milliseconds busyWait)
{
    removeWithJournals(target);
    const QString sentence = copyInto(source, target, busyWait);
    if (sentence.isEmpty())
        return true;
    removeWithJournals(target);
    *error = sentence;
    return false;
}

} // namespace tessaron::storage
