// A 32-bit Windows host for WQTRANS.dll, run under Wine by ctest.
//
// It uses the library the way a host program does: it loads it with LoadLibraryW,
// finds the entry points by name and by ordinal, enumerates the transitions, creates
// them by ID with stored parameter blocks, calls the adapters through a C++ interface
// of its own (member calls, as a host built with the platform's compiler makes them),
// runs every transition on surfaces of its own, and opens every settings panel as a
// real child dialog of a host window, driving it with the messages its controls send.
//
// Usage: wqtrans_wine_host <section>, where section is exports, registry, adapter, run,
// panels or constants. Prints each failed check and exits with 1 when any check failed.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "module/HostSurface.h"
#include "module/Types.h"
#include "tests/windows/Constants.h"

using wqtrans::ChangedRect;
using wqtrans::HostParam;
using wqtrans::HostSurface;

// ---- The library as a host sees it ----------------------------------------------

// The adapter as a host declares it: an interface of 17 member functions in table
// order; the last is the deleting destructor that takes its flag. It stands at
// namespace scope: the objects come from the library, and inside an unnamed namespace
// the compiler would assume it sees every implementation (none) and drop the calls.
class HostTransition {
public:
    virtual void Delete() = 0;
    virtual int32_t InterfaceNumber() = 0;
    virtual int32_t Name(wchar_t* buffer, int32_t capacity) = 0;
    virtual uint32_t ID() = 0;
    virtual int32_t Mode() = 0;
    virtual int32_t GetParameters(void* out) = 0;
    virtual HWND OpenSettings(HWND parent, intptr_t unused) = 0;
    virtual int32_t CloseSettings(int32_t apply) = 0;
    virtual int32_t Begin(uint32_t durationMs) = 0;
    virtual int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                         ChangedRect** changed) = 0;
    virtual void End() = 0;
    virtual int32_t IsFinished() = 0;
    virtual uint32_t Elapsed() = 0;
    virtual void SetElapsed(uint32_t elapsedMs) = 0;
    virtual int32_t QueryFeature(int32_t feature, int32_t value) = 0;
    virtual int32_t StepEx(HostSurface* dest, int32_t x, int32_t y, HostSurface* oldFrame, HostSurface* newFrame,
                           int32_t flags, int32_t reserved, int32_t mode, int32_t op, HostParam param,
                           int32_t blitFlags) = 0;
    virtual void Destroy(int32_t flag) = 0;

protected:
    ~HostTransition() = default;
};

namespace {

using wqtrans::MakeId;

// ---- Checks -------------------------------------------------------------------

int failures = 0;
std::string context; // what is being checked, printed with each failure

void Fail(int line, const char* format, ...) {
    ++failures;
    std::fprintf(stderr, "wine_host.cpp:%d: [%s] ", line, context.c_str());
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

#define CHECK(condition)                                                                                               \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            Fail(__LINE__, "failed: %s", #condition);                                                                  \
        }                                                                                                              \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                                     \
    do {                                                                                                               \
        const long long actual_ = static_cast<long long>(actual);                                                      \
        const long long expected_ = static_cast<long long>(expected);                                                  \
        if (actual_ != expected_) {                                                                                    \
            Fail(__LINE__, "%s is %lld (0x%llx), expected %lld (0x%llx)", #actual, actual_, actual_, expected_,        \
                 expected_);                                                                                           \
        }                                                                                                              \
    } while (0)

// The host calls a step made, line by line against the expected ones.
#define CHECK_CALLS(calls, expected)                                                                                   \
    do {                                                                                                               \
        if ((calls) != (expected)) {                                                                                   \
            Fail(__LINE__, "the calls differ from the expected ones; made:");                                          \
            for (const std::string& call_ : (calls)) {                                                                 \
                std::fprintf(stderr, "    %s\n", call_.c_str());                                                       \
            }                                                                                                          \
        }                                                                                                              \
    } while (0)

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        out += c < 128 ? static_cast<char>(c) : '?';
    }
    return out;
}

#define CHECK_TEXT(actual, expected)                                                                                   \
    do {                                                                                                               \
        const std::wstring actual_(actual);                                                                            \
        const std::wstring expected_(expected);                                                                        \
        if (actual_ != expected_) {                                                                                    \
            Fail(__LINE__, "%s is \"%s\", expected \"%s\"", #actual, Narrow(actual_).c_str(),                          \
                 Narrow(expected_).c_str());                                                                           \
        }                                                                                                              \
    } while (0)

// Joins texts (a plain loop of appends: GCC 12 warns wrongly about chains of +).
template <typename... Parts> std::string Cat(const Parts&... parts) {
    std::string out;
    (out.append(parts), ...);
    return out;
}

std::wstring Widen(const char* text) {
    std::wstring out;
    while (*text != '\0') {
        out += static_cast<wchar_t>(static_cast<unsigned char>(*text++));
    }
    return out;
}

std::string IdText(uint32_t id) {
    return {static_cast<char>(id & 0xFF), static_cast<char>((id >> 8) & 0xFF), static_cast<char>((id >> 16) & 0xFF),
            static_cast<char>(id >> 24)};
}

constexpr uint32_t Id(const char (&code)[5]) { return MakeId(code[0], code[1], code[2], code[3]); }

struct Library {
    HMODULE module = nullptr;
    uint32_t(__cdecl* GetModuleType)() = nullptr;
    int32_t(__cdecl* GetModuleName)(wchar_t*, int32_t) = nullptr;
    uint32_t(__cdecl* GetModuleID)() = nullptr;
    int32_t(__cdecl* IsUnicode)() = nullptr;
    int32_t(__cdecl* GetTransCount)() = nullptr;
    int32_t(__cdecl* GetTransName)(int32_t, wchar_t*, int32_t) = nullptr;
    uint32_t(__cdecl* GetTransID)(int32_t) = nullptr;
    int32_t(__cdecl* GetTransMode)(int32_t) = nullptr;
    HostTransition*(__cdecl* CreateTransition)(int32_t, uint32_t, const void*, uint32_t) = nullptr;
};

template <typename Function> void Find(HMODULE module, const char* name, Function& out) {
    out = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (out == nullptr) {
        Fail(__LINE__, "export %s not found", name);
    }
}

bool Load(Library& library) {
    library.module = LoadLibraryW(L"WQTRANS.dll");
    if (library.module == nullptr) {
        Fail(__LINE__, "LoadLibraryW(WQTRANS.dll) failed with error %lu", GetLastError());
        return false;
    }
    Find(library.module, "GetModuleType", library.GetModuleType);
    Find(library.module, "GetModuleName", library.GetModuleName);
    Find(library.module, "GetModuleID", library.GetModuleID);
    Find(library.module, "IsUnicode", library.IsUnicode);
    Find(library.module, "GetTransCount", library.GetTransCount);
    Find(library.module, "GetTransName", library.GetTransName);
    Find(library.module, "GetTransID", library.GetTransID);
    Find(library.module, "GetTransMode", library.GetTransMode);
    Find(library.module, "CreateTransition", library.CreateTransition);
    return failures == 0;
}

// ---- The 21 transitions, as the host's documentation lists them -------------------

struct Row {
    uint32_t id;
    const wchar_t* name;
    int32_t mode;
    int32_t dialog;     // template id, 0 = no panel
    int32_t blockSize;  // bytes GetParameters reports
    uint8_t stored[12]; // a stored block of blockSize bytes, not the defaults
    char ends;          // what a whole run with flags 0 leaves on the destination:
                        // 'N' the new frame, 'O' the old frame, '-' not checked
};

// clang-format off
const Row kRows[21] = {
    {Id("FADE"), L"Fade",               7,  0,   0, {},                                     'N'},
    {Id("BAND"), L"Bands",              3,  102, 4, {3, 0, 2, 0},                           'N'},
    {Id("DOOR"), L"Door",               3,  105, 2, {1, 0},                                 'N'},
    {Id("MOSA"), L"Mosaic",             3,  104, 4, {10, 0, 0, 0},                          'N'},
    {Id("SCRL"), L"Scrolling",          11, 106, 4, {3, 0, 0, 0},                           'N'},
    {Id("ZIGZ"), L"Zigzag",             3,  103, 8, {20, 0, 0, 0, 2, 0, 1, 0},              'N'},
    {Id("ZOOM"), L"Zoom",               15, 0,   0, {},                                     'N'},
    {Id("SE00"), L"Advanced Scrolling", 11, 108, 4, {5, 0, 0, 0},                           'N'},
    {Id("SE10"), L"Back",               3,  116, 4, {6, 0, 0, 0},                           'N'},
    {Id("SE12"), L"Cell",               3,  118, 8, {6, 0, 0, 0, 3, 0, 0, 0},               'N'},
    {Id("SE03"), L"Line",               3,  109, 12, {5, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},  'N'},
    {Id("SE05"), L"Open",               3,  111, 4, {7, 0, 0, 0},                           'N'},
    {Id("SE06"), L"Push",               3,  112, 4, {2, 0, 0, 0},                           'N'},
    {Id("SE01"), L"Square",             3,  107, 12, {9, 0, 0, 0, 30, 0, 0, 0, 1, 0, 0, 0}, 'N'},
    {Id("SE07"), L"Stretch",            11, 113, 4, {4, 0, 0, 0},                           'N'},
    {Id("SE09"), L"Stretch 2",          11, 115, 4, {8, 0, 0, 0},                           'N'},
    {Id("SE13"), L"Trame",              3,  119, 4, {1, 0, 0, 0},                           'N'},
    {Id("SE08"), L"Turn",               3,  114, 12, {3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},  'N'},
    {Id("SE02"), L"Turn 2",             3,  120, 8, {5, 0, 0, 0, 1, 0, 0, 0},               '-'},
    {Id("SE04"), L"ZigZag 2",           3,  110, 8, {1, 0, 0, 0, 6, 0, 0, 0},               'N'},
    {Id("SE11"), L"Zoom 2",             11, 117, 4, {1, 0, 0, 0},                           'O'},
};
// clang-format on

// ---- Calls through the member-call convention --------------------------------------

// Stack pointer before and after a call into the library: the callee removes its own
// arguments under the member-call convention, so the two must match.
#define CHECK_BALANCED(call)                                                                                           \
    do {                                                                                                               \
        uint32_t before_ = 0, after_ = 0;                                                                              \
        asm volatile("movl %%esp, %0" : "=r"(before_));                                                                \
        call;                                                                                                          \
        asm volatile("movl %%esp, %0" : "=r"(after_));                                                                 \
        if (before_ != after_) {                                                                                       \
            Fail(__LINE__, "the stack pointer moved by %d in %s", static_cast<int>(after_ - before_), #call);          \
        }                                                                                                              \
    } while (0)

// ---- A clock the host controls ------------------------------------------------------

uint32_t clockNow = 0;
DWORD WINAPI HostClock() { return clockNow; }

// Points the library's import of timeGetTime at the host's clock, so that runs are
// reproducible: every reading the transitions make is clockNow.
bool DriveLibraryClock(HMODULE module) {
    auto* base = reinterpret_cast<uint8_t*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
         ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), "WINMM.dll") != 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if ((names->u1.Ordinal & IMAGE_ORDINAL_FLAG32) != 0) {
                continue;
            }
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "timeGetTime") != 0) {
                continue;
            }
            DWORD old = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old)) {
                return false;
            }
            slots->u1.Function = reinterpret_cast<DWORD>(&HostClock);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            return true;
        }
    }
    return false;
}

// ---- The host's surfaces -------------------------------------------------------------

// A host effect object: the tint it holds and every value the library wrote to it.
class TintEffect final : public wqtrans::HostEffect {
public:
    explicit TintEffect(uint32_t tint) : tint(tint) {}
    uint32_t ReadTint() override { return tint; }
    void WriteTint(uint32_t value) override {
        tint = value;
        writes.push_back(value);
    }
    uint32_t tint;
    std::vector<uint32_t> writes;
};

int surfacesMade = 0;      // work surfaces the library asked for
int surfacesDestroyed = 0; // and gave back

// 32-bit pixels in memory, clipped to both surfaces, with a log of the drawing calls.
class PixelSurface final : public HostSurface {
public:
    PixelSurface(std::string name, int32_t width, int32_t height) : name(std::move(name)) { Resize(width, height); }

    std::string name;
    std::vector<uint32_t> pixels;
    int32_t width = 0, height = 0;
    int32_t ready = 1;
    uint32_t key = 0;
    bool ownedByModule = false;
    std::vector<std::string>* log = nullptr; // drawing calls made on any surface

    void Resize(int32_t w, int32_t h) {
        width = w;
        height = h;
        pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    }
    uint32_t& At(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * width + x]; }

    int32_t Width() override { return width; }
    int32_t Height() override { return height; }
    int32_t IsReady() override { return ready; }
    int32_t CopyAll(HostSurface* dest) override {
        Record("CopyAll(%s)", Name(dest));
        Copy(dest, 0, 0, 0, 0, width, height, 0, 0, 0);
        return 1;
    }
    int32_t CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                     int32_t mode, int32_t op, HostParam param, int32_t flags) override {
        Record("CopyRect(%s, %d, %d, %d, %d, %d, %d, %d, %d, %u, %d)", Name(dest), xd, yd, xs, ys, w, h, mode, op,
               static_cast<unsigned>(param), flags);
        Copy(dest, xd, yd, xs, ys, w, h, mode, op, param);
        return 1;
    }
    int32_t DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                   int32_t flags) override {
        if (op == 13) { // param is an effect: its tint at the time of the call
            Record("DrawAt(%s, %d, %d, %d, 13, effect %08X, %d)", Name(dest), xd, yd, mode,
                   param != 0 ? reinterpret_cast<TintEffect*>(param)->tint : 0u, flags);
        } else {
            Record("DrawAt(%s, %d, %d, %d, %d, %u, %d)", Name(dest), xd, yd, mode, op, static_cast<unsigned>(param),
                   flags);
        }
        Copy(dest, xd, yd, 0, 0, width, height, mode, op, param);
        return 1;
    }
    int32_t StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs, int32_t ys,
                        int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param, int32_t flags) override {
        Record("StretchRect(%s, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %u, %d)", Name(dest), xd, yd, wd, hd, xs, ys,
               ws, hs, mode, op, static_cast<unsigned>(param), flags);
        Stretch(dest, xd, yd, wd, hd, xs, ys, ws, hs, mode, op, param);
        return 1;
    }
    int32_t StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode, int32_t op,
                       HostParam param, int32_t flags) override {
        Record("StretchAll(%s, %d, %d, %d, %d, %d, %d, %u, %d)", Name(dest), xd, yd, wd, hd, mode, op,
               static_cast<unsigned>(param), flags);
        Stretch(dest, xd, yd, wd, hd, 0, 0, width, height, mode, op, param);
        return 1;
    }
    int32_t Depth() override { return 32; }
    int32_t Driver() override { return 0; }
    uint32_t KeyColour() override { return key; }
    wqtrans::HostPalette* PaletteOf(int32_t) override { return nullptr; }
    int32_t PrototypeFor(wqtrans::HostPrototype* out, int32_t depth, int32_t, int32_t) override {
        std::memset(out, 0, sizeof(*out));
        out->words[0] = static_cast<uint32_t>(depth);
        return 1;
    }
    int32_t Allocate(int32_t w, int32_t h, const wqtrans::HostPrototype*) override {
        Resize(w, h);
        return 1;
    }
    int32_t SetKeyColour(uint32_t colour) override {
        key = colour;
        return 1;
    }
    int32_t AssignPalette(wqtrans::HostPalette*) override { return 1; }
    int32_t BeginDraw(int32_t, int32_t) override { return 1; }
    int32_t EndDraw() override { return 1; }
    HostSurface* NewSurface() override {
        ++surfacesMade;
        auto* surface = new PixelSurface("work", 0, 0);
        surface->ownedByModule = true;
        surface->log = log;
        return surface;
    }
    void Destroy() override {
        if (ownedByModule) {
            ++surfacesDestroyed;
            delete this;
        }
    }

private:
    static const char* Name(HostSurface* surface) { return static_cast<PixelSurface*>(surface)->name.c_str(); }

    void Record(const char* format, ...) {
        if (log == nullptr) {
            return;
        }
        char line[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof(line), format, args);
        va_end(args);
        log->push_back(Cat(name, ".", line));
    }

    static uint32_t Mix(uint32_t src, uint32_t dst, uint32_t srcShare, uint32_t scale) {
        uint32_t out = dst & 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t s = (src >> shift) & 0xFF, d = (dst >> shift) & 0xFF;
            out |= ((s * srcShare + d * (scale - srcShare)) / scale) << shift;
        }
        return out;
    }

    uint32_t Blend(uint32_t src, uint32_t dst, int32_t op, HostParam param) const {
        const auto p = static_cast<uint32_t>(param);
        if (op == 1) {
            return p == 0 ? src : Mix(src, dst, 128 - (p > 128 ? 128 : p), 128);
        }
        if ((op & 0x1000) != 0) {
            return p == 0xFFFFFFFFu ? src : Mix(src, dst, p >> 24, 255);
        }
        return src;
    }

    void Put(PixelSurface& dest, int32_t x, int32_t y, uint32_t src, int32_t mode, int32_t op, HostParam param) const {
        if (x < 0 || y < 0 || x >= dest.width || y >= dest.height) {
            return;
        }
        if (mode == 1 && (src & 0xFFFFFF) == (key & 0xFFFFFF)) {
            return;
        }
        uint32_t& out = dest.At(x, y);
        out = Blend(src, out, op, param);
    }

    void Copy(HostSurface* destSurface, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
              int32_t mode, int32_t op, HostParam param) {
        auto& dest = *static_cast<PixelSurface*>(destSurface);
        const std::vector<uint32_t> source = pixels; // a surface may be copied onto itself
        for (int64_t j = 0; j < h; ++j) {
            for (int64_t i = 0; i < w; ++i) {
                const int64_t sx = xs + i, sy = ys + j;
                if (sx < 0 || sy < 0 || sx >= width || sy >= height) {
                    continue;
                }
                const int64_t dx = xd + i, dy = yd + j;
                if (dx < 0 || dy < 0 || dx >= dest.width || dy >= dest.height) {
                    continue;
                }
                Put(dest, static_cast<int32_t>(dx), static_cast<int32_t>(dy),
                    source[static_cast<size_t>(sy * width + sx)], mode, op, param);
            }
        }
    }

    void Stretch(HostSurface* destSurface, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs, int32_t ys,
                 int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param) {
        if (wd <= 0 || hd <= 0 || ws <= 0 || hs <= 0) {
            return;
        }
        auto& dest = *static_cast<PixelSurface*>(destSurface);
        const std::vector<uint32_t> source = pixels;
        for (int64_t j = 0; j < hd; ++j) {
            const int64_t dy = yd + j;
            if (dy < 0 || dy >= dest.height) {
                continue;
            }
            for (int64_t i = 0; i < wd; ++i) {
                const int64_t dx = xd + i;
                const int64_t sx = xs + i * ws / wd, sy = ys + j * hs / hd;
                if (dx < 0 || dx >= dest.width || sx < 0 || sy < 0 || sx >= width || sy >= height) {
                    continue;
                }
                Put(dest, static_cast<int32_t>(dx), static_cast<int32_t>(dy),
                    source[static_cast<size_t>(sy * width + sx)], mode, op, param);
            }
        }
    }
};

// Frames whose pixels tell the frame (top byte) and the position apart.
void Paint(PixelSurface& surface, uint32_t tag) {
    for (int32_t y = 0; y < surface.height; ++y) {
        for (int32_t x = 0; x < surface.width; ++x) {
            surface.At(x, y) = tag | static_cast<uint32_t>(y) << 12 | static_cast<uint32_t>(x);
        }
    }
}

// The first pixel where `surface` differs from `expected`, or -1.
long FirstDifference(PixelSurface& surface, PixelSurface& expected) {
    for (size_t i = 0; i < surface.pixels.size(); ++i) {
        if (surface.pixels[i] != expected.pixels[i]) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// ---- Section: exports ------------------------------------------------------------------

void CheckExports(Library& library) {
    context = "exports";
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(library.module, path, MAX_PATH);
    const std::wstring file(path);
    CHECK(file.size() >= 11 && _wcsicmp(file.c_str() + file.size() - 11, L"WQTRANS.dll") == 0);

    struct Export {
        const char* name;
        WORD ordinal;
    };
    const Export exports[] = {{"GetModuleType", 2},    {"GetModuleName", 3}, {"GetModuleID", 4},
                              {"CreateTransition", 5}, {"GetTransCount", 6}, {"GetTransName", 7},
                              {"GetTransID", 8},       {"GetTransMode", 9},  {"IsUnicode", 10}};
    for (const Export& e : exports) {
        context = Cat("exports: ", e.name);
        FARPROC byName = GetProcAddress(library.module, e.name);
        FARPROC byOrdinal = GetProcAddress(library.module, MAKEINTRESOURCEA(e.ordinal));
        CHECK(byName != nullptr);
        CHECK(byName == byOrdinal);
    }
    context = "exports";
    CHECK(GetProcAddress(library.module, MAKEINTRESOURCEA(1)) == nullptr);
    CHECK(GetProcAddress(library.module, MAKEINTRESOURCEA(11)) == nullptr);

    // The export directory as loaded: the library's own name, ordinals 2 to 10, nine names.
    auto* base = reinterpret_cast<uint8_t*>(library.module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    CHECK_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    CHECK((nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* table = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    CHECK(std::strcmp(reinterpret_cast<const char*>(base + table->Name), "WQTRANS.dll") == 0);
    CHECK_EQ(table->Base, 2);
    CHECK_EQ(table->NumberOfFunctions, 9);
    CHECK_EQ(table->NumberOfNames, 9);

    // The module's constants and its name from the string table.
    CHECK_EQ(library.GetModuleType(), 0x52545157); // "WQTR"
    CHECK_EQ(library.GetModuleID(), 0x54445453);   // "STDT"
    CHECK_EQ(library.IsUnicode(), 1);
    CHECK_EQ(library.GetTransCount(), 21);
    wchar_t buffer[64];
    CHECK_EQ(library.GetModuleName(buffer, 64), 20);
    CHECK_TEXT(buffer, L"Standard transitions");
    CHECK_EQ(library.GetModuleName(buffer, 9), 8);
    CHECK_TEXT(buffer, L"Standard");
    // No room at all: nothing is written. (The system's LoadStringW takes a capacity
    // of 0 as a request for a pointer to the resource and stores one in the buffer.)
    for (int32_t capacity : {0, -1}) {
        context = Cat("exports: capacity ", std::to_string(capacity));
        wchar_t guard[4] = {L'k', L'e', L'e', L'p'};
        CHECK_EQ(library.GetModuleName(guard, capacity), 0);
        CHECK_EQ(library.GetTransName(3, guard, capacity), 0);
        CHECK(guard[0] == L'k' && guard[1] == L'e' && guard[2] == L'e' && guard[3] == L'p');
    }
    context = "exports";

    // The whole string table, language 1033, read with the system's own call.
    struct Entry {
        UINT id;
        const wchar_t* text;
    };
    const Entry strings[] = {
        {1000, L"Standard transitions"},
        {1001, L"Fade"},
        {1003, L"Mosaic"},
        {1004, L"Bands"},
        {1005, L"Rain"},
        {1006, L"Cross rain"},
        {1007, L"Door"},
        {1008, L"Zigzag"},
        {1009, L"Diagonal"},
        {1010, L"Spot width: %d%%"},
        {1011, L"Scrolling"},
        {1012, L"Zoom"},
        {1019, L"Advanced Scrolling"},
        {1020, L"Square"},
        {1021, L"Turn 2"},
        {1022, L"Line"},
        {1023, L"ZigZag 2"},
        {1024, L"Open"},
        {1025, L"Push"},
        {1026, L"Stretch"},
        {1027, L"Turn"},
        {1028, L"Stretch 2"},
        {1029, L"Back"},
        {1030, L"Zoom 2"},
        {1031, L"Cell"},
        {1032, L"Trame"},
    };
    for (const Entry& entry : strings) {
        context = Cat("string ", std::to_string(entry.id));
        CHECK_EQ(LoadStringW(library.module, entry.id, buffer, 64), static_cast<int>(std::wcslen(entry.text)));
        CHECK_TEXT(buffer, entry.text);
    }
    for (UINT missing : {1002u, 1013u, 1014u, 1015u, 1016u, 1017u, 1018u, 1033u}) {
        context = Cat("missing string ", std::to_string(missing));
        CHECK_EQ(LoadStringW(library.module, missing, buffer, 64), 0);
    }
    // The string table is US English.
    context = "string table language";
    HRSRC block = FindResourceExW(library.module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(1000 / 16 + 1),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    CHECK(block != nullptr);
}

// ---- Section: registry -----------------------------------------------------------------

void CheckRegistry(Library& library) {
    for (int32_t index = 0; index < 21; ++index) {
        const Row& row = kRows[index];
        context = Cat("registry ", std::to_string(index), " ", IdText(row.id));
        CHECK_EQ(library.GetTransID(index), row.id);
        CHECK_EQ(library.GetTransMode(index), row.mode);
        wchar_t buffer[64];
        CHECK_EQ(library.GetTransName(index, buffer, 64), static_cast<int>(std::wcslen(row.name)));
        CHECK_TEXT(buffer, row.name);
    }
    context = "registry: outside the table";
    wchar_t buffer[8] = L"keep";
    CHECK_EQ(library.GetTransName(21, buffer, 8), 0);
    CHECK_TEXT(buffer, L"keep");
    CHECK_EQ(library.GetTransName(-1, buffer, 8), 0);
    CHECK_TEXT(buffer, L"keep");
    CHECK_EQ(library.GetTransID(21), 0);
    CHECK_EQ(library.GetTransID(-1), 0);
    CHECK_EQ(library.GetTransMode(21), 0);
    CHECK_EQ(library.GetTransMode(-1), 0);
    // A name cut to the buffer: "Advanced Scrolling" in 9 characters.
    wchar_t small[9];
    CHECK_EQ(library.GetTransName(7, small, 9), 8);
    CHECK_TEXT(small, L"Advanced");
}

// ---- Section: adapter ------------------------------------------------------------------

void CheckAdapters(Library& library) {
    context = "adapter: refused";
    CHECK(library.CreateTransition(1, Id("FADE"), nullptr, 0) == nullptr);
    CHECK(library.CreateTransition(0, Id("NONE"), nullptr, 0) == nullptr);
    CHECK(library.CreateTransition(0, 0, nullptr, 0) == nullptr);

    for (const Row& row : kRows) {
        context = Cat("adapter ", IdText(row.id));
        uint8_t block[100] = {};
        std::memcpy(block, row.stored, sizeof(row.stored));
        const uint32_t size = row.blockSize == 0 ? 100 : static_cast<uint32_t>(row.blockSize);
        HostTransition* t = library.CreateTransition(0, row.id, block, size);
        CHECK(t != nullptr);
        if (t == nullptr) {
            continue;
        }
        int32_t number = 0;
        CHECK_BALANCED(number = t->InterfaceNumber());
        CHECK_EQ(number, 2);
        uint32_t id = 0;
        CHECK_BALANCED(id = t->ID());
        CHECK_EQ(id, row.id);
        int32_t mode = 0;
        CHECK_BALANCED(mode = t->Mode());
        CHECK_EQ(mode, row.mode);
        wchar_t name[64] = {};
        int32_t copied = 0;
        CHECK_BALANCED(copied = t->Name(name, 64));
        CHECK_EQ(copied, static_cast<int>(std::wcslen(row.name)));
        CHECK_TEXT(name, row.name);

        // The stored block comes back as it went in; a null output asks for the size.
        int32_t reported = -1;
        CHECK_BALANCED(reported = t->GetParameters(nullptr));
        CHECK_EQ(reported, row.blockSize);
        uint8_t out[16];
        std::memset(out, 0xEE, sizeof(out));
        CHECK_EQ(t->GetParameters(out), row.blockSize);
        CHECK(std::memcmp(out, row.stored, static_cast<size_t>(row.blockSize)) == 0);
        CHECK_EQ(out[row.blockSize], 0xEE);

        // Clock operations with a real timer: only relations that hold at any time.
        int32_t begun = 0;
        CHECK_BALANCED(begun = t->Begin(60000));
        CHECK_EQ(begun, 1);
        CHECK_EQ(t->IsFinished(), 0);
        CHECK_BALANCED(t->SetElapsed(500));
        uint32_t elapsed = 0;
        CHECK_BALANCED(elapsed = t->Elapsed());
        CHECK_EQ(elapsed, 500);
        // Only Fade answers a feature: 1 for feature 1 with a value other than 0.
        int32_t feature = -1;
        CHECK_BALANCED(feature = t->QueryFeature(1, 2));
        CHECK_EQ(feature, row.id == Id("FADE") ? 1 : 0);
        CHECK_EQ(t->QueryFeature(1, 0), 0);
        CHECK_EQ(t->QueryFeature(2, 1), 0);
        CHECK_BALANCED(t->End());
        CHECK_EQ(t->IsFinished(), 1);
        int32_t closed = 0;
        CHECK_BALANCED(closed = t->CloseSettings(1));
        CHECK_EQ(closed, 1);
        if (row.dialog == 0) {
            HWND panel = reinterpret_cast<HWND>(1);
            CHECK_BALANCED(panel = t->OpenSettings(nullptr, 0));
            CHECK(panel == nullptr);
        }
        // A destination that is not ready is not drawn on by the extended step either
        // (Fade's own or the others' answer 0).
        PixelSurface dest("dest", 4, 4), oldFrame("old", 4, 4), newFrame("new", 4, 4);
        dest.ready = 0;
        int32_t drawn = -1;
        CHECK_BALANCED(drawn = t->StepEx(&dest, 0, 0, &oldFrame, &newFrame, 0, 0, 0, 0, 0, 0));
        CHECK_EQ(drawn, 0);
        CHECK_BALANCED(t->Delete());
    }

    // A short block is ignored: Mosaic keeps its spot width 4.
    context = "adapter: short block";
    const uint8_t two[2] = {50, 0};
    HostTransition* mosaic = library.CreateTransition(0, Id("MOSA"), two, 2);
    CHECK(mosaic != nullptr);
    if (mosaic != nullptr) {
        uint8_t out[4] = {};
        CHECK_EQ(mosaic->GetParameters(out), 4);
        CHECK_EQ(out[0], 4);
        // The deleting destructor with flag 0 deletes the transition but not the adapter;
        // with flag 1 it frees the adapter.
        CHECK_BALANCED(mosaic->Destroy(0));
        CHECK_EQ(mosaic->ID(), 0); // no transition any more: the fixed answers
        CHECK_EQ(mosaic->InterfaceNumber(), 2);
        CHECK_EQ(mosaic->CloseSettings(1), 1);
        CHECK_EQ(mosaic->IsFinished(), 1);
        CHECK_EQ(mosaic->GetParameters(out), 0);
        CHECK_BALANCED(mosaic->Destroy(1));
    }

    // Two instances of one ID are independent.
    context = "adapter: independent instances";
    const uint8_t first[4] = {1, 0, 0, 0};
    const uint8_t second[4] = {2, 0, 0, 0};
    HostTransition* a = library.CreateTransition(0, Id("SCRL"), first, 4);
    HostTransition* b = library.CreateTransition(0, Id("SCRL"), second, 4);
    CHECK(a != nullptr && b != nullptr && a != b);
    if (a != nullptr && b != nullptr) {
        uint8_t out[4] = {};
        a->GetParameters(out);
        CHECK_EQ(out[0], 1);
        b->GetParameters(out);
        CHECK_EQ(out[0], 2);
        a->Delete();
        b->Delete();
    }
}

// ---- Section: run ----------------------------------------------------------------------

void CheckRuns(Library& library) {
    context = "run: clock";
    if (!DriveLibraryClock(library.module)) {
        Fail(__LINE__, "the library does not import timeGetTime from WINMM.dll");
        return;
    }
    std::vector<std::string> log;
    const int32_t W = 84, H = 60; // divisible by 2, 3, 4 and 6
    PixelSurface oldFrame("old", W, H), newFrame("new", W, H), dest("dest", W, H);
    Paint(oldFrame, 0xAA000000u);
    Paint(newFrame, 0x55000000u);
    for (PixelSurface* s : {&oldFrame, &newFrame, &dest}) {
        s->log = &log;
    }

    for (const Row& row : kRows) {
        context = Cat("run ", IdText(row.id));
        HostTransition* t = library.CreateTransition(0, row.id, nullptr, 0);
        CHECK(t != nullptr);
        if (t == nullptr) {
            continue;
        }
        dest.pixels = oldFrame.pixels;
        log.clear();
        auto* const untouched = reinterpret_cast<ChangedRect*>(0x5A5A5A5A);
        ChangedRect* changed = untouched;

        clockNow = 100000;
        CHECK_EQ(t->Begin(1000), 1);
        // A destination that is not ready is not drawn on.
        dest.ready = 0;
        clockNow = 100100;
        CHECK_EQ(t->Step(&dest, &oldFrame, &newFrame, 0, &changed), 0);
        CHECK(log.empty());
        dest.ready = 1;

        for (uint32_t e : {100u, 250u, 500u, 750u, 999u}) {
            clockNow = 100000 + e;
            CHECK_EQ(t->Step(&dest, &oldFrame, &newFrame, 0, &changed), 1);
            CHECK_EQ(t->Elapsed(), e);
            CHECK_EQ(t->IsFinished(), 0);
        }
        clockNow = 101000;
        CHECK_EQ(t->IsFinished(), 1);
        CHECK_EQ(t->Step(&dest, &oldFrame, &newFrame, 0, &changed), 1);
        if (row.id == Id("BAND")) {
            // One band 84 wide: from pos 83 (at 999 ms) to 84 only the last column is new.
            CHECK(changed != untouched && changed != nullptr);
            if (changed != untouched && changed != nullptr) {
                CHECK(changed[0].left == 83 && changed[0].top == 0 && changed[0].right == 84 && changed[0].bottom == H);
                CHECK((changed[1].left | changed[1].top | changed[1].right | changed[1].bottom) == 0);
            }
        }
        clockNow = 101500; // past the end: the clock stays at the end
        CHECK_EQ(t->Step(&dest, &oldFrame, &newFrame, 0, &changed), 1);
        CHECK_EQ(t->Elapsed(), 1000);
        CHECK(!log.empty());
        // Zoom 2 shows the old frame alone without flag bit 0. Turn 2 may leave a
        // column or a row of its old frame in the picture, as its angle rounds.
        if (row.ends != '-') {
            const long at = FirstDifference(dest, row.ends == 'N' ? newFrame : oldFrame);
            if (at >= 0) {
                Fail(__LINE__, "the destination differs from the %s frame at (%ld, %ld)",
                     row.ends == 'N' ? "new" : "old", at % W, at / W);
            }
        }
        // Only Bands hands out a changed-rectangle list; a step that draws nothing new
        // hands out none.
        if (row.id == Id("BAND")) {
            CHECK(changed == nullptr);
        } else {
            CHECK(changed == untouched);
        }
        t->End();
        CHECK_EQ(t->IsFinished(), 1);
        t->Delete();
    }

    // Scrolling from the left, 640 x 480, a quarter of the way: one copy of the whole
    // new frame at x = 160 - 640.
    context = "run: Scrolling call";
    {
        std::vector<std::string> calls;
        PixelSurface big("dest", 640, 480), bigOld("old", 640, 480), bigNew("new", 640, 480);
        for (PixelSurface* s : {&big, &bigOld, &bigNew}) {
            s->log = &calls;
        }
        HostTransition* t = library.CreateTransition(0, Id("SCRL"), nullptr, 0);
        clockNow = 5000;
        t->Begin(1000);
        clockNow = 5250;
        CHECK_EQ(t->Step(&big, &bigOld, &bigNew, 0, nullptr), 1);
        const std::vector<std::string> expected = {"new.CopyRect(dest, -480, 0, 0, 0, 640, 480, 0, 0, 0, 2)"};
        CHECK_CALLS(calls, expected);
        t->Delete();
    }

    // Fade's extended step: eleven arguments through the member call, the plain path
    // and the path through the library's work surface.
    context = "run: Fade StepEx";
    {
        std::vector<std::string> calls;
        for (PixelSurface* s : {&oldFrame, &newFrame, &dest}) {
            s->log = &calls;
        }
        HostTransition* t = library.CreateTransition(0, Id("FADE"), nullptr, 0);
        clockNow = 7000;
        t->Begin(1000);
        clockNow = 8000;
        int32_t drawn = 0;
        CHECK_BALANCED(drawn = t->StepEx(&dest, 5, 7, &oldFrame, &newFrame, 1, 0, 0, 0, 0, 2));
        CHECK_EQ(drawn, 1);
        std::vector<std::string> expected = {"old.DrawAt(dest, 5, 7, 0, 0, 0, 2)",
                                             "new.DrawAt(dest, 5, 7, 0, 4096, 4294967295, 2)"};
        CHECK_CALLS(calls, expected);

        // op 1 with param 128 at e = 500: g = 127, drawn into the work surface first.
        calls.clear();
        t->Begin(1000);
        clockNow = 8500;
        CHECK_EQ(t->StepEx(&dest, 5, 7, &oldFrame, &newFrame, 1, 0, 0, 1, 128, 2), 1);
        expected = {"old.CopyAll(work)", "new.DrawAt(work, 0, 0, 0, 4096, 2147483647, 0)",
                    "work.DrawAt(dest, 5, 7, 0, 1, 128, 2)"};
        CHECK_CALLS(calls, expected);
        CHECK_EQ(surfacesMade, 1);
        CHECK_EQ(t->StepEx(&dest, 5, 7, &oldFrame, &newFrame, 1, 0, 0, 1, 128, 2), 1);
        CHECK_EQ(surfacesMade, 1); // made once, then reused
        CHECK_EQ(surfacesDestroyed, 0);

        // The top frame alone (flags 8) with the host's effect object (op 13): at
        // e = 500, g = 127 and the effect's alpha 0x80 give h = 127 * 128 / 255 = 63;
        // the effect holds that alpha for the one draw and gets its own value back.
        calls.clear();
        TintEffect effect(0x80FF0000u);
        clockNow = 9000;
        t->Begin(1000);
        clockNow = 9500;
        CHECK_EQ(t->StepEx(&dest, 5, 7, &oldFrame, &newFrame, 9, 0, 0, 13, reinterpret_cast<HostParam>(&effect), 2), 1);
        expected = {"new.DrawAt(dest, 5, 7, 0, 13, effect 3FFF0000, 2)"};
        CHECK_CALLS(calls, expected);
        CHECK(effect.writes == std::vector<uint32_t>({0x3FFF0000u, 0x80FF0000u}));
        t->Delete();
        CHECK_EQ(surfacesDestroyed, 1); // released with the transition
        for (PixelSurface* s : {&oldFrame, &newFrame, &dest}) {
            s->log = nullptr;
        }
    }

    // A run that starts just below the timer's wrap goes on across it.
    context = "run: timer wrap";
    {
        HostTransition* t = library.CreateTransition(0, Id("SCRL"), nullptr, 0);
        clockNow = 0xFFFFFFF0u;
        t->Begin(100);
        clockNow = 0x14;
        CHECK_EQ(t->Step(&dest, &oldFrame, &newFrame, 0, nullptr), 1);
        CHECK_EQ(t->Elapsed(), 36);
        CHECK_EQ(t->IsFinished(), 0);
        clockNow = 0x53;
        CHECK_EQ(t->IsFinished(), 0);
        clockNow = 0x54;
        CHECK_EQ(t->IsFinished(), 1);
        t->Delete();
    }
}

// ---- Section: panels -------------------------------------------------------------------

// The templates as the shared resource tables describe them.
struct TemplateControl {
    int32_t id;
    const char* className;
    const char* text;
    uint32_t style;
    int16_t x, y, width, height;
};
struct Template {
    int32_t id;
    int16_t width, height;
    std::vector<TemplateControl> controls;
};

std::vector<Template> SharedTemplates() {
    std::vector<Template> templates;
#define WQ_DIALOG(id, width, height) templates.push_back({id, width, height, {}});
#define WQ_CONTROL(id, className, text, style, x, y, width, height)                                                    \
    templates.back().controls.push_back(                                                                               \
        {id, className, text, static_cast<uint32_t>(WS_CHILD | WS_VISIBLE | (style)), x, y, width, height});
#define WQ_END_DIALOG()
#include "resources/Dialogs.inc"
#undef WQ_DIALOG
#undef WQ_CONTROL
#undef WQ_END_DIALOG
    return templates;
}

// A dialog template as stored in the library (the extended template format).
struct StoredControl {
    uint32_t style = 0;
    int16_t x = 0, y = 0, width = 0, height = 0;
    int32_t id = 0;
    std::wstring className;
    std::wstring text;
};
struct StoredTemplate {
    uint32_t style = 0, exStyle = 0;
    int16_t x = 0, y = 0, width = 0, height = 0;
    bool hasMenu = false, hasClass = false;
    std::wstring title;
    uint16_t pointSize = 0;
    std::wstring typeface;
    std::vector<StoredControl> controls;
};

class Reader {
public:
    explicit Reader(const uint8_t* data) : start(data), at(data) {}
    uint16_t Word() {
        uint16_t v;
        std::memcpy(&v, at, 2);
        at += 2;
        return v;
    }
    uint32_t Dword() {
        uint32_t v;
        std::memcpy(&v, at, 4);
        at += 4;
        return v;
    }
    uint8_t Byte() { return *at++; }
    std::wstring String() {
        std::wstring out;
        for (uint16_t c = Word(); c != 0; c = Word()) {
            out += static_cast<wchar_t>(c);
        }
        return out;
    }
    // A name or an ordinal; ordinals of the predefined classes become their names.
    std::wstring NameOrOrdinal() {
        uint16_t first;
        std::memcpy(&first, at, 2);
        if (first == 0xFFFF) {
            at += 2;
            switch (const uint16_t ordinal = Word()) {
            case 0x80:
                return L"Button";
            case 0x81:
                return L"Edit";
            case 0x82:
                return L"Static";
            default:
                return std::wstring(L"#").append(std::to_wstring(ordinal));
            }
        }
        return String();
    }
    void AlignDword() { at = start + ((at - start + 3) & ~3); }
    void Skip(size_t bytes) { at += bytes; }

private:
    const uint8_t* start;
    const uint8_t* at;
};

bool LoadStoredTemplate(HMODULE module, int32_t id, StoredTemplate& out) {
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(id),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (found == nullptr) {
        return false;
    }
    Reader r(static_cast<const uint8_t*>(LockResource(LoadResource(module, found))));
    if (r.Word() != 1 || r.Word() != 0xFFFF) {
        return false; // not an extended template
    }
    r.Dword(); // help id
    out.exStyle = r.Dword();
    out.style = r.Dword();
    const uint16_t count = r.Word();
    out.x = static_cast<int16_t>(r.Word());
    out.y = static_cast<int16_t>(r.Word());
    out.width = static_cast<int16_t>(r.Word());
    out.height = static_cast<int16_t>(r.Word());
    out.hasMenu = !r.NameOrOrdinal().empty();
    out.hasClass = !r.NameOrOrdinal().empty();
    out.title = r.String();
    if ((out.style & DS_SETFONT) != 0) {
        out.pointSize = r.Word();
        r.Word(); // weight
        r.Byte(); // italic
        r.Byte(); // character set
        out.typeface = r.String();
    }
    for (uint16_t i = 0; i < count; ++i) {
        r.AlignDword();
        StoredControl c;
        r.Dword(); // help id
        r.Dword(); // extended style
        c.style = r.Dword();
        c.x = static_cast<int16_t>(r.Word());
        c.y = static_cast<int16_t>(r.Word());
        c.width = static_cast<int16_t>(r.Word());
        c.height = static_cast<int16_t>(r.Word());
        c.id = static_cast<int32_t>(r.Dword());
        c.className = r.NameOrOrdinal();
        c.text = r.NameOrOrdinal();
        r.Skip(r.Word());
        out.controls.push_back(c);
    }
    return true;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// The control's rectangle in the panel's client coordinates.
RECT PlaceOf(HWND panel, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Where the dialog manager puts a control of the template: position and size are
// each converted from dialog units on their own.
RECT DialogRect(HWND panel, int x, int y, int width, int height) {
    RECT r{x, y, width, height};
    MapDialogRect(panel, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::vector<HWND> ChildrenOf(HWND panel) {
    std::vector<HWND> out;
    for (HWND child = GetWindow(panel, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        out.push_back(child);
    }
    return out;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeHostWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &HostWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WqtransWineHost";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, L"WqtransWineHost", L"Host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// What a person does in a panel, and the block the panel then leaves behind.
void Click(HWND panel, int id) { SendMessageW(GetDlgItem(panel, id), BM_CLICK, 0, 0); }

void SlideTo(HWND panel, int id, int position) {
    HWND bar = GetDlgItem(panel, id);
    SendMessageW(bar, TBM_SETPOS, TRUE, position);
    SendMessageW(panel, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(bar));
}

void SpinTo(HWND panel, int id, int position) {
    HWND spin = GetDlgItem(panel, id);
    SendMessageW(spin, UDM_SETPOS, 0, MAKELPARAM(position, 0));
    SendMessageW(panel, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(spin));
}

void TypeInto(HWND panel, int id, const wchar_t* text) {
    SendMessageW(GetDlgItem(panel, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

bool Checked(HWND panel, int id) { return SendMessageW(GetDlgItem(panel, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Clicks every button of a panel, moves every slider and spin control to 2.
void UseEveryControl(HWND panel, const Template& expected) {
    for (const TemplateControl& c : expected.controls) {
        const uint32_t type = c.style & BS_TYPEMASK;
        if (std::strcmp(c.className, "Button") == 0 && (type == BS_AUTORADIOBUTTON || type == BS_AUTOCHECKBOX)) {
            Click(panel, c.id);
        } else if (std::strcmp(c.className, "msctls_trackbar32") == 0) {
            SlideTo(panel, c.id, 2);
        } else if (std::strcmp(c.className, "msctls_updown32") == 0) {
            SpinTo(panel, c.id, 2);
        }
    }
}

std::vector<uint8_t> BlockOf(HostTransition* t) {
    std::vector<uint8_t> block(static_cast<size_t>(t->GetParameters(nullptr)));
    t->GetParameters(block.data());
    return block;
}

// Opens the panel of a new transition `id` in `host`, lets `drive` work in it, closes
// it with apply and gives the block the transition then holds (empty when the panel
// did not open).
template <typename Drive>
std::vector<uint8_t> BlockAfterPanel(Library& library, HWND host, uint32_t id, Drive&& drive) {
    std::vector<uint8_t> block;
    HostTransition* t = library.CreateTransition(0, id, nullptr, 0);
    HWND panel = t != nullptr ? t->OpenSettings(host, 0) : nullptr;
    CHECK(panel != nullptr);
    if (panel != nullptr) {
        ShowWindow(panel, SW_SHOW);
        drive(panel);
        CHECK_EQ(t->CloseSettings(1), 1);
        CHECK(!IsWindow(panel));
        block = BlockOf(t);
    }
    if (t != nullptr) {
        t->Delete();
    }
    return block;
}

void CheckPanelAgainstTemplate(Library& library, HWND panel, HWND host, const Template& expected) {
    // The panel: a hidden child of the host window without caption, in Tahoma 8.
    CHECK(GetParent(panel) == host);
    const auto style = static_cast<DWORD>(GetWindowLongW(panel, GWL_STYLE));
    CHECK((style & WS_CHILD) != 0);
    CHECK((style & WS_VISIBLE) == 0);
    CHECK((style & WS_CAPTION) == 0);
    LOGFONTW font = {};
    CHECK(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(panel, WM_GETFONT, 0, 0)), sizeof(font), &font) != 0);
    CHECK_TEXT(font.lfFaceName, L"Tahoma");

    // The stored template: what the resource compiler made of the shared tables.
    StoredTemplate stored;
    CHECK(LoadStoredTemplate(library.module, expected.id, stored));
    CHECK_EQ(stored.style, WS_CHILD | DS_SETFONT);
    CHECK_EQ(stored.exStyle, 0);
    CHECK(!stored.hasMenu && !stored.hasClass && stored.title.empty());
    CHECK_EQ(stored.pointSize, 8);
    CHECK_TEXT(stored.typeface, L"Tahoma");
    CHECK_EQ(stored.width, expected.width);
    CHECK_EQ(stored.height, expected.height);
    CHECK_EQ(stored.controls.size(), expected.controls.size());

    // The live controls, in template order.
    const std::vector<HWND> children = ChildrenOf(panel);
    CHECK_EQ(children.size(), expected.controls.size());
    for (size_t i = 0; i < expected.controls.size() && i < children.size() && i < stored.controls.size(); ++i) {
        const TemplateControl& c = expected.controls[i];
        const StoredControl& s = stored.controls[i];
        HWND child = children[i];
        const std::string saved = context;
        context = Cat(saved, " control ", std::to_string(i), " (", std::to_string(c.id), ")");
        CHECK_EQ(s.id, c.id);
        CHECK_EQ(s.style, c.style);
        CHECK(_wcsicmp(s.className.c_str(), Widen(c.className).c_str()) == 0);
        CHECK_TEXT(s.text, Widen(c.text));
        CHECK(s.x == c.x && s.y == c.y && s.width == c.width && s.height == c.height);

        CHECK_EQ(GetDlgCtrlID(child), c.id);
        CHECK(_wcsicmp(ClassOf(child).c_str(), Widen(c.className).c_str()) == 0);
        // Buttons and unnamed labels keep their template text; the panel may fill others.
        if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 || c.id == -1) {
            CHECK_TEXT(TextOf(child), Widen(c.text));
        }
        RECT actual = PlaceOf(panel, child);
        const RECT wanted = DialogRect(panel, c.x, c.y, c.width, c.height);
        // An up-down control may widen itself by a pixel or two for its arrows' border.
        if (_wcsicmp(ClassOf(child).c_str(), L"msctls_updown32") == 0 && actual.right > wanted.right &&
            actual.right <= wanted.right + 2) {
            actual.right = wanted.right;
        }
        if (!SameRect(actual, wanted)) {
            Fail(__LINE__, "placed at (%ld, %ld)-(%ld, %ld), expected (%ld, %ld)-(%ld, %ld)", actual.left, actual.top,
                 actual.right, actual.bottom, wanted.left, wanted.top, wanted.right, wanted.bottom);
        }
        context = saved;
    }
}

void CheckPanels(Library& library) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HWND host = MakeHostWindow();
    CHECK(host != nullptr);
    ShowWindow(host, SW_SHOW);

    const std::vector<Template> templates = SharedTemplates();
    CHECK_EQ(templates.size(), 19);
    int opened = 0;
    int changed = 0; // panels whose block the clicks changed
    for (const Row& row : kRows) {
        if (row.dialog == 0) {
            continue;
        }
        context = Cat("panel ", IdText(row.id), " template ", std::to_string(row.dialog));
        const Template* expected = nullptr;
        for (const Template& t : templates) {
            if (t.id == row.dialog) {
                expected = &t;
            }
        }
        CHECK(expected != nullptr);
        HostTransition* t = library.CreateTransition(0, row.id, nullptr, 0);
        if (expected == nullptr || t == nullptr) {
            continue;
        }
        HWND panel = t->OpenSettings(host, 0);
        CHECK(panel != nullptr && IsWindow(panel));
        if (panel == nullptr) {
            t->Delete();
            continue;
        }
        ++opened;
        CheckPanelAgainstTemplate(library, panel, host, *expected);
        ShowWindow(panel, SW_SHOW);

        // Every button can be clicked; every slider and spin control moved. The edits
        // reach the block at once; a cancel puts back the block the panel opened with.
        const std::vector<uint8_t> opening = BlockOf(t);
        UseEveryControl(panel, *expected);
        if (BlockOf(t) != opening) {
            ++changed;
        }
        CHECK_EQ(t->CloseSettings(0), 1);
        CHECK(!IsWindow(panel));
        CHECK(BlockOf(t) == opening);
        panel = t->OpenSettings(host, 0);
        CHECK(panel != nullptr && IsWindow(panel));
        UseEveryControl(panel, *expected);
        // Opening again replaces the panel.
        HWND second = t->OpenSettings(host, 0);
        CHECK(second != nullptr && IsWindow(second));
        CHECK(!IsWindow(panel));
        CHECK_EQ(t->CloseSettings(1), 1);
        CHECK(!IsWindow(second));
        CHECK_EQ(t->GetParameters(nullptr), row.blockSize);

        // Deleting the transition with its panel open closes the panel.
        HWND third = t->OpenSettings(host, 0);
        CHECK(third != nullptr && IsWindow(third));
        t->Delete();
        CHECK(!IsWindow(third));
    }
    CHECK_EQ(opened, 19);
    // All but Open's empty panel and SE13's, whose last button is its default.
    CHECK_EQ(changed, 17);

    // The panels of the four kinds of controls, driven and read back.
    struct Case {
        uint32_t id;
        void (*drive)(HWND panel);
        std::vector<uint8_t> block;
    };
    const Case cases[] = {
        // Radio buttons: "From &top to bottom" is direction 2.
        {Id("SCRL"), [](HWND panel) { Click(panel, 1009); }, {2, 0, 0, 0}},
        // A track bar: the spot width follows it and the label says so.
        {Id("MOSA"),
         [](HWND panel) {
             CHECK_TEXT(TextOf(GetDlgItem(panel, 1018)), L"Spot width: 4%");
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMIN, 0, 0), 1);
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMAX, 0, 0), 100);
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETPOS, 0, 0), 4);
             SlideTo(panel, 1025, 37);
             CHECK_TEXT(TextOf(GetDlgItem(panel, 1018)), L"Spot width: 37%");
         },
         {37, 0, 0, 0}},
        // An up-down control and its edit box, then typing, then a direction.
        {Id("BAND"),
         [](HWND panel) {
             CHECK_TEXT(TextOf(GetDlgItem(panel, 1015)), L"1");
             CHECK(Checked(panel, 1007));
             // Range 1 to 5000: the upper limit in the low word, the lower in the high.
             CHECK_EQ(SendDlgItemMessageW(panel, 1017, UDM_GETRANGE, 0, 0), 0x00011388);
             SpinTo(panel, 1017, 20);
             CHECK_TEXT(TextOf(GetDlgItem(panel, 1015)), L"20");
             TypeInto(panel, 1015, L"12");
             CHECK_EQ(LOWORD(SendDlgItemMessageW(panel, 1017, UDM_GETPOS, 0, 0)), 12);
             TypeInto(panel, 1015, L"x"); // not a number: the count stays
             Click(panel, 1008);
             CHECK(Checked(panel, 1008) && !Checked(panel, 1007));
         },
         {12, 0, 1, 0}},
        // A track bar, radio buttons and a check box.
        {Id("SE03"),
         [](HWND panel) {
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMAX, 0, 0), 20);
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETPOS, 0, 0), 2);
             SlideTo(panel, 1025, 7);
             Click(panel, 1008);
             Click(panel, 1026);
             CHECK(Checked(panel, 1026));
         },
         {7, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}},
        // Two radio groups in one panel: a click in one leaves the other alone.
        {Id("ZIGZ"),
         [](HWND panel) {
             CHECK_TEXT(TextOf(GetDlgItem(panel, 1018)), L"Spot width: 15%");
             CHECK(Checked(panel, 1000) && Checked(panel, 1100));
             Click(panel, 1001);
             Click(panel, 1103);
             CHECK(Checked(panel, 1001) && !Checked(panel, 1000));
             CHECK(Checked(panel, 1103) && !Checked(panel, 1100));
             SlideTo(panel, 1025, 60);
             CHECK_TEXT(TextOf(GetDlgItem(panel, 1018)), L"Spot width: 60%");
         },
         {60, 0, 0, 0, 3, 0, 1, 0}},
        // Two track bars; the real control keeps a position within its range 1 to 30.
        {Id("SE12"),
         [](HWND panel) {
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETPOS, 0, 0), 4);
             CHECK_EQ(SendDlgItemMessageW(panel, 1026, TBM_GETPOS, 0, 0), 4);
             SlideTo(panel, 1025, 50);
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETPOS, 0, 0), 30);
             SlideTo(panel, 1026, 2);
         },
         {30, 0, 0, 0, 2, 0, 0, 0}},
        {Id("SE01"),
         [](HWND panel) {
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMIN, 0, 0), 20);
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMAX, 0, 0), 80);
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETPOS, 0, 0), 50);
             SlideTo(panel, 1025, 75);
             Click(panel, 1026);
         },
         {0, 0, 0, 0, 75, 0, 0, 0, 1, 0, 0, 0}},
        {Id("SE08"),
         [](HWND panel) {
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMAX, 0, 0), 7);
             SlideTo(panel, 1025, 5);
             Click(panel, 1027);
         },
         {5, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {Id("SE04"),
         [](HWND panel) {
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMIN, 0, 0), 2);
             SlideTo(panel, 1025, 12);
             Click(panel, 1008);
         },
         {1, 0, 0, 0, 12, 0, 0, 0}},
        {Id("SE11"), [](HWND panel) { Click(panel, 1008); }, {1, 0, 0, 0}},
        // Ten radio buttons without a group mark form one group: the last click wins.
        {Id("SE07"),
         [](HWND panel) {
             Click(panel, 1015);
             CHECK(Checked(panel, 1015) && !Checked(panel, 1007));
             Click(panel, 1012);
             CHECK(Checked(panel, 1012) && !Checked(panel, 1015));
         },
         {5, 0, 0, 0}},
        {Id("SE09"), [](HWND panel) { Click(panel, 1017); }, {10, 0, 0, 0}},
        {Id("SE06"), [](HWND panel) { Click(panel, 1010); }, {3, 0, 0, 0}},
        {Id("SE13"),
         [](HWND panel) {
             CHECK(Checked(panel, 1009)); // four directions by default
             Click(panel, 1008);
         },
         {1, 0, 0, 0}},
        {Id("SE10"), [](HWND panel) { Click(panel, 1014); }, {7, 0, 0, 0}},
        {Id("SE00"), [](HWND panel) { Click(panel, 1008); }, {8, 0, 0, 0}},
        {Id("SE02"),
         [](HWND panel) {
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETRANGEMAX, 0, 0), 10);
             CHECK_EQ(SendDlgItemMessageW(panel, 1025, TBM_GETPOS, 0, 0), 2);
             SlideTo(panel, 1025, 9);
             Click(panel, 1026);
         },
         {9, 0, 0, 0, 1, 0, 0, 0}},
        // A panel without controls keeps the block as it was.
        {Id("SE05"), [](HWND panel) { CHECK(GetWindow(panel, GW_CHILD) == nullptr); }, {0, 0, 0, 0}},
        // The one 16-bit block: "Vertical, from top && bottom to center" is 3.
        {Id("DOOR"), [](HWND panel) { Click(panel, 1010); }, {3, 0}},
    };
    for (const Case& c : cases) {
        context = Cat("panel driven ", IdText(c.id));
        CHECK(BlockAfterPanel(library, host, c.id, c.drive) == c.block);
    }

    // Numbers in Bands' edit box, read by the system's GetDlgItemInt and stored by the
    // panel, against the table the stand-in is held to on Linux. Rows where Wine's
    // call departs from the documented one are left out (see NumberTexts.inc).
    struct Read {
        const char* text;
        BOOL isSigned;
        UINT value;
        BOOL translated;
        int wine;
    };
    const Read reads[] = {
#define WQ_READ(text, isSigned, value, translated, wine) {text, isSigned, value, translated, wine},
#include "tests/windows/NumberTexts.inc"
    };
    {
        HostTransition* t = library.CreateTransition(0, Id("BAND"), nullptr, 0);
        HWND panel = t != nullptr ? t->OpenSettings(host, 0) : nullptr;
        CHECK(panel != nullptr);
        for (const Read& r : reads) {
            if (panel == nullptr || r.wine == 0) {
                continue;
            }
            context = Cat("GetDlgItemInt of \"", r.text, r.isSigned ? "\" signed" : "\" unsigned");
            TypeInto(panel, 1015, Widen(r.text).c_str());
            BOOL translated = 2;
            CHECK_EQ(GetDlgItemInt(panel, 1015, &translated, r.isSigned), r.value);
            CHECK_EQ(translated, r.translated);
        }
        if (t != nullptr) {
            t->Delete();
        }
    }
    struct Typed {
        const char* text;
        uint16_t count;
        int wine;
    };
    const Typed typed[] = {
#define WQ_TYPED(text, count, wine) {text, count, wine},
#include "tests/windows/NumberTexts.inc"
    };
    for (const Typed& c : typed) {
        if (c.wine == 0) {
            continue;
        }
        context = Cat("typed into Bands \"", c.text, "\"");
        const std::vector<uint8_t> block = BlockAfterPanel(
            library, host, Id("BAND"), [&](HWND panel) { TypeInto(panel, 1015, Widen(c.text).c_str()); });
        CHECK(block == (std::vector<uint8_t>{static_cast<uint8_t>(c.count), static_cast<uint8_t>(c.count >> 8), 0, 0}));
    }

    // The hand-made layout of the Scrolling panel, in dialog units.
    context = "panel layout 106";
    {
        HostTransition* t = library.CreateTransition(0, Id("SCRL"), nullptr, 0);
        HWND panel = t->OpenSettings(host, 0);
        struct Place {
            int id;
            const wchar_t* text;
            int x, y, width, height;
        };
        const Place places[] = {{-1, L"Direction", 7, 7, 172, 70},
                                {1007, L"From &left to right", 13, 20, 156, 11},
                                {1008, L"From &right to left", 13, 33, 156, 11},
                                {1009, L"From &top to bottom", 13, 46, 156, 11},
                                {1010, L"From &bottom to top", 13, 58, 156, 11}};
        const std::vector<HWND> children = ChildrenOf(panel);
        CHECK_EQ(children.size(), 5);
        for (size_t i = 0; i < children.size() && i < 5; ++i) {
            CHECK_EQ(GetDlgCtrlID(children[i]), places[i].id);
            CHECK_TEXT(TextOf(children[i]), places[i].text);
            CHECK(SameRect(PlaceOf(panel, children[i]),
                           DialogRect(panel, places[i].x, places[i].y, places[i].width, places[i].height)));
        }
        RECT client;
        GetClientRect(panel, &client);
        CHECK(SameRect(client, DialogRect(panel, 0, 0, 186, 84)));
        t->CloseSettings(0);
        t->Delete();
    }
    DestroyWindow(host);
}

// ---- Section: constants ------------------------------------------------------------

// The stand-in platform layer gives every constant the module uses the system's value.
void CheckConstants() {
    const auto& standIn = wqtrans::windows_tests::StandInConstants();
    const auto& system = wqtrans::windows_tests::SystemConstants();
    context = "constants";
    CHECK_EQ(standIn.size(), system.size());
    for (size_t i = 0; i < standIn.size() && i < system.size(); ++i) {
        context = Cat("constant ", system[i].name);
        CHECK_EQ(standIn[i].value, system[i].value);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string section = argc > 1 ? argv[1] : "";
    Library library;
    if (!Load(library)) {
        return 1;
    }
    if (section == "exports") {
        CheckExports(library);
    } else if (section == "registry") {
        CheckRegistry(library);
    } else if (section == "adapter") {
        CheckAdapters(library);
    } else if (section == "run") {
        CheckRuns(library);
    } else if (section == "panels") {
        CheckPanels(library);
    } else if (section == "constants") {
        CheckConstants();
    } else {
        std::fprintf(stderr, "usage: wqtrans_wine_host exports|registry|adapter|run|panels|constants\n");
        return 2;
    }
    FreeLibrary(library.module);
    std::fprintf(stderr, "%s: %d failed check(s)\n", section.c_str(), failures);
    return failures == 0 ? 0 : 1;
}
