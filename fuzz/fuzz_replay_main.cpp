// Replays inputs through a fuzzer's entry point without libFuzzer: the built-in synthetic seeds (with
// --synthetic) and every file named on the command line or found in a named folder. Missing paths are skipped,
// so a test can name the folder of real downloads whether or not it is there. With --blocks (first) every
// input is cut into the block fuzzer's inputs first.

#include "fuzz_seeds.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool s_blocks = false;

void replayOne(const QByteArray &bytes)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
}

void replay(const QByteArray &bytes)
{
    if (!s_blocks)
        return replayOne(bytes);
    for (const QByteArray &block : tessaron::fuzz::blockInputs(bytes))
        replayOne(block);
}

bool replayFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    replay(file.readAll());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    int replayed = 0;
    bool failed = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1StringView("--blocks")) {
            s_blocks = true;
            continue;
        }
        if (argument == QLatin1StringView("--synthetic")) {
            for (const auto &seed : tessaron::fuzz::syntheticSeeds()) {
                // Every prefix too: truncated downloads (and blocks) are the commonest damage.
                const QList<QByteArray> inputs
                    = s_blocks ? tessaron::fuzz::blockInputs(seed.second) : QList<QByteArray> {seed.second};
                for (const QByteArray &input : inputs) {
                    for (qsizetype length = 0; length <= input.size(); ++length)
                        replayOne(input.first(length));
                }
                ++replayed;
            }
            continue;
        }
        const QFileInfo info(argument);
        if (info.isDir()) {
            QDirIterator files(argument, QDir::Files, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                failed = !replayFile(files.next()) || failed;
                ++replayed;
            }
        } else if (info.isFile()) {
            failed = !replayFile(argument) || failed;
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return failed ? 1 : 0;
}
