#pragma once

// Shared pieces of tessaron_core_bench. Each measured area is one function in a file of its own, listed in the
// area table of tessaron_core_bench.cpp.

#include "bench_timing.h"
#include "storage/app_paths.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace tessaron::bench {

// Runs work repeat times and times each run.
template<typename Work> Measurement measure(int repeat, Work work)
{
    std::vector<double> milliseconds;
    for (int run = 0; run < repeat; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return summarise(milliseconds);
}

inline void print(const char *what, int repeat, const Measurement &measurement)
{
    std::printf("%-64s runs %3d  best %9.2f ms  mean %9.2f ms\n", what, repeat, measurement.best, measurement.mean);
}

// Points the application's folders at the installation of that name inside root, and makes them.
inline void useInstallation(const QTemporaryDir &root, const QString &name)
{
    qputenv("LOCALAPPDATA", root.filePath(name + QStringLiteral("/LocalAppData")).toLocal8Bit());
    storage::AppPaths::setProgramDirectoryForTesting(root.filePath(name + QStringLiteral("/Program")));
    storage::AppPaths::ensureDirectories();
}

// Area "database": the report database on the vehicle-unit download given (files.first()). 0 on success.
int benchReportDatabase(const QStringList &files, int repeat);
// Area "pdf": the DDD PDF report of each download given. 0 on success.
int benchPdfReport(const QStringList &files, int repeat);
// Area "merge": a synthetic legacy report file merged into a copy of itself (the files are not read). 0 on success.
int benchSyncMerge(const QStringList &files, int repeat);
// Area "merge-rows": report files of many equal rows and of many copies of one report, each beside as many distinct
// rows, merged (the files are not read). 0 on success.
int benchSyncMergeRows(const QStringList &files, int repeat);
// Area "sync": export and import of a synchronisation package with a year of downloads cycled from the files
// given. 0 on success.
int benchSyncPackage(const QStringList &files, int repeat);
// Areas "names-wide" and "names-deep": the entry name check of a package of 100,000 entries, and of one entry
// 20,000 folders deep (the files are not read). 0 on success.
int benchNamesWide(const QStringList &files, int repeat);
int benchNamesDeep(const QStringList &files, int repeat);
// Area "usb-join": the computer's side of a synchronisation session whose phone answers with a join file of
// 200 MB (the files are not read). 0 when the session refuses the join.
int benchUsbJoin(const QStringList &files, int repeat);
// Area "schema": the import of a package whose customers database holds a 10 MB schema in a table never read (the
// files are not read). 0 on success.
int benchSyncSchema(const QStringList &files, int repeat);
// Area "views": the import of a package whose masters database holds views slow to compile, beside a plain package's
// (the files are not read). 0 on success.
int benchSyncViews(const QStringList &files, int repeat);

} // namespace tessaron::bench
