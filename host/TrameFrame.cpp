#include "host/TrameFrame.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace wqtrans {

namespace {

// The pixels one sweep reveals: columns xFrom, xFrom + xStep, ... below xTo of the rows
// yFrom, yFrom + yStep, ... below yTo. Bounds are 64-bit so that a sweep that starts
// "below 0" (a huge unsigned start) is simply empty.
struct Lattice {
    uint64_t xFrom = 0, xTo = 0, xStep = 1;
    uint64_t yFrom = 0, yTo = 0, yStep = 1;
    bool HasRow(uint64_t y) const { return y >= yFrom && y < yTo && (y - yFrom) % yStep == 0; }
};

// The sweeps of one step of a fresh run (no rows or columns done yet) with R rows and K
// columns due, clipped to the W x H frame as the surface clips the copies. The step
// goes column by column and row by row; only the set of pixels matters here.
std::vector<Lattice> Sweeps(int32_t pattern, uint64_t W, uint64_t H, uint32_t R, uint32_t K) {
    // Where the upward and leftward sweeps start, in 32-bit unsigned arithmetic as the
    // step works them out: past the frame when they would start above or left of it.
    const uint32_t upFrom = static_cast<uint32_t>(H) - R - R % 2;
    const uint32_t leftFrom = static_cast<uint32_t>(W) - K - K % 2;
    const uint64_t rightTo = std::min<uint64_t>(uint64_t{K} + 1, W);
    switch (pattern) {
    case 0: // down the even columns, up the odd ones
        return {{0, W, 2, 0, std::min<uint64_t>(R, H), 1}, {1, W, 2, upFrom, H, 1}};
    case 1: // from the left on odd columns, from the right on the columns of W's parity
        return {{1, rightTo, 2, 0, H, 1}, {leftFrom, W, 2, 0, H, 1}};
    case 2: // the same four ways on every other row and column
        return {{0, W, 2, 0, std::min<uint64_t>(R, H), 2},
                {1, W, 2, uint64_t{upFrom} + 1, H, 2},
                {1, rightTo, 2, 0, H, 2},
                {leftFrom, W, 2, 1, H, 2}};
    default:
        return {};
    }
}

// dst = the old row with the new row's bytes where mask is all ones; a loop the
// compiler vectorises.
void SelectRow(const uint8_t* oldRow, const uint8_t* newRow, const uint8_t* mask, uint8_t* dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = static_cast<uint8_t>(oldRow[i] ^ ((oldRow[i] ^ newRow[i]) & mask[i]));
    }
}

void CopyRow(const uint8_t* from, uint8_t* to, std::size_t n) {
    if (from != to) {
        std::memcpy(to, from, n);
    }
}

} // namespace

bool DrawTrameAt(const std::vector<uint8_t>& block, uint32_t e, uint32_t d, SoftwareSurface& oldFrame,
                 SoftwareSurface& newFrame, SoftwareSurface& out) {
    const int32_t width = newFrame.Width();
    const int32_t height = newFrame.Height();
    // The rows are drawn as bytes, so words and 3-byte pixels alike, but all three
    // pictures in one layout.
    const int32_t pixelBytes = out.BytesPerPixel();
    if (width <= 0 || height <= 0 || !out.IsReady() || d == 0 || e > d || oldFrame.BytesPerPixel() != pixelBytes ||
        newFrame.BytesPerPixel() != pixelBytes) {
        return false;
    }
    int32_t pattern = 2;
    if (block.size() >= 4) {
        std::memcpy(&pattern, block.data(), sizeof pattern);
    }
    const auto W = static_cast<uint64_t>(width);
    const auto H = static_cast<uint64_t>(height);
    // A pattern the step does not know draws nothing; at the end of a run a frame of odd
    // size is shown whole.
    if (pattern < 0 || pattern > 2) {
        oldFrame.CopyAll(&out);
        return true;
    }
    if (e >= d && ((W | H) & 1) != 0) {
        newFrame.CopyAll(&out);
        return true;
    }
    const auto R = static_cast<uint32_t>(H * e / d);
    const auto K = static_cast<uint32_t>(W * e / d);
    const std::vector<Lattice> sweeps = Sweeps(pattern, W, H, R, K);

    // The columns of each kind of row (the set of sweeps that reach it), made when first
    // needed; whether they are none or all of the row.
    enum class Kind : uint8_t { Unmade, Old, New, Mixed };
    std::array<Kind, 16> kinds{};
    std::array<std::vector<uint8_t>, 16> masks;
    auto kindOf = [&](unsigned key) {
        if (kinds[key] != Kind::Unmade) {
            return kinds[key];
        }
        std::vector<uint8_t> mask(static_cast<std::size_t>(W) * pixelBytes, 0);
        std::size_t count = 0;
        for (std::size_t i = 0; i < sweeps.size(); ++i) {
            if ((key >> i & 1) == 0) {
                continue;
            }
            const Lattice& sweep = sweeps[i];
            for (uint64_t x = sweep.xFrom; x < sweep.xTo; x += sweep.xStep) {
                uint8_t* bytes = mask.data() + x * pixelBytes;
                count += bytes[0] == 0 ? 1 : 0;
                std::memset(bytes, 0xFF, static_cast<std::size_t>(pixelBytes));
            }
        }
        kinds[key] = count == 0 ? Kind::Old : count == W ? Kind::New : Kind::Mixed;
        masks[key] = std::move(mask);
        return kinds[key];
    };

    const uint8_t* oldPixels = oldFrame.Bytes();
    const uint8_t* newPixels = newFrame.Bytes();
    uint8_t* outPixels = out.Bytes();
    const auto n = static_cast<std::size_t>(W) * static_cast<std::size_t>(pixelBytes);
    for (uint64_t y = 0; y < H; ++y) {
        unsigned key = 0;
        for (std::size_t i = 0; i < sweeps.size(); ++i) {
            key |= sweeps[i].HasRow(y) ? 1u << i : 0u;
        }
        const std::size_t offset = static_cast<std::size_t>(y) * n;
        switch (kindOf(key)) {
        case Kind::New:
            CopyRow(newPixels + offset, outPixels + offset, n);
            break;
        case Kind::Mixed:
            SelectRow(oldPixels + offset, newPixels + offset, masks[key].data(), outPixels + offset, n);
            break;
        default:
            CopyRow(oldPixels + offset, outPixels + offset, n);
            break;
        }
    }
    return true;
}

} // namespace wqtrans
