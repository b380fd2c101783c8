// Surfaces over 3-byte pixels draw the bytes that words draw: every drawing call's case
// and op, with either or both surfaces of 3-byte pixels, and the frame at any moment of
// every transition with all three pictures, or some of them, of 3-byte pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "host/PixelFormat.h"
#include "host/PixelRows.h"
#include "host/SoftwareSurface.h"
#include "module/Registry.h"

namespace wqtrans {
namespace {

// A picture of random opaque words and the same picture as 3-byte pixels.
struct Picture {
    SoftwareSurface words;
    std::vector<uint8_t> bytes;

    Picture(int32_t width, int32_t height, uint32_t seed) : words(width, height) {
        std::mt19937 rng(seed);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                words.SetPixel(x, y, 0xFF000000u | (static_cast<uint32_t>(rng()) & 0xFFFFFFu));
            }
        }
        bytes.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
        TriplesFromWords(words.Pixels(), bytes.data(), bytes.size() / 3);
    }
    // The picture as words or as a view over its 3-byte pixels.
    SoftwareSurface As(bool triples) {
        return triples ? SoftwareSurface::OverTriples(words.Width(), words.Height(), bytes.data()) : words;
    }
};

// "" when the two surfaces hold the same colours; else the first pixel that differs.
std::string FirstDifference(SoftwareSurface& got, SoftwareSurface& want) {
    for (int32_t y = 0; y < want.Height(); ++y) {
        for (int32_t x = 0; x < want.Width(); ++x) {
            if ((got.Pixel(x, y) ^ want.Pixel(x, y)) & 0xFFFFFFu) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        }
    }
    return "";
}

struct Call {
    const char* name;
    int32_t srcW, srcH, dstW, dstH;
    int32_t xd, yd, wd, hd, xs, ys, ws, hs;
    bool sameSurface;
};

// Unscaled calls are block copies; the rest stretch, growing and shrinking, cut by the
// edges; within one surface rows are walked up or down.
const Call kCalls[] = {
    {"unscaled, cut on every side", 53, 31, 41, 29, -7, -3, 60, 40, -2, -1, 60, 40, false},
    {"unscaled within one surface, down", 53, 31, 53, 31, 4, 3, 40, 20, 1, 1, 40, 20, true},
    {"unscaled within one surface, up", 53, 31, 53, 31, 1, 1, 40, 20, 4, 3, 40, 20, true},
    {"shrunk to 0.3", 150, 50, 150, 50, 0, 0, 45, 15, 0, 0, 150, 50, false},
    {"shrunk to 2/3 from inside", 150, 50, 150, 50, 3, 2, 100, 33, 2, 1, 147, 48, false},
    {"grown 1.5 times from the far corner", 45, 30, 90, 60, 1, 1, 63, 42, 3, 2, 42, 28, false},
    {"grown past every edge", 30, 20, 50, 40, -13, -5, 81, 62, -2, -1, 30, 20, false},
    {"grown within one surface", 48, 24, 48, 24, 2, 2, 40, 20, 10, 5, 20, 10, true},
    {"a thin strip", 150, 60, 20, 60, 2, 1, 6, 50, 0, 0, 150, 60, false},
};

struct Op {
    const char* name;
    int32_t mode, op;
    HostParam param;
};

const Op kOps[] = {{"copy", 0, 0, 0},
                   {"keyed copy", 1, 0, 0},
                   {"blend", 0, 1, 37},
                   {"keyed blend", 1, 1, 90},
                   {"tint", 0, 0x1000, 0x9060C0F0}};

TEST(Triples, DrawingCallsGiveTheBytesOfWords) {
    // Which of source and destination are 3-byte pixels.
    const std::pair<bool, bool> kLayouts[] = {{true, true}, {true, false}, {false, true}};
    for (const Call& c : kCalls) {
        for (const Op& op : kOps) {
            for (const auto& [srcTriples, dstTriples] : kLayouts) {
                if (c.sameSurface && srcTriples != dstTriples) {
                    continue;
                }
                SCOPED_TRACE(std::string(c.name) + ", " + op.name + (srcTriples ? ", from bytes" : ", from words") +
                             (dstTriples ? " to bytes" : " to words"));
                Picture source(c.srcW, c.srcH, 1);
                Picture dest(c.dstW, c.dstH, 2);
                auto draw = [&](SoftwareSurface& from, SoftwareSurface& to) {
                    from.SetKeyColour(source.words.Pixel(2, 1));
                    SoftwareSurface& target = c.sameSurface ? from : to;
                    EXPECT_EQ(from.StretchRect(&target, c.xd, c.yd, c.wd, c.hd, c.xs, c.ys, c.ws, c.hs, op.mode, op.op,
                                               op.param, 0),
                              1);
                };
                SoftwareSurface wantFrom = source.words;
                SoftwareSurface wantTo = dest.words;
                draw(wantFrom, wantTo);
                SoftwareSurface from = source.As(srcTriples);
                SoftwareSurface to = dest.As(dstTriples);
                draw(from, to);
                EXPECT_EQ(FirstDifference(c.sameSurface ? from : to, c.sameSurface ? wantFrom : wantTo), "");
            }
        }
    }
}

// The stretch's gather of 3-byte pixels over random growing columns, repeated ones
// too: every column picked, nothing written past the row, nothing read past the
// readable bytes (the row is the last of its memory, so ASan sees a read past it).
TEST(Triples, GatherPicksTheColumnsWithinTheRow) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 3000; ++trial) {
        const auto width = static_cast<int64_t>(1 + rng() % 60);
        const auto n = static_cast<int64_t>(1 + rng() % 50);
        std::vector<uint32_t> columns(static_cast<std::size_t>(n));
        int64_t column = rng() % 3;
        for (uint32_t& c : columns) {
            c = static_cast<uint32_t>(std::min(column, width - 1));
            column += rng() % (trial % 2 == 0 ? 3 : 8); // growths and shrinks
        }
        std::vector<uint8_t> row(static_cast<std::size_t>(3 * width));
        for (uint8_t& byte : row) {
            byte = static_cast<uint8_t>(rng());
        }
        std::vector<uint8_t> out(static_cast<std::size_t>(3 * n + 8), 0xEE);
        pixels::TripleGather(columns.data(), n).Row(out.data(), row.data(), 3 * width);
        for (int64_t i = 0; i < static_cast<int64_t>(out.size()); ++i) {
            const uint8_t want = i < 3 * n ? row[3 * columns[static_cast<std::size_t>(i / 3)] + i % 3] : 0xEE;
            ASSERT_EQ(out[static_cast<std::size_t>(i)], want) << "trial " << trial << " byte " << i;
        }
    }
}

TEST(Triples, EveryTransitionAtAnyMomentGivesTheBytesOfWords) {
    // Which of old, new and out are 3-byte pixels: all, or a mix, as a host may pass.
    struct Layout {
        bool old, next, out;
    };
    const Layout kLayouts[] = {{true, true, true}, {true, false, true}, {false, true, false}};
    const std::pair<int32_t, int32_t> kSizes[] = {{37, 23}, {64, 36}};
    for (const RegistryRow& row : RegistryTable()) {
        for (const auto& [w, h] : kSizes) {
            for (const uint32_t at : {0u, 90u, 333u, 500u, 999u}) {
                for (const Layout& layout : kLayouts) {
                    SCOPED_TRACE(std::string(reinterpret_cast<const char*>(&row.id), 4) + " " + std::to_string(w) +
                                 "x" + std::to_string(h) + " at " + std::to_string(at) + ", layout " +
                                 std::to_string(layout.old) + std::to_string(layout.next) + std::to_string(layout.out));
                    FrameRequest request;
                    request.id = row.id;
                    request.seed = 7;
                    request.elapsedMs = at;
                    request.reverse = at == 500;
                    Picture old(w, h, 3), next(w, h, 4), out(w, h, 5);
                    SoftwareSurface want(w, h);
                    ASSERT_TRUE(RenderFrameAt(request, old.words, next.words, want));
                    SoftwareSurface oldSurface = old.As(layout.old);
                    SoftwareSurface newSurface = next.As(layout.next);
                    SoftwareSurface got = out.As(layout.out);
                    ASSERT_TRUE(RenderFrameAt(request, oldSurface, newSurface, got));
                    EXPECT_EQ(FirstDifference(got, want), "");
                }
            }
        }
    }
}

} // namespace
} // namespace wqtrans
