// Areas "names-wide" and "names-deep": the entry name check of a package, EntryNameCheck::add over every entry path,
// on 100,000 entries in 1,000 folders and on one entry 20,000 folders deep. The files given are not read. Run each
// area in a process of its own: the peak memory it prints is the process's, and its growth during the check.

#include "core_bench.h"

#include "sync/entry_name_check.h"

using namespace Qt::StringLiterals;
using tessaron::sync::EntryNameCheck;
using tessaron::sync::EntryNameFault;

namespace tessaron::bench {

namespace {

constexpr int wideEntries = 100000;
constexpr int deepFolders = 20000;

int benchNames(const char *what, const QStringList &paths, int repeat)
{
    qsizetype characters = 0;
    for (const QString &path : paths)
        characters += path.size();
    std::printf("%s: %lld entries, %lld characters\n", what, qlonglong(paths.size()), qlonglong(characters));
    const long before = peakResidentKilobytes();
    int refused = 0;
    print("EntryNameCheck::add over every entry", repeat, measure(repeat, [&] {
        EntryNameCheck check;
        refused = 0;
        for (const QString &path : paths)
            refused += check.add(path) != EntryNameFault::None;
    }));
    std::printf("  refused %d; peak resident memory %.1f MB, %.1f MB more than before the check\n", refused,
        double(peakResidentKilobytes()) / 1024.0, double(peakResidentKilobytes() - before) / 1024.0);
    return refused == 0 ? 0 : 1;
}

} // namespace

int benchNamesWide(const QStringList &, int repeat)
{
    QStringList paths;
    paths.reserve(wideEntries);
    for (int i = 0; i < wideEntries; ++i)
        paths.append(u"files/Documents/Клиент %1/Акт %2.pdf"_s.arg(i % 1000).arg(i));
    return benchNames("names-wide", paths, repeat);
}

int benchNamesDeep(const QStringList &, int repeat)
{
    QString path = u"files/Documents/"_s;
    path.reserve(path.size() + 2 * deepFolders + 5);
    for (int i = 0; i < deepFolders; ++i)
        path += u"a/"_s;
    path += u"x.pdf"_s;
    return benchNames("names-deep", {path}, repeat);
}

} // namespace tessaron::bench
