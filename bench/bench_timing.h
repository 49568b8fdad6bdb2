#pragma once

// Timing figures shared by the benchmark programs.

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tessaron::bench {

// The process's peak resident memory so far.
inline long peakResidentKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Linux: starts the process's peak resident memory ("VmHWM") again from its present size, so that a later
// residentKilobytes("VmHWM:") is the peak of what ran since. False where the system does not allow it.
inline bool restartPeakResident()
{
    FILE *file = std::fopen("/proc/self/clear_refs", "w");
    const bool written = file && std::fputs("5", file) >= 0;
    return file && std::fclose(file) == 0 && written;
}

// Linux: a line of /proc/self/status in kilobytes ("VmRSS:" the present resident memory, "VmHWM:" its peak); -1 when
// it cannot be read.
inline long residentKilobytes(const char *field)
{
    FILE *file = std::fopen("/proc/self/status", "r");
    long kilobytes = -1;
    char line[256];
    while (file && std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, field, std::strlen(field)) == 0)
            kilobytes = std::strtol(line + std::strlen(field), nullptr, 10);
    }
    if (file)
        std::fclose(file);
    return kilobytes;
}

struct Measurement
{
    double best = 0; // milliseconds
    double mean = 0;
};

// Best and mean of at least one run.
inline Measurement summarise(const std::vector<double> &milliseconds)
{
    Measurement result;
    result.best = *std::min_element(milliseconds.begin(), milliseconds.end());
    for (double value : milliseconds)
        result.mean += value / double(milliseconds.size());
    return result;
}

} // namespace tessaron::bench
