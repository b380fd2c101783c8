// wqtrans: lists the module's transitions, renders them to GIF, WebP, PNG or video,
// draws contact sheets, shows settings panels and parameter blocks, and prints the
// host calls of a run.
#include <CLI/CLI.hpp>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "module/Exports.h"
#include "tools/Encoders.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

constexpr int32_t kBuiltInWidth = 320;
constexpr int32_t kBuiltInHeight = 240;
constexpr int32_t kSheetWidth = 160;
constexpr int32_t kSheetHeight = 120;

// Options shared by the commands that run a transition.
struct RunArgs {
    std::string from;
    std::string to;
    std::string size;
    uint32_t duration = 1000;
    uint32_t fps = 30;
    std::string flags = "0";
    uint32_t seed = 1;
    std::string fit = "contain";
    std::string background = "black";

    FitOptions Fit() const { return FitOptions{ParseFit(fit), ParseColour(background)}; }

    RunOptions Options() const {
        RunOptions options;
        options.durationMs = duration;
        options.fps = fps;
        options.seed = seed;
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
    command->add_option("--from", args.from, "old picture: PNG, JPEG or WebP (default: the built-in picture A)");
    command->add_option("--to", args.to, "new picture: PNG, JPEG or WebP (default: the built-in picture B)");
    command->add_option("--size", args.size,
                        "scale both pictures to WIDTHxHEIGHT (the new one is otherwise scaled to the old one's size)");
    command->add_option("--duration", args.duration, "length of the run in ms")
        ->check(CLI::Range(1u, 600000u))
        ->capture_default_str();
    command->add_option("--fps", args.fps, "frames per second")->check(CLI::Range(1u, 240u))->capture_default_str();
    command->add_option("--flags", args.flags, "step flags the host passes (1, 2, 4, 8; decimal or 0x hex)")
        ->capture_default_str();
    command->add_option("--seed", args.seed, "seed of the module's random generator, to repeat a run exactly")
        ->capture_default_str();
    command
        ->add_option("--fit", args.fit,
                     "how a picture of another shape meets the size: stretch, contain (whole, on --background) or "
                     "cover (cropped)")
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
        EncodeSettings settings;
        settings.quality = quality;
        settings.lossless = lossless;
        settings.dither = dither;
        settings.codec = codec;
        settings.loop = noLoop ? 1 : loop.value_or(0);
        settings.fps = fps;
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
        ->check(CLI::Range(0, 100));
    command->add_flag("--lossless", args.lossless, "WebP: exact frames instead of lossy ones");
    command->add_flag("--dither", args.dither, "GIF: error-diffusion dithering (smoother gradients, larger files)");
    command->add_option("--codec", args.codec,
                        "video: a libavcodec encoder for the container (default: libx264, libvpx-vp9 for .webm)");
    command->add_option("--hold-start", args.holdStart, "show the old picture this many ms before the run")
        ->check(CLI::Range(0u, 600000u));
    command
        ->add_option("--hold-end", args.holdEnd,
                     "show the new picture at least this many ms after the run (default: one frame)")
        ->check(CLI::Range(0u, 600000u));
    CLI::Option* loop = command->add_option("--loop", args.loop, "GIF and WebP: times to play, 0 for ever (default)")
                            ->check(CLI::Range(0, 65536));
    command->add_flag("--no-loop", args.noLoop, "GIF and WebP: play once")->excludes(loop);
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

std::vector<uint8_t> BlockArgument(const std::string& text) {
    return text.empty() ? std::vector<uint8_t>{} : ParseHex(text);
}

void Render(const std::string& name, const RunArgs& args, const OutputArgs& outputArgs,
            const std::vector<std::string>& sets, const std::string& blockText, const std::string& out,
            std::optional<uint32_t> at, bool quiet) {
    const TransitionInfo& info = FindTransition(name);
    const OutputKind kind = OutputKindOf(out);
    const RunOptions options = args.Options();
    const EncodeSettings settings = outputArgs.Settings(kind, options.fps);
    if (at && kind != OutputKind::Png) {
        UsageError("--at picks one moment, so it needs a .png --out");
    }
    if (at && *at > options.durationMs) {
        UsageError("--at " + std::to_string(*at) + " lies after the run: choose 0 to " +
                   std::to_string(options.durationMs) + " ms");
    }
    const std::vector<uint8_t> block = BlockArgument(blockText);
    Instance instance = Create(info, block);
    ApplySettings(info, instance.get(), sets);
    PicturePair pictures = LoadPictures(args.from, args.to, args.size, kBuiltInWidth, kBuiltInHeight, args.Fit());

    std::vector<uint32_t> times = FrameTimes(options.durationMs, options.fps);
    if (at) {
        std::erase_if(times, [&](uint32_t t) { return t >= *at; });
        times.push_back(*at);
    }
    const int32_t width = pictures.oldPicture->Width();
    const int32_t height = pictures.oldPicture->Height();
    Progress progress(times.size(), quiet);
    if (kind == OutputKind::Png) {
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
        Run(instance.get(), *pictures.oldPicture, *pictures.newPicture, options, times,
            [&](size_t index, uint32_t time, Picture& frame) {
                sink->Add(frame, index == 0 ? 0 : time + holdStart);
                progress.Update(index + 1);
            });
        sink->Finish(holdStart + options.durationMs + std::max(outputArgs.holdEnd, 1000 / options.fps));
    }
    progress.Done();
    if (!quiet) {
        std::printf("wrote %s: %s, %zu frame%s of %dx%d\n", out.c_str(), info.name.c_str(), times.size(),
                    times.size() == 1 ? "" : "s", width, height);
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
    if (OutputKindOf(out) != OutputKind::Png) {
        UsageError("--out \"" + out + "\": a contact sheet is a .png");
    }
    const RunOptions options = args.Options();
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
        std::printf("wrote %s: %zu transition%s at 0, 25, 50, 75 and 100%%, %dx%d\n", out.c_str(), transitions.size(),
                    transitions.size() == 1 ? "" : "s", sheet->Width(), sheet->Height());
    }
}

void Params(const std::string& name, const std::string& blockText) {
    const TransitionInfo& info = FindTransition(name);
    Instance instance = Create(info, BlockArgument(blockText));
    const std::vector<uint8_t> block = BlockOf(instance.get());
    if (block.empty()) {
        std::printf("%s (%s) has no parameters.\n", info.name.c_str(), info.idText.c_str());
        return;
    }
    std::printf("%s (%s), %zu-byte block %s%s:\n", info.name.c_str(), info.idText.c_str(), block.size(),
                Hex(block).c_str(), blockText.empty() ? " (defaults)" : "");
    for (const ParamField& field : info.fields) {
        std::printf("  %-14s = %-11lld (offset %d, %d-bit%s)\n", field.name,
                    static_cast<long long>(FieldValue(block, field)), field.offset, field.bytes * 8,
                    field.bytes == 2 ? " unsigned" : "");
    }
}

void Calls(const std::string& name, const RunArgs& args, const std::vector<std::string>& sets,
           const std::string& blockText) {
    const TransitionInfo& info = FindTransition(name);
    const RunOptions options = args.Options();
    // The log outlives the instance: a work surface logs its release when the
    // transition is destroyed.
    std::string out;
    Instance instance = Create(info, BlockArgument(blockText));
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

int Main(int argc, char** argv) {
    // A file-size limit or a closed pipe comes back as a write error to report, not as
    // a signal that ends the tool with its temporary files left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    CLI::App app{"wqtrans: the 21 Standard transitions, rendered on the reference surface.", "wqtrans"};
    app.require_subcommand(1);
    app.footer("Run `wqtrans COMMAND --help` for a command's options and an example.\n"
               "Exit status: 0 done; 2 bad usage or input (unknown transition, control, value, kind of output);\n"
               "1 a picture that cannot be read or an output that cannot be written.");

    bool json = false;
    CLI::App* list = app.add_subcommand("list", "list the transitions: index, ID, name, mode bits, parameters");
    list->add_flag("--json", json, "print JSON for scripts");
    list->footer("Example:\n  wqtrans list --json");

    RunArgs renderArgs;
    OutputArgs outputArgs;
    std::string renderName, renderOut, renderBlock;
    std::vector<std::string> renderSets;
    std::optional<uint32_t> at;
    bool renderQuiet = false;
    CLI::App* render = app.add_subcommand("render", "render a transition to .gif, .webp, .png, a directory, or video");
    render->add_option("transition", renderName, "name (any case) or ID, e.g. Fade, \"Stretch 2\", SE07")->required();
    render
        ->add_option("--out,-o", renderOut,
                     ".gif, .webp (animated), .png (the last frame, or --at), a directory (numbered PNG frames), "
                     ".mp4 (H.264), .webm (VP9), .mkv or .mov (H.264)")
        ->required();
    AddRunOptions(render, renderArgs);
    AddOutputOptions(render, outputArgs);
    render->add_option("--set", renderSets, "\"Label=value\": set a control of the transition's settings panel")
        ->allow_extra_args(false);
    render->add_option("--block", renderBlock, "raw parameter block in hex, e.g. 03000000");
    render->add_option("--at", at, "with a .png --out: the picture at this moment (ms)");
    render->add_flag("--quiet,-q", renderQuiet, "no progress bar and no summary");
    render->footer(
        "Examples:\n"
        "  wqtrans render Fade --out fade.gif\n"
        "  wqtrans render Turn --set \"Number of rotations=3\" --set \"Inverse Rotation=on\" --out turn.webp\n"
        "  wqtrans render Scrolling --from a.jpg --to b.png --size 640x360 --at 500 --out half.png");

    RunArgs sheetArgs;
    std::vector<std::string> sheetNames;
    std::string sheetOut;
    bool sheetQuiet = false;
    CLI::App* sheet =
        app.add_subcommand("sheet", "a PNG contact sheet of the transitions at 0, 25, 50, 75 and 100 percent");
    sheet->add_option("transitions", sheetNames, "names or IDs (default: all 21)");
    sheet->add_option("--out,-o", sheetOut, "the .png to write")->required();
    AddRunOptions(sheet, sheetArgs);
    sheet->add_flag("--quiet,-q", sheetQuiet, "no progress bar and no summary");
    sheet->footer(
        "Examples:\n  wqtrans sheet --out sheet.png\n  wqtrans sheet Fade Door Turn --size 240x180 --out three.png");

    std::string panelName, panelBlock;
    std::vector<std::string> panelSets;
    CLI::App* panel = app.add_subcommand("panel", "show a transition's settings panel, apply --set, print the block");
    panel->add_option("transition", panelName, "name or ID")->required();
    panel->add_option("--set", panelSets, "\"Label=value\": set a control as a person would")->allow_extra_args(false);
    panel->add_option("--block", panelBlock, "start from this parameter block (hex)");
    panel->footer("Example:\n  wqtrans panel Turn --set \"Number of rotations=3\" --set \"Inverse Rotation=on\"");

    std::string paramsName, paramsBlock;
    CLI::App* params = app.add_subcommand("params", "decode a parameter block into named fields");
    params->add_option("transition", paramsName, "name or ID")->required();
    params->add_option("--block", paramsBlock, "the stored block in hex (default: the transition's defaults)");
    params->footer("Example:\n  wqtrans params Turn --block 030000000000000001000000");

    RunArgs callsArgs;
    std::string callsName, callsBlock;
    std::vector<std::string> callsSets;
    CLI::App* calls = app.add_subcommand("calls", "print the host calls a transition makes, step by step");
    calls->add_option("transition", callsName, "name or ID")->required();
    AddRunOptions(calls, callsArgs);
    calls->add_option("--set", callsSets, "\"Label=value\": set a control of the settings panel")
        ->allow_extra_args(false);
    calls->add_option("--block", callsBlock, "raw parameter block in hex");
    calls->footer("Example:\n  wqtrans calls Scrolling --size 64x48 --fps 4");

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
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::fprintf(stderr, "wqtrans: %s (see wqtrans --help)\n", message.c_str());
        return kExitUsage;
    }

    try {
        if (list->parsed()) {
            List(json);
        } else if (render->parsed()) {
            Render(renderName, renderArgs, outputArgs, renderSets, renderBlock, renderOut, at, renderQuiet);
        } else if (sheet->parsed()) {
            Sheet(sheetNames, sheetArgs, sheetOut, sheetQuiet);
        } else if (panel->parsed()) {
            const TransitionInfo& info = FindTransition(panelName);
            Instance instance = Create(info, BlockArgument(panelBlock));
            const std::string text = DescribePanel(info, instance.get(), panelSets);
            std::fwrite(text.data(), 1, text.size(), stdout);
        } else if (params->parsed()) {
            Params(paramsName, paramsBlock);
        } else if (calls->parsed()) {
            Calls(callsName, callsArgs, callsSets, callsBlock);
        }
    } catch (const ToolError& e) {
        std::fprintf(stderr, "wqtrans: %s\n", e.what());
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
