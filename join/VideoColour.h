// Frames in HDR (HLG, PQ) or in a gamut wider than BT.709 brought to the SDR BT.709
// pictures the join works in: linearised, tone mapped with highlights rolled off,
// gamut mapped with their hue kept, and encoded as SDR players show BT.709.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFrame;

namespace wqtrans::join {

// How a decoded frame's colour must be treated to reach the output's SDR BT.709.
enum class ColourKind {
    Bt709,     // SDR in BT.709 or BT.601 primaries: the plain conversion suffices
    WideGamut, // SDR in BT.2020, Display P3 (SMPTE 432), DCI-P3 (SMPTE 431), XYZ, film
    Hlg,       // ARIB STD-B67
    Pq,        // SMPTE ST 2084
};

// From the frame's primaries, transfer and matrix tags; tags that are unspecified,
// reserved or nonsense (out-of-range enum values) are taken as the sound default
// (BT.709 SDR). ARIB STD-B67 is Hlg and SMPTE ST 2084 is Pq whatever the primaries say.
ColourKind ClassifyColour(const AVFrame* frame);

// "HLG", "PQ", "BT.2020", "Display P3", ... for the one-line note the join prints.
std::string ColourName(const AVFrame* frame);

// The peak luminance in cd/m² that a PQ frame's highlights are rolled off from: its
// content light level or mastering display's peak when present and sane, else 1000.
double PqPeak(const AVFrame* frame);

class VideoColour {
public:
    VideoColour();
    ~VideoColour();
    VideoColour(VideoColour&&) noexcept;
    VideoColour& operator=(VideoColour&&) noexcept;

    // Converts one decoded frame whose ClassifyColour is not Bt709 (those convert too)
    // into 8-bit 0xAARRGGBB words (alpha 0xFF), sRGB/BT.709 primaries, SDR, of the
    // frame's width and height, rows `stride` words apart. Frames are planar YUV of 8 to
    // 16 bits in 4:2:0, 4:2:2 or 4:4:4, their chroma planar or interleaved as in p010le
    // and interpolated from where it is sited, or planar RGB as gbrp10le; limited or
    // full range; their matrix honoured. HLG goes through BT.2100's EOTF at a
    // 1000 cd/m² display, its OOTF taken on each component as SDR takes its gamma, PQ
    // as mastered up to PqPeak; HDR reference white
    // (203 cd/m²) lands at about 95% of SDR white's light and the highlights above it
    // roll off to white at the peak; colours outside BT.709 are desaturated towards
    // their luminance, keeping their hue. The tables a set of tags needs are built on
    // the first frame that has them and kept. Throws std::runtime_error with a one-line
    // reason for a pixel format it cannot take.
    void Convert(const AVFrame* frame, uint32_t* out, size_t stride);

    // The same conversion in double precision, without the tables' approximations, of
    // one pixel of a frame of these tags and format: its three sample values in the
    // format's order of components (Y, Cb, Cr or R, G, B). What Convert is measured
    // against.
    static uint32_t ConvertExactly(const AVFrame* frame, double s0, double s1, double s2);

    // The widest vectors the conversion may use: 4 for AVX-512, 3 for AVX2 with FMA, 1
    // for the SSE2 every x86-64 has; the processor's best by default, and never more.
    void LimitInstructions(int isaLevel) { level = isaLevel; }

private:
    struct Plan;
    const Plan& PlanFor(const AVFrame* frame);

    std::vector<std::unique_ptr<Plan>> plans; // the most recently used first
    std::vector<float> rows;                  // rows of the components as floats, while converting
    int level = 4;
};

} // namespace wqtrans::join
