#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTest>

namespace tessaron::test {

// The folder the cups-pdf queue writes jobs to, read from its configuration; empty without one.
QString printOutputFolder();

// Waits, at most timeoutMs, for a job file in folder that is not among before and that poppler can read
// (cups-pdf writes under a temporary name first). Removes it, so the queue's folder does not grow with every
// run, and returns its content; empty when none came.
QByteArray takePrintedJob(const QDir &folder, const QStringList &before, int timeoutMs);

} // namespace tessaron::test

// Tests that need the print queue skip without one, unless CI demands it.
#define TESSARON_REQUIRE_PRINT_QUEUE(condition, what)                                                                  \
    if (!(condition)) {                                                                                                \
        if (qEnvironmentVariableIntValue("TESSARON_REQUIRE_PRINTER") == 1)                                             \
            QFAIL("no " what ", although TESSARON_REQUIRE_PRINTER=1");                                                 \
        QSKIP("no " what " on this machine: scripts/start-print-queue makes one");                                     \
    }
