// SoftwareSurface: the reference host surface, over 32-bit pixels in memory.
//
// It stands in for a host runtime's surface library: the default surface of the
// command-line tool, the benchmarks and the tests. Pixels are 0xAARRGGBB words, rows
// top to bottom with no padding, in memory that starts on a huge-page boundary for
// frames of 2 MiB and more (see SoftwareSurfacePixels.h). Copies move all 32 bits of a
// pixel unchanged; blends compute the three colour channels and keep the destination's
// top byte.
//
// Every operation of HostSurface is implemented, clipping to both surfaces: negative
// positions, rectangles past the edges and empty or negative sizes are legal and draw
// only what lies inside both surfaces (nothing for an empty or negative size). Clipping
// uses 64-bit intermediates, so no 32-bit argument can overflow it.
//
// mode 1 skips source pixels equal to the key colour (compared on the low 24 bits).
// op 0 copies; op 1 blends with param 0 (source opaque) to 128 (source invisible);
// ops with bit 0x1000 take an alpha from param's top byte (255 opaque) and multiply
// each channel by the matching byte of param's low 24 bits (255 = unchanged; param
// 0xFFFFFFFF is a plain copy); op 13 tints the source with a HostEffect's value
// (alpha in the top byte, colour in the low 24 bits; a null effect is a plain copy).
// Stretches are nearest-neighbour from any source rectangle into any destination
// rectangle. flags are accepted and ignored.
//
// Drawing calls return 1 when the destination is a SoftwareSurface, also when clipping
// leaves nothing to draw, and 0 for a null or foreign destination, which is never
// touched. Source and destination may be the same surface: the source is read as it was
// before the call. Blends compute: op 1, per channel (src * (128 - p) + dst * p) / 128
// with p above 128 taken as 128; ops with bit 0x1000, s = src * c / 255 and then
// (s * a + dst * (255 - a)) / 255; all divisions truncate, so the ends are exact.
#pragma once

#include <cstdint>
#include <string>

#include "../module/Api.h"
#include "../module/HostSurface.h"
#include "SoftwareSurfacePixels.h"

namespace wqtrans {

// The palette of an 8-bit surface model: 256 0x00RRGGBB entries.
struct HostPalette {
    uint32_t entries[256];
};

class WQ_API SoftwareSurface final : public HostSurface {
public:
    SoftwareSurface() = default;
    // A surface of width x height pixels of `fill`; empty for a size of 0 or below.
    // Throws std::bad_alloc above 2^28 pixels or when memory runs out.
    SoftwareSurface(int32_t width, int32_t height, uint32_t fill = 0xFF000000u);
    // A surface over width x height pixels that the caller owns and keeps alive for as
    // long as the surface uses them (a host's frame buffer), without a copy. A read-only
    // one is never drawn on: as a destination it answers 0 like a foreign surface.
    // Allocate gives the surface memory of its own.
    static SoftwareSurface Over(int32_t width, int32_t height, uint32_t* memory);
    static SoftwareSurface ReadOnlyOver(int32_t width, int32_t height, const uint32_t* memory);
    // The same over 3-byte pixels, rows 3 * width bytes apart with no padding (an RGB or
    // BGR frame), drawn where they lie: a pixel reads as the word C0 | C1 << 8 | C2 << 16
    // | 0xFF << 24 (C0 its first byte) and is written back as that word's low three
    // bytes, so every drawing gives the bytes it gives on words. Pixels() is null for
    // such a view: Bytes() is its memory. A copy of it is a surface of words.
    static SoftwareSurface OverTriples(int32_t width, int32_t height, uint8_t* memory);
    static SoftwareSurface ReadOnlyOverTriples(int32_t width, int32_t height, const uint8_t* memory);
    SoftwareSurface(const SoftwareSurface& other);
    SoftwareSurface& operator=(const SoftwareSurface& other);
    SoftwareSurface(SoftwareSurface&& other) noexcept;
    SoftwareSurface& operator=(SoftwareSurface&& other) noexcept;

    // HostSurface
    int32_t Width() override { return width; }
    int32_t Height() override { return height; }
    int32_t IsReady() override { return ready ? 1 : 0; }
    int32_t CopyAll(HostSurface* dest) override;
    int32_t CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w, int32_t h,
                     int32_t mode, int32_t op, HostParam param, int32_t flags) override;
    int32_t DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                   int32_t flags) override;
    int32_t StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs, int32_t ys,
                        int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param, int32_t flags) override;
    int32_t StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode, int32_t op,
                       HostParam param, int32_t flags) override;
    int32_t Depth() override { return depth; }
    int32_t Driver() override { return driver; }
    uint32_t KeyColour() override { return keyColour; }
    // The palette of a depth 8 surface; null at other depths.
    HostPalette* PaletteOf(int32_t which) override;
    int32_t PrototypeFor(HostPrototype* out, int32_t depth, int32_t surfaceType, int32_t driver) override;
    // Zero-filled pixels, depth and driver from the prototype. 0, with the surface left
    // as it was, for a negative size, more than 2^28 pixels or no memory; never throws.
    int32_t Allocate(int32_t width, int32_t height, const HostPrototype* prototype) override;
    int32_t SetKeyColour(uint32_t colour) override;
    int32_t AssignPalette(HostPalette* palette) override;
    int32_t BeginDraw(int32_t reserved1, int32_t reserved2) override;
    // 0 when no BeginDraw is open.
    int32_t EndDraw() override;
    HostSurface* NewSurface() override;
    void Destroy() override;

    // Pixel access for hosts, tools and tests. Pixels() is null for a view over 3-byte
    // pixels.
    uint32_t* Pixels() { return pixels; }
    const uint32_t* Pixels() const { return pixels; }
    uint32_t Pixel(int32_t x, int32_t y) const {
        const std::size_t at =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
        if (triples != nullptr) {
            const uint8_t* p = triples + 3 * at;
            return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | 0xFF000000u;
        }
        return pixels[at];
    }
    void SetPixel(int32_t x, int32_t y, uint32_t value);
    // The pixels' memory whatever their layout, and the bytes of one pixel: 4 for
    // words, 3 for a view over 3-byte pixels.
    uint8_t* Bytes() { return triples != nullptr ? triples : reinterpret_cast<uint8_t*>(pixels); }
    const uint8_t* Bytes() const { return triples != nullptr ? triples : reinterpret_cast<const uint8_t*>(pixels); }
    int32_t BytesPerPixel() const { return triples != nullptr ? 3 : 4; }
    void Fill(uint32_t value);
    void SetReady(bool value) { ready = value; }
    // Sets the surface's pixel model as a host would: depth 8 surfaces carry a palette.
    void SetModel(int32_t depth, int32_t driver, const HostPalette* palette = nullptr);
    // BeginDraw calls not yet closed by EndDraw.
    int32_t OpenDraws() const { return openDraws; }

    // PNG files, through libpng. Load reads any PNG into 0xFFRRGGBB pixels (an alpha
    // channel is composited onto black); it returns false and leaves the surface as it
    // was when the file cannot be read. Save writes 8-bit RGB (the top bytes are not
    // kept) to a temporary file beside the target and renames it into place, so it
    // writes the whole file or nothing, and returns false on failure. `error` receives a
    // one-line reason.
    bool LoadPng(const std::string& path, std::string* error = nullptr);
    // The same from a PNG file's bytes in memory.
    bool LoadPng(const uint8_t* data, std::size_t size, std::string* error = nullptr);
    bool SavePng(const std::string& path, std::string* error = nullptr) const;

    // Whether the surface may be drawn on (false for a read-only view).
    bool Writable() const { return !readOnly; }

private:
    int32_t width = 0;
    int32_t height = 0;
    std::size_t PixelCount() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
    // Takes `fresh` as the surface's own memory.
    void Adopt(PixelBuffer& fresh);

    // `pixels` is storage's memory, or the caller's for a view.
    PixelBuffer storage;
    uint32_t* pixels = nullptr;
    // The caller's 3-byte pixels of a view over them (pixels is null then).
    uint8_t* triples = nullptr;
    bool readOnly = false;
    uint32_t keyColour = 0;
    int32_t depth = 32;
    int32_t driver = 0;
    HostPalette palette{};
    bool ready = true;
    int32_t openDraws = 0;
};

// A rectangle of a surface: left and top inside, right and bottom just past it.
struct SurfaceRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool Empty() const { return left >= right || top >= bottom; }
};

// source.StretchRect(dest, ...) drawn only inside `clip`: each pixel drawn there is the
// one the whole call draws, so a host can draw one call in parts.
int32_t StretchRectWithin(SoftwareSurface& source, HostSurface* dest, const SurfaceRect& clip, int32_t xd, int32_t yd,
                          int32_t wd, int32_t hd, int32_t xs, int32_t ys, int32_t ws, int32_t hs, int32_t mode,
                          int32_t op, HostParam param);

} // namespace wqtrans
