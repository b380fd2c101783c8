// A host surface that writes one line per call, with the surface roles and every
// argument, so that a transition's calls can be compared with a log written by hand:
//
//     dest.IsReady()
//     new.CopyRect(dest, -480, 0, 0, 0, 640, 480, 0, 0, 0, 2)
//
// Arguments follow the interface order after the destination; a param of 65536 or
// more is written in hex (0xFFFFFFFF), a HostEffect as "effect". Width and Height are
// not logged. A recording surface may forward every call to a real surface (the
// reference surface), so that one run yields both the log and the pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "module/HostSurface.h"

namespace wqtrans::test {

struct CallLog {
    std::vector<std::string> lines;
    void Clear() { lines.clear(); }
};

class RecordingSurface final : public HostSurface {
public:
    // Records as `role`; without a forward surface it reports `width` x `height`.
    RecordingSurface(std::string role, CallLog& log, int32_t width, int32_t height);
    RecordingSurface(std::string role, CallLog& log, HostSurface* forward);

    int32_t Width() override;
    int32_t Height() override;
    int32_t IsReady() override;
    int32_t CopyAll(HostSurface* dest) override;
    int32_t CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                     int32_t mode, int32_t op, HostParam param, int32_t flags) override;
    int32_t DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                   int32_t flags) override;
    int32_t StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs, int32_t ys,
                        int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param, int32_t flags) override;
    int32_t StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode, int32_t op,
                       HostParam param, int32_t flags) override;
    int32_t Depth() override;
    int32_t Driver() override;
    uint32_t KeyColour() override;
    HostPalette* PaletteOf(int32_t which) override;
    int32_t PrototypeFor(HostPrototype* out, int32_t depth, int32_t surfaceType, int32_t driver) override;
    int32_t Allocate(int32_t width, int32_t height, const HostPrototype* prototype) override;
    int32_t SetKeyColour(uint32_t colour) override;
    int32_t AssignPalette(HostPalette* palette) override;
    int32_t BeginDraw(int32_t reserved1, int32_t reserved2) override;
    int32_t EndDraw() override;
    HostSurface* NewSurface() override;
    void Destroy() override;

    void SetReady(bool value) { ready = value; }
    void SetSize(int32_t w, int32_t h) {
        width = w;
        height = h;
    }
    // Makes every drawing call throw once `calls` more drawing calls have been made
    // (0: the next one throws); -1 never.
    void ThrowAfter(int32_t calls) { throwAfter = calls; }
    // Makes Allocate report failure (only for surfaces made by NewSurface).
    void FailAllocate(bool value) { failAllocate = value; }
    HostSurface* Forward() const { return forward; }
    const std::string& Role() const { return role; }
    // Surfaces made by NewSurface and not yet destroyed.
    static int32_t LiveWorkSurfaces();

private:
    void Log(const std::string& line);
    void Drawing();
    static HostSurface* Target(HostSurface* dest);

    std::string role;
    CallLog& log;
    HostSurface* forward = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    bool ready = true;
    int32_t throwAfter = -1;
    bool failAllocate = false;
    bool madeByNewSurface = false;
};

// Writes the first difference between two logs, expected beside actual.
std::string FirstDifference(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

} // namespace wqtrans::test

// Compares a call log with the expected lines and reports the first differing line.
#define EXPECT_CALLS(log, ...)                                                                                         \
    do {                                                                                                               \
        const std::vector<std::string> wqExpected = __VA_ARGS__;                                                       \
        EXPECT_TRUE(wqExpected == (log).lines) << ::wqtrans::test::FirstDifference(wqExpected, (log).lines);           \
    } while (0)
