// Every transition's pictures on the reference surface, frame by frame: a whole run of
// each of the 21 (and Mosaic with one cell per pixel) at an odd and an even size, every
// step's destination hashed into one value per run. The values were recorded from the
// plain per-pixel stretches and copies; the surface's fast paths must draw the same
// pictures, so any change to a value here is a changed picture.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "module/Registry.h"
#include "platform/Platform.h"
#include "support/Runs.h"
#include "support/TestClock.h"
#include "transitions/MosaicTransition.h"

namespace wqtrans {
namespace {

// FNV-1a over the bytes of every pixel, continued from `hash`.
uint64_t HashPixels(uint64_t hash, SoftwareSurface& surface) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(surface.Pixels());
    const std::size_t count = static_cast<std::size_t>(surface.Width()) * surface.Height() * sizeof(uint32_t);
    for (std::size_t i = 0; i < count; ++i) {
        hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    }
    return hash;
}

// A 1000 ms run stepped at 60 frames a second, with the generator seeded first.
uint64_t RunHash(Transition& transition, int32_t width, int32_t height) {
    test::TestClock clock(0);
    test::PixelRig rig(width, height);
    crt::srand(1);
    transition.Begin(1000);
    uint64_t hash = 0xCBF29CE484222325ull;
    for (uint32_t frame = 0;; ++frame) {
        const uint32_t t = std::min<uint32_t>(frame * 1000 / 60, 1000);
        clock.Set(t);
        EXPECT_EQ(transition.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1) << "at " << t << " ms";
        hash = HashPixels(hash, rig.dest);
        if (t == 1000) {
            break;
        }
    }
    transition.End();
    return hash;
}

struct Expected {
    uint64_t odd;  // 97 x 61
    uint64_t even; // 160 x 90
};

// Index order of the registry; the last row is Mosaic with a spot width of 0.
constexpr Expected kExpected[kTransitionCount + 1] = {
    {0x8D3F3AF04CCBE408ull, 0x3B7B2EBD5D1090A5ull}, {0x6690BE2344A1D155ull, 0xDD90BFF61F1D8965ull},
    {0x4547CC3D297CC041ull, 0xE09580E7CFBF5545ull}, {0x2320BAB76386BC20ull, 0x6D8B51A401E1514Dull},
    {0xBC554B529F6F4F0Bull, 0x55497E5BEE167535ull}, {0x66FE5CA72FFED314ull, 0x313FEDF7CFFBCC2Dull},
    {0x1A57CB67090BDBF4ull, 0xCEA3E1D88CE8F684ull}, {0x4BCFB6D064436039ull, 0x7F98B8E564182E24ull},
    {0x2038D55C623671B4ull, 0x9C9315FC1368210Dull}, {0xAE2A9C38806494C1ull, 0xD1B7C907F7F7D3C5ull},
    {0xD80EE055E3E5FE11ull, 0xFCA04237C3D8A3B5ull}, {0x77323E40944E0E04ull, 0x90DC4A165D32B7A5ull},
    {0x02A1C818A2DD497Cull, 0xF9299A2EF6EC04F5ull}, {0x4B5F7F358C63D031ull, 0x5B4E85ACB3797F09ull},
    {0x5C9C0682CBE483FDull, 0x015CC87E9B22AB3Full}, {0x23E81A10C1E3EDB2ull, 0x710491BB58A0FE4Dull},
    {0x87A49BFB01FBC5C9ull, 0xB90932A634616F0Dull}, {0x13B9F901EDFD48EDull, 0x61563434D1878A25ull},
    {0x8F68B264C144A688ull, 0xEB2AB19E0ED4F478ull}, {0xDD31B86CD5ED4EC5ull, 0xF710355421260655ull},
    {0x0B88B93D94CE7077ull, 0x54A3534BBA087CDDull}, {0x844A128FDB900FB0ull, 0xCF5830E77AE4D5EDull},
};

TEST(TransitionPictures, EveryRunDrawsTheRecordedFrames) {
    std::string table;
    for (int32_t index = 0; index <= kTransitionCount; ++index) {
        const bool oneCellPerPixel = index == kTransitionCount;
        std::unique_ptr<Transition> transition(RegistryTable()[oneCellPerPixel ? 3 : index].make());
        ASSERT_NE(transition, nullptr);
        if (oneCellPerPixel) {
            static_cast<MosaicTransition&>(*transition).spotWidth = 0;
        }
        SCOPED_TRACE("transition " + std::to_string(index));
        const uint64_t odd = RunHash(*transition, 97, 61);
        const uint64_t even = RunHash(*transition, 160, 90);
        EXPECT_EQ(odd, kExpected[index].odd);
        EXPECT_EQ(even, kExpected[index].even);
        char row[80];
        std::snprintf(row, sizeof row, "    {0x%016" PRIX64 "ull, 0x%016" PRIX64 "ull},\n", odd, even);
        table += row;
    }
    if (HasFailure()) {
        std::printf("The hashes of this build:\n%s", table.c_str());
    }
}

} // namespace
} // namespace wqtrans
