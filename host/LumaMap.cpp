#include "host/LumaMap.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>

#include <png.h>

#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "platform/Platform.h"

namespace wqtrans {

namespace {

// Each pixel of the analysis pictures names its place in its low 23 bits; bit 23 (the
// top bit of red) tells the new picture from the old, so that a blend of the two at the
// same place is neither.
constexpr uint32_t kPlaceBits = 23;
constexpr uint32_t kNewBit = 1u << kPlaceBits;
constexpr uint32_t OldPixel(uint32_t place) { return 0xFF000000u | place; }
constexpr uint32_t NewPixel(uint32_t place) { return 0xFF000000u | kNewBit | place; }

// Numbers as text without std::to_string, whose digit table the shared library would
// export.
std::string Text(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
    return text;
}

std::string At(uint32_t i, uint32_t n, uint32_t ms, size_t pixel, int32_t width) {
    return "at " + Text(ms) + " ms (frame " + Text(i) + " of " + Text(n) + ") pixel (" +
           Text(pixel % static_cast<size_t>(width)) + ", " + Text(pixel / static_cast<size_t>(width)) + ")";
}

// A run of the request's transition and block on the calling thread's clock and random
// generator, from Begin to End.
class SteppedRun {
public:
    // Nothing for an unknown ID or a block of the wrong size.
    static std::optional<SteppedRun> Start(const FrameRequest& request, uint32_t durationMs) {
        TransitionAdapter* adapter =
            CreateTransition(0, request.id, request.block.empty() ? nullptr : request.block.data(),
                             static_cast<uint32_t>(request.block.size()));
        if (adapter != nullptr && !request.block.empty() &&
            adapter->table->GetParameters(adapter, nullptr) != static_cast<int32_t>(request.block.size())) {
            adapter->table->Delete(adapter);
            adapter = nullptr;
        }
        if (adapter == nullptr) {
            return std::nullopt;
        }
        return std::optional<SteppedRun>(std::in_place, adapter, request, durationMs);
    }
    SteppedRun(TransitionAdapter* adapter, const FrameRequest& request, uint32_t durationMs)
        : adapter(adapter), flags(request.flags) {
        platform::SetTimeSource(ReadClock, &now);
        crt::srand(request.seed);
        adapter->table->Begin(adapter, durationMs);
    }
    ~SteppedRun() {
        adapter->table->End(adapter);
        adapter->table->Delete(adapter);
        platform::SetTimeSource(nullptr, nullptr);
    }
    SteppedRun(const SteppedRun&) = delete;
    SteppedRun& operator=(const SteppedRun&) = delete;

    void Step(uint32_t t, SoftwareSurface& dest, SoftwareSurface& oldFrame, SoftwareSurface& newFrame) {
        now = t;
        ChangedRect* changed = nullptr;
        adapter->table->Step(adapter, &dest, &oldFrame, &newFrame, flags, &changed);
    }

private:
    static uint32_t ReadClock(void* context) { return *static_cast<const uint32_t*>(context); }

    TransitionAdapter* adapter;
    int32_t flags;
    uint32_t now = 0;
};

// The pictures of a second analysis run, whose places are coded the other way round
// (place p is kPlaceMask - p): a pixel that comes from another place names it in both
// codings, while a blend of a place's old and new pixels differs from them in red
// alone, which reads as one place in one coding and another in the other.
constexpr uint32_t kPlaceMask = kNewBit - 1;

// Why pixel p, neither the old picture's nor the new one's own there, is so.
std::string NeitherPicture(const FrameRequest& at, int32_t width, int32_t height, size_t p, uint32_t pixel) {
    const uint32_t count = static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
    const uint32_t from = pixel & kPlaceMask;
    const bool own = (pixel & 0xFFFFu) == (p & 0xFFFFu) && (pixel & 0xFF0000u) >= (p & 0xFF0000u) &&
                     (pixel & 0xFF0000u) <= (p & 0xFF0000u) + kNewBit;
    if (from < count) {
        SoftwareSurface oldPicture(width, height), newPicture(width, height), out(width, height);
        for (uint32_t q = 0; q < count; ++q) {
            oldPicture.Pixels()[q] = OldPixel(kPlaceMask - q);
            newPicture.Pixels()[q] = NewPixel(kPlaceMask - q);
        }
        if (RenderFrameAt(at, oldPicture, newPicture, out)) {
            const uint32_t again = out.Pixels()[p] | 0xFF000000u;
            if (again == (pixel & kNewBit ? NewPixel(kPlaceMask - from) : OldPixel(kPlaceMask - from))) {
                return " shows the " + std::string(pixel & kNewBit ? "new" : "old") + " picture's pixel (" +
                       Text(from % uint32_t(width)) + ", " + Text(from / uint32_t(width)) + "): the picture moves";
            }
        }
    }
    return own ? " shows a blend of the pictures" : " shows a colour of neither picture";
}

} // namespace

namespace {

// MLT's wipe keeps the progress i / n as a float.
float MltPosition(uint32_t i, uint32_t n) {
    return static_cast<float>(static_cast<double>(i) / static_cast<double>(n));
}

// The highest level that frame i shows new between opaque inputs: the level is compared
// with (1 << 16) x position converted to an integer.
uint32_t OpaqueThreshold(uint32_t i, uint32_t n) {
    return static_cast<uint32_t>(static_cast<float>(1 << 16) * MltPosition(i, n));
}

// The same between inputs with any transparency: level / 65535 (a float) is compared
// with the position.
uint32_t TranslucentThreshold(uint32_t i, uint32_t n) {
    const float position = MltPosition(i, n);
    int64_t level = static_cast<int64_t>(static_cast<double>(position) * 65535.0) + 1;
    while (level > 0 && (level > 65535 || static_cast<float>(level) / 65535.f > position)) {
        --level;
    }
    return static_cast<uint32_t>(level);
}

} // namespace

uint32_t MltLumaThreshold(uint32_t i, uint32_t n) {
    return std::min(OpaqueThreshold(i, n), TranslucentThreshold(i, n));
}

uint32_t LumaFrameMoment(uint32_t i, uint32_t n, uint32_t durationMs) {
    return static_cast<uint32_t>(uint64_t{i} * durationMs / std::max(n, 1u));
}

RevealAnalysis AnalyseReveal(const FrameRequest& request, int32_t width, int32_t height, uint32_t frames) {
    RevealAnalysis result;
    result.width = width;
    result.height = height;
    result.frames = frames;
    const uint64_t count = uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0));
    if (width <= 0 || height <= 0 || count > kNewBit || frames == 0) {
        result.reason = "a map needs a size of 1 to 8388608 pixels and at least one frame";
        return result;
    }
    SoftwareSurface oldPicture(width, height), newPicture(width, height), out(width, height);
    for (uint32_t p = 0; p < count; ++p) {
        oldPicture.Pixels()[p] = OldPixel(p);
        newPicture.Pixels()[p] = NewPixel(p);
    }
    result.firstNew.assign(count, frames);
    // A plain run is one run stepped at the frames' moments: each frame is the step at its
    // moment over the frames before, so the work grows with the frames, not with their
    // square. An eased or reversed one is drawn frame by frame by the frame renderer,
    // which maps its moments (a reversed run is stepped from its other end).
    oldPicture.CopyAll(&out);
    const bool plain = request.ease.IsLinear() && !request.reverse;
    std::optional<SteppedRun> run = plain ? SteppedRun::Start(request, std::max(request.durationMs, 1u)) : std::nullopt;
    FrameRequest eased = request;
    eased.moduleLastStep = false;
    if (plain ? !run : !RenderFrameAt(eased, oldPicture, newPicture, out)) {
        result.reason = "the frame renderer refuses the transition or its block";
        result.firstNew.clear();
        return result;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        if (request.cancelled && request.cancelled()) {
            result.reason = "cancelled";
            result.firstNew.clear();
            return result;
        }
        const uint32_t moment = LumaFrameMoment(i, frames, std::max(request.durationMs, 1u));
        if (plain) {
            run->Step(moment, out, oldPicture, newPicture);
        } else {
            eased.elapsedMs = moment;
            RenderFrameAt(eased, oldPicture, newPicture, out);
        }
        const uint32_t* pixels = out.Pixels();
        for (uint32_t p = 0; p < count; ++p) {
            const uint32_t pixel = pixels[p] | 0xFF000000u;
            if (pixel == NewPixel(p)) {
                result.firstNew[p] = std::min(result.firstNew[p], i);
            } else if (pixel != OldPixel(p)) {
                FrameRequest at = request;
                at.elapsedMs = moment;
                at.moduleLastStep = false;
                result.reason = At(i, frames, moment, p, width) + NeitherPicture(at, width, height, p, pixel);
                result.firstNew.clear();
                return result;
            } else if (result.firstNew[p] != frames) {
                result.reason =
                    At(i, frames, moment, p, width) + " turns old again after frame " + Text(result.firstNew[p]);
                result.firstNew.clear();
                return result;
            }
        }
    }
    std::vector<bool> seen(size_t{frames} + 1, false);
    for (uint32_t f : result.firstNew) {
        if (!seen[f]) {
            seen[f] = true;
            ++result.moments;
        }
    }
    result.pure = true;
    return result;
}

std::vector<uint16_t> LumaLevels(const RevealAnalysis& analysis, int bits, bool* exact) {
    const uint32_t n = analysis.frames;
    const uint32_t scale = bits == 8 ? 256 : 1;
    const uint32_t top = bits == 8 ? 255 : 65535;
    // The level of each first frame, worked out once: the highest that its threshold
    // takes in, checked against the threshold before it.
    std::vector<uint16_t> levelOf(size_t{n} + 1, 0);
    std::vector<bool> fits(size_t{n} + 1, true);
    for (uint32_t f = 1; f <= n; ++f) {
        const uint32_t level = f == n ? top : std::min(MltLumaThreshold(f, n) / scale, top);
        levelOf[f] = static_cast<uint16_t>(level);
        // Old at the frame before in both ways of comparing.
        fits[f] = uint64_t{level} * scale > std::max(OpaqueThreshold(f - 1, n), TranslucentThreshold(f - 1, n));
    }
    bool all = true;
    std::vector<uint16_t> levels(analysis.firstNew.size());
    for (size_t p = 0; p < levels.size(); ++p) {
        const uint32_t f = analysis.firstNew[p];
        levels[p] = levelOf[f];
        all = all && fits[f];
    }
    if (exact != nullptr) {
        *exact = all;
    }
    return levels;
}

std::vector<uint8_t> EncodePgm(const std::vector<uint16_t>& levels, int32_t width, int32_t height, int bits) {
    const std::string header = "P5\n" + Text(width) + " " + Text(height) + "\n" + (bits == 8 ? "255" : "65535") + "\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + levels.size() * (bits == 8 ? 1 : 2));
    for (uint16_t level : levels) {
        if (bits != 8) {
            bytes.push_back(static_cast<uint8_t>(level >> 8)); // most significant byte first
        }
        bytes.push_back(static_cast<uint8_t>(level));
    }
    return bytes;
}

namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// The libpng calls, apart so that setjmp's frame holds no objects with destructors.
bool WritePngRows(png_structp png, png_infop info, std::vector<png_bytep>& rows, int32_t width, int32_t height,
                  int bits) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bits,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    return true;
}

} // namespace

std::vector<uint8_t> EncodeGreyPng(const std::vector<uint16_t>& levels, int32_t width, int32_t height, int bits,
                                   std::string* error) {
    std::string message;
    // PNG's samples are most significant byte first, as PGM's.
    std::vector<uint8_t> samples;
    if (bits == 8) {
        samples.reserve(levels.size());
        for (uint16_t level : levels) {
            samples.push_back(static_cast<uint8_t>(level));
        }
    } else {
        samples = EncodePgm(levels, width, height, 16);
        samples.erase(samples.begin(), samples.end() - static_cast<std::ptrdiff_t>(levels.size() * 2));
    }
    const size_t stride = static_cast<size_t>(width) * (bits == 8 ? 1 : 2);
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = samples.data() + y * stride;
    }
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, PngError, PngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = info != nullptr;
    if (ok) {
        png_set_write_fn(png, &out, AppendToVector, nullptr);
        ok = WritePngRows(png, info, rows, width, height, bits);
    }
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        if (error != nullptr) {
            *error = message.empty() ? "libpng could not start" : message;
        }
        out.clear();
    }
    return out;
}

} // namespace wqtrans
