#include "host/SoftwareSurface.h"

#include "host/PixelFormat.h"
#include "host/PixelRows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <typeinfo>
#include <vector>

namespace wqtrans {

namespace {

// The largest surface Allocate and the constructor accept: 2^28 pixels (1 GiB).
constexpr int64_t kMaxPixels = int64_t{1} << 28;

// What a drawing call does to each pixel, resolved once per call from mode, op and param.
struct PixelOp {
    enum Kind { kNothing, kCopy, kBlend, kTint } kind = kCopy;
    bool keyed = false;
    uint32_t key = 0;   // the source's key colour, low 24 bits
    uint32_t share = 0; // blend: the destination's share, 0 to 128
    uint32_t tint = 0;  // tint: alpha in the top byte, coefficients below
};

PixelOp ResolveOp(int32_t mode, int32_t op, HostParam param, uint32_t keyColour) {
    PixelOp out;
    out.keyed = mode == 1;
    out.key = keyColour & 0xFFFFFFu;
    uint32_t tint = 0xFFFFFFFFu;
    if (op == 13) {
        if (param != 0) {
            tint = reinterpret_cast<HostEffect*>(param)->ReadTint();
        }
    } else if ((op & 0x1000) != 0) {
        tint = static_cast<uint32_t>(param);
    } else if (op == 1) {
        const uint32_t p = std::min<uint32_t>(static_cast<uint32_t>(param), 128u);
        out.kind = p == 128 ? PixelOp::kNothing : PixelOp::kBlend;
        out.share = p;
        return out;
    } else {
        return out; // op 0 and every op without a meaning of its own: a copy
    }
    if (tint == 0xFFFFFFFFu) {
        return out;
    }
    out.kind = (tint >> 24) == 0 ? PixelOp::kNothing : PixelOp::kTint;
    out.tint = tint;
    return out;
}

void CopyKeyedRow(uint32_t* __restrict d, const uint32_t* __restrict s, int64_t n, uint32_t key) {
    for (int64_t i = 0; i < n; ++i) {
        const uint32_t v = s[i];
        d[i] = (v & 0xFFFFFFu) == key ? d[i] : v;
    }
}

// A blend or tint row: computed whole by the row kernels, then, in mode 1, merged in
// chunks so that the key colour's pixels keep the destination.
template <typename Kernel>
void CombineRow(uint32_t* __restrict d, const uint32_t* __restrict s, int64_t n, const PixelOp& op, Kernel kernel) {
    if (!op.keyed) {
        kernel(d, s, d, n);
        return;
    }
    constexpr int64_t kChunk = 256;
    uint32_t mixed[kChunk];
    for (int64_t i = 0; i < n; i += kChunk) {
        const int64_t m = std::min(kChunk, n - i);
        kernel(mixed, s + i, d + i, m);
        for (int64_t k = 0; k < m; ++k) {
            d[i + k] = (s[i + k] & 0xFFFFFFu) == op.key ? d[i + k] : mixed[k];
        }
    }
}

// One row of n pixels from s to d. s and d must not overlap.
void ApplyRow(uint32_t* d, const uint32_t* s, int64_t n, const PixelOp& op) {
    switch (op.kind) {
    case PixelOp::kNothing:
        return;
    case PixelOp::kCopy:
        if (op.keyed) {
            CopyKeyedRow(d, s, n, op.key);
        } else {
            std::memcpy(d, s, static_cast<std::size_t>(n) * sizeof(uint32_t));
        }
        return;
    case PixelOp::kBlend:
        CombineRow(d, s, n, op, [&](uint32_t* out, const uint32_t* sv, const uint32_t* dv, int64_t m) {
            pixels::Blend(out, sv, dv, m, op.share);
        });
        return;
    case PixelOp::kTint:
        CombineRow(d, s, n, op, [&](uint32_t* out, const uint32_t* sv, const uint32_t* dv, int64_t m) {
            pixels::Tint(out, sv, dv, m, op.tint);
        });
        return;
    }
}

// The destination as a reference surface, or null: a foreign surface cannot be drawn on.
// SoftwareSurface is final, so its dynamic type decides. The type information of a class
// with an out-of-line virtual function is emitted once, so its address decides at once
// in the common case; the comparison by name runs only when the addresses differ.
[[gnu::noinline]] bool SameTypeByName(const std::type_info& type) { return type == typeid(SoftwareSurface); }

inline SoftwareSurface* AsSoftware(HostSurface* dest) {
    if (dest == nullptr) {
        return nullptr;
    }
    const std::type_info& type = typeid(*dest);
    if (&type != &typeid(SoftwareSurface) && !SameTypeByName(type)) [[unlikely]] {
        return nullptr;
    }
    auto* surface = static_cast<SoftwareSurface*>(dest);
    return surface->Writable() ? surface : nullptr;
}

// Clips a w x h block at (xs, ys) of a sw x sh source to a dw x dh destination at (xd, yd).
// Returns false when nothing is left. All values are 64-bit so no 32-bit input overflows.
struct Block {
    int64_t xd, yd, xs, ys, w, h;
};

inline bool ClipBlock(Block& b, int64_t sw, int64_t sh, int64_t dw, int64_t dh) {
    if (b.w <= 0 || b.h <= 0) {
        return false;
    }
    const int64_t dx = std::max<int64_t>({0, -b.xs, -b.xd});
    const int64_t dy = std::max<int64_t>({0, -b.ys, -b.yd});
    b.xs += dx;
    b.xd += dx;
    b.w -= dx;
    b.ys += dy;
    b.yd += dy;
    b.h -= dy;
    b.w = std::min({b.w, sw - b.xs, dw - b.xd});
    b.h = std::min({b.h, sh - b.ys, dh - b.yd});
    return b.w > 0 && b.h > 0;
}

// n x rows pixels between two distinct surfaces, row by row or as one block when the
// rows are whole on both sides.
[[gnu::noinline]] int32_t CopyRows(const uint32_t* s, int64_t sStride, uint32_t* d, int64_t dStride, int64_t n,
                                   int64_t rows) {
    const std::size_t bytes = static_cast<std::size_t>(n) * sizeof(uint32_t);
    if (n == sStride && n == dStride) {
        std::memcpy(d, s, bytes * static_cast<std::size_t>(rows));
        return 1;
    }
    for (int64_t j = 0; j < rows; ++j, s += sStride, d += dStride) {
        std::memcpy(d, s, bytes);
    }
    return 1;
}

// Draws a clipped block. src and dst may be the same surface.
void DrawBlock(const uint32_t* src, int64_t srcStride, uint32_t* dst, int64_t dstStride, const Block& b,
               const PixelOp& op, bool sameSurface) {
    if (op.kind == PixelOp::kNothing) {
        return;
    }
    const uint32_t* s = src + b.ys * srcStride + b.xs;
    uint32_t* d = dst + b.yd * dstStride + b.xd;
    if (!sameSurface) {
        if (op.kind == PixelOp::kCopy && !op.keyed) {
            CopyRows(s, srcStride, d, dstStride, b.w, b.h);
            return;
        }
        for (int64_t j = 0; j < b.h; ++j, s += srcStride, d += dstStride) {
            ApplyRow(d, s, b.w, op);
        }
        return;
    }
    // Within one surface (one stride): rows downwards are walked from the bottom so that
    // no source row is overwritten before it is read; a row that may overlap goes
    // through a copy.
    const bool overlap = b.xs < b.xd + b.w && b.xd < b.xs + b.w && b.ys < b.yd + b.h && b.yd < b.ys + b.h;
    int64_t step = srcStride;
    if (b.yd > b.ys) {
        s += (b.h - 1) * srcStride;
        d += (b.h - 1) * dstStride;
        step = -srcStride;
    }
    const std::size_t bytes = static_cast<std::size_t>(b.w) * sizeof(uint32_t);
    if (op.kind == PixelOp::kCopy && !op.keyed) {
        for (int64_t j = 0; j < b.h; ++j, s += step, d += step) {
            std::memmove(d, s, bytes);
        }
        return;
    }
    if (!overlap) {
        for (int64_t j = 0; j < b.h; ++j, s += step, d += step) {
            ApplyRow(d, s, b.w, op);
        }
        return;
    }
    std::vector<uint32_t> row(static_cast<std::size_t>(b.w));
    for (int64_t j = 0; j < b.h; ++j, s += step, d += step) {
        std::memcpy(row.data(), s, bytes);
        ApplyRow(d, row.data(), b.w, op);
    }
}

// ---- 3-byte pixels --------------------------------------------------------------------

// The pixels a row of 3-byte pixels goes through as words at a time, on the stack.
constexpr int64_t kWordChunk = 256;

// n pixels from s to d, either or both of them 3-byte pixels (`sBytes`, `dBytes` the
// bytes of a pixel), a chunk at a time through words and the words' row kernels, so
// that every op gives the bytes it gives on words. s and d must not overlap.
void ApplyRowThroughWords(uint8_t* d, int64_t dBytes, const uint8_t* s, int64_t sBytes, int64_t n, const PixelOp& op) {
    uint32_t from[kWordChunk];
    uint32_t to[kWordChunk];
    // A plain copy does not read what it covers.
    const bool readsDest = op.kind != PixelOp::kCopy || op.keyed;
    for (int64_t i = 0; i < n; i += kWordChunk) {
        const int64_t m = std::min(kWordChunk, n - i);
        if (sBytes == 3) {
            WordsFromTriples(s + 3 * i, from, static_cast<std::size_t>(m));
        } else {
            std::memcpy(from, s + 4 * i, static_cast<std::size_t>(m) * sizeof(uint32_t));
        }
        if (dBytes == 4) {
            ApplyRow(reinterpret_cast<uint32_t*>(d) + i, from, m, op);
            continue;
        }
        if (readsDest) {
            WordsFromTriples(d + 3 * i, to, static_cast<std::size_t>(m));
        }
        ApplyRow(to, from, m, op);
        TriplesFromWords(to, d + 3 * i, static_cast<std::size_t>(m));
    }
}

// A clipped block where either surface holds 3-byte pixels. Between two such surfaces
// plain copies and blends go byte by byte where the pixels lie; everything else goes
// through words (ApplyRowThroughWords). src and dst may be the same surface.
void DrawBlockBytes(SoftwareSurface& src, SoftwareSurface& dst, const Block& b, const PixelOp& op) {
    if (op.kind == PixelOp::kNothing) {
        return;
    }
    const int64_t sBytes = src.BytesPerPixel();
    const int64_t dBytes = dst.BytesPerPixel();
    int64_t sStep = sBytes * src.Width();
    int64_t dStep = dBytes * dst.Width();
    const uint8_t* s = src.Bytes() + b.ys * sStep + b.xs * sBytes;
    uint8_t* d = dst.Bytes() + b.yd * dStep + b.xd * dBytes;
    const bool same = &src == &dst;
    // Within one surface rows downwards are walked from the bottom, so that no source
    // row is overwritten before it is read.
    if (same && b.yd > b.ys) {
        s += (b.h - 1) * sStep;
        d += (b.h - 1) * dStep;
        sStep = -sStep;
        dStep = -dStep;
    }
    const bool plain = op.kind == PixelOp::kCopy && !op.keyed;
    const auto rowBytes = static_cast<std::size_t>(b.w * sBytes);
    std::vector<uint8_t> held; // a source row that the row drawn may overlap
    for (int64_t j = 0; j < b.h; ++j, s += sStep, d += dStep) {
        if (sBytes == dBytes && plain) {
            std::memmove(d, s, rowBytes);
            continue;
        }
        const uint8_t* row = s;
        if (same) {
            held.assign(s, s + rowBytes);
            row = held.data();
        }
        if (sBytes == dBytes && op.kind == PixelOp::kBlend && !op.keyed) {
            pixels::BlendTriples(d, row, b.w, op.share);
        } else {
            ApplyRowThroughWords(d, dBytes, row, sBytes, b.w, op);
        }
    }
}

// The source coordinate of destination offset i in a stretch of size n from size m:
// floor((i + 0.5) * m / n). i < n <= 2^31 and m < 2^31 keep the product below 2^63.
inline int64_t StretchCoord(int64_t i, int64_t m, int64_t n) { return ((2 * i + 1) * m) / (2 * n); }

// The source columns of a stretch's destination row, worked out once per call.
struct ColumnMap {
    // The columns, in memory taken once and not cleared first: a wide part drawn over a
    // few rows spends as long on its map as on its pixels.
    struct Columns {
        std::unique_ptr<uint32_t[]> store;
        std::size_t count = 0;
        bool empty() const { return count == 0; }
        std::size_t size() const { return count; }
        const uint32_t* data() const { return store.get(); }
        uint32_t front() const { return store[0]; }
        uint32_t operator[](std::size_t k) const { return store[k]; }
    } columns;

    // The columns of destination offsets [i0, i1) of a stretch of ws source columns from
    // xs into wd, keeping those inside a source `width` wide. Returns the first offset
    // kept (columns grow with the offset, so the kept ones are one run of offsets).
    int64_t Build(int64_t xs, int64_t ws, int64_t wd, int64_t i0, int64_t i1, int64_t width) {
        columns.store.reset(new uint32_t[static_cast<std::size_t>(i1 - i0)]);
        uint32_t* out = columns.store.get();
        int64_t first = -1;
        // StretchCoord stepped without a division per column, as quotient and remainder.
        const int64_t divisor = 2 * wd;
        const int64_t quotientStep = 2 * ws / divisor;
        const int64_t remainderStep = 2 * ws % divisor;
        int64_t quotient = StretchCoord(i0, ws, wd);
        int64_t remainder = (2 * i0 + 1) * ws - quotient * divisor;
        for (int64_t i = i0; i < i1; ++i) {
            const int64_t x = xs + quotient;
            quotient += quotientStep;
            remainder += remainderStep;
            if (remainder >= divisor) {
                ++quotient;
                remainder -= divisor;
            }
            if (x < 0) {
                continue;
            }
            if (x >= width) {
                break;
            }
            if (first < 0) {
                first = i;
            }
            *out++ = static_cast<uint32_t>(x);
        }
        columns.count = static_cast<std::size_t>(out - columns.store.get());
        return first;
    }

    // One destination row from source row s of a surface `width` wide.
    void Draw(uint32_t* out, const uint32_t* s, int64_t width) const {
        const auto n = static_cast<int64_t>(columns.size());
        // A few columns (the thin parts of a stretch drawn in pieces) cost less inline
        // than through the vector gather's dispatch.
        if (n <= kInlineColumns) {
            for (int64_t k = 0; k < n; ++k) {
                out[k] = s[columns[static_cast<std::size_t>(k)]];
            }
            return;
        }
        pixels::Gather(out, s, columns.data(), n, width);
    }
    static constexpr int64_t kInlineColumns = 8;
};

// The general block draw: any destination, mode and op.
[[gnu::noinline]] int32_t DrawChecked(SoftwareSurface& src, HostSurface* dest, int32_t xd, int32_t yd, int32_t xs,
                                      int32_t ys, int32_t w, int32_t h, int32_t mode, int32_t op, HostParam param) {
    SoftwareSurface* dst = AsSoftware(dest);
    if (dst == nullptr) {
        return 0;
    }
    Block b{xd, yd, xs, ys, w, h};
    if (!ClipBlock(b, src.Width(), src.Height(), dst->Width(), dst->Height())) {
        return 1;
    }
    const PixelOp pixelOp = ResolveOp(mode, op, param, src.KeyColour());
    if (src.BytesPerPixel() != 4 || dst->BytesPerPixel() != 4) {
        DrawBlockBytes(src, *dst, b, pixelOp);
        return 1;
    }
    DrawBlock(src.Pixels(), src.Width(), dst->Pixels(), dst->Width(), b, pixelOp, &src == dst);
    return 1;
}

} // namespace

SoftwareSurface::SoftwareSurface(int32_t w, int32_t h, uint32_t fill) {
    if (w <= 0 || h <= 0) {
        return;
    }
    if (int64_t{w} * h > kMaxPixels) {
        throw std::bad_alloc();
    }
    PixelBuffer(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill).swap(storage);
    pixels = storage.data();
    width = w;
    height = h;
}

SoftwareSurface SoftwareSurface::Over(int32_t w, int32_t h, uint32_t* memory) {
    SoftwareSurface view;
    if (w > 0 && h > 0 && memory != nullptr) {
        view.width = w;
        view.height = h;
        view.pixels = memory;
    }
    return view;
}

SoftwareSurface SoftwareSurface::ReadOnlyOver(int32_t w, int32_t h, const uint32_t* memory) {
    // Never written through: every drawing call refuses a read-only destination.
    SoftwareSurface view = Over(w, h, const_cast<uint32_t*>(memory));
    view.readOnly = true;
    return view;
}

SoftwareSurface SoftwareSurface::OverTriples(int32_t w, int32_t h, uint8_t* memory) {
    SoftwareSurface view;
    if (w > 0 && h > 0 && memory != nullptr) {
        view.width = w;
        view.height = h;
        view.triples = memory;
    }
    return view;
}

SoftwareSurface SoftwareSurface::ReadOnlyOverTriples(int32_t w, int32_t h, const uint8_t* memory) {
    SoftwareSurface view = OverTriples(w, h, const_cast<uint8_t*>(memory));
    view.readOnly = true;
    return view;
}

// A copy owns its pixels, also the copy of a view.
SoftwareSurface::SoftwareSurface(const SoftwareSurface& other)
    : HostSurface(other), width(other.width), height(other.height), storage(other.PixelCount(), 0u),
      pixels(storage.data()), keyColour(other.keyColour), depth(other.depth), driver(other.driver),
      palette(other.palette), ready(other.ready), openDraws(other.openDraws) {
    if (other.triples != nullptr) {
        WordsFromTriples(other.triples, pixels, PixelCount());
    } else if (PixelCount() != 0) {
        std::memcpy(pixels, other.pixels, PixelCount() * sizeof(uint32_t));
    }
}

SoftwareSurface& SoftwareSurface::operator=(const SoftwareSurface& other) {
    if (this != &other) {
        SoftwareSurface copy(other);
        *this = std::move(copy);
    }
    return *this;
}

SoftwareSurface::SoftwareSurface(SoftwareSurface&& other) noexcept { *this = std::move(other); }

SoftwareSurface& SoftwareSurface::operator=(SoftwareSurface&& other) noexcept {
    if (this != &other) {
        const bool view = other.pixels != other.storage.data();
        width = other.width;
        height = other.height;
        storage = std::move(other.storage);
        pixels = view ? other.pixels : storage.data();
        triples = other.triples;
        readOnly = other.readOnly;
        keyColour = other.keyColour;
        depth = other.depth;
        driver = other.driver;
        palette = other.palette;
        ready = other.ready;
        openDraws = other.openDraws;
        other.width = 0;
        other.height = 0;
        other.pixels = nullptr;
        other.triples = nullptr;
        PixelBuffer().swap(other.storage);
    }
    return *this;
}

void SoftwareSurface::Adopt(PixelBuffer& fresh) {
    storage.swap(fresh);
    pixels = storage.data();
    triples = nullptr;
    readOnly = false;
}

void SoftwareSurface::Fill(uint32_t value) {
    if (!Writable()) {
        return;
    }
    if (triples != nullptr) {
        for (std::size_t i = 0; i < PixelCount(); ++i) {
            triples[3 * i] = static_cast<uint8_t>(value);
            triples[3 * i + 1] = static_cast<uint8_t>(value >> 8);
            triples[3 * i + 2] = static_cast<uint8_t>(value >> 16);
        }
        return;
    }
    std::fill_n(pixels, PixelCount(), value);
}

void SoftwareSurface::SetPixel(int32_t x, int32_t y, uint32_t value) {
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    if (triples != nullptr) {
        TriplesFromWords(&value, triples + 3 * at, 1);
        return;
    }
    pixels[at] = value;
}

void SoftwareSurface::SetModel(int32_t newDepth, int32_t newDriver, const HostPalette* newPalette) {
    depth = newDepth;
    driver = newDriver;
    if (newPalette != nullptr) {
        palette = *newPalette;
    }
}

int32_t SoftwareSurface::CopyAll(HostSurface* dest) { return CopyRect(dest, 0, 0, 0, 0, width, height, 0, 0, 0, 0); }

int32_t SoftwareSurface::CopyRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t xs, int32_t ys, int32_t w,
                                  int32_t h, int32_t mode, int32_t op, HostParam param, int32_t /*flags*/) {
    // Every way out of this function is a return or a tail call, so that the plain copy
    // of one pixel runs without a stack frame.
    if (dest == nullptr || &typeid(*dest) != &typeid(SoftwareSurface) || op != 0 || mode == 1 || dest == this ||
        !static_cast<SoftwareSurface*>(dest)->Writable() || triples != nullptr ||
        static_cast<SoftwareSurface*>(dest)->triples != nullptr) [[unlikely]] {
        return DrawChecked(*this, dest, xd, yd, xs, ys, w, h, mode, op, param);
    }
    auto* target = static_cast<SoftwareSurface*>(dest);
    if (w == 1 && h == 1) {
        // One pixel: inside both surfaces or not drawn. Sizes are never negative, so an
        // unsigned comparison also rejects negative positions.
        if (static_cast<uint32_t>(xd) < static_cast<uint32_t>(target->width) &&
            static_cast<uint32_t>(yd) < static_cast<uint32_t>(target->height) &&
            static_cast<uint32_t>(xs) < static_cast<uint32_t>(width) &&
            static_cast<uint32_t>(ys) < static_cast<uint32_t>(height)) {
            target->pixels[static_cast<std::size_t>(yd) * static_cast<std::size_t>(target->width) +
                           static_cast<std::size_t>(xd)] =
                pixels[static_cast<std::size_t>(ys) * static_cast<std::size_t>(width) + static_cast<std::size_t>(xs)];
        }
        return 1;
    }
    // The plain copy, one call per pixel in some transitions, kept short: the columns
    // drawn are those of [xd, xd + w) inside the destination and, moved back by the
    // offset, inside the source; likewise the rows. A width or height of 0 or below
    // leaves an empty range.
    const int64_t ox = int64_t{xd} - xs;
    const int64_t oy = int64_t{yd} - ys;
    const int64_t x0 = std::max(std::max(int64_t{xd}, int64_t{0}), ox);
    const int64_t x1 = std::min(std::min(int64_t{xd} + w, int64_t{target->width}), ox + width);
    const int64_t y0 = std::max(std::max(int64_t{yd}, int64_t{0}), oy);
    const int64_t y1 = std::min(std::min(int64_t{yd} + h, int64_t{target->height}), oy + height);
    if (x0 >= x1 || y0 >= y1) {
        return 1;
    }
    const uint32_t* s = pixels + (y0 - oy) * width + (x0 - ox);
    uint32_t* d = target->pixels + y0 * target->width + x0;
    const int64_t n = x1 - x0;
    const int64_t rows = y1 - y0;
    return CopyRows(s, width, d, target->width, n, rows);
}

int32_t SoftwareSurface::DrawAt(HostSurface* dest, int32_t xd, int32_t yd, int32_t mode, int32_t op, HostParam param,
                                int32_t flags) {
    return CopyRect(dest, xd, yd, 0, 0, width, height, mode, op, param, flags);
}

int32_t SoftwareSurface::StretchRect(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t xs,
                                     int32_t ys, int32_t ws, int32_t hs, int32_t mode, int32_t op, HostParam param,
                                     int32_t /*flags*/) {
    constexpr SurfaceRect kEverywhere{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    return StretchRectWithin(*this, dest, kEverywhere, xd, yd, wd, hd, xs, ys, ws, hs, mode, op, param);
}

namespace {

// The most columns of a stretch drawn as a thin part (StretchRectWithin).
constexpr int64_t kThinColumns = 16;

// d[k] = s[c[k]] for k below n, 1 <= n <= 8, without a loop.
inline void CopyFew(uint32_t* d, const uint32_t* s, const uint32_t* c, int64_t n) {
    switch (n) {
    case 8:
        d[7] = s[c[7]];
        [[fallthrough]];
    case 7:
        d[6] = s[c[6]];
        [[fallthrough]];
    case 6:
        d[5] = s[c[5]];
        [[fallthrough]];
    case 5:
        d[4] = s[c[4]];
        [[fallthrough]];
    case 4:
        d[3] = s[c[3]];
        [[fallthrough]];
    case 3:
        d[2] = s[c[2]];
        [[fallthrough]];
    case 2:
        d[1] = s[c[1]];
        [[fallthrough]];
    default:
        d[0] = s[c[0]];
    }
}

// The rows [j0, j1) of a stretch where either surface holds 3-byte pixels, the columns
// in `map`, drawn from destination column x on: the span of each source row that the
// columns read is turned into words once, gathered as on words and then written or
// combined through words. An unscaled row's repeat is the row just drawn.
void StretchRowsBytes(SoftwareSurface& source, SoftwareSurface& target, const ColumnMap& map, int64_t x, int64_t yd,
                      int64_t j0, int64_t j1, int64_t ys, int64_t hs, int64_t hd, const PixelOp& op) {
    const int64_t height = source.Height();
    const int64_t sBytes = source.BytesPerPixel();
    const int64_t dBytes = target.BytesPerPixel();
    const int64_t sRowBytes = sBytes * source.Width();
    const int64_t dRowBytes = dBytes * target.Width();
    const auto n = static_cast<int64_t>(map.columns.size());
    // The columns from the first one read, and the source pixels they span.
    const int64_t low = map.columns.front();
    const int64_t span = int64_t{map.columns[static_cast<std::size_t>(n - 1)]} - low + 1;
    std::vector<uint32_t> columns(static_cast<std::size_t>(n));
    for (int64_t k = 0; k < n; ++k) {
        columns[static_cast<std::size_t>(k)] = static_cast<uint32_t>(map.columns[static_cast<std::size_t>(k)] - low);
    }
    // Stretching within one surface reads from a snapshot of the source.
    const uint8_t* src = source.Bytes();
    std::vector<uint8_t> snapshot;
    if (&target == &source) {
        snapshot.assign(src, src + height * sRowBytes);
        src = snapshot.data();
    }
    std::vector<uint32_t> words(static_cast<std::size_t>(sBytes == 3 ? span : 0));
    std::vector<uint32_t> row(static_cast<std::size_t>(n));
    const bool plain = op.kind == PixelOp::kCopy && !op.keyed;
    const uint8_t* previousSource = nullptr;
    const uint8_t* previousRow = nullptr;
    // Plain copies between 3-byte pixels gather them where they lie.
    std::optional<pixels::TripleGather> direct;
    if (plain && sBytes == 3 && dBytes == 3) {
        direct.emplace(map.columns.data(), n);
    }
    for (int64_t j = j0; j < j1; ++j) {
        const int64_t y = ys + StretchCoord(j, hs, hd);
        if (y < 0) {
            continue;
        }
        if (y >= height) {
            break;
        }
        const uint8_t* s = src + y * sRowBytes;
        uint8_t* d = target.Bytes() + (yd + j) * dRowBytes + x * dBytes;
        if (s == previousSource && plain) {
            std::memcpy(d, previousRow, static_cast<std::size_t>(n * dBytes));
            previousRow = d;
            continue;
        }
        if (direct) {
            direct->Row(d, s, (height - y) * sRowBytes);
            previousSource = s;
            previousRow = d;
            continue;
        }
        if (s != previousSource) {
            if (sBytes == 3) {
                WordsFromTriples(s + 3 * low, words.data(), static_cast<std::size_t>(span));
                pixels::Gather(row.data(), words.data(), columns.data(), n, span);
            } else {
                pixels::Gather(row.data(), reinterpret_cast<const uint32_t*>(s) + low, columns.data(), n, span);
            }
        }
        previousSource = s;
        previousRow = d;
        if (plain && dBytes == 3) {
            TriplesFromWords(row.data(), d, static_cast<std::size_t>(n));
        } else {
            ApplyRowThroughWords(d, dBytes, reinterpret_cast<const uint8_t*>(row.data()), 4, n, op);
        }
    }
}

} // namespace

int32_t StretchRectWithin(SoftwareSurface& source, HostSurface* dest, const SurfaceRect& clip, int32_t xd, int32_t yd,
                          int32_t wd, int32_t hd, int32_t xs, int32_t ys, int32_t ws, int32_t hs, int32_t mode,
                          int32_t op, HostParam param) {
    SoftwareSurface* target = AsSoftware(dest);
    if (target == nullptr) {
        return 0;
    }
    if (wd <= 0 || hd <= 0 || ws <= 0 || hs <= 0) {
        return 1;
    }
    const int64_t width = source.Width();
    const int64_t height = source.Height();
    // Destination offsets inside the rectangle, the destination surface and the clip.
    const int64_t i0 = std::max<int64_t>({0, -int64_t{xd}, int64_t{clip.left} - xd});
    const int64_t i1 = std::min<int64_t>({wd, int64_t{target->Width()} - xd, int64_t{clip.right} - xd});
    const int64_t j0 = std::max<int64_t>({0, -int64_t{yd}, int64_t{clip.top} - yd});
    const int64_t j1 = std::min<int64_t>({hd, int64_t{target->Height()} - yd, int64_t{clip.bottom} - yd});
    if (i0 >= i1 || j0 >= j1 || width <= 0 || height <= 0) {
        return 1;
    }
    // At its own size every destination offset maps to the same source offset, which
    // is a block copy of the offsets kept.
    if (wd == ws && hd == hs && !pixels::PlainPaths()) {
        return DrawChecked(source, dest, static_cast<int32_t>(xd + i0), static_cast<int32_t>(yd + j0),
                           static_cast<int32_t>(xs + i0), static_cast<int32_t>(ys + j0), static_cast<int32_t>(i1 - i0),
                           static_cast<int32_t>(j1 - j0), mode, op, param);
    }
    ColumnMap map;
    const int64_t first = map.Build(xs, ws, wd, i0, i1, width);
    if (map.columns.empty()) {
        return 1;
    }
    const PixelOp pixelOp = ResolveOp(mode, op, param, source.KeyColour());
    if (pixelOp.kind == PixelOp::kNothing) {
        return 1;
    }
    if (source.BytesPerPixel() != 4 || target->BytesPerPixel() != 4) {
        StretchRowsBytes(source, *target, map, xd + first, yd, j0, j1, ys, hs, hd, pixelOp);
        return 1;
    }
    // Stretching within one surface reads from a snapshot of the source.
    std::vector<uint32_t> snapshot;
    const uint32_t* src = source.Pixels();
    if (target == &source) {
        snapshot.assign(src, src + static_cast<std::size_t>(width * height));
        src = snapshot.data();
    }
    const int64_t n = static_cast<int64_t>(map.columns.size());
    const bool plain = pixelOp.kind == PixelOp::kCopy && !pixelOp.keyed;
    std::vector<uint32_t> row(plain ? 0 : static_cast<std::size_t>(n));
    const uint32_t* previousRow = nullptr;
    const uint32_t* previousSource = nullptr;
    const int64_t targetWidth = target->Width();
    // The source rows StretchCoord gives, stepped without a division per row: row j's
    // offset is floor(n / (2 hd)) with n = (2 j + 1) hs, kept as quotient and remainder.
    const int64_t divisor = 2 * int64_t{hd};
    const int64_t quotientStep = 2 * int64_t{hs} / divisor;
    const int64_t remainderStep = 2 * int64_t{hs} % divisor;
    int64_t quotient = StretchCoord(j0, hs, hd);
    int64_t remainder = (2 * j0 + 1) * hs - quotient * divisor;
    auto advance = [&] {
        quotient += quotientStep;
        remainder += remainderStep;
        if (remainder >= divisor) {
            ++quotient;
            remainder -= divisor;
        }
    };
    if (plain && n <= kThinColumns && !pixels::PlainPaths()) {
        // A thin part (a long run's trails, drawn in pieces): a few pixels a row, so the
        // row's work is kept to the source row's step and the pixels themselves, whose
        // columns stay in registers.
        uint32_t c[kThinColumns] = {};
        for (int64_t k = 0; k < n; ++k) {
            c[k] = map.columns[static_cast<std::size_t>(k)];
        }
        const int64_t low = std::min<int64_t>(n, 8);
        for (int64_t j = j0; j < j1; ++j, advance()) {
            const int64_t y = ys + quotient;
            if (y < 0) {
                continue;
            }
            if (y >= height) {
                break;
            }
            const uint32_t* s = src + y * width;
            uint32_t* d = target->Pixels() + (yd + j) * targetWidth + xd + first;
            CopyFew(d, s, c, low);
            if (n > 8) {
                CopyFew(d + 8, s, c + 8, n - 8);
            }
        }
        return 1;
    }
    for (int64_t j = j0; j < j1; ++j, advance()) {
        const int64_t y = ys + quotient;
        if (y < 0) {
            continue;
        }
        if (y >= height) {
            break;
        }
        const uint32_t* s = src + y * width;
        uint32_t* d = target->Pixels() + (yd + j) * targetWidth + xd + first;
        // The start of the next row's source, asked for while this row is drawn.
        const int64_t nextY = ys + quotient + quotientStep + (remainder + remainderStep >= divisor ? 1 : 0);
        if (nextY != y && nextY >= 0 && nextY < height) {
            const int64_t x = map.columns.front();
            const uint32_t* next = src + nextY * width + x;
            for (int64_t k = 0; k < std::min<int64_t>({n, width - x, 128}); k += 16) {
                __builtin_prefetch(next + k);
            }
        }
        if (plain) {
            // A source row drawn again is the destination row just drawn.
            if (s == previousSource) {
                std::memcpy(d, previousRow, static_cast<std::size_t>(n) * sizeof(uint32_t));
            } else {
                map.Draw(d, s, width);
            }
            previousSource = s;
            previousRow = d;
        } else {
            if (s != previousSource) {
                map.Draw(row.data(), s, width);
            }
            previousSource = s;
            ApplyRow(d, row.data(), n, pixelOp);
        }
    }
    return 1;
}

int32_t SoftwareSurface::StretchAll(HostSurface* dest, int32_t xd, int32_t yd, int32_t wd, int32_t hd, int32_t mode,
                                    int32_t op, HostParam param, int32_t flags) {
    return StretchRect(dest, xd, yd, wd, hd, 0, 0, width, height, mode, op, param, flags);
}

HostPalette* SoftwareSurface::PaletteOf(int32_t /*which*/) { return depth == 8 ? &palette : nullptr; }

int32_t SoftwareSurface::PrototypeFor(HostPrototype* out, int32_t newDepth, int32_t surfaceType, int32_t newDriver) {
    if (out == nullptr) {
        return 0;
    }
    *out = HostPrototype{};
    out->words[0] = static_cast<uint32_t>(newDepth);
    out->words[1] = static_cast<uint32_t>(surfaceType);
    out->words[2] = static_cast<uint32_t>(newDriver);
    return 1;
}

int32_t SoftwareSurface::Allocate(int32_t w, int32_t h, const HostPrototype* prototype) {
    if (w < 0 || h < 0 || int64_t{w} * h > kMaxPixels) {
        return 0;
    }
    try {
        PixelBuffer fresh(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0u);
        Adopt(fresh);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    width = w;
    height = h;
    if (prototype != nullptr) {
        depth = static_cast<int32_t>(prototype->words[0]);
        driver = static_cast<int32_t>(prototype->words[2]);
    }
    return 1;
}

int32_t SoftwareSurface::SetKeyColour(uint32_t colour) {
    keyColour = colour;
    return 1;
}

int32_t SoftwareSurface::AssignPalette(HostPalette* newPalette) {
    if (newPalette == nullptr) {
        return 0;
    }
    palette = *newPalette;
    return 1;
}

int32_t SoftwareSurface::BeginDraw(int32_t /*reserved1*/, int32_t /*reserved2*/) {
    ++openDraws;
    return 1;
}

int32_t SoftwareSurface::EndDraw() {
    if (openDraws == 0) {
        return 0;
    }
    --openDraws;
    return 1;
}

HostSurface* SoftwareSurface::NewSurface() { return new (std::nothrow) SoftwareSurface(); }

void SoftwareSurface::Destroy() { delete this; }

} // namespace wqtrans
