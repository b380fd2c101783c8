// Animated GIF: giflib writes the file, libimagequant makes each frame's palette.
//
// Each frame stores only the rectangle that changed since the frame before, over the
// picture a viewer shows at that moment (disposal "keep"); inside the rectangle,
// unchanged pixels are transparent. libimagequant builds the palette from the changed
// pixels alone, and runs of pixels stay transparent wherever the shown colour is as
// close to the frame as the palette's, or nearly. A rectangle of at most 255 colours
// (256 in the first frame) is stored exactly.
// A frame identical to the one before lengthens that frame instead of adding one.
//
// A frame's palette and indices depend only on the frame and the one before it, so
// they are made on worker threads, a few frames ahead, while the run draws the next
// frame; what a viewer shows, and the file, advance in frame order on the caller's
// thread. The file is the same whatever the number of threads.
#include <signal.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <unordered_map>

#include <gif_lib.h>
#include <libimagequant.h>
#include <omp.h>

#include "tools/Encoders.h"

namespace wqtrans::tool {

namespace {

struct Rect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
};

// One frame, ready to be written once its delay is known.
struct PendingFrame {
    Rect rect;
    std::vector<GifByteType> indices;
    std::vector<GifColorType> colours;
    int transparent = NO_TRANSPARENT_COLOR;
    uint32_t timeMs = 0;
};

// The work of one frame that can run on another thread: its changed pixels in, its
// palette and indices out.
struct FrameJob {
    PendingFrame out;
    std::vector<uint32_t> source; // the rectangle's pixels, 0xAARRGGBB
    std::vector<uint32_t> rgba;   // the same for libimagequant, 0 where unchanged
    bool first = false;
    bool anyKept = false;
    int maxQuality = 100;
    bool exact = false; // every colour kept exactly: nothing for the shown picture to keep
};

// Runs tasks on threads of its own, in the order given; with no threads, at once on
// the caller's.
class Workers {
public:
    explicit Workers(int count) {
        // Signals go to the thread that checks for them, not to a worker.
        sigset_t all, saved;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &saved);
        try {
            for (int i = 0; i < count; ++i) {
                threads.emplace_back([this] { Serve(); });
            }
        } catch (...) {
            pthread_sigmask(SIG_SETMASK, &saved, nullptr);
            Stop();
            throw;
        }
        pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    }
    ~Workers() { Stop(); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    size_t Count() const { return threads.size(); }

    std::future<void> Submit(std::function<void()> work) {
        std::packaged_task<void()> task(std::move(work));
        std::future<void> done = task.get_future();
        if (threads.empty()) {
            task();
            return done;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            tasks.push_back(std::move(task));
        }
        wake.notify_one();
        return done;
    }

private:
    void Serve() {
        // libimagequant's OpenMP threads, waiting for each other between the small
        // steps of a frame, cost more CPU time than they save; the setting is the
        // calling thread's own.
        omp_set_num_threads(1);
        for (;;) {
            std::packaged_task<void()> task;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return stopping || !tasks.empty(); });
                if (stopping) {
                    return;
                }
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            task();
        }
    }
    // Tasks not yet started are dropped; the ones running finish.
    void Stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            tasks.clear();
        }
        wake.notify_all();
        for (std::thread& thread : threads) {
            thread.join();
        }
        threads.clear();
    }

    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::packaged_task<void()>> tasks;
    bool stopping = false;
};

// The squared distance of two 0xAARRGGBB colours.
int Distance(uint32_t a, uint32_t b) {
    int sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        sum += d * d;
    }
    return sum;
}

uint32_t Argb(const GifColorType& c) {
    return 0xFF000000u | static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue;
}

int Centiseconds(uint32_t ms) { return static_cast<int>((ms + 5) / 10); }

// The bytes of an RGBA pixel for libimagequant, from 0xAARRGGBB.
uint32_t Rgba(uint32_t argb) {
    const uint32_t r = (argb >> 16) & 0xFF;
    const uint32_t g = (argb >> 8) & 0xFF;
    const uint32_t b = argb & 0xFF;
    return r | g << 8 | b << 16 | 0xFF000000u;
}

// Owners of libimagequant's objects.
struct LiqDeleter {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
    void operator()(liq_image* p) const { liq_image_destroy(p); }
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};
template <typename T> using LiqPtr = std::unique_ptr<T, LiqDeleter>;

class GifEncoder final : public FrameEncoder {
public:
    GifEncoder(OutputFile& file, int32_t width, int32_t height, const EncodeSettings& settings)
        : file(file), target(file.Target()), width(width), height(height), dither(settings.dither),
          quality(settings.quality.value_or(kDefaultGifQuality)),
          shown(static_cast<size_t>(width) * static_cast<size_t>(height)),
          previous(static_cast<size_t>(width) * static_cast<size_t>(height)),
          workers(GifThreads(settings) > 1 ? GifThreads(settings) : 0) {
        omp_set_num_threads(1); // as on the workers, for the frames made on this thread
        // Enough frames ahead that a worker always has the next one waiting.
        ahead = workers.Count() == 0 ? 0 : workers.Count() + 1;
    }

    // Separate from the constructor so that the destructor closes what a failure
    // leaves open.
    void Open(int loopCount) {
        int error = 0;
        gif = EGifOpen(this, &GifEncoder::WriteBytes, &error);
        if (gif == nullptr) {
            IoError("cannot start GIF " + target + ": " + GifErrorString(error));
        }
        EGifSetGifVersion(gif, true);
        Check(EGifPutScreenDesc(gif, width, height, 8, 0, nullptr));
        if (loopCount != 1) {
            // The NETSCAPE block counts repeats after the first play; 0 is for ever.
            const int repeats = loopCount == 0 ? 0 : std::min(loopCount - 1, 65535);
            static const GifByteType netscape[] = "NETSCAPE2.0";
            const GifByteType loop[] = {1, static_cast<GifByteType>(repeats & 0xFF),
                                        static_cast<GifByteType>(repeats >> 8)};
            Check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE));
            Check(EGifPutExtensionBlock(gif, 11, netscape));
            Check(EGifPutExtensionBlock(gif, 3, loop));
            Check(EGifPutExtensionTrailer(gif));
        }
    }
    ~GifEncoder() override {
        if (gif != nullptr) {
            int error = 0;
            EGifCloseFile(gif, &error);
        }
    }

    void Add(Picture& frame, uint32_t timeMs) override {
        const uint32_t* pixels = frame.Pixels();
        const Rect rect = first ? Rect{0, 0, width, height} : Changed(pixels);
        if (rect.w == 0) {
            return; // the frame before is shown for longer
        }
        auto job = std::make_unique<FrameJob>(Prepare(pixels, rect));
        job->out.timeMs = timeMs;
        std::copy(pixels, pixels + previous.size(), previous.begin());
        first = false;
        FrameJob* work = job.get();
        std::future<void> done = workers.Submit([this, work] { MakePalette(*work); });
        inFlight.push_back({std::move(job), std::move(done)});
        while (inFlight.size() > ahead) {
            Retire();
        }
    }

    size_t Pending() const override { return inFlight.size(); }

    void Finish(uint32_t endMs) override {
        while (!inFlight.empty()) {
            Retire();
        }
        if (pending) {
            Put(Centiseconds(endMs) - Centiseconds(pending->timeMs));
        }
        int error = 0;
        const int closed = EGifCloseFile(gif, &error);
        gif = nullptr;
        if (!writeError.empty()) {
            throw ToolError(writeStatus, writeError);
        }
        if (closed != GIF_OK) {
            IoError("cannot finish GIF " + target + ": " + GifErrorString(error));
        }
        file.Write(buffered.data(), buffered.size());
        buffered.clear();
    }

private:
    struct InFlight {
        std::unique_ptr<FrameJob> job;
        std::future<void> done;
    };

    // The bounding box of the pixels that differ from the frame before.
    Rect Changed(const uint32_t* pixels) const {
        int32_t left = width, right = -1, top = height, bottom = -1;
        for (int32_t y = 0; y < height; ++y) {
            const size_t row = static_cast<size_t>(y) * static_cast<size_t>(width);
            int32_t x0 = 0;
            while (x0 < width && ((pixels[row + x0] ^ previous[row + x0]) & 0xFFFFFF) == 0) {
                ++x0;
            }
            if (x0 == width) {
                continue;
            }
            int32_t x1 = width - 1;
            while (((pixels[row + x1] ^ previous[row + x1]) & 0xFFFFFF) == 0) {
                --x1;
            }
            left = std::min(left, x0);
            right = std::max(right, x1);
            top = std::min(top, y);
            bottom = y;
        }
        if (right < 0) {
            return {};
        }
        return {left, top, right - left + 1, bottom - top + 1};
    }

    // The rectangle's pixels and how hard to work on their palette.
    FrameJob Prepare(const uint32_t* pixels, const Rect& rect) const {
        FrameJob job;
        job.out.rect = rect;
        job.first = first;
        const size_t count = static_cast<size_t>(rect.w) * static_cast<size_t>(rect.h);
        job.source.resize(count);
        // Pixels that did not change keep what is shown: transparent (RGBA 0).
        job.rgba.resize(count);
        size_t kept = 0;
        ForEachPixel(rect, [&](size_t i, size_t at) {
            const bool same = !first && ((pixels[at] ^ previous[at]) & 0xFFFFFF) == 0;
            kept += same ? 1 : 0;
            job.source[i] = pixels[at];
            job.rgba[i] = same ? 0u : Rgba(pixels[at]);
        });
        job.anyKept = kept > 0;
        // The first frame, and a frame that redraws less than half the picture, get
        // the best palette: their pixels tend to stay on screen, and a part costs few
        // bytes.
        const bool partial = !first && (kept * 2 > count || count * 2 < shown.size());
        job.maxQuality = partial || first ? 100 : quality;
        return job;
    }

    // On a worker: the job's palette and indices, from its pixels alone.
    void MakePalette(FrameJob& job) const {
        job.out.indices.resize(job.rgba.size());
        job.exact = IndexExactly(job.rgba, job.anyKept, job.out);
        if (!job.exact) {
            Quantize(job);
        }
        job.rgba = {};
    }

    // The oldest frame in flight, once its palette is made: what a viewer shows
    // follows it, and the frame before it goes to the file.
    void Retire() {
        InFlight next = std::move(inFlight.front());
        inFlight.pop_front();
        next.done.get();
        FrameJob& job = *next.job;
        PendingFrame& out = job.out;
        const Rect& rect = out.rect;
        if (!job.exact && !job.first) {
            KeepShown(job);
        }
        // A colour map has a power-of-two size of at least 2.
        size_t size = 2;
        while (size < out.colours.size()) {
            size *= 2;
        }
        out.colours.resize(size, GifColorType{0, 0, 0});
        ForEachPixel(rect, [&](size_t i, size_t at) {
            if (out.indices[i] != out.transparent) {
                shown[at] = Argb(out.colours[out.indices[i]]);
            }
        });
        if (pending) {
            Put(Centiseconds(out.timeMs) - Centiseconds(pending->timeMs));
        }
        pending = std::move(out);
        Written();
    }

    // Where the picture shown is close enough to the frame, it stays (transparent):
    // as close as the palette's colour, or within the frame's mean palette
    // error. Only runs of at least two such pixels stay, with the pixels that did not
    // change: a lone transparent pixel among the palette's breaks the strings that
    // LZW compresses, and costs more than it saves.
    void KeepShown(FrameJob& job) const {
        PendingFrame& out = job.out;
        const Rect& rect = out.rect;
        const auto paletteError = [&](size_t i) { return Distance(Argb(out.colours[out.indices[i]]), job.source[i]); };
        int64_t sum = 0;
        size_t opaque = 0;
        for (size_t i = 0; i < out.indices.size(); ++i) {
            if (out.indices[i] != out.transparent) {
                sum += paletteError(i);
                ++opaque;
            }
        }
        const int slack = opaque == 0 ? 0 : static_cast<int>(sum / static_cast<int64_t>(opaque));
        std::vector<uint8_t> keep(out.indices.size());
        ForEachPixel(rect, [&](size_t i, size_t at) {
            keep[i] = out.indices[i] == out.transparent ||
                      Distance(shown[at], job.source[i]) <= std::max(paletteError(i), slack);
        });
        const size_t w = static_cast<size_t>(rect.w);
        for (size_t row = 0; row < keep.size(); row += w) {
            for (size_t x = 0; x < w;) {
                size_t end = x;
                while (end < w && keep[row + end]) {
                    ++end;
                }
                if (end - x >= kMinKeptRun) {
                    std::fill(out.indices.begin() + static_cast<std::ptrdiff_t>(row + x),
                              out.indices.begin() + static_cast<std::ptrdiff_t>(row + end),
                              static_cast<GifByteType>(out.transparent));
                }
                x = end == x ? x + 1 : end;
            }
        }
    }

    // Calls `f(i, at)` for each pixel of the rectangle: its index in the rectangle and
    // in the picture.
    template <typename F> void ForEachPixel(const Rect& rect, F f) const {
        size_t i = 0;
        for (int32_t y = 0; y < rect.h; ++y) {
            size_t at = static_cast<size_t>(rect.y + y) * static_cast<size_t>(width) + static_cast<size_t>(rect.x);
            for (int32_t x = 0; x < rect.w; ++x) {
                f(i++, at++);
            }
        }
    }

    // At most 256 entries (transparency included): every colour exactly.
    static bool IndexExactly(const std::vector<uint32_t>& source, bool anyKept, PendingFrame& out) {
        std::unordered_map<uint32_t, uint8_t> exact;
        if (anyKept) {
            exact.emplace(0u, 0);
            out.colours.push_back({0, 0, 0});
            out.transparent = 0;
        }
        for (size_t i = 0; i < source.size(); ++i) {
            auto found = exact.find(source[i]);
            if (found == exact.end()) {
                if (exact.size() == 256) {
                    out.colours.clear();
                    out.transparent = NO_TRANSPARENT_COLOR;
                    return false;
                }
                found = exact.emplace(source[i], static_cast<uint8_t>(exact.size())).first;
                const uint32_t c = source[i];
                out.colours.push_back(
                    {static_cast<GifByteType>(c), static_cast<GifByteType>(c >> 8), static_cast<GifByteType>(c >> 16)});
            }
            out.indices[i] = found->second;
        }
        return true;
    }

    // libimagequant's palette for the job's rectangle, with a transparent entry after
    // the first frame, at its quality target.
    void Quantize(FrameJob& job) const {
        PendingFrame& out = job.out;
        LiqPtr<liq_attr> attr(liq_attr_create());
        if (!attr) {
            throw std::bad_alloc();
        }
        liq_set_max_colors(attr.get(), job.first ? 256 : 255);
        liq_set_quality(attr.get(), 0, job.maxQuality);
        liq_set_speed(attr.get(), kSpeed);
        LiqPtr<liq_image> image(liq_image_create_rgba(attr.get(), job.rgba.data(), out.rect.w, out.rect.h, 0));
        if (!image) {
            throw std::bad_alloc();
        }
        liq_result* made = nullptr;
        if (liq_image_quantize(image.get(), attr.get(), &made) != LIQ_OK) {
            IoError("cannot reduce a frame of " + target + " to 256 colours");
        }
        LiqPtr<liq_result> result(made);
        // A frame that cannot reach the target with 256 colours (grain, fine detail)
        // is quantised again a little below what it reached: a few fewer colours
        // cost little quality there and save much of the file.
        const int reached = liq_get_quantization_quality(result.get());
        if (job.maxQuality < 100 && reached < job.maxQuality) {
            liq_set_quality(attr.get(), 0, std::max(reached - kShortfallDrop, 0));
            made = nullptr;
            if (liq_image_quantize(image.get(), attr.get(), &made) != LIQ_OK) {
                IoError("cannot reduce a frame of " + target + " to 256 colours");
            }
            result.reset(made);
        }
        liq_set_dithering_level(result.get(), dither ? 1.0f : 0.0f);
        if (liq_write_remapped_image(result.get(), image.get(), out.indices.data(), out.indices.size()) != LIQ_OK) {
            IoError("cannot reduce a frame of " + target + " to 256 colours");
        }
        const liq_palette* palette = liq_get_palette(result.get());
        for (unsigned i = 0; i < palette->count; ++i) {
            const liq_color& c = palette->entries[i];
            out.colours.push_back({c.r, c.g, c.b});
            if (c.a < 128 && out.transparent == NO_TRANSPARENT_COLOR) {
                out.transparent = static_cast<int>(i);
            }
        }
        if (!job.first && out.transparent == NO_TRANSPARENT_COLOR) {
            out.transparent = static_cast<int>(out.colours.size());
            out.colours.push_back({0, 0, 0});
        }
    }

    void Put(int delay) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.UserInputFlag = false;
        control.DelayTime = std::max(delay, 1);
        control.TransparentColor = pending->transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        Check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension));
        ColorMapObject* map = GifMakeMapObject(static_cast<int>(pending->colours.size()), pending->colours.data());
        if (map == nullptr) {
            throw std::bad_alloc();
        }
        const Rect& r = pending->rect;
        const int described = EGifPutImageDesc(gif, r.x, r.y, r.w, r.h, false, map);
        GifFreeMapObject(map);
        Check(described);
        for (int32_t y = 0; y < r.h; ++y) {
            Check(EGifPutLine(gif, pending->indices.data() + static_cast<size_t>(y) * static_cast<size_t>(r.w), r.w));
        }
        pending.reset();
    }

    void Check(int result) {
        if (!writeError.empty()) {
            throw ToolError(writeStatus, writeError);
        }
        if (result != GIF_OK) {
            IoError("cannot write GIF " + target + ": " + GifErrorString(gif->Error));
        }
    }

    // giflib's output function, called from C with a few bytes at a time: they go to
    // the file in blocks, and a failure is kept for Check.
    static int WriteBytes(GifFileType* gif, const GifByteType* data, int size) {
        auto* self = static_cast<GifEncoder*>(gif->UserData);
        try {
            self->buffered.insert(self->buffered.end(), data, data + size);
            if (self->buffered.size() >= kBlock) {
                self->file.Write(self->buffered.data(), self->buffered.size());
                self->buffered.clear();
            }
            return size;
        } catch (const ToolError& e) {
            if (self->writeError.empty()) {
                self->writeError = e.what();
                self->writeStatus = e.status;
            }
        } catch (const std::bad_alloc&) {
            self->writeError = "out of memory";
        }
        return 0;
    }

    // libimagequant's speed 1 (slow) to 10: 4 is its own default. 7 keeps its
    // quality within a few tenths of a dB of 4 at half the time; 8 and above cut
    // corners that cost over a dB.
    static constexpr int kSpeed = 7;
    // How far below the quality it reached a frame short of its target is quantised
    // again, and the shortest run of pixels left as shown: measured with
    // scripts/compare-gif on photograph-like pictures, a fractal and a zone plate.
    static constexpr int kShortfallDrop = 5;
    static constexpr size_t kMinKeptRun = 2;
    static constexpr size_t kBlock = size_t{1} << 16;

    OutputFile& file;
    const std::string target;
    int32_t width;
    int32_t height;
    bool dither;
    int quality;
    GifFileType* gif = nullptr;
    std::vector<uint32_t> shown;         // what a viewer shows after the frames written
    std::vector<uint32_t> previous;      // the frame before, as given
    std::optional<PendingFrame> pending; // the last frame retired, waiting for its delay
    bool first = true;
    std::deque<InFlight> inFlight; // frames whose palettes are being made, oldest first
    size_t ahead = 0;
    Workers workers; // after inFlight: stopped before the frames they work on go
    std::vector<GifByteType> buffered;
    std::string writeError;
    int writeStatus = kExitIo;
};

} // namespace

int GifThreads(const EncodeSettings& settings) {
    if (settings.threads > 0) {
        return settings.threads;
    }
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

std::unique_ptr<FrameEncoder> OpenGifEncoder(OutputFile& file, int32_t width, int32_t height,
                                             const EncodeSettings& settings) {
    auto encoder = std::make_unique<GifEncoder>(file, width, height, settings);
    encoder->Open(settings.loop);
    return encoder;
}

} // namespace wqtrans::tool
