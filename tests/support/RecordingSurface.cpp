#include "support/RecordingSurface.h"

#include <cinttypes>
#include <cstdio>
#include <stdexcept>

namespace wqtrans::test {

namespace {

int32_t liveWorkSurfaces = 0;

std::string Param(int32_t op, HostParam param) {
    if (op == 13) {
        return param == 0 ? "0" : "effect";
    }
    const auto value = static_cast<uint32_t>(param);
    char text[32];
    if (value >= 65536u) {
        std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    } else {
        std::snprintf(text, sizeof text, "%" PRIu32, value);
    }
    return text;
}

std::string Join(std::initializer_list<int64_t> values) {
    std::string out;
    for (int64_t v : values) {
        out += ", " + std::to_string(v);
    }
    return out;
}

std::string RoleOf(HostSurface* surface) {
    if (surface == nullptr) {
        return "null";
    }
    auto* recording = dynamic_cast<RecordingSurface*>(surface);
    return recording != nullptr ? recording->Role() : "?";
}

} // namespace

RecordingSurface::RecordingSurface(std::string role, CallLog& log, int32_t width, int32_t height)
    : role(std::move(role)), log(log), width(width), height(height) {}

RecordingSurface::RecordingSurface(std::string role, CallLog& log, HostSurface* forward)
    : role(std::move(role)), log(log), forward(forward) {}

int32_t RecordingSurface::LiveWorkSurfaces() { return liveWorkSurfaces; }

void RecordingSurface::Log(const std::string& line) { log.lines.push_back(role + "." + line); }

void RecordingSurface::Drawing() {
    if (throwAfter == 0) {
        throw std::runtime_error("host surface failure");
    }
    if (throwAfter > 0) {
        --throwAfter;
    }
}

HostSurface* RecordingSurface::Target(HostSurface* dest) {
    auto* recording = dynamic_cast<RecordingSurface*>(dest);
    return recording != nullptr ? recording->forward : dest;
}

int32_t RecordingSurface::Width() { return forward != nullptr ? forward->Width() : width; }
int32_t RecordingSurface::Height() { return forward != nullptr ? forward->Height() : height; }

int32_t RecordingSurface::IsReady() {
    Log("IsReady()");
    if (!ready) {
        return 0;
    }
    return forward != nullptr ? forward->IsReady() : 1;
}

int32_t RecordingSurface::CopyAll(HostSurface* dest) {
    Log("CopyAll(" + RoleOf(dest) + ")");
    Drawing();
    return forward != nullptr ? forward->CopyAll(Target(dest)) : 1;
}

int32_t RecordingSurface::CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w,
                                   int32_t h, int32_t mode, int32_t op, HostParam param, int32_t flags) {
    Log("CopyRect(" + RoleOf(dest) + Join({xd, yd, xs, ys, w, h, mode, op}) + ", " + Param(op, param) + ", " +
        std::to_string(flags) + ")");
    Drawing();
    return forward != nullptr ? forward->CopyRect(Target(dest), xd, yd, xs, ys, w, h, mode, op, param, flags) : 1;
}

int32_t RecordingSurface::DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                                 int32_t flags) {
    Log("DrawAt(" + RoleOf(dest) + Join({xd, yd, mode, op}) + ", " + Param(op, param) + ", " + std::to_string(flags) +
        ")");
    Drawing();
    return forward != nullptr ? forward->DrawAt(Target(dest), xd, yd, mode, op, param, flags) : 1;
}

int32_t RecordingSurface::StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs,
                                      int32_t ys, int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param,
                                      int32_t flags) {
    Log("StretchRect(" + RoleOf(dest) + Join({xd, yd, wd, hd, xs, ys, ws, hs, mode, op}) + ", " + Param(op, param) +
        ", " + std::to_string(flags) + ")");
    Drawing();
    return forward != nullptr
               ? forward->StretchRect(Target(dest), xd, yd, wd, hd, xs, ys, ws, hs, mode, op, param, flags)
               : 1;
}

int32_t RecordingSurface::StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode,
                                     int32_t op, HostParam param, int32_t flags) {
    Log("StretchAll(" + RoleOf(dest) + Join({xd, yd, wd, hd, mode, op}) + ", " + Param(op, param) + ", " +
        std::to_string(flags) + ")");
    Drawing();
    return forward != nullptr ? forward->StretchAll(Target(dest), xd, yd, wd, hd, mode, op, param, flags) : 1;
}

int32_t RecordingSurface::Depth() { return forward != nullptr ? forward->Depth() : 32; }
int32_t RecordingSurface::Driver() { return forward != nullptr ? forward->Driver() : 0; }
uint32_t RecordingSurface::KeyColour() { return forward != nullptr ? forward->KeyColour() : 0; }
HostPalette* RecordingSurface::PaletteOf(int32_t which) {
    return forward != nullptr ? forward->PaletteOf(which) : nullptr;
}

int32_t RecordingSurface::PrototypeFor(HostPrototype* out, int32_t depth, int32_t surfaceType, int32_t driver) {
    Log("PrototypeFor(" + std::to_string(depth) + ", " + std::to_string(surfaceType) + ", " + std::to_string(driver) +
        ")");
    return forward != nullptr ? forward->PrototypeFor(out, depth, surfaceType, driver) : 1;
}

int32_t RecordingSurface::Allocate(int32_t w, int32_t h, const HostPrototype* prototype) {
    Log("Allocate(" + std::to_string(w) + ", " + std::to_string(h) + ")");
    if (failAllocate) {
        return 0;
    }
    width = w;
    height = h;
    return forward != nullptr ? forward->Allocate(w, h, prototype) : 1;
}

int32_t RecordingSurface::SetKeyColour(uint32_t colour) {
    Log("SetKeyColour(" + std::to_string(colour) + ")");
    return forward != nullptr ? forward->SetKeyColour(colour) : 1;
}

int32_t RecordingSurface::AssignPalette(HostPalette* palette) {
    Log("AssignPalette()");
    return forward != nullptr ? forward->AssignPalette(palette) : 1;
}

int32_t RecordingSurface::BeginDraw(int32_t reserved1, int32_t reserved2) {
    Log("BeginDraw(" + std::to_string(reserved1) + ", " + std::to_string(reserved2) + ")");
    return forward != nullptr ? forward->BeginDraw(reserved1, reserved2) : 1;
}

int32_t RecordingSurface::EndDraw() {
    Log("EndDraw()");
    return forward != nullptr ? forward->EndDraw() : 1;
}

HostSurface* RecordingSurface::NewSurface() {
    Log("NewSurface()");
    HostSurface* inner = forward != nullptr ? forward->NewSurface() : nullptr;
    auto* surface = new RecordingSurface("work", log, inner);
    surface->madeByNewSurface = true;
    surface->failAllocate = failAllocate;
    ++liveWorkSurfaces;
    return surface;
}

void RecordingSurface::Destroy() {
    Log("Destroy()");
    if (!madeByNewSurface) {
        return;
    }
    if (forward != nullptr) {
        forward->Destroy();
    }
    --liveWorkSurfaces;
    delete this;
}

std::string FirstDifference(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    const std::size_t count = std::max(expected.size(), actual.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string e = i < expected.size() ? expected[i] : "(end of log)";
        const std::string a = i < actual.size() ? actual[i] : "(end of log)";
        if (e != a) {
            std::string out = "first difference at line " + std::to_string(i + 1) + ":\n  expected: " + e +
                              "\n  actual:   " + a + "\nactual log:\n";
            for (const std::string& line : actual) {
                out += "  " + line + "\n";
            }
            return out;
        }
    }
    return "logs are equal";
}

} // namespace wqtrans::test
