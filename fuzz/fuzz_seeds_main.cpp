// Writes a fuzzing corpus into a folder: the synthetic seeds, or with --blocks the block inputs of the
// synthetic seeds and of every file named after the folder (the real downloads, cut into their blocks).

#include "fuzz_seeds.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool writeSeed(const QDir &folder, const QString &name, const QByteArray &bytes)
{
    QFile file(folder.filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
    return false;
}

bool writeBlocks(const QDir &folder, const QString &source, const QByteArray &file)
{
    const QList<QByteArray> inputs = tessaron::fuzz::blockInputs(file);
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        if (!writeSeed(folder, QStringLiteral("%1-block-%2.bin").arg(source).arg(i), inputs.at(i)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const bool blocks = arguments.removeAll(QStringLiteral("--blocks")) > 0;
    if (arguments.isEmpty() || (!blocks && arguments.size() != 1)) {
        std::fprintf(stderr, "usage: tessaron_fuzz_seeds [--blocks] FOLDER [FILE...]\n");
        return 2;
    }
    const QDir folder(arguments.takeFirst());
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder.path()));
        return 1;
    }
    for (const auto &seed : tessaron::fuzz::syntheticSeeds()) {
        if (!(blocks ? writeBlocks(folder, seed.first, seed.second) : writeSeed(folder, seed.first, seed.second)))
            return 1;
    }
    for (const QString &path : std::as_const(arguments)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || !writeBlocks(folder, QFileInfo(path).fileName(), file.readAll()))
            return 1;
    }
    return 0;
}
