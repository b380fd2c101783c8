// The wqtrans command-line tool: shared declarations of its parts.
//
// The tool is a host of the module like any other: it enumerates the transitions
// through the exports, creates them with CreateTransition, drives their panels
// through the automation API and steps them through the adapter's table on reference
// surfaces, with a simulated clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/Fit.h"
#include "host/Motion.h"
#include "host/PanelSettings.h"
#include "host/PixelBudget.h"
#include "host/SoftwareSurface.h"
#include "module/TransitionAdapter.h"

struct AVFrame;

namespace wqtrans::tool {

// Exit statuses: 2 for bad usage or input, 1 for pictures that cannot be read and
// outputs that cannot be written.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitIo = 1;

// A failure that ends the command with a one-line message and an exit status.
struct ToolError : std::runtime_error {
    ToolError(int status, const std::string& message) : std::runtime_error(message), status(status) {}
    int status;
};
[[noreturn]] inline void UsageError(const std::string& message) { throw ToolError(kExitUsage, message); }
[[noreturn]] inline void IoError(const std::string& message) { throw ToolError(kExitIo, message); }

// ---- Interruption ------------------------------------------------------------

// SIGINT, SIGTERM and SIGHUP only set a flag; SIGPIPE and SIGXFSZ are ignored, so
// that their causes come back as write errors.
void InstallSignalHandlers();
// Whether one of those signals has come.
bool Interrupted();
// After a signal: a ToolError with status 128 + the signal (130 for SIGINT, 143 for
// SIGTERM), which unwinds through the owners of the temporaries.
void CheckInterrupted();

// ---- Catalog: the transitions as the exports describe them -----------------

struct ParamField {
    const char* name;
    int32_t offset; // bytes into the block
    int32_t bytes;  // 2 or 4
};

struct TransitionInfo {
    int32_t index = 0;
    uint32_t id = 0;
    std::string idText; // "FADE"
    std::string name;   // "Fade"
    int32_t mode = 0;
    bool hasPanel = false;
    std::vector<ParamField> fields;
    std::vector<uint8_t> defaults; // the block of a fresh instance
};

// The 21 transitions in index order, read through the exports.
const std::vector<TransitionInfo>& Catalog();
// By name (case-insensitive; spaces, '-' and '_' ignored) or by ID; a usage error
// naming the valid choices otherwise.
const TransitionInfo& FindTransition(const std::string& text);
// "Fade, Bands, ..." for error messages.
std::string TransitionNames();
// The value of a field in a block (16-bit fields unsigned, 32-bit fields signed).
int64_t FieldValue(const std::vector<uint8_t>& block, const ParamField& field);
// "05 00 02 00" style hex, and its reverse (spaces, ':' and a leading 0x allowed).
std::string Hex(const std::vector<uint8_t>& bytes, bool spaced = false);
std::vector<uint8_t> ParseHex(const std::string& text); // throws a usage error
using panel::Utf16;
using panel::Utf8;
std::string JsonString(const std::string& text);

// ---- Instances ------------------------------------------------------------

// An adapter made by CreateTransition, deleted through its own table.
struct AdapterDeleter {
    void operator()(TransitionAdapter* adapter) const;
};
using Instance = std::unique_ptr<TransitionAdapter, AdapterDeleter>;

// A new instance of `info`, given `block` when it is not empty (its size must match
// the transition's block: a usage error otherwise).
Instance Create(const TransitionInfo& info, const std::vector<uint8_t>& block);
// The instance's parameter block, read through the adapter.
std::vector<uint8_t> BlockOf(TransitionAdapter* adapter);

// ---- Panels ----------------------------------------------------------------

// Opens the instance's panel, prints nothing; applies each "Label=value" setting as a
// person would, then closes the panel with apply 1. Usage errors name the panel's
// controls or the control's range.
void ApplySettings(const TransitionInfo& info, TransitionAdapter* adapter, const std::vector<std::string>& settings);
// The panel as text: one line per control with its text, kind, state and range.
std::string DescribePanel(const TransitionInfo& info, TransitionAdapter* adapter,
                          const std::vector<std::string>& settings);

// ---- Pictures --------------------------------------------------------------

using Picture = SoftwareSurface;

// The two built-in pictures, drawn at the given size.
std::unique_ptr<Picture> BuiltInPicture(bool newPicture, int32_t width, int32_t height);
// One pixel budget (host/PixelBudget.h) for every picture read, every --size and every
// contact sheet.
// A PNG, JPEG, WebP, HEIC or AVIF picture from its bytes, told by its content, as it is
// shown (media/Picture.h: turned as it says, its colours brought to sRGB); an I/O error
// naming `name` (as PictureName gives it) when it cannot be decoded or is over the
// budget, which is checked from the header before any pixel memory is taken.
// Transparent and translucent pixels are laid on `background` (0xFFRRGGBB). What could
// not be done as the file asks goes to stderr as a note.
std::unique_ptr<Picture> DecodePicture(const uint8_t* data, size_t size, const std::string& name,
                                       uint32_t background = 0xFF000000u);
// "\"a.png\"", or "from stdin" for "-".
std::string PictureName(const std::string& path);
// A PNG, JPEG, WebP, HEIC or AVIF picture from a file, pipe or FIFO, or stdin for "-"; an I/O
// error when it cannot be read. Transparency is laid on `background`.
std::unique_ptr<Picture> LoadPicture(const std::string& path, uint32_t background = 0xFF000000u);
// Frees cairo's and fontconfig's caches at exit, so that leak checkers see only the
// tool's own memory.
void ReleaseTextCaches();
// How a picture of another shape is brought to the run's size (host/Fit.h), and the
// background around a contained one.
struct FitOptions {
    FitMode mode = FitMode::Contain;
    uint32_t background = 0xFF000000u; // 0xAARRGGBB
};
// "stretch", "contain", "cover" or "blur", or a usage error.
FitMode ParseFit(const std::string& text);
// "#RRGGBB", "#RGB", "0xRRGGBB" or a few names (black, white, gray...) into 0xFFRRGGBB.
uint32_t ParseColour(const std::string& text);
// A copy at another size, by `fit`, smoothly scaled (area when shrinking, bicubic when
// enlarging).
std::unique_ptr<Picture> Scaled(Picture& picture, int32_t width, int32_t height, const FitOptions& fit = {});
// The size of width x height scaled down, keeping its shape, to fit the box (unchanged
// when it fits already).
std::pair<int32_t, int32_t> FitInside(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight);
// "WxH" into its two positive numbers within the pixel budget, or a usage error.
std::pair<int32_t, int32_t> ParseSize(const std::string& text);

struct PicturePair {
    std::unique_ptr<Picture> oldPicture;
    std::unique_ptr<Picture> newPicture;
};
// The old and new pictures of a run: the files given or the built-ins, both at
// `size` when given, else the new picture scaled to the old one's size (with a note
// on stderr when it had to be scaled).
// Pictures of another size are brought to it by `fit`.
PicturePair LoadPictures(const std::string& from, const std::string& to, const std::string& size, int32_t builtInWidth,
                         int32_t builtInHeight, const FitOptions& fit = {});

// ---- Runs ------------------------------------------------------------------

struct RunOptions {
    uint32_t durationMs = 1000;
    uint32_t fps = 30;
    int32_t flags = 0;
    uint32_t seed = 1;
    // Keep the module's own drawing of the last step, instead of showing the new
    // picture once the run has finished.
    bool moduleLastStep = false;
    // The motion curve and the mirror run (host/Motion.h): either one draws each frame
    // through the frame renderer, replayed at fps.
    MotionCurve ease;
    bool reverse = false;
};

// The times of the frames of a run (host/RunTimeline.h): 0, 1000/fps, ... and the last exactly at the
// duration; duration x fps / 1000 + 1 frames.
std::vector<uint32_t> FrameTimes(uint32_t durationMs, uint32_t fps);

// Runs `adapter` from the old to the new picture on a simulated clock: the
// destination starts as a copy of the old picture and keeps its content between
// steps; `frame` is called after the step at each of `times` (ascending, first 0).
// The generator is seeded first. Like a runtime that redraws the stage when a
// transition ends, the step at the duration is followed by the new picture, unless
// options.moduleLastStep. Checks for interruption before every step. With a curve or
// reverse, each frame is the frame renderer's picture at its time instead.
void Run(TransitionAdapter* adapter, Picture& oldPicture, Picture& newPicture, const RunOptions& options,
         const std::vector<uint32_t>& times, const std::function<void(size_t, uint32_t, Picture&)>& frame);

// The host calls of every step, one line per call with every argument.
void PrintCalls(TransitionAdapter* adapter, Picture& oldPicture, Picture& newPicture, const RunOptions& options,
                const std::vector<uint32_t>& times, std::string& out);

// A progress bar on stderr, shown only on a terminal, only once the work has taken
// more than a second, and never when quiet: what is done of the total, how many per
// second and the time left.
class Progress {
public:
    Progress(size_t total, bool quiet, std::string unit = "frames");
    ~Progress();
    void Update(size_t done);
    // Clears the bar from the terminal.
    void Done();
    // The bar's text after `done` of the total in `elapsedMs`.
    static std::string Line(size_t done, size_t total, int64_t elapsedMs, const std::string& unit);

private:
    size_t total;
    std::string unit;
    bool enabled;
    bool shown = false;
    int64_t startMs;
};

// ---- Outputs ---------------------------------------------------------------

enum class OutputKind { Gif, Webp, Png, Directory, Mp4, Webm, Mkv, Mov };

// Whether the kind is a video, written through FFmpeg's libraries.
inline bool IsVideo(OutputKind kind) {
    return kind == OutputKind::Mp4 || kind == OutputKind::Webm || kind == OutputKind::Mkv || kind == OutputKind::Mov;
}

// The kind of output a path names: by `format` (gif, webp, png, mp4, webm, mkv, mov),
// else by its extension, or a directory when it ends in '/', is one already or has no
// extension; "-" is stdout and needs a format. A usage error for anything else.
OutputKind OutputKindOf(const std::string& path, const std::string& format = "");

// Writes frames to a file, a directory or stdout ("-", through a temporary file);
// nothing is left behind unless Finish succeeds.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void Add(Picture& frame, uint32_t timeMs) = 0;
    // `endMs` is when the last frame stops being shown.
    virtual void Finish(uint32_t endMs) = 0;
    // The sound track's next samples (video opened with an audio rate).
    virtual void AddAudio(const float* samples, size_t count);
    // A decoded frame that a video encoder takes as it is, without a conversion (see
    // FrameEncoder::AddDecoded); false when it cannot.
    virtual bool AddDecoded(const AVFrame*, uint32_t) { return false; }
    // Frames added but not yet written, and a call for each one written.
    virtual size_t Pending() const { return 0; }
    virtual void OnWritten(std::function<void()>) {}
};
struct EncodeSettings;
// `frames` is how many frames will come (numbered frames get enough digits for it).
std::unique_ptr<FrameSink> OpenSink(OutputKind kind, const std::string& path, int32_t width, int32_t height,
                                    const EncodeSettings& settings, size_t frames);
// One PNG, written to a temporary file and renamed.
void WritePng(Picture& picture, const std::string& path);
// A file's bytes, written whole or not at all.
void WriteFileBytes(const std::vector<uint8_t>& bytes, const std::string& path);

// ---- Luma maps ---------------------------------------------------------------

struct LumaArgs {
    std::string transition;
    std::vector<std::string> sets;
    std::vector<uint8_t> block; // empty for the defaults
    std::string size = "1920x1080";
    uint32_t durationMs = 1000;
    uint32_t fps = 25;
    uint32_t seed = 1;
    int32_t flags = 0;
    int bits = 16;
    MotionCurve ease;
    bool reverse = false;
    std::string out;
    bool quiet = false;
};

// The frames of a wipe of `durationMs` at `fps`: the duration in frames, rounded, at
// least one.
uint32_t LumaFrames(uint32_t durationMs, uint32_t fps);

// Writes the transition's run as a grey map (.pgm or .png), or refuses with a usage
// error when the run is not a pure reveal.
void Luma(const LumaArgs& args);

// ---- Joining clips and pictures --------------------------------------------------

struct JoinArgs {
    std::vector<std::string> inputs;
    std::string out;
    std::string format;
    std::string transition = "Fade";
    uint32_t duration = 1000;
    uint32_t hold = 3000;
    std::vector<std::string> sets;
    std::vector<std::string> cuts;
    std::string seed = "1";
    std::string flags = "0";
    std::string size;
    std::string fps;
    std::string fit = "contain";
    std::string background = "black";
    std::string motion = "none";
    double motionAmount = 1.15;
    std::string motionEase = "ease-in-out";
    std::vector<std::string> moves;
    std::string audio;
    bool mixAudio = false;
    std::string audioFade = "equal-power";
    bool noSound = false;
    std::string ease = "linear";
    bool reverse = false;
    std::optional<int> quality;
    std::string codec;
    bool quiet = false;
};
} // namespace wqtrans::tool
namespace CLI {
class App;
}
namespace wqtrans::tool {
// The join command's options, and the join itself with the seed, flags and motion read
// as render reads them; its summary for the line that says what was written.
void AddJoinOptions(CLI::App* command, JoinArgs& args);
std::string RunJoin(const JoinArgs& args, const RunOptions& run);

// ---- Contact sheet -----------------------------------------------------------

// The size of a sheet of `transitions` rows of w x h cells, or a usage error when it is
// over the pixel budget: asked before any picture is drawn.
std::pair<int32_t, int32_t> SheetSize(size_t transitions, int32_t w, int32_t h);
// The sheet of `transitions` at 0, 25, 50, 75 and 100 percent of the run.
std::unique_ptr<Picture> ContactSheet(const std::vector<const TransitionInfo*>& transitions, Picture& oldPicture,
                                      Picture& newPicture, const RunOptions& options, bool quiet);

} // namespace wqtrans::tool
