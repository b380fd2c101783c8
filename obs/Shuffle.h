// The order in which "wqtrans Random" plays the transitions: from a seed, one of the
// chosen ones at each scene change, never the same one twice in a row when two or more
// are chosen. The same seed and choice give the same order on every machine (the
// generator is the standard library's mt19937, whose output the language fixes).
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace wqtrans::obs {

class Shuffle {
public:
    // `chosen[i]` says whether transition i may be played; none chosen plays them all.
    Shuffle(uint32_t seed, const std::vector<bool>& chosen) : generator(seed) {
        for (size_t i = 0; i < chosen.size(); ++i) {
            if (chosen[i]) {
                pool.push_back(static_cast<int>(i));
            }
        }
        if (pool.empty()) {
            for (size_t i = 0; i < chosen.size(); ++i) {
                pool.push_back(static_cast<int>(i));
            }
        }
    }

    // The index of the next transition to play, or -1 when there are none.
    int Next() {
        if (pool.empty()) {
            return -1;
        }
        if (pool.size() == 1) {
            return last = pool[0];
        }
        // One draw among the others than the last one played (a pool of at most a few
        // dozen: the remainder's bias is below one in a hundred million).
        const auto others = static_cast<uint32_t>(last < 0 ? pool.size() : pool.size() - 1);
        size_t pick = generator() % others;
        for (size_t i = 0; i < pool.size(); ++i) {
            if (pool[i] == last) {
                continue;
            }
            if (pick-- == 0) {
                return last = pool[i];
            }
        }
        return last = pool[0]; // not reached
    }

private:
    std::mt19937 generator;
    std::vector<int> pool;
    int last = -1;
};

} // namespace wqtrans::obs
