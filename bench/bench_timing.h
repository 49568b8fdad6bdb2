#pragma once

// Timing figures shared by the benchmark programs.

#include <sys/resource.h>

#include <algorithm>
#include <vector>

namespace tessaron::bench {

// The process's peak resident memory so far.
inline long peakResidentKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
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
