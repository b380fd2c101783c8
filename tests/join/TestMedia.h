// What the join tests share: a scratch directory, and short clips and sounds made with
// the ffmpeg program at test time.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace wqtrans::jointest {

class Scratch {
public:
    Scratch() {
        std::string name = (std::filesystem::temp_directory_path() / "wqtrans-join-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        dir = name;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string operator/(const std::string& name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

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
