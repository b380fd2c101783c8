// Timing beside a memcpy of one frame from memory, shared by the benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "bench/Reference.h"

namespace wqtrans {

// Runs `body` once per iteration and, after it, a memcpy of one w x h frame from
// memory, each timed on its own, so that both see the same load. Reports the body's
// time per call and its ratio to the memcpy; the body's time is the iteration time.
template <typename Body>
inline void Measure(benchmark::State& state, int32_t w, int32_t h, int64_t callsPerIteration, Body&& body) {
    bench::FrameMemcpy frameMemcpy(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    double bodyNs = 0;
    double memcpyNs = 0;
    int64_t iterations = 0;
    for (auto _ : state) {
        const double t0 = bench::ThreadCpuNs();
        body();
        benchmark::ClobberMemory();
        const double t1 = bench::ThreadCpuNs();
        bodyNs += t1 - t0;
        memcpyNs += frameMemcpy.Run();
        ++iterations;
        state.SetIterationTime((t1 - t0) * 1e-9);
    }
    const double n = static_cast<double>(std::max<int64_t>(1, iterations));
    state.counters["ns_per_call"] = bodyNs / (n * static_cast<double>(callsPerIteration));
    state.counters["memcpy_ns"] = memcpyNs / n;
    state.counters["x_memcpy"] = bodyNs / std::max(1.0, memcpyNs);
}

} // namespace wqtrans
