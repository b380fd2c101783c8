// The benchmarks' main: Google Benchmark's own, with a summary after the console table of
// each transition's worst moment in the FrameAtMoment benchmarks (the largest multiple
// of a frame memcpy over the moments and run lengths timed, per frame size). With
// --benchmark_repetitions the medians are summarised.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "module/Exports.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        parts.push_back(part);
    }
    return parts;
}

std::string NameOf(const std::string& code) {
    if (code.size() != 4) {
        return code;
    }
    uint32_t id = 0;
    std::memcpy(&id, code.data(), 4);
    for (int32_t index = 0; index < GetTransCount(); ++index) {
        if (static_cast<uint32_t>(GetTransID(index)) != id) {
            continue;
        }
        char16_t wide[128] = {};
        const int32_t length = GetTransName(index, wide, 128);
        std::string name;
        for (int32_t i = 0; i < length && i < 128; ++i) {
            name += static_cast<char>(wide[i]);
        }
        return name;
    }
    return code;
}

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const auto ratio = run.counters.find("x_memcpy");
            if ((!single && !median) || ratio == run.counters.end() || run.error_occurred) {
                continue;
            }
            // FrameAtMoment/CODE/WxH/Dms/P%[/manual_time...]
            const std::vector<std::string> parts = Split(run.run_name.function_name, '/');
            if (parts.size() < 5 || parts[0] != "FrameAtMoment") {
                continue;
            }
            Worst& worst = worsts[parts[1]][parts[2]];
            if (ratio->second.value > worst.ratio) {
                worst = {ratio->second.value, parts[4] + " of " + parts[3]};
            }
            if (order.empty() || order.back() != parts[1]) {
                bool seen = false;
                for (const std::string& code : order) {
                    seen = seen || code == parts[1];
                }
                if (!seen) {
                    order.push_back(parts[1]);
                }
            }
            sizes[parts[2]] = true;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        if (order.empty()) {
            return;
        }
        std::printf("\nFrame at any moment, each transition's worst moment (x memcpy of one frame):\n");
        std::printf("%-20s", "transition");
        for (const auto& [size, unused] : sizes) {
            std::printf("  %-28s", size.c_str());
        }
        std::printf("\n");
        for (const std::string& code : order) {
            std::printf("%-20s", NameOf(code).c_str());
            for (const auto& [size, unused] : sizes) {
                const auto found = worsts[code].find(size);
                if (found == worsts[code].end()) {
                    std::printf("  %-28s", "-");
                } else {
                    char cell[64];
                    std::snprintf(cell, sizeof cell, "%.2f at %s", found->second.ratio, found->second.moment.c_str());
                    std::printf("  %-28s", cell);
                }
            }
            std::printf("\n");
        }
        std::fflush(stdout);
    }

private:
    struct Worst {
        double ratio = -1;
        std::string moment;
    };
    std::map<std::string, std::map<std::string, Worst>> worsts;
    std::map<std::string, bool> sizes;
    std::vector<std::string> order;
};

} // namespace

int main(int argc, char** argv) {
    // Another output format asked for: the library's own reporters, without the summary.
    bool console = true;
    for (int i = 1; i < argc; ++i) {
        console = console && (std::strncmp(argv[i], "--benchmark_format=", 19) != 0 ||
                              std::strcmp(argv[i], "--benchmark_format=console") == 0);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    if (console) {
        SummaryReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
