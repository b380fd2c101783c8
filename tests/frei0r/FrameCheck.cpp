// Checks frames that a frei0r host rendered with one of the plugins against the frame
// renderer: wqtrans_frame_check NAME WxH FROM TO FRAMES.rgba [INDEX=MS|INDEX=PICTURE ...]
//
// NAME is the plugin's: "door", "stretch_2" (the transition's name in lower case with
// '_' for spaces).
// FROM and TO are the two inputs (.png, or raw RGBA frames of WxH); FRAMES.rgba holds
// the host's output frames, raw RGBA one after another. The first frame must be FROM,
// the last TO, and frame INDEX the renderer's picture at MS ms of a 1000 ms run at the
// default frame rate, or PICTURE (a .png, such as `wqtrans render --at` wrote), pixel
// for pixel. Exits 0 when all hold, 1 with a reason on stderr otherwise.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "module/Exports.h"

namespace {

using wqtrans::SoftwareSurface;

// PNG pixels are 0xAARRGGBB words; frei0r's RGBA8888 bytes are R, G, B, A.
uint32_t RgbaWord(uint32_t argb) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                              static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)};
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

std::vector<uint32_t> ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

bool Load(const std::string& path, int32_t width, int32_t height, SoftwareSurface& out) {
    out = SoftwareSurface(width, height);
    if (path.size() > 4 && path.substr(path.size() - 4) == ".png") {
        SoftwareSurface png;
        std::string error;
        if (!png.LoadPng(path, &error) || png.Width() != width || png.Height() != height) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.empty() ? "not of the frame size" : error.c_str());
            return false;
        }
        for (int32_t i = 0; i < width * height; ++i) {
            out.Pixels()[i] = RgbaWord(png.Pixels()[i]);
        }
        return true;
    }
    const std::vector<uint32_t> raw = ReadRaw(path);
    if (raw.size() < static_cast<size_t>(width) * height) {
        std::fprintf(stderr, "%s: shorter than one frame\n", path.c_str());
        return false;
    }
    std::memcpy(out.Pixels(), raw.data(), static_cast<size_t>(width) * height * 4);
    return true;
}

bool Same(const uint32_t* got, SoftwareSurface& want, const std::string& what) {
    const size_t count = static_cast<size_t>(want.Width()) * want.Height();
    for (size_t i = 0; i < count; ++i) {
        if (got[i] != want.Pixels()[i]) {
            std::fprintf(stderr, "%s: pixel (%zu, %zu) is %08x, expected %08x\n", what.c_str(), i % want.Width(),
                         i / want.Width(), got[i], want.Pixels()[i]);
            return false;
        }
    }
    return true;
}

// The ID of the transition whose plugin is named `name`, or 0.
uint32_t IdOfPlugin(const std::string& name) {
    for (int32_t i = 0; i < GetTransCount(); ++i) {
        char16_t text[64] = {};
        GetTransName(i, text, 64);
        std::string key;
        for (const char16_t* c = text; *c != 0; ++c) {
            key += *c == u' ' ? '_' : static_cast<char>(std::tolower(static_cast<int>(*c)));
        }
        if (key == name) {
            return GetTransID(i);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: wqtrans_frame_check NAME WxH FROM TO FRAMES.rgba [INDEX=MS|INDEX=PICTURE ...]\n");
        return 2;
    }
    const uint32_t id = IdOfPlugin(argv[1]);
    if (id == 0) {
        std::fprintf(stderr, "no transition has the plugin name %s\n", argv[1]);
        return 2;
    }
    int32_t width = 0, height = 0;
    if (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "bad size %s\n", argv[2]);
        return 2;
    }
    SoftwareSurface from, to;
    if (!Load(argv[3], width, height, from) || !Load(argv[4], width, height, to)) {
        return 1;
    }
    const std::vector<uint32_t> frames = ReadRaw(argv[5]);
    const size_t frameWords = static_cast<size_t>(width) * height;
    const size_t count = frames.size() / frameWords;
    if (count < 2 || frames.size() % frameWords != 0) {
        std::fprintf(stderr, "%s: %zu bytes is not a whole number of two or more frames\n", argv[5], frames.size() * 4);
        return 1;
    }
    bool ok = Same(frames.data(), from, "first frame") && Same(&frames[(count - 1) * frameWords], to, "last frame");
    for (int i = 6; i < argc; ++i) {
        size_t index = 0;
        uint32_t ms = 0;
        int end = 0;
        if (std::sscanf(argv[i], "%zu=%n", &index, &end) != 1 || end == 0 || argv[i][end] == 0 || index >= count) {
            std::fprintf(stderr, "bad moment %s (%zu frames)\n", argv[i], count);
            return 2;
        }
        SoftwareSurface expected(width, height);
        const std::string what = argv[i] + end;
        if (what.find_first_not_of("0123456789") != std::string::npos) {
            if (!Load(what, width, height, expected)) {
                return 1;
            }
            ok = Same(&frames[index * frameWords], expected, "frame " + std::to_string(index) + " against " + what) &&
                 ok;
            continue;
        }
        ms = static_cast<uint32_t>(std::strtoul(what.c_str(), nullptr, 10));
        if (!wqtrans::RenderFrameAt({id, {}, 1, 0, 1000, ms}, from, to, expected)) {
            std::fprintf(stderr, "the renderer refused %s\n", argv[1]);
            return 1;
        }
        ok = Same(&frames[index * frameWords], expected, "frame " + std::to_string(index)) && ok;
    }
    return ok ? 0 : 1;
}
