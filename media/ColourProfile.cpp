#include "media/ColourProfile.h"

#include <lcms2.h>

#include <cmath>
#include <memory>
#include <type_traits>

namespace wqtrans::media {

namespace {

template <auto Free> struct Freer {
    template <typename T> void operator()(T* p) const { Free(p); }
};
using Profile = std::unique_ptr<std::remove_pointer_t<cmsHPROFILE>, Freer<cmsCloseProfile>>;
using Transform = std::unique_ptr<std::remove_pointer_t<cmsHTRANSFORM>, Freer<cmsDeleteTransform>>;
using Curve = std::unique_ptr<cmsToneCurve, Freer<cmsFreeToneCurve>>;

// Little CMS reports a refused profile through its return values; its log would only
// repeat that on stderr.
void Quiet(cmsContext, cmsUInt32Number, const char*) {}

struct Primaries {
    cmsCIExyY red, green, blue, white;
};

// The chromaticities of the H.273 colour primaries a picture may name; false, with
// sRGB's own (BT.709), for those and for unknown ones.
bool PrimariesOf(int code, Primaries& out) {
    const cmsCIExyY d65{0.3127, 0.3290, 1};
    out = {{0.640, 0.330, 1}, {0.300, 0.600, 1}, {0.150, 0.060, 1}, d65};
    switch (code) {
    case 9: // BT.2020, BT.2100
        out = {{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}, d65};
        return true;
    case 11: // DCI-P3
        out = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}, {0.314, 0.351, 1}};
        return true;
    case 12: // Display P3
        out = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}, d65};
        return true;
    case 5: // BT.601 625 lines
        out = {{0.640, 0.330, 1}, {0.290, 0.600, 1}, {0.150, 0.060, 1}, d65};
        return true;
    case 6: // BT.601 525 lines
    case 7:
        out = {{0.630, 0.340, 1}, {0.310, 0.595, 1}, {0.155, 0.070, 1}, d65};
        return true;
    default:
        return false;
    }
}

// The tone curve of an H.273 transfer characteristic that Little CMS can model; sRGB's
// for the rest (BT.709's own curve is the camera's, and pictures are shown as sRGB).
Curve TransferOf(int code) {
    switch (code) {
    case 8: // linear
        return Curve(cmsBuildGamma(nullptr, 1.0));
    case 4: // gamma 2.2
        return Curve(cmsBuildGamma(nullptr, 2.2));
    case 5: // gamma 2.8
        return Curve(cmsBuildGamma(nullptr, 2.8));
    default: {
        const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return Curve(cmsBuildParametricToneCurve(nullptr, 4, srgb));
    }
    }
}

} // namespace

std::string ConvertToSrgb(SoftwareSurface& picture, const ColourSpace& space) {
    cmsSetLogErrorHandler(Quiet);
    Profile from;
    if (!space.icc.empty()) {
        from.reset(cmsOpenProfileFromMem(space.icc.data(), static_cast<cmsUInt32Number>(space.icc.size())));
        if (!from) {
            return "its colour profile cannot be read; its colours are taken as sRGB";
        }
    } else {
        Primaries primaries;
        const bool wide = PrimariesOf(space.primaries, primaries);
        const bool curved = space.transfer == 4 || space.transfer == 5 || space.transfer == 8;
        if (space.transfer == 16 || space.transfer == 18) {
            return "it is an HDR picture (PQ or HLG), shown without tone mapping";
        }
        if (!wide && !curved) {
            return ""; // sRGB, BT.709 or unknown: sRGB as it is
        }
        Curve curve = TransferOf(space.transfer);
        if (!curve) {
            throw std::bad_alloc();
        }
        cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
        cmsCIExyYTRIPLE triple{primaries.red, primaries.green, primaries.blue};
        from.reset(cmsCreateRGBProfile(&primaries.white, &triple, curves));
        if (!from) {
            throw std::bad_alloc();
        }
    }
    const cmsColorSpaceSignature kind = cmsGetColorSpace(from.get());
    if (kind != cmsSigRgbData && kind != cmsSigGrayData) {
        return "its colour profile is not for RGB or grey pictures; its colours are taken as sRGB";
    }
    Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) {
        throw std::bad_alloc();
    }
    // Grey pictures come decoded as RGB with three equal channels: the blue byte of each
    // pixel is its grey, and the others are skipped as extra channels.
    const cmsUInt32Number input =
        kind == cmsSigGrayData ? (COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3)) : TYPE_BGRA_8;
    const cmsUInt32Number output = kind == cmsSigGrayData ? TYPE_BGR_8 : TYPE_BGRA_8;
    const cmsUInt32Number flags = kind == cmsSigGrayData ? 0 : cmsFLAGS_COPY_ALPHA;
    Transform transform(
        cmsCreateTransform(from.get(), input, srgb.get(), output, INTENT_PERCEPTUAL, flags | cmsFLAGS_NOCACHE));
    if (!transform) {
        return "its colour profile cannot be used; its colours are taken as sRGB";
    }
    const int32_t width = picture.Width();
    std::vector<uint8_t> row;
    for (int32_t y = 0; y < picture.Height(); ++y) {
        uint32_t* pixels = picture.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(width);
        if (kind == cmsSigGrayData) {
            row.resize(static_cast<size_t>(width) * 3);
            cmsDoTransform(transform.get(), pixels, row.data(), static_cast<cmsUInt32Number>(width));
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = &row[static_cast<size_t>(x) * 3];
                pixels[x] = (pixels[x] & 0xFF000000u) | static_cast<uint32_t>(p[2]) << 16 |
                            static_cast<uint32_t>(p[1]) << 8 | p[0];
            }
        } else {
            cmsDoTransform(transform.get(), pixels, pixels, static_cast<cmsUInt32Number>(width));
        }
    }
    return "";
}

} // namespace wqtrans::media
