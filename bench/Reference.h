// What the benchmarks measure against: the calling thread's CPU time (the benchmarks
// run on a shared machine, so wall time would count other programs' work) and a plain
// memcpy of one frame from memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include <benchmark/benchmark.h>

namespace wqtrans::bench {

inline double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// A memcpy of one frame of `pixels` 32-bit words, taking its turn among enough frame
// buffers to fill twice the last-level cache of the machines measured (32 MiB), so that
// it always copies from memory: what the code measured beside it leaves in the cache
// does not change the reference.
class FrameMemcpy {
public:
    explicit FrameMemcpy(std::size_t pixels)
        : bytes(pixels * sizeof(uint32_t)), pairs(std::max<std::size_t>(2, (kCaches + 2 * bytes - 1) / (2 * bytes))),
          from(pairs, std::vector<uint32_t>(pixels, 0x12345678u)), to(pairs, std::vector<uint32_t>(pixels, 0u)) {}

    // One copy; returns its time in ns.
    double Run() {
        turn = (turn + 1) % pairs;
        const double start = ThreadCpuNs();
        std::memcpy(to[turn].data(), from[turn].data(), bytes);
        benchmark::ClobberMemory();
        return ThreadCpuNs() - start;
    }

private:
    static constexpr std::size_t kCaches = std::size_t{64} << 20;
    std::size_t bytes;
    std::size_t pairs;
    std::vector<std::vector<uint32_t>> from;
    std::vector<std::vector<uint32_t>> to;
    std::size_t turn = 0;
};

} // namespace wqtrans::bench
