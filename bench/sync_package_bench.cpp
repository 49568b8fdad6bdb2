// Area "sync": export and import of a synchronisation package holding a year of a workshop's work: 2,000
// downloads cycled from the files given (about 200 MB from vehicle-unit downloads), 2,000 certificate XML files
// with their ledger, 2,000 calibrations, 2,000 certificates, 200 masters and 200 customers. Installation A
// exports; a fresh installation B imports (its databases are copied whole); B then imports the same package
// again (every row probed, none added). All in a temporary folder.

#include "core_bench.h"

#include "storage/app_paths.h"
#include "storage/calibration_repository.h"
#include "storage/certificate_repository.h"
#include "storage/customer_repository.h"
#include "storage/master_repository.h"
#include "sync/synchronization_manager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using tessaron::storage::AppPaths;
using tessaron::sync::SynchronizationManager;
using tessaron::sync::SyncResult;

namespace tessaron::bench {

namespace {

constexpr int downloads = 2000;
constexpr int records = 2000;
constexpr int people = 200;

bool writeBytes(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Fills the current installation; returns the bytes of its data files.
qint64 fillInstallation(const QStringList &files)
{
    qint64 bytes = 0;
    QList<QByteArray> contents;
    for (const QString &path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            contents.append(file.readAll());
    }
    if (contents.isEmpty())
        return -1;
    for (int i = 0; i < downloads; ++i) {
        const QByteArray &content = contents.at(i % contents.size());
        if (!writeBytes(AppPaths::downloadDirectory() + u"/download_%1.ddd"_s.arg(i, 4, 10, QChar(u'0')), content))
            return -1;
        bytes += content.size();
    }

    storage::CalibrationRepository calibrations;
    storage::CertificateRepository certificates;
    QByteArray ledger;
    const QStringList calibrationColumns = storage::CalibrationRepository::columnNames();
    const QStringList certificateFields = storage::CertificateRepository::fields();
    for (int i = 0; i < records; ++i) {
        QVariantMap calibration;
        for (const QString &column : calibrationColumns)
            calibration.insert(column, u"%1 %2"_s.arg(column).arg(i));
        calibration.remove(u"RecordDateTime"_s);
        QVariantMap certificate;
        for (const QString &field : certificateFields)
            certificate.insert(field, u"%1 %2"_s.arg(field).arg(i));
        const QString xmlName = u"certificate_%1.xml"_s.arg(i);
        const QByteArray xml = "<Certificate>" + QByteArray(2000, 'x') + "</Certificate>";
        if (calibrations.insertCalibration(calibration) < 0
            || certificates.saveCertificate(certificate, xmlName, xmlName + u".pdf"_s) < 0
            || !writeBytes(AppPaths::data() + u"/XML/"_s + xmlName, xml))
            return -1;
        ledger += "checksum" + QByteArray::number(i) + '|' + xmlName.toUtf8() + '\n';
        bytes += xml.size();
    }
    if (!writeBytes(AppPaths::data() + u"/XML/checksums.txt"_s, ledger))
        return -1;
    storage::MasterRepository masters;
    storage::CustomerRepository customers;
    for (int i = 0; i < people; ++i) {
        if (masters.addMaster(u"Мастер %1"_s.arg(i)) < 0
            || customers.addCustomer(u"Клиент %1"_s.arg(i), u"Адрес %1"_s.arg(i), u"+7 000 %1"_s.arg(i)) < 0)
            return -1;
    }
    return bytes + ledger.size();
}

bool check(const SyncResult &result)
{
    if (!result.success)
        std::fprintf(stderr, "%s\n", qPrintable(result.message));
    return result.success;
}

// User and system processor time of the process so far: the import waits mostly for the disk.
double cpuMilliseconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void printCpu(double since, int runs)
{
    std::printf("  processor time %.0f ms per run\n", (cpuMilliseconds() - since) / runs);
}

void printPeak(const char *after)
{
    std::printf("  peak resident memory after %s: %.0f MB\n", after, double(peakResidentKilobytes()) / 1024.0);
}

} // namespace

int benchSyncPackage(const QStringList &files, int repeat)
{
    QTemporaryDir root;
    const QByteArray previousLocalAppData = qgetenv("LOCALAPPDATA");
    useInstallation(root, u"A"_s);
    const qint64 dataBytes = fillInstallation(files);
    if (dataBytes < 0) {
        std::fprintf(stderr, "could not fill the installation\n");
        return 1;
    }
    std::printf(
        "sync: %d downloads and %d XML files, %.1f MB of data files\n", downloads, records, double(dataBytes) / 1e6);
    printPeak("filling");

    const QString package = root.filePath(u"year.tspak"_s);
    SyncResult exported;
    double cpu = cpuMilliseconds();
    print("exportPackage", repeat, measure(repeat, [&] { exported = SynchronizationManager::exportPackage(package); }));
    bool ok = check(exported);
    if (!ok)
        return 1;
    printCpu(cpu, repeat);
    std::printf("  package %.1f MB, %d entries\n", double(QFileInfo(package).size()) / 1e6, exported.fileCount);
    printPeak("export");

    std::vector<double> firstImports;
    double importCpu = 0;
    for (int run = 0; run < repeat && ok; ++run) {
        useInstallation(root, u"B%1"_s.arg(run));
        QElapsedTimer timer;
        timer.start();
        cpu = cpuMilliseconds();
        ok = check(SynchronizationManager::importPackage(package));
        importCpu += cpuMilliseconds() - cpu;
        firstImports.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    if (!ok)
        return 1;
    print("importPackage into an empty installation", repeat, summarise(firstImports));
    std::printf("  processor time %.0f ms per run\n", importCpu / repeat);
    SyncResult again;
    cpu = cpuMilliseconds();
    print("importPackage again (every row present)", repeat,
        measure(repeat, [&] { again = SynchronizationManager::importPackage(package); }));
    if (!check(again))
        return 1;
    printCpu(cpu, repeat);
    std::printf("  %s\n", qPrintable(again.message));
    printPeak("imports");

    AppPaths::setProgramDirectoryForTesting({});
    qputenv("LOCALAPPDATA", previousLocalAppData);
    return 0;
}

} // namespace tessaron::bench
