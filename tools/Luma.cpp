// wqtrans luma: a pure-reveal transition's whole run as one grey map for the editors'
// luma wipes (host/LumaMap.h tells which runs are pure reveals and how levels meet
// MLT's thresholds).
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "host/LumaMap.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

enum class MapFormat { Pgm, Png };

MapFormat MapFormatOf(const std::string& path) {
    const auto dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == "pgm") {
        return MapFormat::Pgm;
    }
    if (extension == "png") {
        return MapFormat::Png;
    }
    UsageError("--out \"" + path + "\": a luma map is a .pgm or a .png");
}

// " (ease-in, reversed)" for a map of a curved or reversed run; "" otherwise.
std::string MotionText(const LumaArgs& args) {
    if (args.ease.IsLinear() && !args.reverse) {
        return "";
    }
    return " (" + (args.ease.IsLinear() ? std::string() : args.ease.Text()) +
           (args.reverse ? std::string(args.ease.IsLinear() ? "" : ", ") + "reversed" : "") + ")";
}

} // namespace

uint32_t LumaFrames(uint32_t durationMs, uint32_t fps) {
    return std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{durationMs} * fps + 500) / 1000));
}

void Luma(const LumaArgs& args) {
    const TransitionInfo& info = FindTransition(args.transition);
    const MapFormat format = MapFormatOf(args.out);
    if (args.bits != 8 && args.bits != 16) {
        UsageError("--bits " + std::to_string(args.bits) + ": a map has 8 or 16 bits a level");
    }
    const auto [width, height] = ParseSize(args.size);
    if (int64_t{width} * height > (int64_t{1} << 23)) {
        UsageError("--size " + args.size + ": a map has at most 8388608 pixels (3840x2160 fits)");
    }
    Instance instance = Create(info, args.block);
    ApplySettings(info, instance.get(), args.sets);

    FrameRequest request;
    request.id = info.id;
    request.block = BlockOf(instance.get());
    request.seed = args.seed;
    request.flags = args.flags;
    request.durationMs = args.durationMs;
    request.frameRateNum = args.fps;
    request.cancelled = [] { return Interrupted(); };
    request.ease = args.ease;
    request.reverse = args.reverse;
    const uint32_t frames = LumaFrames(args.durationMs, args.fps);
    const RevealAnalysis analysis = AnalyseReveal(request, width, height, frames);
    CheckInterrupted();
    if (!analysis.pure) {
        UsageError(info.name + " with block " + (request.block.empty() ? std::string("(none)") : Hex(request.block)) +
                   " is not a pure reveal, so no luma map can show it: " + analysis.reason);
    }
    bool exact = false;
    const std::vector<uint16_t> levels = LumaLevels(analysis, args.bits, &exact);
    std::string error;
    const std::vector<uint8_t> bytes = format == MapFormat::Pgm
                                           ? EncodePgm(levels, width, height, args.bits)
                                           : EncodeGreyPng(levels, width, height, args.bits, &error);
    if (bytes.empty()) {
        IoError("cannot write \"" + args.out + "\": " + error);
    }
    WriteFileBytes(bytes, args.out);
    if (!exact) {
        std::fprintf(stderr,
                     "wqtrans: note: %u frames with %u distinct moments do not fit %d-bit levels: some pixels of "
                     "this map turn new a frame late in MLT; a 16-bit map is exact\n",
                     frames, analysis.moments, args.bits);
    }
    if (!args.quiet) {
        std::fprintf(args.out == "-" ? stderr : stdout,
                     "wrote %s: %s%s, %dx%d, %d-bit, %u frames (%u ms at %u fps), %u moments%s\n",
                     args.out == "-" ? "stdout" : args.out.c_str(), info.name.c_str(), MotionText(args).c_str(), width,
                     height, args.bits, frames, args.durationMs, args.fps, analysis.moments,
                     exact ? ", exact in MLT's luma wipe" : "");
    }
}

} // namespace wqtrans::tool
