// The calling thread's CPU time: the benchmarks run on a shared machine, so wall time
// would count other programs' work.
#pragma once

#include <ctime>

namespace wqtrans::bench {

inline double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

} // namespace wqtrans::bench
