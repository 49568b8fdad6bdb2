// Replays inputs through the fuzzer's entry point without libFuzzer: the built-in synthetic seeds (with
// --synthetic) and every file named on the command line or found in a named folder. Missing paths are skipped,
// so a test can name the folder of real downloads whether or not it is there.

#include "fuzz_seeds.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void replay(const QByteArray &bytes)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
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
        if (argument == QLatin1StringView("--synthetic")) {
            for (const auto &seed : tessaron::fuzz::syntheticSeeds()) {
                // Every prefix too: truncated downloads are the commonest damage.
                for (qsizetype length = 0; length <= seed.second.size(); ++length)
                    replay(seed.second.first(length));
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
