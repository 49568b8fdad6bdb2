// Writes the synthetic seeds into a corpus folder for a fuzzing run.

#include "fuzz_seeds.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaron_fuzz_seeds FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (const auto &seed : tessaron::fuzz::syntheticSeeds()) {
        QFile file(folder.filePath(seed.first));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed.second) != seed.second.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}
