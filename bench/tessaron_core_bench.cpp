// Benchmarks of the core library: tessaron_core_bench [--repeat N] [--area NAME] FILE...
// Runs every area, or the one named, over the files given; each area prints its best and mean times of N runs.

#include "core_bench.h"

#include <QGuiApplication>

#include <cstring>

namespace {

struct Area
{
    const char *name;
    int (*run)(const QStringList &files, int repeat);
};

constexpr Area areas[] = {
    {"database", tessaron::bench::benchReportDatabase},
    {"pdf", tessaron::bench::benchPdfReport},
    {"merge", tessaron::bench::benchSyncMerge},
    {"merge-rows", tessaron::bench::benchSyncMergeRows},
    {"sync", tessaron::bench::benchSyncPackage},
    {"names-wide", tessaron::bench::benchNamesWide},
    {"names-deep", tessaron::bench::benchNamesDeep},
    {"usb-join", tessaron::bench::benchUsbJoin},
    {"schema", tessaron::bench::benchSyncSchema},
    {"views", tessaron::bench::benchSyncViews},
};

int usage()
{
    std::fprintf(stderr, "usage: tessaron_core_bench [--repeat N] [--area NAME] FILE...\nareas:");
    for (const Area &area : areas)
        std::fprintf(stderr, " %s", area.name);
    std::fprintf(stderr, "\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // The PDF report takes its fonts from the platform's font database; the offscreen platform needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    int repeat = 5;
    QString only;
    QStringList files;
    const QStringList arguments = application.arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1StringView("--repeat") && i + 1 < arguments.size())
            repeat = std::max(1, arguments.at(++i).toInt());
        else if (argument == QLatin1StringView("--area") && i + 1 < arguments.size())
            only = arguments.at(++i);
        else if (argument.startsWith(QLatin1StringView("--")))
            return usage();
        else
            files.append(argument);
    }
    if (files.isEmpty())
        return usage();
    bool ran = false;
    for (const Area &area : areas) {
        if (!only.isEmpty() && only != QLatin1StringView(area.name))
            continue;
        ran = true;
        if (const int result = area.run(files, repeat))
            return result;
    }
    return ran ? 0 : usage();
}
