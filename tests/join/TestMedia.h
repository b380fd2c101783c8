// What the join tests share: the tool tests' scratch directory, and short clips and
// sounds made with the ffmpeg program at test time.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

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

// Runs a program in `dir`; the test fails when it does.
inline void Shell(const Scratch& dir, const std::string& command) {
    const std::string line = "cd '" + dir.dir.string() + "' && " + command;
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
}

// Runs the ffmpeg program in `dir`.
inline void Ffmpeg(const Scratch& dir, const std::string& args) { Shell(dir, "ffmpeg -nostdin -v error -y " + args); }

// A copy of a clip's first stream with `bytes` of side data of `type` on it, as phones
// write a display matrix or a Dolby Vision configuration beside the stream. `unofficial`
// lets the muxer write boxes that are not in the standard (dvcC).
inline bool WithSideData(const std::string& from, const std::string& to, AVPacketSideDataType type, uint8_t* bytes,
                         size_t size, bool unofficial = false) {
    AVFormatContext* in = nullptr;
    AVFormatContext* out = nullptr;
    bool done = avformat_open_input(&in, from.c_str(), nullptr, nullptr) >= 0 &&
                avformat_find_stream_info(in, nullptr) >= 0 &&
                avformat_alloc_output_context2(&out, nullptr, nullptr, to.c_str()) >= 0;
    if (!done) {
        av_free(bytes);
    } else {
        if (unofficial) {
            out->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
        }
        AVStream* stream = avformat_new_stream(out, nullptr);
        avcodec_parameters_copy(stream->codecpar, in->streams[0]->codecpar);
        stream->time_base = in->streams[0]->time_base;
        done = av_stream_add_side_data(stream, type, bytes, size) >= 0 &&
               avio_open(&out->pb, to.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(out, nullptr) >= 0;
        AVPacket* packet = av_packet_alloc();
        while (done && av_read_frame(in, packet) >= 0) {
            av_packet_rescale_ts(packet, in->streams[0]->time_base, stream->time_base);
            packet->stream_index = 0;
            done = av_interleaved_write_frame(out, packet) >= 0;
        }
        av_packet_free(&packet);
        done = done && av_write_trailer(out) >= 0;
        avio_closep(&out->pb);
    }
    avformat_free_context(out);
    avformat_close_input(&in);
    return done;
}

} // namespace wqtrans::jointest
