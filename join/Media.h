// Small helpers of the join engine's readers: FFmpeg's error codes and times as the
// engine's messages write them.
#pragma once

extern "C" {
#include <libavutil/error.h>
}

#include <cstdint>
#include <cstdio>
#include <string>

namespace wqtrans::join {

inline std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// A file's name as messages quote it.
inline std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Microseconds as "1.25 s".
inline std::string Seconds(int64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(us) / 1e6);
    return text;
}

} // namespace wqtrans::join
