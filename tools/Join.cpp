// `wqtrans join`: the command line of the join engine (join/). It reads the options,
// makes the transition of each cut through the panels as `render` does, and feeds the
// engine's frames and sound to the video encoder, written whole or not at all.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <random>
#include <sys/stat.h>

#include "join/Join.h"
#include "join/JoinError.h"
#include "tools/Encoders.h"
#include "tools/Tool.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

namespace wqtrans::tool {

namespace {

bool FileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// "30", "25", "29.97", "23.976", "59.94" or "30000/1001".
join::FrameRate ParseRate(const std::string& text) {
    auto fail = [&]() -> join::FrameRate {
        UsageError("--fps \"" + text + "\" is not a frame rate from 1 to 240: write e.g. 25, 29.97 or 30000/1001");
    };
    const size_t slash = text.find('/');
    uint64_t num = 0, den = 1;
    if (slash != std::string::npos) {
        const char* end = text.data() + text.size();
        const auto a = std::from_chars(text.data(), text.data() + slash, num);
        const auto b = std::from_chars(text.data() + slash + 1, end, den);
        if (a.ec != std::errc() || a.ptr != text.data() + slash || b.ec != std::errc() || b.ptr != end || den == 0 ||
            den > 1000000) {
            return fail();
        }
    } else {
        if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
            std::count(text.begin(), text.end(), '.') > 1 || text.front() == '.' || text.back() == '.') {
            return fail();
        }
        const double value = std::strtod(text.c_str(), nullptr);
        const double ntsc = value * 1.001;
        if (value != std::floor(value) && std::abs(ntsc - std::round(ntsc)) < 0.01) {
            // 23.976, 29.97, 59.94: the NTSC rates, n x 1000 / 1001.
            num = static_cast<uint64_t>(std::llround(ntsc)) * 1000;
            den = 1001;
        } else {
            num = static_cast<uint64_t>(std::llround(value * 1000));
            den = 1000;
            const uint64_t common = std::gcd(num, den);
            num /= std::max<uint64_t>(common, 1);
            den /= std::max<uint64_t>(common, 1);
        }
    }
    if (num == 0 || num > 240 * den) {
        return fail();
    }
    return {static_cast<uint32_t>(num), static_cast<uint32_t>(den)};
}

// One comma-separated "--cut N=NAME,Label=value,..." into its cut number and parts.
struct CutOverride {
    size_t number = 0; // 1 is the cut between the first and second input
    std::string name;
    std::vector<std::string> sets;
};

// "N=VALUE", N a whole number from 1: N and the value; none for anything else.
std::optional<std::pair<size_t, std::string>> Numbered(const std::string& text) {
    const size_t equals = text.find('=');
    size_t number = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + std::min(equals, text.size()), number);
    if (equals == std::string::npos || error != std::errc() || stop != text.data() + equals || number == 0) {
        return std::nullopt;
    }
    return std::pair{number, text.substr(equals + 1)};
}

CutOverride ParseCut(const std::string& text) {
    const auto numbered = Numbered(text);
    if (!numbered) {
        UsageError("--cut \"" + text +
                   "\": write the cut's number (1 for the first), '=', the transition and any settings, e.g. "
                   "--cut 2=Door,\"Number of doors=4\"");
    }
    CutOverride cut;
    cut.number = numbered->first;
    const std::string& rest = numbered->second;
    size_t start = 0;
    for (;;) {
        const size_t comma = rest.find(',', start);
        std::string item = rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (cut.name.empty()) {
            cut.name = item;
        } else {
            cut.sets.push_back(item);
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (cut.name.empty()) {
        UsageError("--cut \"" + text + "\" names no transition");
    }
    return cut;
}

join::MotionOptions ParseMotion(const JoinArgs& args) {
    join::MotionOptions motion;
    std::string error;
    const std::optional<join::MoveSpec> move = join::ParseMove(args.motion, &error);
    if (!move) {
        UsageError("--motion " + error);
    }
    motion.move = *move;
    motion.amount = args.motionAmount;
    const std::optional<MotionCurve> ease = MotionCurve::Parse(args.motionEase, &error);
    if (!ease) {
        UsageError("--motion-ease: " + error);
    }
    motion.ease = *ease;
    return motion;
}

// "--move N=MOVE": the input's index (0 for the first) and its move.
std::pair<size_t, join::MoveSpec> ParseOwnMove(const std::string& text) {
    const auto numbered = Numbered(text);
    if (!numbered) {
        UsageError("--move \"" + text +
                   "\": write the picture's input number (1 for the first), '=' and its move, e.g. "
                   "--move 2=zoom-in@70%,30% or --move 3=0,0,1,1>0.5,0.2,0.4,0.4");
    }
    std::string why;
    const std::optional<join::MoveSpec> move = join::ParseMove(numbered->second, &why);
    if (!move) {
        UsageError("--move " + std::to_string(numbered->first) + "=" + why);
    }
    return {numbered->first - 1, *move};
}

// A usage error when --out names a file that is also read: an input or the music, by
// any spelling, hard link or symbolic link (the same device and inode). The output
// replaces its file at the end, so the input would be lost.
void RefuseOutputThatIsAnInput(const JoinArgs& args) {
    struct stat out {};
    if (args.out == "-" || stat(args.out.c_str(), &out) != 0) {
        return;
    }
    const auto same = [&](const std::string& path) {
        struct stat in {};
        return stat(path.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
    };
    for (size_t i = 0; i < args.inputs.size(); ++i) {
        const std::string& text = args.inputs[i];
        // A part ("clip.mp4#2-8") names its clip before the '#'.
        const size_t hash = text.rfind('#');
        if (same(text) || (hash != std::string::npos && same(text.substr(0, hash)))) {
            UsageError("--out \"" + args.out + "\" is input " + std::to_string(i + 1) + " (\"" + text +
                       "\"): the video would replace it; choose another name");
        }
    }
    if (!args.audio.empty() && same(args.audio)) {
        UsageError("--out \"" + args.out + "\" is the music (--audio \"" + args.audio +
                   "\"): the video would replace it; choose another name");
    }
}

join::AudioFade ParseAudioFade(const std::string& text) {
    if (text == "equal-power") {
        return join::AudioFade::EqualPower;
    }
    if (text == "linear") {
        return join::AudioFade::Linear;
    }
    if (text == "out-in") {
        return join::AudioFade::OutIn;
    }
    UsageError("--audio-fade \"" + text + "\": choose equal-power, linear or out-in");
}

// The transition at each cut: a cut's own, else --transition (a name, random or cycle).
std::vector<join::CutTransition> CutTransitions(const JoinArgs& args, size_t cuts, const RunOptions& run) {
    std::vector<CutOverride> overrides;
    for (const std::string& text : args.cuts) {
        overrides.push_back(ParseCut(text));
        if (overrides.back().number > cuts) {
            UsageError("--cut " + std::to_string(overrides.back().number) + ": there " +
                       (cuts == 1 ? "is 1 cut" : "are " + std::to_string(cuts) + " cuts") + " between " +
                       std::to_string(cuts + 1) + " inputs");
        }
    }
    const std::string kind = args.transition;
    const bool random = kind == "random";
    const bool cycle = kind == "cycle";
    if ((random || cycle) && !args.sets.empty()) {
        UsageError("--set goes with one named --transition; with " + kind +
                   ", give a cut its settings with --cut N=NAME,\"Label=value\"");
    }
    const std::vector<TransitionInfo>& catalog = Catalog();
    const TransitionInfo* named = random || cycle ? nullptr : &FindTransition(kind);
    std::mt19937 generator(run.seed);
    size_t previous = catalog.size();
    std::vector<join::CutTransition> out;
    for (size_t k = 0; k < cuts; ++k) {
        const TransitionInfo* info = named;
        std::vector<std::string> sets = args.sets;
        if (random) {
            // A different one from the cut before.
            size_t pick = generator() % (catalog.size() - (previous < catalog.size() ? 1 : 0));
            if (previous < catalog.size() && pick >= previous) {
                ++pick;
            }
            previous = pick;
            info = &catalog[pick];
        } else if (cycle) {
            info = &catalog[k % catalog.size()];
        }
        for (const CutOverride& cut : overrides) {
            if (cut.number == k + 1) {
                info = &FindTransition(cut.name);
                sets = cut.sets;
            }
        }
        if (random || cycle) {
            if (std::none_of(overrides.begin(), overrides.end(),
                             [&](const CutOverride& c) { return c.number == k + 1; })) {
                sets.clear();
            }
        }
        Instance instance = Create(*info, {});
        ApplySettings(*info, instance.get(), sets);
        out.push_back({info->id, BlockOf(instance.get()), args.duration, run.seed, run.flags, run.ease, run.reverse});
    }
    return out;
}

} // namespace

void AddJoinOptions(CLI::App* command, JoinArgs& args) {
    command
        ->add_option("inputs", args.inputs,
                     "clips (any file FFmpeg's libraries read; FILE#START-END for a part, in seconds or m:ss) "
                     "and pictures (PNG, JPEG, WebP), in order")
        ->required();
    command
        ->add_option("--out,-o", args.out, ".mp4, .mov, .mkv (H.264, AAC) or .webm (VP9, Opus), or - (with --format)")
        ->required();
    command->add_option("--format", args.format, "mp4, webm, mkv or mov: needed for --out -");
    command
        ->add_option("--transition,-t", args.transition,
                     "the transition at every cut: a name or ID, random (a different one at each cut) or cycle "
                     "(all 21 in turn)")
        ->capture_default_str();
    command->add_option("--duration", args.duration, "each transition's length in ms; it overlaps both inputs")
        ->check(CLI::Range(1u, 600000u))
        ->capture_default_str();
    command->add_option("--hold", args.hold, "how long a picture is shown, in ms")
        ->check(CLI::Range(1u, 3600000u))
        ->capture_default_str();
    command->add_option("--set", args.sets, "\"Label=value\": a setting of --transition's panel")
        ->allow_extra_args(false);
    command
        ->add_option("--cut", args.cuts,
                     "N=NAME[,\"Label=value\"...]: cut N (1 is between the first two inputs) gets its own "
                     "transition and settings")
        ->allow_extra_args(false);
    command->add_option("--seed", args.seed, "seed of random's choices and of the module's generator")
        ->capture_default_str();
    command->add_option("--flags", args.flags, "step flags the host passes (1, 2, 4, 8)")->capture_default_str();
    command->add_option("--ease", args.ease, "every transition's motion curve, as render's --ease")
        ->capture_default_str();
    command->add_flag("--reverse", args.reverse, "every transition's motion played backwards, as render's --reverse");
    command->add_option("--size", args.size, "the video's WIDTHxHEIGHT (default: the first clip's)");
    command->add_option("--fps", args.fps, "frames a second: 25, 29.97, 30000/1001... (default: the first clip's)");
    command->add_option("--fit", args.fit, "how inputs of another shape meet the size: stretch, contain, cover or blur")
        ->capture_default_str();
    command->add_option("--background", args.background, "the colour around a contained input: #RRGGBB or a name")
        ->capture_default_str();
    command
        ->add_option("--motion", args.motion,
                     "how pictures move while shown: none, zoom-in, zoom-out, pan-left, pan-right, pan-up, pan-down "
                     "or auto (recommended: zooms in and out in turn, toward faces, and pans pictures of another "
                     "shape); a kind may take a focus point, e.g. zoom-in@0.7,0.3")
        ->capture_default_str();
    command->add_option("--motion-amount", args.motionAmount, "how far a move goes: its zoom, from 1 to 2")
        ->check(CLI::Range(1.0, 2.0))
        ->capture_default_str();
    command->add_option("--motion-ease", args.motionEase, "the moves' motion curve, as --ease")->capture_default_str();
    command
        ->add_option("--move", args.moves,
                     "N=MOVE: picture N (1 is the first input) moves its own way: a kind as --motion, with an "
                     "optional focus point (zoom-in@70%,30%), or from a rectangle to another, each "
                     "left,top,width,height of the picture (0,0,1,1>0.5,0.2,0.4,0.4)")
        ->allow_extra_args(false);
    command->add_option("--audio", args.audio, "music laid under the whole video, cut or looped to its length");
    command->add_flag("--mix-audio", args.mixAudio, "with --audio: keep the inputs' sound under the music");
    command->add_option("--audio-fade", args.audioFade, "how sounds meet at a cut: equal-power, linear or out-in")
        ->capture_default_str();
    command->add_flag("--no-sound", args.noSound, "a video without a sound track");
    command->add_option("--quality", args.quality, "0 to 100, higher is better (video: CRF as for render)")
        ->check(CLI::Range(0, 100));
    command->add_option("--codec", args.codec, "a libavcodec video encoder for the container");
    command->add_flag("--quiet,-q", args.quiet, "no progress bar and no summary");
    command->footer("Examples:\n"
                    "  wqtrans join a.jpg b.jpg c.jpg --hold 4000 --audio music.mp3 --out slides.mp4\n"
                    "  wqtrans join one.mp4 two.mp4#0:05-0:20 three.mp4 --transition random --seed 7 --out trip.mp4\n"
                    "  wqtrans join a.mp4 b.mp4 c.mp4 --cut 2=Door,\"Number of doors=4\" --out doors.mp4");
}

std::string RunJoin(const JoinArgs& args, const RunOptions& run) {
    const OutputKind kind = OutputKindOf(args.out, args.format);
    if (!IsVideo(kind)) {
        UsageError("--out \"" + args.out + "\": a join is a video: .mp4, .mov, .mkv or .webm");
    }
    if (args.mixAudio && args.audio.empty()) {
        UsageError("--mix-audio goes with --audio FILE");
    }
    RefuseOutputThatIsAnInput(args);
    join::JoinOptions options;
    if (!args.size.empty()) {
        std::tie(options.width, options.height) = ParseSize(args.size);
    }
    if (!args.fps.empty()) {
        options.rate = ParseRate(args.fps);
    }
    options.fit = ParseFit(args.fit);
    options.background = ParseColour(args.background);
    options.holdMs = args.hold;
    options.motion = ParseMotion(args);
    for (const std::string& text : args.moves) {
        options.moves.push_back(ParseOwnMove(text));
    }
    options.sound = !args.noSound;
    options.audio.fade = ParseAudioFade(args.audioFade);
    options.audio.music = args.audio;
    options.audio.mixMusic = args.mixAudio;
    if (kind == OutputKind::Webm) {
        options.audio.sampleRate = 48000; // Opus
    }
    const std::vector<join::CutTransition> cuts =
        CutTransitions(args, args.inputs.size() < 2 ? 0 : args.inputs.size() - 1, run);

    // FFmpeg's libraries log what they meet in damaged inputs; the engine says it in its
    // own one line (the video encoder keeps their last line for its messages).
    av_log_set_callback([](void*, int, const char*, va_list) {});
    try {
        std::vector<join::InputSpec> inputs;
        for (const std::string& text : args.inputs) {
            inputs.push_back(join::ParseInput(text, FileExists));
        }
        join::Join joined(inputs, cuts, options);
        const join::Timeline& plan = joined.Plan();
        if (!args.quiet) {
            for (const std::string& note : plan.notes) {
                std::fprintf(stderr, "wqtrans: %s\n", note.c_str());
            }
        }
        EncodeSettings settings;
        settings.quality = args.quality;
        settings.codec = args.codec;
        settings.fps = plan.rate.num;
        settings.fpsDen = plan.rate.den;
        join::AudioMix* sound = joined.Sound();
        if (sound != nullptr) {
            settings.audioRate = sound->SampleRate();
            settings.audioChannels = sound->Channels();
        }
        std::unique_ptr<FrameSink> sink =
            OpenSink(kind, args.out, joined.Width(), joined.Height(), settings, static_cast<size_t>(plan.totalFrames));
        Progress progress(static_cast<size_t>(plan.totalFrames), args.quiet);
        std::vector<float> samples;
        int64_t samplesDone = 0;
        for (int64_t n = 0; n < plan.totalFrames; ++n) {
            CheckInterrupted();
            // A clip's own frame goes to the encoder as it is where it can.
            const auto timeMs = static_cast<uint32_t>(join::FrameTimeMs(n, plan.rate));
            const AVFrame* decoded = joined.Decoded(n);
            if (decoded == nullptr || !sink->AddDecoded(decoded, timeMs)) {
                sink->Add(joined.Frame(n), timeMs);
            }
            if (sound != nullptr) {
                // The sound up to the end of this frame, so that the muxer interleaves the two.
                const int64_t upTo =
                    std::min(sound->TotalSamples(),
                             av_rescale(n + 1, int64_t{sound->SampleRate()} * plan.rate.den, plan.rate.num));
                const size_t count = static_cast<size_t>(upTo - samplesDone);
                if (count > 0) {
                    samples.resize(count * static_cast<size_t>(sound->Channels()));
                    sound->Read(samples.data(), count);
                    sink->AddAudio(samples.data(), count);
                    samplesDone = upTo;
                }
            }
            progress.Update(static_cast<size_t>(n + 1));
        }
        sink->Finish(static_cast<uint32_t>(join::FrameTimeMs(plan.totalFrames, plan.rate)));
        progress.Done();
        const int64_t ms = join::FrameTimeMs(plan.totalFrames, plan.rate);
        char length[32];
        std::snprintf(length, sizeof length, "%.2f s", static_cast<double>(ms) / 1000.0);
        auto count = [](size_t n, const char* one, const char* many) {
            return std::to_string(n) + " " + (n == 1 ? one : many);
        };
        return count(inputs.size(), "input", "inputs") + ", " + count(cuts.size(), "cut", "cuts") + ", " +
               count(static_cast<size_t>(plan.totalFrames), "frame", "frames") + " of " +
               std::to_string(joined.Width()) + "x" + std::to_string(joined.Height()) + ", " + length;
    } catch (const join::JoinError& e) {
        throw ToolError(e.kind == join::ErrorKind::Usage ? kExitUsage : kExitIo, e.what());
    }
}

} // namespace wqtrans::tool
