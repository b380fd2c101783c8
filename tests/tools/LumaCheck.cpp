// The luma maps in MLT's own wipe, checked against the frame renderer's pictures.
//   wqtrans_luma_check grey LEVEL WxH OUT.png
//     writes a flat grey picture (LEVEL 0 to 255 in red, green and blue);
//   wqtrans_luma_check compare WxH OLD NEW FRAMES.rgba EXPECTED.png...
//     FRAMES.rgba holds the wipe's frames, raw RGBA one after another, of two flat grey
//     inputs OLD and NEW (levels 0 to 255); frame k must show the new input exactly
//     where EXPECTED k (the renderer's picture from the same two greys) does. The wipe
//     mixes in YUV 4:2:2, so a frame's pixel counts as the input whose grey it is
//     nearest.
//   wqtrans_luma_check same WxH FRAMES.rgba EXPECTED.png...
//     frame k of FRAMES.rgba must be EXPECTED k, pixel for pixel (a host that keeps
//     RGBA, such as melt with frei0r transitions).
// Exits 0 when all frames hold, 1 with the first wrong pixel otherwise.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/SoftwareSurface.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: wqtrans_luma_check grey LEVEL WxH OUT.png\n"
                         "       wqtrans_luma_check compare WxH OLD NEW FRAMES.rgba EXPECTED.png...\n"
                         "       wqtrans_luma_check same WxH FRAMES.rgba EXPECTED.png...\n");
    return 2;
}

bool ParseSize(const char* text, int32_t& width, int32_t& height) {
    return std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0;
}

int Grey(int argc, char** argv) {
    int32_t width = 0, height = 0;
    if (argc != 5 || !ParseSize(argv[3], width, height)) {
        return Usage();
    }
    const uint32_t level = static_cast<uint32_t>(std::atoi(argv[2])) & 0xFF;
    wqtrans::SoftwareSurface picture(width, height);
    picture.Fill(0xFF000000u | level << 16 | level << 8 | level);
    std::string error;
    if (!picture.SavePng(argv[4], &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[4], error.c_str());
        return 1;
    }
    return 0;
}

int Compare(int argc, char** argv) {
    int32_t width = 0, height = 0;
    if (argc < 7 || !ParseSize(argv[2], width, height)) {
        return Usage();
    }
    const int oldGrey = std::atoi(argv[3]);
    const int newGrey = std::atoi(argv[4]);
    std::ifstream in(argv[5], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t frameBytes = static_cast<size_t>(width) * height * 4;
    const size_t frames = bytes.size() / frameBytes;
    const size_t expected = static_cast<size_t>(argc - 6);
    if (frames != expected || bytes.size() % frameBytes != 0) {
        std::fprintf(stderr, "%s: %zu bytes, not %zu frames of %dx%d\n", argv[5], bytes.size(), expected, width,
                     height);
        return 1;
    }
    for (size_t k = 0; k < frames; ++k) {
        wqtrans::SoftwareSurface want;
        std::string error;
        if (!want.LoadPng(argv[6 + k], &error) || want.Width() != width || want.Height() != height) {
            std::fprintf(stderr, "%s: %s\n", argv[6 + k], error.empty() ? "not of the frame size" : error.c_str());
            return 1;
        }
        for (int32_t p = 0; p < width * height; ++p) {
            const int got = static_cast<unsigned char>(bytes[k * frameBytes + static_cast<size_t>(p) * 4 + 1]);
            const bool gotNew = std::abs(got - newGrey) < std::abs(got - oldGrey);
            const int wantGrey = static_cast<int>((want.Pixels()[p] >> 8) & 0xFF);
            if (wantGrey != oldGrey && wantGrey != newGrey) {
                std::fprintf(stderr, "%s: pixel (%d, %d) is %d, neither input's grey\n", argv[6 + k], p % width,
                             p / width, wantGrey);
                return 1;
            }
            if (gotNew != (wantGrey == newGrey)) {
                std::fprintf(stderr, "frame %zu: pixel (%d, %d) shows the %s input (grey %d), the renderer the %s\n", k,
                             p % width, p / width, gotNew ? "new" : "old", got, gotNew ? "old" : "new");
                return 1;
            }
        }
    }
    return 0;
}

// The frames of a raw RGBA file of `width` x `height`, or an empty list with a message
// when it does not hold `expected` of them.
std::vector<char> ReadFrames(const char* path, int32_t width, int32_t height, size_t expected) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t frameBytes = static_cast<size_t>(width) * height * 4;
    if (bytes.size() != frameBytes * expected) {
        std::fprintf(stderr, "%s: %zu bytes, not %zu frames of %dx%d\n", path, bytes.size(), expected, width, height);
        bytes.clear();
    }
    return bytes;
}

int Same(int argc, char** argv) {
    int32_t width = 0, height = 0;
    if (argc < 5 || !ParseSize(argv[2], width, height)) {
        return Usage();
    }
    const size_t frames = static_cast<size_t>(argc - 4);
    const std::vector<char> bytes = ReadFrames(argv[3], width, height, frames);
    if (bytes.empty()) {
        return 1;
    }
    for (size_t k = 0; k < frames; ++k) {
        wqtrans::SoftwareSurface want;
        std::string error;
        if (!want.LoadPng(argv[4 + k], &error) || want.Width() != width || want.Height() != height) {
            std::fprintf(stderr, "%s: %s\n", argv[4 + k], error.empty() ? "not of the frame size" : error.c_str());
            return 1;
        }
        for (int32_t p = 0; p < width * height; ++p) {
            const auto* rgba = reinterpret_cast<const unsigned char*>(&bytes[(k * width * height + p) * 4]);
            const uint32_t got = 0xFF000000u | uint32_t{rgba[0]} << 16 | uint32_t{rgba[1]} << 8 | rgba[2];
            if (got != (want.Pixels()[p] | 0xFF000000u)) {
                std::fprintf(stderr, "frame %zu: pixel (%d, %d) is %06x, %s has %06x\n", k, p % width, p / width,
                             got & 0xFFFFFF, argv[4 + k], want.Pixels()[p] & 0xFFFFFF);
                return 1;
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "grey") {
        return Grey(argc, argv);
    }
    if (mode == "compare") {
        return Compare(argc, argv);
    }
    if (mode == "same") {
        return Same(argc, argv);
    }
    return Usage();
}
