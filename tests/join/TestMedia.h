// What the join tests share: the tool tests' scratch directory, and short clips and
// sounds made with the ffmpeg program at test time.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "tools/ToolHarness.h"

namespace wqtrans::jointest {

using tooltest::Scratch;

inline bool HaveFfmpeg() {
#ifdef WQTRANS_FFMPEG
    return true;
#else
    return false;
#endif
}

// Runs `ffmpeg -y ARGS OUT`; ARGS go through the shell as written (quote filter graphs
// in single quotes).
inline void Ffmpeg(const std::string& args, const std::string& out) {
#ifdef WQTRANS_FFMPEG
    const std::string command = std::string(WQTRANS_FFMPEG) + " -v error -nostdin -y " + args + " '" + out + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
#else
    (void)args;
    (void)out;
#endif
}

#define WQ_REQUIRE_FFMPEG()                                                                                            \
    do {                                                                                                               \
        if (!::wqtrans::jointest::HaveFfmpeg()) {                                                                      \
            GTEST_SKIP() << "the ffmpeg program was not found when configuring (Debian: ffmpeg)";                      \
        }                                                                                                              \
    } while (false)

} // namespace wqtrans::jointest
