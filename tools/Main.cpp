// wqtrans: lists the module's transitions, renders them to GIF, WebP, PNG or video,
// draws contact sheets, shows settings panels and parameter blocks, and prints the
// host calls of a run.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>

#include "host/FrameRenderer.h"
#include "module/Exports.h"
#include "tools/Encoders.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

constexpr int32_t kBuiltInWidth = 320;
constexpr int32_t kBuiltInHeight = 240;
constexpr int32_t kSheetWidth = 160;
constexpr int32_t kSheetHeight = 120;

// --seed: a whole number the generator takes, 0 to 2^32 - 1.
uint32_t ParseSeed(const std::string& text) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        UsageError("--seed \"" + text + "\" is not a whole number from 0 to 4294967295");
    }
    return value;
}

// --ease: a curve's name or cubic-bezier(x1,y1,x2,y2).
MotionCurve ParseEase(const std::string& text) {
    std::string error;
    const std::optional<MotionCurve> curve = MotionCurve::Parse(text, &error);
    if (!curve) {
        UsageError("--ease: " + error);
    }
    return *curve;
}

// A message as it may go to a terminal: control characters (C0, DEL and C1) and bytes
// that are not UTF-8 are written as \xNN, so that a file name cannot move the cursor,
// clear the screen or retitle the window.
std::string Printable(const std::string& text) {
    std::string out;
    auto escape = [&](unsigned char byte) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        out += hex;
    };
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F) {
                escape(byte);
            } else {
                out += static_cast<char>(byte);
            }
            ++i;
            continue;
        }
        // The length of a well-formed UTF-8 sequence starting here, or 0.
        size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                        : byte >= 0xE0 && byte <= 0xEF ? 3
                        : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                       : 0;
        for (size_t k = 1; k < length; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                length = 0;
                break;
            }
        }
        const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0 || c1) {
            escape(byte);
            ++i;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
}

// Numeric options take digits only: CLI11 would read "1e3" and "0x10" as numbers of
// another kind and call them out of range. A sign is left for the range to refuse.
const CLI::Validator kWholeNumber(
    [](const std::string& text) -> std::string {
        const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
        if (text.size() > digits && std::all_of(text.begin() + static_cast<ptrdiff_t>(digits), text.end(),
                                                [](char c) { return c >= '0' && c <= '9'; })) {
            return "";
        }
        return "\"" + text + "\" is not a whole number";
    },
    "", "whole number");

// Options shared by the commands that run a transition.
struct RunArgs {
    std::string from;
    std::string to;
    std::string size;
    uint32_t duration = 1000;
    uint32_t fps = 30;
    std::string flags = "0";
    std::string seed = "1";
    bool moduleLastStep = false;
    std::string fit = "contain";
    std::string background = "black";
    std::string ease = "linear";
    bool reverse = false;

    FitOptions Fit() const { return FitOptions{ParseFit(fit), ParseColour(background)}; }

    RunOptions Options() const {
        RunOptions options;
        options.durationMs = duration;
        options.fps = fps;
        options.moduleLastStep = moduleLastStep;
        options.seed = ParseSeed(seed);
        options.ease = ParseEase(ease);
        options.reverse = reverse;
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(flags.c_str(), &end, 0);
        if (flags.empty() || *end != 0 || errno != 0 || value < INT32_MIN || value > UINT32_MAX) {
            UsageError("--flags \"" + flags + "\" is not a number; use e.g. 1, 4 or 0x5 (bits: 1, 2, 4, 8)");
        }
        options.flags = static_cast<int32_t>(static_cast<uint32_t>(value));
        return options;
    }
};

void AddRunOptions(CLI::App* command, RunArgs& args) {
    command->add_option("--from", args.from,
                        "old picture: PNG, JPEG, WebP, HEIC or AVIF, a file or stream, - for stdin (default: the built-in A)");
    command->add_option("--to", args.to,
                        "new picture: PNG, JPEG, WebP, HEIC or AVIF, a file or stream, - for stdin (default: the built-in B)");
    command->add_option("--size", args.size,
                        "scale both pictures to WIDTHxHEIGHT (the new one is otherwise scaled to the old one's size)");
    command->add_option("--duration", args.duration, "length of the run in ms")
        ->check(kWholeNumber)
        ->check(CLI::Range(1u, 600000u))
        ->capture_default_str();
    command->add_option("--fps", args.fps, "frames per second")
        ->check(kWholeNumber)
        ->check(CLI::Range(1u, 240u))
        ->capture_default_str();
    command
        ->add_option("--flags", args.flags,
                     "step flags the host passes (1, 2, 4, 8; decimal or 0x hex); Zoom 2 magnifies the old frame "
                     "unless 1 is set")
        ->capture_default_str();
    command->add_option("--seed", args.seed, "seed of the module's random generator, 0 to 4294967295, to repeat a run")
        ->capture_default_str();
    command
        ->add_option("--fit", args.fit,
                     "how a picture of another shape meets the size: stretch, contain (whole, on --background), "
                     "cover (cropped) or blur (whole, on a blurred copy of itself)")
        ->capture_default_str();
    command->add_option("--background", args.background, "the colour around a contained picture: #RRGGBB or a name")
        ->capture_default_str();
}

// The render options that shape the output file rather than the run.
struct OutputArgs {
    std::optional<int> quality;
    bool lossless = false;
    bool dither = false;
    std::string codec;
    uint32_t holdStart = 0;
    uint32_t holdEnd = 0;
    std::optional<int> loop;
    bool noLoop = false;
    std::optional<int> threads;

    // The settings for `kind`; a usage error for an option that does not apply to it.
    EncodeSettings Settings(OutputKind kind, uint32_t fps) const {
        const bool animation = kind != OutputKind::Png && kind != OutputKind::Directory;
        const bool looping = kind == OutputKind::Gif || kind == OutputKind::Webp;
        auto need = [](bool fits, const char* option, const char* kinds) {
            if (!fits) {
                UsageError(std::string(option) + ": only for " + kinds + " outputs");
            }
        };
        need(!quality || animation, "--quality", ".gif, .webp and video");
        need(!lossless || kind == OutputKind::Webp, "--lossless", ".webp");
        need(!dither || kind == OutputKind::Gif, "--dither", ".gif");
        need(codec.empty() || IsVideo(kind), "--codec", "video (.mp4, .webm, .mkv, .mov)");
        need((holdStart == 0 && holdEnd == 0) || animation, "--hold-start and --hold-end", ".gif, .webp and video");
        need((!loop && !noLoop) || looping, "--loop and --no-loop", ".gif and .webp");
        need(!threads || kind == OutputKind::Gif, "--threads", ".gif");
        EncodeSettings settings;
        settings.quality = quality;
        settings.lossless = lossless;
        settings.dither = dither;
        settings.codec = codec;
        settings.loop = noLoop ? 1 : loop.value_or(0);
        settings.fps = fps;
        settings.threads = threads.value_or(0);
        return settings;
    }
};

void AddOutputOptions(CLI::App* command, OutputArgs& args) {
    command
        ->add_option("--quality", args.quality,
                     "0 to 100, higher is better. GIF: palette quality (default " + std::to_string(kDefaultGifQuality) +
                         "); WebP: lossy quality (default " + std::to_string(kDefaultWebpQuality) +
                         "), or effort with --lossless; video: CRF = 51 x (100 - Q) / 100 for H.264 and H.265, "
                         "63 x (100 - Q) / 100 for VP9 and AV1 (default " +
                         std::to_string(kDefaultVideoQuality) + ": CRF 18 for H.264, about visually lossless)")
        ->check(kWholeNumber)
        ->check(CLI::Range(0, 100));
    command->add_flag("--lossless", args.lossless, "WebP: exact frames instead of lossy ones");
    command->add_flag("--dither", args.dither, "GIF: error-diffusion dithering (smoother gradients, larger files)");
    command->add_option("--codec", args.codec,
                        "video: a libavcodec encoder for the container (default: libx264, libvpx-vp9 for .webm)");
    command->add_option("--hold-start", args.holdStart, "show the old picture this many ms before the run")
        ->check(kWholeNumber)
        ->check(CLI::Range(0u, 600000u));
    command
        ->add_option("--hold-end", args.holdEnd,
                     "show the new picture at least this many ms after the run (default: one frame)")
        ->check(kWholeNumber)
        ->check(CLI::Range(0u, 600000u));
    CLI::Option* loop = command->add_option("--loop", args.loop, "GIF and WebP: times to play, 0 for ever (default)")
                            ->check(kWholeNumber)
                            ->check(CLI::Range(0, 65536));
    command->add_flag("--no-loop", args.noLoop, "GIF and WebP: play once")->excludes(loop);
    command
        ->add_option("--threads", args.threads,
                     "GIF: threads that make the frames' palettes, 1 to 64 (default: the processor's cores, at most "
                     "4); the file is the same whatever the number")
        ->check(kWholeNumber)
        ->check(CLI::Range(1, 64));
}

// The motion of the run, for the commands that draw pictures.
void AddMotionOptions(CLI::App* command, RunArgs& args) {
    std::string names;
    for (const std::string& name : MotionCurve::Names()) {
        names += (names.empty() ? "" : ", ") + name;
    }
    command
        ->add_option("--ease", args.ease,
                     "motion curve: " + names +
                         ", or cubic-bezier(x1,y1,x2,y2) as in CSS (x1, x2 within 0 to 1; "
                         "curves that turn back are refused)")
        ->capture_default_str();
    command->add_flag("--reverse", args.reverse,
                      "the mirror run: still from the old picture to the new one, but the motion runs backwards "
                      "(Door closes, Zoom shrinks)");
}

// For the commands whose output is a picture.
void AddLastStepOption(CLI::App* command, RunArgs& args) {
    command->add_flag("--module-last-step", args.moduleLastStep,
                      "end on the module's own drawing of the last step, not on the new picture the tool shows "
                      "once a run has finished");
}

void List(bool json) {
    const std::vector<TransitionInfo>& catalog = Catalog();
    if (json) {
        char16_t module[64] = {};
        const int32_t length = GetModuleName(module, 64);
        std::string out =
            "{\n  \"module\": " + JsonString(Utf8(std::u16string(module, static_cast<size_t>(std::max(length, 0))))) +
            ",\n  \"transitions\": [\n";
        for (size_t i = 0; i < catalog.size(); ++i) {
            const TransitionInfo& info = catalog[i];
            out += "    {\"index\": " + std::to_string(info.index) + ", \"id\": " + JsonString(info.idText) +
                   ", \"name\": " + JsonString(info.name) + ", \"mode\": " + std::to_string(info.mode) +
                   ", \"panel\": " + (info.hasPanel ? "true" : "false") +
                   ", \"blockSize\": " + std::to_string(info.defaults.size()) +
                   ", \"defaultBlock\": " + JsonString(Hex(info.defaults)) + ", \"parameters\": [";
            for (size_t f = 0; f < info.fields.size(); ++f) {
                const ParamField& field = info.fields[f];
                out += std::string(f == 0 ? "" : ", ") + "{\"name\": " + JsonString(field.name) +
                       ", \"offset\": " + std::to_string(field.offset) +
                       ", \"bits\": " + std::to_string(field.bytes * 8) +
                       ", \"default\": " + std::to_string(FieldValue(info.defaults, field)) + "}";
            }
            out += std::string("]}") + (i + 1 < catalog.size() ? "," : "") + "\n";
        }
        out += "  ]\n}\n";
        std::fputs(out.c_str(), stdout);
        return;
    }
    std::printf("%-5s %-4s  %-18s %-4s  %s\n", "index", "ID", "name", "mode", "parameters (defaults)");
    for (const TransitionInfo& info : catalog) {
        std::string params;
        for (const ParamField& field : info.fields) {
            params += (params.empty() ? "" : " ") + std::string(field.name) + "=" +
                      std::to_string(FieldValue(info.defaults, field));
        }
        std::printf("%5d %-4s  %-18s %4d  %s\n", info.index, info.idText.c_str(), info.name.c_str(), info.mode,
                    params.empty() ? "-" : params.c_str());
    }
}

// --block, when given: an empty one has the wrong size for every transition.
std::vector<uint8_t> BlockArgument(const TransitionInfo& info, const std::optional<std::string>& text) {
    if (!text) {
        return {};
    }
    std::vector<uint8_t> block = ParseHex(*text);
    if (block.empty()) {
        UsageError("--block \"" + *text + "\" is empty: " +
                   (info.defaults.empty() ? info.name + " has no parameters, so it takes no --block"
                                          : info.name + " needs " + std::to_string(info.defaults.size()) + " bytes (" +
                                                std::to_string(2 * info.defaults.size()) + " hex digits)"));
    }
    return block;
}

// The summary line: on stdout, or on stderr when stdout carries the output.
void Wrote(const std::string& out, const std::string& what) {
    std::fprintf(out == "-" ? stderr : stdout, "wrote %s: %s\n", out == "-" ? "stdout" : Printable(out).c_str(),
                 what.c_str());
}

void Render(const std::string& name, const RunArgs& args, const OutputArgs& outputArgs,
            const std::vector<std::string>& sets, const std::optional<std::string>& blockText, const std::string& out,
            const std::string& format, std::optional<uint32_t> at, bool quiet) {
    const TransitionInfo& info = FindTransition(name);
    const OutputKind kind = OutputKindOf(out, format);
    const RunOptions options = args.Options();
    const EncodeSettings settings = outputArgs.Settings(kind, options.fps);
    if (at && kind != OutputKind::Png) {
        UsageError("--at picks one moment, so it needs a .png --out (or --format png)");
    }
    const std::vector<uint8_t> block = BlockArgument(info, blockText);
    Instance instance = Create(info, block);
    ApplySettings(info, instance.get(), sets);
    PicturePair pictures = LoadPictures(args.from, args.to, args.size, kBuiltInWidth, kBuiltInHeight, args.Fit());
    const int32_t width = pictures.oldPicture->Width();
    const int32_t height = pictures.oldPicture->Height();
    const std::string size = std::to_string(width) + "x" + std::to_string(height);

    std::vector<uint32_t> times = FrameTimes(options.durationMs, options.fps);
    if (at) {
        times = {*at};
    }
    Progress progress(times.size(), quiet);
    if (at) {
        // The picture at one moment, as any host that seeks gets it.
        Picture frame(width, height);
        // Once a run has finished, the stage shows the new picture.
        FrameRequest request{info.id, BlockOf(instance.get()), options.seed, options.flags, options.durationMs,
                             *at,     options.moduleLastStep};
        // Replayed on the frame times of a run at --fps, as the run's own frames fall.
        request.frameRateNum = options.fps;
        request.cancelled = [] { return Interrupted(); };
        request.ease = options.ease;
        request.reverse = options.reverse;
        if (!RenderFrameAt(request, *pictures.oldPicture, *pictures.newPicture, frame)) {
            CheckInterrupted();
            UsageError("the picture at " + std::to_string(*at) + " ms could not be drawn");
        }
        WritePng(frame, out);
    } else if (kind == OutputKind::Png) {
        Picture last(width, height);
        Run(instance.get(), *pictures.oldPicture, *pictures.newPicture, options, times,
            [&](size_t index, uint32_t, Picture& frame) {
                if (index + 1 == times.size()) {
                    frame.CopyAll(&last);
                }
                progress.Update(index + 1);
            });
        WritePng(last, out);
    } else {
        std::unique_ptr<FrameSink> sink = OpenSink(kind, out, width, height, settings, times.size());
        // The old picture is held before the run: every frame after the first comes later.
        const uint32_t holdStart = outputArgs.holdStart;
        // A frame counts once it is in the file, so an encoder's look-ahead, emptied
        // when it finishes, shows on the bar rather than after it.
        size_t added = 0;
        auto update = [&] { progress.Update(added - std::min(added, sink->Pending())); };
        sink->OnWritten(update);
        Run(instance.get(), *pictures.oldPicture, *pictures.newPicture, options, times,
            [&](size_t index, uint32_t time, Picture& frame) {
                sink->Add(frame, index == 0 ? 0 : time + holdStart);
                added = index + 1;
                update();
            });
        sink->Finish(holdStart + options.durationMs + std::max(outputArgs.holdEnd, 1000 / options.fps));
    }
    progress.Done();
    if (!quiet) {
        Wrote(out, info.name + ", " + std::to_string(times.size()) + " frame" + (times.size() == 1 ? "" : "s") +
                       " of " + size);
    }
}

void Sheet(const std::vector<std::string>& names, const RunArgs& args, const std::string& out, bool quiet) {
    std::vector<const TransitionInfo*> transitions;
    for (const std::string& name : names) {
        transitions.push_back(&FindTransition(name));
    }
    if (transitions.empty()) {
        for (const TransitionInfo& info : Catalog()) {
            transitions.push_back(&info);
        }
    }
    if (OutputKindOf(out, out == "-" ? "png" : "") != OutputKind::Png) {
        UsageError("--out \"" + out + "\": a contact sheet is a .png");
    }
    const RunOptions options = args.Options();
    if (!args.size.empty()) {
        const auto [w, h] = ParseSize(args.size);
        SheetSize(transitions.size(), w, h);
    }
    PicturePair pictures = LoadPictures(args.from, args.to, args.size, kSheetWidth, kSheetHeight, args.Fit());
    if (args.size.empty()) {
        // Given pictures make cells of their own shape, no larger than a built-in cell.
        const auto [w, h] =
            FitInside(pictures.oldPicture->Width(), pictures.oldPicture->Height(), kSheetWidth, kSheetHeight);
        if (w != pictures.oldPicture->Width() || h != pictures.oldPicture->Height()) {
            pictures.oldPicture = Scaled(*pictures.oldPicture, w, h, args.Fit());
            pictures.newPicture = Scaled(*pictures.newPicture, w, h, args.Fit());
        }
    }
    auto sheet = ContactSheet(transitions, *pictures.oldPicture, *pictures.newPicture, options, quiet);
    WritePng(*sheet, out);
    if (!quiet) {
        Wrote(out, std::to_string(transitions.size()) + " transition" + (transitions.size() == 1 ? "" : "s") +
                       " at 0, 25, 50, 75 and 100%, " + std::to_string(sheet->Width()) + "x" +
                       std::to_string(sheet->Height()));
    }
}

void Params(const std::string& name, const std::optional<std::string>& blockText) {
    const TransitionInfo& info = FindTransition(name);
    Instance instance = Create(info, BlockArgument(info, blockText));
    const std::vector<uint8_t> block = BlockOf(instance.get());
    if (block.empty()) {
        std::printf("%s (%s) has no parameters.\n", info.name.c_str(), info.idText.c_str());
        return;
    }
    std::printf("%s (%s), %zu-byte block %s%s:\n", info.name.c_str(), info.idText.c_str(), block.size(),
                Hex(block).c_str(), blockText ? "" : " (defaults)");
    for (const ParamField& field : info.fields) {
        std::printf("  %-14s = %-11lld (offset %d, %d-bit%s)\n", field.name,
                    static_cast<long long>(FieldValue(block, field)), field.offset, field.bytes * 8,
                    field.bytes == 2 ? " unsigned" : "");
    }
}

void Calls(const std::string& name, const RunArgs& args, const std::vector<std::string>& sets,
           const std::optional<std::string>& blockText) {
    const TransitionInfo& info = FindTransition(name);
    const RunOptions options = args.Options();
    // The log outlives the instance: a work surface logs its release when the
    // transition is destroyed.
    std::string out;
    Instance instance = Create(info, BlockArgument(info, blockText));
    ApplySettings(info, instance.get(), sets);
    PicturePair pictures = LoadPictures(args.from, args.to, args.size, kBuiltInWidth, kBuiltInHeight, args.Fit());
    out = info.name + " (" + info.idText + "), block " +
          (info.defaults.empty() ? std::string("(none)") : Hex(BlockOf(instance.get()))) + ", " +
          std::to_string(pictures.oldPicture->Width()) + "x" + std::to_string(pictures.oldPicture->Height()) +
          " frames, seed " + std::to_string(options.seed) + "\n";
    PrintCalls(instance.get(), *pictures.oldPicture, *pictures.newPicture, options,
               FrameTimes(options.durationMs, options.fps), out);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

std::string CommandNames(CLI::App& app) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands({})) {
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    return names;
}

int Main(int argc, char** argv) {
    InstallSignalHandlers();
    CLI::App app{"wqtrans: the 21 Standard transitions, rendered on the reference surface.", "wqtrans"};
    app.require_subcommand(1);
    app.footer("Run `wqtrans COMMAND --help` for a command's options and an example.\n"
               "Exit status: 0 done; 2 bad usage or input (unknown command, transition, control, value, kind of\n"
               "output, a size over the pixel budget); 1 a picture that cannot be read or is over the budget, an\n"
               "output that cannot be written; 130 / 143 interrupted by SIGINT / SIGTERM.");

    bool json = false;
    CLI::App* list = app.add_subcommand("list", "list the transitions: index, ID, name, mode bits, parameters");
    list->add_flag("--json", json, "print JSON for scripts");
    list->footer("Example:\n  wqtrans list --json");

    RunArgs renderArgs;
    OutputArgs outputArgs;
    std::string renderName, renderOut, renderFormat;
    std::optional<std::string> renderBlock;
    std::vector<std::string> renderSets;
    std::optional<uint32_t> at;
    bool renderQuiet = false;
    CLI::App* render = app.add_subcommand("render", "render a transition to .gif, .webp, .png, a directory, or video");
    render->add_option("transition", renderName, "name (any case) or ID, e.g. Fade, \"Stretch 2\", SE07")->required();
    render
        ->add_option("--out,-o", renderOut,
                     ".gif, .webp (animated), .png (the last frame, or --at), a directory (numbered PNG frames), "
                     ".mp4 (H.264), .webm (VP9), .mkv or .mov (H.264), or - for stdout (with --format)")
        ->required();
    render->add_option(
        "--format", renderFormat,
        "gif, webp, png, mp4, webm, mkv or mov: the kind of output, needed for --out - and names without an "
        "extension");
    AddRunOptions(render, renderArgs);
    AddLastStepOption(render, renderArgs);
    AddMotionOptions(render, renderArgs);
    AddOutputOptions(render, outputArgs);
    render->add_option("--set", renderSets, "\"Label=value\": set a control of the transition's settings panel")
        ->allow_extra_args(false);
    render->add_option("--block", renderBlock, "raw parameter block in hex, e.g. 03000000");
    render
        ->add_option("--at", at,
                     "with a .png --out: the picture at this moment (ms); the new picture from the "
                     "duration on")
        ->check(kWholeNumber)
        ->check(CLI::Range(0u, UINT32_MAX));
    render->add_flag("--quiet,-q", renderQuiet, "no progress bar and no summary");
    render->footer(
        "Examples:\n"
        "  wqtrans render Fade --out fade.gif\n"
        "  wqtrans render Turn --set \"Number of rotations=3\" --set \"Inverse Rotation=on\" --out turn.webp\n"
        "  wqtrans render Scrolling --from a.jpg --to b.png --size 640x360 --at 500 --out half.png\n"
        "  wqtrans render Fade --from - --to b.png --format gif --out - < a.png > fade.gif\n"
        "  wqtrans render Door --ease ease-in-out --reverse --out door-closes.gif");

    RunArgs sheetArgs;
    std::vector<std::string> sheetNames;
    std::string sheetOut;
    bool sheetQuiet = false;
    CLI::App* sheet =
        app.add_subcommand("sheet", "a PNG contact sheet of the transitions at 0, 25, 50, 75 and 100 percent");
    sheet->add_option("transitions", sheetNames, "names or IDs (default: all 21)");
    sheet->add_option("--out,-o", sheetOut, "the .png to write, or - for stdout")->required();
    AddRunOptions(sheet, sheetArgs);
    AddLastStepOption(sheet, sheetArgs);
    AddMotionOptions(sheet, sheetArgs);
    sheet->add_flag("--quiet,-q", sheetQuiet, "no progress bar and no summary");
    sheet->footer(
        "Examples:\n  wqtrans sheet --out sheet.png\n  wqtrans sheet Fade Door Turn --size 240x180 --out three.png");

    std::string panelName;
    std::optional<std::string> panelBlock;
    std::vector<std::string> panelSets;
    CLI::App* panel = app.add_subcommand("panel", "show a transition's settings panel, apply --set, print the block");
    panel->add_option("transition", panelName, "name or ID")->required();
    panel->add_option("--set", panelSets, "\"Label=value\": set a control as a person would")->allow_extra_args(false);
    panel->add_option("--block", panelBlock, "start from this parameter block (hex)");
    panel->footer("Example:\n  wqtrans panel Turn --set \"Number of rotations=3\" --set \"Inverse Rotation=on\"");

    std::string paramsName;
    std::optional<std::string> paramsBlock;
    CLI::App* params = app.add_subcommand("params", "decode a parameter block into named fields");
    params->add_option("transition", paramsName, "name or ID")->required();
    params->add_option("--block", paramsBlock, "the stored block in hex (default: the transition's defaults)");
    params->footer("Example:\n  wqtrans params Turn --block 030000000000000001000000");

    RunArgs callsArgs;
    std::string callsName;
    std::optional<std::string> callsBlock;
    std::vector<std::string> callsSets;
    CLI::App* calls = app.add_subcommand("calls", "print the host calls a transition makes, step by step");
    calls->add_option("transition", callsName, "name or ID")->required();
    AddRunOptions(calls, callsArgs);
    calls->add_option("--set", callsSets, "\"Label=value\": set a control of the settings panel")
        ->allow_extra_args(false);
    calls->add_option("--block", callsBlock, "raw parameter block in hex");
    calls->footer("Example:\n  wqtrans calls Scrolling --size 64x48 --fps 4");

    RunArgs lumaRun;
    LumaArgs lumaArgs;
    std::optional<std::string> lumaBlock;
    CLI::App* luma = app.add_subcommand(
        "luma", "a pure-reveal transition's run as one grey map for editors' luma wipes (.pgm or .png)");
    luma->add_option("transition", lumaArgs.transition, "name or ID")->required();
    luma->add_option("--out,-o", lumaArgs.out, "the map to write: .pgm or .png")->required();
    luma->add_option("--set", lumaArgs.sets, "\"Label=value\": set a control of the settings panel")
        ->allow_extra_args(false);
    luma->add_option("--block", lumaBlock, "raw parameter block in hex");
    luma->add_option("--size", lumaArgs.size, "the map's WIDTHxHEIGHT: the project's frame size")
        ->capture_default_str();
    luma->add_option("--duration", lumaArgs.durationMs, "the length of the run in ms: the wipe's length")
        ->check(CLI::Range(1u, 600000u))
        ->capture_default_str();
    luma->add_option("--fps", lumaArgs.fps, "the project's frames per second, 1 to 1000")
        ->check(CLI::Range(1u, 1000u))
        ->capture_default_str();
    luma->add_option("--seed", lumaRun.seed, "seed of the module's random generator")->capture_default_str();
    luma->add_option("--flags", lumaRun.flags, "step flags the host passes (1, 2, 4, 8)")->capture_default_str();
    luma->add_option("--bits", lumaArgs.bits, "8 or 16 bits a level (8 for tools that read 8-bit pictures)")
        ->capture_default_str();
    AddMotionOptions(luma, lumaRun);
    luma->add_flag("--quiet,-q", lumaArgs.quiet, "no summary");
    luma->footer("The wipe shows the run's frames exactly when its length in frames and the project's frame size\n"
                 "are the map's. Transitions that blend or move pictures are refused with the reason.\n"
                 "Examples:\n"
                 "  wqtrans luma Door --out door.pgm\n"
                 "  wqtrans luma Bands --size 1280x720 --duration 2000 --fps 30 --bits 8 --out bands.png");

    JoinArgs joinArgs;
    CLI::App* join = app.add_subcommand(
        "join", "clips and pictures one after the other, a transition at each cut, with their sound, in one video");
    AddJoinOptions(join, joinArgs);

    // An unknown command is named, with the commands there are.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const CLI::App* command : app.get_subcommands({})) {
            known = known || command->check_name(argv[1]);
        }
        if (!known) {
            std::fprintf(stderr, "wqtrans: unknown command \"%s\"; choose one of: %s (see wqtrans --help)\n",
                         Printable(argv[1]).c_str(), CommandNames(app).c_str());
            return kExitUsage;
        }
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        if (argc == 1 || argv[1][0] == '-') {
            if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr) {
                message = "a command is required; choose one of: " + CommandNames(app);
            }
        }
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::fprintf(stderr, "wqtrans: %s (see wqtrans --help)\n", Printable(message).c_str());
        return kExitUsage;
    }

    try {
        if (list->parsed()) {
            List(json);
        } else if (render->parsed()) {
            Render(renderName, renderArgs, outputArgs, renderSets, renderBlock, renderOut, renderFormat, at,
                   renderQuiet);
        } else if (sheet->parsed()) {
            Sheet(sheetNames, sheetArgs, sheetOut, sheetQuiet);
        } else if (panel->parsed()) {
            const TransitionInfo& info = FindTransition(panelName);
            Instance instance = Create(info, BlockArgument(info, panelBlock));
            const std::string text = DescribePanel(info, instance.get(), panelSets);
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else if (params->parsed()) {
            Params(paramsName, paramsBlock);
        } else if (luma->parsed()) {
            const TransitionInfo& info = FindTransition(lumaArgs.transition);
            lumaArgs.block = BlockArgument(info, lumaBlock);
            const RunOptions options = lumaRun.Options();
            lumaArgs.seed = options.seed;
            lumaArgs.flags = options.flags;
            lumaArgs.ease = options.ease;
            lumaArgs.reverse = options.reverse;
            Luma(lumaArgs);
        } else if (join->parsed()) {
            RunArgs run;
            run.seed = joinArgs.seed;
            run.flags = joinArgs.flags;
            run.ease = joinArgs.ease;
            run.reverse = joinArgs.reverse;
            const std::string summary = RunJoin(joinArgs, run.Options());
            if (!joinArgs.quiet) {
                Wrote(joinArgs.out, summary);
            }
        } else if (calls->parsed()) {
            Calls(callsName, callsArgs, callsSets, callsBlock);
        }
    } catch (const ToolError& e) {
        std::fprintf(stderr, "wqtrans: %s\n", Printable(e.what()).c_str());
        return e.status;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "wqtrans: out of memory\n");
        return kExitIo;
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

} // namespace wqtrans::tool

int main(int argc, char** argv) {
    const int status = wqtrans::tool::Main(argc, argv);
    wqtrans::tool::ReleaseTextCaches();
    return status;
}
