// Replays inputs through a fuzzer's entry point without libFuzzer: the built-in synthetic seeds (with
// --synthetic), every file of the folder of real downloads (with --samples FOLDER: the folder the environment
// variable TESSARON_SAMPLES_DIR names at run time, as every test reads it, else FOLDER), and every file named on
// the command line or found in a named folder. Missing paths are skipped, so a test can name the folder of real
// downloads whether or not it is there; an unreadable samples folder is named in the output, and fails the run
// where the samples are required (TESSARON_REQUIRE_SAMPLES=1, as in CI). With --blocks (first) every input is cut
// into the block fuzzer's inputs first.

#include "fuzz_seeds.h"

#include <QDir>
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

// Every file of folder (and its subfolders), or the file path names; the number replayed. *failed turns true
// when a file cannot be read.
int replayPath(const QString &path, bool *failed)
{
    const QFileInfo info(path);
    int replayed = 0;
    if (info.isDir()) {
        QDirIterator files(path, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            *failed = !replayFile(files.next()) || *failed;
            ++replayed;
        }
    } else if (info.isFile()) {
        *failed = !replayFile(path) || *failed;
        ++replayed;
    }
    return replayed;
}

// The folder of real downloads, as the tests read it: the environment's when set, else the configured one. Says
// which folder it read or could not read; *failed turns true when it could not and the samples are required.
int replaySamples(const QString &configured, bool *failed)
{
    const QString fromEnvironment = qEnvironmentVariable("TESSARON_SAMPLES_DIR");
    const QString folder = QDir::cleanPath(fromEnvironment.isEmpty() ? configured : fromEnvironment);
    const int replayed = QFileInfo(folder).isDir() ? replayPath(folder, failed) : 0;
    if (replayed > 0) {
        std::printf("replayed %d files of the real downloads in %s\n", replayed, qPrintable(folder));
    } else if (qEnvironmentVariableIntValue("TESSARON_REQUIRE_SAMPLES") == 1) {
        std::fprintf(
            stderr, "real downloads not found in %s, although TESSARON_REQUIRE_SAMPLES=1\n", qPrintable(folder));
        *failed = true;
    } else {
        std::printf("real downloads not found in %s: skipped them\n", qPrintable(folder));
    }
    return replayed;
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
        if (argument == QLatin1StringView("--samples") && i + 1 < argc) {
            replayed += replaySamples(QString::fromLocal8Bit(argv[++i]), &failed);
            continue;
        }
        replayed += replayPath(argument, &failed);
    }
    std::printf("replayed %d inputs\n", replayed);
    return failed ? 1 : 0;
}
