// Runs a transition as a host does, on a simulated clock, and logs its host calls.
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include "host/FrameRenderer.h"
#include "host/RunTimeline.h"
#include "platform/Platform.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

uint32_t ReadClock(void* context) { return *static_cast<uint32_t*>(context); }

// The module's timer reads `now` for as long as the clock lives.
class SimulatedClock {
public:
    SimulatedClock() { platform::SetTimeSource(ReadClock, &now); }
    ~SimulatedClock() { platform::SetTimeSource(nullptr, nullptr); }
    SimulatedClock(const SimulatedClock&) = delete;
    SimulatedClock& operator=(const SimulatedClock&) = delete;
    void Set(uint32_t ms) { now = ms; }

private:
    uint32_t now = 0;
};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The shared part of Run and PrintCalls: `step` draws one frame at a time.
template <typename StepFn>
void Drive(TransitionAdapter* adapter, const RunOptions& options, const std::vector<uint32_t>& times, StepFn step) {
    SimulatedClock clock;
    crt::srand(options.seed);
    clock.Set(0);
    adapter->table->Begin(adapter, options.durationMs);
    for (size_t i = 0; i < times.size(); ++i) {
        clock.Set(times[i]);
        step(i, times[i]);
    }
    adapter->table->End(adapter);
}

// A surface that writes one line per host call and forwards it to a reference
// surface. Lines read like `new.CopyRect(dest, -480, 0, 0, 0, 640, 480, 0, 0, 0, 2)`.
class LoggingSurface final : public HostSurface {
public:
    LoggingSurface(std::string role, std::string& out, HostSurface* forward, bool owned = false)
        : role(std::move(role)), out(out), forward(forward), owned(owned) {}

    int32_t Width() override { return forward->Width(); }
    int32_t Height() override { return forward->Height(); }
    int32_t IsReady() override {
        Log("IsReady()");
        return forward->IsReady();
    }
    int32_t CopyAll(HostSurface* dest) override {
        Log("CopyAll(" + RoleOf(dest) + ")");
        return forward->CopyAll(Target(dest));
    }
    int32_t CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                     int32_t mode, int32_t op, HostParam param, int32_t flags) override {
        Log("CopyRect(" + RoleOf(dest) + Join({xd, yd, xs, ys, w, h, mode, op}) + ", " + Param(op, param) +
            Join({flags}) + ")");
        return forward->CopyRect(Target(dest), xd, yd, xs, ys, w, h, mode, op, param, flags);
    }
    int32_t DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                   int32_t flags) override {
        Log("DrawAt(" + RoleOf(dest) + Join({xd, yd, mode, op}) + ", " + Param(op, param) + Join({flags}) + ")");
        return forward->DrawAt(Target(dest), xd, yd, mode, op, param, flags);
    }
    int32_t StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs, int32_t ys,
                        int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param, int32_t flags) override {
        Log("StretchRect(" + RoleOf(dest) + Join({xd, yd, wd, hd, xs, ys, ws, hs, mode, op}) + ", " + Param(op, param) +
            Join({flags}) + ")");
        return forward->StretchRect(Target(dest), xd, yd, wd, hd, xs, ys, ws, hs, mode, op, param, flags);
    }
    int32_t StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode, int32_t op,
                       HostParam param, int32_t flags) override {
        Log("StretchAll(" + RoleOf(dest) + Join({xd, yd, wd, hd, mode, op}) + ", " + Param(op, param) + Join({flags}) +
            ")");
        return forward->StretchAll(Target(dest), xd, yd, wd, hd, mode, op, param, flags);
    }
    int32_t Depth() override {
        Log("Depth()");
        return forward->Depth();
    }
    int32_t Driver() override {
        Log("Driver()");
        return forward->Driver();
    }
    uint32_t KeyColour() override {
        Log("KeyColour()");
        return forward->KeyColour();
    }
    HostPalette* PaletteOf(int32_t which) override {
        Log("PaletteOf(" + std::to_string(which) + ")");
        return forward->PaletteOf(which);
    }
    int32_t PrototypeFor(HostPrototype* prototype, int32_t depth, int32_t surfaceType, int32_t driver) override {
        Log("PrototypeFor(prototype" + Join({depth, surfaceType, driver}) + ")");
        return forward->PrototypeFor(prototype, depth, surfaceType, driver);
    }
    int32_t Allocate(int32_t width, int32_t height, const HostPrototype* prototype) override {
        Log("Allocate(" + std::to_string(width) + ", " + std::to_string(height) + ", prototype)");
        return forward->Allocate(width, height, prototype);
    }
    int32_t SetKeyColour(uint32_t colour) override {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08" PRIX32, colour);
        Log(std::string("SetKeyColour(") + text + ")");
        return forward->SetKeyColour(colour);
    }
    int32_t AssignPalette(HostPalette* palette) override {
        Log("AssignPalette(palette)");
        return forward->AssignPalette(palette);
    }
    int32_t BeginDraw(int32_t reserved1, int32_t reserved2) override {
        Log("BeginDraw(" + std::to_string(reserved1) + ", " + std::to_string(reserved2) + ")");
        return forward->BeginDraw(reserved1, reserved2);
    }
    int32_t EndDraw() override {
        Log("EndDraw()");
        return forward->EndDraw();
    }
    HostSurface* NewSurface() override {
        Log("NewSurface()");
        HostSurface* made = forward->NewSurface();
        if (made == nullptr) {
            return nullptr;
        }
        return new LoggingSurface("work", out, made, true);
    }
    void Destroy() override {
        Log("Destroy()");
        if (owned) {
            forward->Destroy();
            delete this;
        }
    }

private:
    static std::string Join(std::initializer_list<int64_t> values) {
        std::string text;
        for (int64_t v : values) {
            text += ", " + std::to_string(v);
        }
        return text;
    }
    static std::string Param(int32_t op, HostParam param) {
        if (op == 13) {
            return param == 0 ? "0" : "effect";
        }
        const auto value = static_cast<uint32_t>(param);
        char text[16];
        std::snprintf(text, sizeof text, value >= 65536u ? "0x%08" PRIX32 : "%" PRIu32, value);
        return text;
    }
    static std::string RoleOf(HostSurface* surface) {
        if (surface == nullptr) {
            return "null";
        }
        auto* logging = dynamic_cast<LoggingSurface*>(surface);
        return logging != nullptr ? logging->role : "?";
    }
    static HostSurface* Target(HostSurface* dest) {
        auto* logging = dynamic_cast<LoggingSurface*>(dest);
        return logging != nullptr ? logging->forward : dest;
    }
    void Log(const std::string& line) { out += "  " + role + "." + line + "\n"; }

    std::string role;
    std::string& out;
    HostSurface* forward;
    bool owned;
};

} // namespace

std::vector<uint32_t> FrameTimes(uint32_t durationMs, uint32_t fps) { return RunTimeline(durationMs, fps, 1).Times(); }

void Run(TransitionAdapter* adapter, Picture& oldPicture, Picture& newPicture, const RunOptions& options,
         const std::vector<uint32_t>& times, const std::function<void(size_t, uint32_t, Picture&)>& frame) {
    Picture dest(oldPicture.Width(), oldPicture.Height());
    if (!options.ease.IsLinear() || options.reverse) {
        FrameRequest request{
            adapter->table->ID(adapter), BlockOf(adapter), options.seed, options.flags, options.durationMs, 0,
            options.moduleLastStep};
        request.frameRateNum = options.fps;
        request.ease = options.ease;
        request.reverse = options.reverse;
        for (size_t i = 0; i < times.size(); ++i) {
            CheckInterrupted();
            request.elapsedMs = times[i];
            if (!RenderFrameAt(request, oldPicture, newPicture, dest)) {
                UsageError("the picture at " + std::to_string(times[i]) + " ms could not be drawn");
            }
            frame(i, times[i], dest);
        }
        return;
    }
    oldPicture.CopyAll(&dest);
    Drive(adapter, options, times, [&](size_t index, uint32_t time) {
        CheckInterrupted();
        ChangedRect* changed = nullptr;
        adapter->table->Step(adapter, &dest, &oldPicture, &newPicture, options.flags, &changed);
        if (time >= options.durationMs && !options.moduleLastStep) {
            newPicture.CopyAll(&dest);
        }
        frame(index, time, dest);
    });
}

void PrintCalls(TransitionAdapter* adapter, Picture& oldPicture, Picture& newPicture, const RunOptions& options,
                const std::vector<uint32_t>& times, std::string& out) {
    Picture destPixels(oldPicture.Width(), oldPicture.Height());
    oldPicture.CopyAll(&destPixels);
    LoggingSurface dest("dest", out, &destPixels);
    LoggingSurface oldFrame("old", out, &oldPicture);
    LoggingSurface newFrame("new", out, &newPicture);
    out += "Begin(" + std::to_string(options.durationMs) + ")\n";
    Drive(adapter, options, times, [&](size_t index, uint32_t time) {
        out += "step " + std::to_string(index) + " at " + std::to_string(time) + " ms: Step(dest, old, new, " +
               std::to_string(options.flags) + ", &changed)\n";
        ChangedRect* changed = nullptr;
        const int32_t result = adapter->table->Step(adapter, &dest, &oldFrame, &newFrame, options.flags, &changed);
        if (changed != nullptr) {
            out += "  changed:";
            for (int i = 0; i < 100000; ++i) {
                const ChangedRect& r = changed[i];
                if (r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) {
                    break;
                }
                out += " (" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) +
                       ", " + std::to_string(r.bottom) + ")";
            }
            out += "\n";
        }
        out += "  -> " + std::to_string(result) + "\n";
    });
    out += "End()\n";
}

Progress::Progress(size_t total, bool quiet, std::string unit)
    : total(total), unit(std::move(unit)), enabled(!quiet && isatty(2) == 1), startMs(NowMs()) {}

Progress::~Progress() { Done(); }

void Progress::Done() {
    if (shown) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        shown = false;
    }
    enabled = false;
}

std::string Progress::Line(size_t done, size_t total, int64_t elapsedMs, const std::string& unit) {
    const size_t width = 30;
    const size_t filled = total == 0 ? width : std::min(done, total) * width / total;
    std::string line(width + 3, ' ');
    line.front() = '[';
    line.replace(1, filled, filled, '#');
    line[width + 1] = ']';
    char text[96];
    std::snprintf(text, sizeof text, "%3d%% %zu/%zu %s", total == 0 ? 100 : static_cast<int>(done * 100 / total), done,
                  total, unit.c_str());
    line += text;
    if (done > 0 && elapsedMs > 0) {
        const double perSecond = static_cast<double>(done) * 1000.0 / static_cast<double>(elapsedMs);
        const auto left = static_cast<int64_t>(static_cast<double>(total - std::min(done, total)) / perSecond + 0.5);
        std::snprintf(text, sizeof text, ", %.1f/s, %lld:%02lld left", perSecond, static_cast<long long>(left / 60),
                      static_cast<long long>(left % 60));
        line += text;
    }
    return line;
}

void Progress::Update(size_t done) {
    if (!enabled || total == 0) {
        return;
    }
    const int64_t elapsed = NowMs() - startMs;
    if (!shown && elapsed < 1000) {
        return;
    }
    shown = true;
    std::fprintf(stderr, "\r%s\033[K", Line(done, total, elapsed, unit).c_str());
    std::fflush(stderr);
}

} // namespace wqtrans::tool
