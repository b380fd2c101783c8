// Small helpers of the join engine's readers: FFmpeg's error codes and times as the
// engine's messages write them.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/PixelBudget.h"

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

// A time or count read from a file, held within 2^50 (35 years in microseconds) either
// way: a damaged header can claim any value, and the sums and differences taken of such
// values must not overflow.
inline int64_t Bounded(int64_t value) {
    constexpr int64_t kLimit = int64_t{1} << 50;
    return std::clamp(value, -kLimit, kLimit);
}

// A file's time in `base` as microseconds, bounded; a base of 0 gives the limit.
inline int64_t BoundedUs(int64_t value, AVRational base) {
    return Bounded(av_rescale_q(Bounded(value), base, AVRational{1, 1000000}));
}

// avformat_find_stream_info with its decoders refusing pictures past the pixel budget
// before they take their memory: a file's header can claim any size.
inline int FindStreamInfo(AVFormatContext* format) {
    std::vector<AVDictionary*> options(format->nb_streams, nullptr);
    for (AVDictionary*& option : options) {
        av_dict_set_int(&option, "max_pixels", kMaxPixels, 0);
    }
    const int result = avformat_find_stream_info(format, options.data());
    for (AVDictionary*& option : options) {
        av_dict_free(&option);
    }
    return result;
}

} // namespace wqtrans::join
