#include "storage/calibration_repository.h"
#include "storage/customer_repository.h"
#include "storage/master_repository.h"
#include "storage/settings_keys.h"
#include "storage/settings_repository.h"
#include "storage/sql_connection.h"
#include "storage/vehicle_catalog_repository.h"
#include "storage/vehicle_configuration_repository.h"
#include "support/held_update.h"
#include "support/log_capture.h"
#include "support/small_disk.h"
#include "support/sqlite_probe.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;
using namespace tessaron::storage;
using tessaron::test::HeldUpdate;
using tessaron::test::SmallDisk;

namespace {

// What a store did when it was opened at a path and, if asked, written to.
struct Outcome
{
    bool open = false;
    bool readOnly = false;
    QString openError;
    bool wrote = false;
    QString writeError;
    bool readBack = false; // what the first, writable run wrote reads back
};

// Room enough on a disk for any store made anew, with the journal of its set-up: every store is writable there.
constexpr qint64 roomForAStore = 40 * 1024;

// Opens the store at path and, if asked, writes to it; beforeWrite runs between the two.
using StoreRun = std::function<Outcome(const QString &path, bool write, const std::function<void()> &beforeWrite)>;

template<typename Repository, typename Write, typename Read> StoreRun storeRun(Write write, Read read)
{
    return [write, read](const QString &path, bool doWrite, const std::function<void()> &beforeWrite) {
        Repository repository(path);
        Outcome outcome;
        outcome.open = repository.isOpen();
        outcome.readOnly = repository.isReadOnly();
        outcome.openError = repository.lastError();
        if (beforeWrite)
            beforeWrite();
        if (doWrite) {
            outcome.wrote = write(repository);
            outcome.writeError = repository.lastError();
        }
        outcome.readBack = read(repository);
        return outcome;
    };
}

struct Store
{
    const char *name;
    StoreRun run;
};

QList<Store> stores()
{
    return {
        {"settings",
            storeRun<SettingsRepository>(
                [](SettingsRepository &r) {
                    return r.setString(settings::sectionWorkshop, settings::workshopName, u"Тахосервис"_s);
                },
                [](const SettingsRepository &r) {
                    return r.value(settings::sectionWorkshop, settings::workshopName) == u"Тахосервис"_s;
                })},
        {"masters",
            storeRun<MasterRepository>([](MasterRepository &r) { return r.addMaster(u"Иванов И. И."_s) > 0; },
                [](const MasterRepository &r) { return r.masters().size() == 1; })},
        {"customers",
            storeRun<CustomerRepository>(
                [](CustomerRepository &r) { return r.addCustomer(u"ООО «Груз»"_s, {}, {}) > 0; },
                [](const CustomerRepository &r) { return r.customers().size() == 1; })},
        {"calibrations",
            storeRun<CalibrationRepository>(
                [](CalibrationRepository &r) {
                    return r.insertCalibration({{u"CustomerName"_s, u"ООО «Груз»"_s}}) > 0;
                },
                [](const CalibrationRepository &r) { return !r.calibration(1).isEmpty(); })},
        {"vehicle catalogue",
            storeRun<VehicleCatalogRepository>(
                [](VehicleCatalogRepository &r) { return r.addManufacturer(u"КАМАЗ"_s) > 0; },
                [](const VehicleCatalogRepository &r) { return r.manufacturers().size() == 1; })},
        {"vehicle configurations",
            storeRun<VehicleConfigurationRepository>(
                [](VehicleConfigurationRepository &r) { return r.saveConfiguration(u"КАМАЗ"_s, u"5490"_s, u"{}"_s); },
                [](const VehicleConfigurationRepository &r) {
                    return r.parametersJson(u"КАМАЗ"_s, u"5490"_s) == u"{}"_s;
                })},
    };
}

} // namespace

// Stores whose file can be read but not written keep showing what they hold, refuse every write with the
// driver's text and say why from the start; stores whose file is no database, or is damaged, are not opened and not
// touched, on any disk.
class TestStoreAccess : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SqlConnection::setOpenReadOnly(false); }

    void unusableFiles_data()
    {
        QTest::addColumn<int>("store");
        QTest::addColumn<QString>("fault");
        const QList<Store> all = stores();
        for (qsizetype i = 0; i < all.size(); ++i) {
            for (const char *fault : {"read-only", "full disk", "made anew on a full disk", "a text file", "truncated",
                     "a damaged page", "a damaged page on a full disk"})
                QTest::addRow("%s, %s", all.at(i).name, fault) << int(i) << QString::fromLatin1(fault);
        }
    }

    void unusableFiles()
    {
        QFETCH(int, store);
        QFETCH(QString, fault);
        const StoreRun storeRun = stores().at(store).run;
        const bool madeAnew = fault == u"made anew on a full disk"_s;
        const bool fullDisk = fault.endsWith(u"full disk"_s);
        const bool damagedPage = fault.startsWith(u"a damaged page"_s);
        const bool damaged = fault == u"a text file"_s || fault == u"truncated"_s || damagedPage;

        SmallDisk disk;
        QTemporaryDir plainFolder;
        if (fullDisk && !disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const QString path = fullDisk ? disk.filePath(u"store.db"_s) : plainFolder.filePath(u"store.db"_s);
        if (fault == u"a text file"_s) {
            tessaron::test::writeCorruptFile(path);
        } else if (!madeAnew) {
            const Outcome first = storeRun(path, true, {});
            QVERIFY2(first.open && !first.readOnly && first.wrote, qPrintable(first.writeError));
            QVERIFY(first.readBack);
        }
        // Page 2 is the root of the table each store makes first.
        if (damagedPage)
            QVERIFY(tessaron::test::damagePage(path, 2));
        if (fullDisk)
            disk.fill();
        else if (damaged)
            QVERIFY(fault != u"truncated"_s || QFile(path).resize(100));
        else
            SqlConnection::setOpenReadOnly(true);

        const QByteArray before = tessaron::test::fileBytes(path);
        const tessaron::test::LogCapture log;
        const Outcome second = storeRun(path, true, {});
        QCOMPARE(tessaron::test::fileBytes(path), before);
        QVERIFY(!second.openError.isEmpty());
        QVERIFY(!second.wrote);
        // A full disk is told as such, never as a damaged file; a damaged file as such, on any disk.
        if (fullDisk && !damaged) {
            QVERIFY2(second.openError.endsWith(u" (на диске нет места)"_s), qPrintable(second.openError));
            QVERIFY2(!second.openError.contains(u"повреждена"_s), qPrintable(second.openError));
        }
        if (madeAnew) {
            QVERIFY(!second.open);
            return;
        }
        if (damaged) {
            QVERIFY(!second.open);
            QVERIFY2(second.openError.contains(u"повреждена или не читается"_s), qPrintable(second.openError));
            QStringList left = QFileInfo(path).dir().entryList(QDir::Files);
            left.removeOne(u"filler"_s);
            QCOMPARE(left, QStringList {u"store.db"_s});
            return;
        }
        QVERIFY2(second.open, qPrintable(second.openError));
        QVERIFY(second.readOnly);
        QVERIFY(second.readBack);
        QVERIFY(!second.writeError.isEmpty());
        if (!fullDisk) {
            // The technician reads Russian; SQLite's own words are in the log.
            QVERIFY2(second.openError.contains(u"доступна только для чтения"_s), qPrintable(second.openError));
            QVERIFY2(second.writeError.startsWith(u"Не удалось"_s), qPrintable(second.writeError));
            QVERIFY(!second.writeError.contains(u"readonly"_s));
            QVERIFY2(log.text().contains(u"readonly"_s), qPrintable(log.text()));
        }
    }

    void littleRoom_data()
    {
        QTest::addColumn<int>("store");
        QTest::addColumn<bool>("madeAnew");
        QTest::addColumn<qint64>("room");
        const QList<Store> all = stores();
        for (qsizetype i = 0; i < all.size(); ++i) {
            for (const bool madeAnew : {true, false}) {
                for (const qint64 room : tessaron::test::roomsToTry(roomForAStore)) {
                    QTest::addRow(
                        "%s, %s, %lld KiB free", all.at(i).name, madeAnew ? "made anew" : "existing", room / 1024)
                        << int(i) << madeAnew << room;
                }
            }
        }
    }

    // On a disk with little room, a store made anew or opened again is writable, or says that the disk is full:
    // never read-only without a reason, never damaged. One that was written before still shows what it holds.
    void littleRoom()
    {
        QFETCH(int, store);
        QFETCH(bool, madeAnew);
        QFETCH(qint64, room);
        const StoreRun storeRun = stores().at(store).run;
        const SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const QString path = disk.filePath(u"store.db"_s);
        if (!madeAnew)
            QVERIFY(storeRun(path, true, {}).wrote);
        disk.fill(room);

        const Outcome outcome = storeRun(path, false, {});
        if (room == roomForAStore)
            QVERIFY2(outcome.openError.isEmpty(), qPrintable(outcome.openError));
        if (outcome.openError.isEmpty()) {
            QVERIFY(outcome.open && !outcome.readOnly);
            return;
        }
        QVERIFY2(outcome.openError.endsWith(u" (на диске нет места)"_s), qPrintable(outcome.openError));
        QVERIFY2(!outcome.openError.contains(u"повреждена"_s), qPrintable(outcome.openError));
        QCOMPARE(outcome.open, outcome.readOnly);
        QVERIFY(outcome.open || madeAnew);
        QCOMPARE(outcome.readBack, !madeAnew);
    }

    void writeOnAFullDisk_data()
    {
        QTest::addColumn<int>("store");
        const QList<Store> all = stores();
        for (qsizetype i = 0; i < all.size(); ++i)
            QTest::addRow("%s", all.at(i).name) << int(i);
    }

    // A store that opened writable and meets a full disk at its next write says that the disk is full.
    void writeOnAFullDisk()
    {
        QFETCH(int, store);
        const SmallDisk disk;
        if (!disk.isMounted())
            QSKIP("a full disk needs a tmpfs of its own, which only root may mount");
        const Outcome outcome = stores().at(store).run(disk.filePath(u"store.db"_s), true, [&disk] { disk.fill(); });
        QVERIFY2(outcome.open && !outcome.readOnly, qPrintable(outcome.openError));
        QVERIFY(!outcome.wrote);
        QVERIFY2(outcome.writeError.endsWith(u" (на диске нет места)"_s), qPrintable(outcome.writeError));
    }

    void heldByAnotherProgram_data()
    {
        QTest::addColumn<int>("store");
        QTest::addColumn<QString>("hold");
        // Two stores are enough for the shapes of a set-up: settings write their defaults in a transaction, masters
        // write nothing once their table is there. Each row waits out the other program, seconds at a time.
        for (const int store : {0, 1}) {
            for (const char *hold : {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"})
                QTest::addRow("%s, %s", stores().at(store).name, hold) << store << QString::fromLatin1(hold);
        }
    }

    // A store that another program is writing is never told as damaged: it opens, read-only at worst with that
    // program as the reason, or, where that program keeps it from being read at all, it says so.
    void heldByAnotherProgram()
    {
        QFETCH(int, store);
        QFETCH(QString, hold);
        const StoreRun storeRun = stores().at(store).run;
        const QTemporaryDir folder;
        const QString path = folder.filePath(u"store.db"_s);
        QVERIFY(storeRun(path, true, {}).wrote);
        const HeldUpdate holder(path, {hold});
        QVERIFY2(holder.isHeld(), qPrintable(holder.output()));

        const Outcome outcome = storeRun(path, false, {});
        QVERIFY2(!outcome.openError.contains(u"повреждена"_s), qPrintable(outcome.openError));
        if (outcome.openError.isEmpty())
            QVERIFY(outcome.open && !outcome.readOnly);
        else
            QVERIFY2(outcome.openError.endsWith(u" (её держит другая программа дольше 5 с)"_s),
                qPrintable(outcome.openError));
        if (hold == u"BEGIN EXCLUSIVE"_s)
            QVERIFY(!outcome.open);
        else
            QVERIFY(outcome.readBack);
    }
};

// Started again by a HeldUpdate, the program holds an update of a store instead of testing.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const int code = HeldUpdate::runIfAsked(); code >= 0)
        return code;
    TestStoreAccess test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_store_access.moc"
