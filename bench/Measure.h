// Timing beside a plain memcpy of one frame, shared by the benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

namespace wqtrans {

// The thread's CPU time in ns: the machine is shared, so wall time would count others' work.
inline double CpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Runs `body` once per iteration and, after it, a plain memcpy of one w x h frame, each
// timed on its own, so that both see the same load and caches. Reports the body's time
// per call and its ratio to the memcpy; the body's time is the iteration time.
template <typename Body>
inline void Measure(benchmark::State& state, int32_t w, int32_t h, int64_t callsPerIteration, Body&& body) {
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<uint32_t> from(count, 0x12345678u), to(count, 0u);
    double bodyNs = 0;
    double memcpyNs = 0;
    int64_t iterations = 0;
    for (auto _ : state) {
        const double t0 = CpuNs();
        body();
        benchmark::ClobberMemory();
        const double t1 = CpuNs();
        std::memcpy(to.data(), from.data(), count * sizeof(uint32_t));
        benchmark::ClobberMemory();
        const double t2 = CpuNs();
        bodyNs += t1 - t0;
        memcpyNs += t2 - t1;
        ++iterations;
        state.SetIterationTime((t1 - t0) * 1e-9);
    }
    const double n = static_cast<double>(std::max<int64_t>(1, iterations));
    state.counters["ns_per_call"] = bodyNs / (n * static_cast<double>(callsPerIteration));
    state.counters["memcpy_ns"] = memcpyNs / n;
    state.counters["x_memcpy"] = bodyNs / std::max(1.0, memcpyNs);
}

} // namespace wqtrans
