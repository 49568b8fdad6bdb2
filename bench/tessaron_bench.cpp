// Decoding benchmark: tessaron_bench [--repeat N] FILE...
// Decodes each file N times with everything Decoder::decodeFile does and prints the best and mean time and
// the throughput. With --repeat 1 one run is one whole process, comparable with other tools under
// /usr/bin/time. --write-synthetic-month PATH writes a month-long synthetic vehicle-unit download first;
// --copies N before it joins N copies of that month in the one file (for the growth of time and memory).

#include "bench_timing.h"
#include "ddd/ddd_decoder.h"
#include "ddd_file_builder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

using tessaron::ddd::DddReport;
using tessaron::ddd::Decoder;

namespace {

int usage()
{
    std::fprintf(stderr, "usage: tessaron_bench [--repeat N] [--copies N] [--write-synthetic-month PATH] FILE...\n");
    return 2;
}

bool writeSyntheticMonth(const QString &path, int copies)
{
    // Thirty days of activities and a day's worth of one-second speeds: 1440 blocks, 86,400 chart rows.
    const QByteArray bytes = tessaron::test::VuFileBuilder::typicalDownload(30, 1440).repeated(copies);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    int repeat = 1;
    int copies = 1;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1StringView("--repeat") && i + 1 < argc) {
            repeat = std::max(1, QString::fromLocal8Bit(argv[++i]).toInt());
        } else if (argument == QLatin1StringView("--copies") && i + 1 < argc) {
            copies = std::max(1, QString::fromLocal8Bit(argv[++i]).toInt());
        } else if (argument == QLatin1StringView("--write-synthetic-month") && i + 1 < argc) {
            const QString path = QString::fromLocal8Bit(argv[++i]);
            if (!writeSyntheticMonth(path, copies)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            files.append(path);
        } else if (argument.startsWith(QLatin1StringView("--"))) {
            return usage();
        } else {
            files.append(argument);
        }
    }
    if (files.isEmpty())
        return usage();

    for (const QString &path : std::as_const(files)) {
        std::vector<double> milliseconds;
        qint64 size = 0;
        qsizetype rows = 0;
        for (int run = 0; run < repeat; ++run) {
            QElapsedTimer timer;
            timer.start();
            QString error;
            const DddReport report = Decoder::decodeFile(path, &error);
            milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
            if (!error.isEmpty() && report.blocks.isEmpty()) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(error));
                return 1;
            }
            size = report.size;
            rows = report.charts.size();
        }
        const auto [best, mean] = tessaron::bench::summarise(milliseconds);
        std::printf("%-28s %9lld bytes  runs %4d  best %8.2f ms  mean %8.2f ms  %8.1f MB/s  chart rows %lld\n",
            qPrintable(QFileInfo(path).fileName()), static_cast<long long>(size), repeat, best, mean,
            double(size) / 1e6 / (best / 1e3), static_cast<long long>(rows));
    }
    std::printf("peak resident memory %ld KB\n", tessaron::bench::peakResidentKilobytes());
    return 0;
}
