#include "join/VideoColour.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace wqtrans::join {

namespace {

// What the vector code's clones call, compiled into each of them.
#define WQ_INLINE [[gnu::always_inline]] inline

// ---------------------------------------------------------------------------------------
// Tags

// A tag as the number stored, so that a nonsense value is never read as an enum.
template <typename Enum> int Tag(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

struct Xy {
    double x, y;
};

struct Gamut {
    Xy red, green, blue, white;
    const char* name;
    bool wide; // beyond what the plain BT.709 conversion may show as it is
};

constexpr Xy kD65{0.3127, 0.3290};
constexpr Gamut kBt709{{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}, kD65, "BT.709", false};

// The primaries a tag names; unspecified, reserved and unknown tags are BT.709's.
const Gamut& GamutOf(int tag) {
    static const Gamut pal{{0.640, 0.330}, {0.290, 0.600}, {0.150, 0.060}, kD65, "BT.601", false};
    static const Gamut ntsc{{0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, kD65, "BT.601", false};
    static const Gamut bt2020{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, kD65, "BT.2020", true};
    static const Gamut displayP3{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, kD65, "Display P3", true};
    static const Gamut dciP3{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.314, 0.351}, "DCI-P3", true};
    static const Gamut film{{0.681, 0.319}, {0.243, 0.692}, {0.145, 0.049}, {0.310, 0.316}, "film", true};
    static const Gamut xyz{{1, 0}, {0, 1}, {0, 0}, {1 / 3.0, 1 / 3.0}, "XYZ", true};
    switch (tag) {
    case AVCOL_PRI_BT470BG:
    case AVCOL_PRI_EBU3213:
        return pal;
    case AVCOL_PRI_BT470M:
    case AVCOL_PRI_SMPTE170M:
    case AVCOL_PRI_SMPTE240M:
        return ntsc;
    case AVCOL_PRI_BT2020:
        return bt2020;
    case AVCOL_PRI_SMPTE432:
        return displayP3;
    case AVCOL_PRI_SMPTE431:
        return dciP3;
    case AVCOL_PRI_FILM:
        return film;
    case AVCOL_PRI_SMPTE428:
        return xyz;
    default:
        return kBt709;
    }
}

// How a signal becomes light. Every SDR curve not named here, the unspecified and the
// unknown ones included, is shown as BT.709 displays show it: BT.1886's gamma 2.4.
enum class Curve { Bt1886, Srgb, Gamma22, Gamma28, Dci, Linear, Hlg, Pq };

Curve CurveOf(int tag) {
    switch (tag) {
    case AVCOL_TRC_ARIB_STD_B67:
        return Curve::Hlg;
    case AVCOL_TRC_SMPTE2084:
        return Curve::Pq;
    case AVCOL_TRC_IEC61966_2_1:
        return Curve::Srgb;
    case AVCOL_TRC_GAMMA22:
        return Curve::Gamma22;
    case AVCOL_TRC_GAMMA28:
        return Curve::Gamma28;
    case AVCOL_TRC_SMPTE428:
        return Curve::Dci;
    case AVCOL_TRC_LINEAR:
        return Curve::Linear;
    default:
        return Curve::Bt1886;
    }
}

// ---------------------------------------------------------------------------------------
// The conversion in double precision

constexpr double kReferenceWhite = 203; // cd/m², HDR reference white (BT.2408), SDR's white here
constexpr double kHlgPeak = 1000;       // cd/m², the nominal display of HLG's OOTF
constexpr double kHlgGamma = 1.2;       // the system gamma at that display
constexpr double kPqDefaultPeak = 1000; // cd/m², when a PQ frame says nothing sane
constexpr double kKnee = 0.9;           // the tone curve is the identity up to 90% of SDR white
constexpr double kSdrGamma = 2.4;       // BT.1886
constexpr int kOctaves = 32;            // of the power curves' tables: 2^-32 to 1
constexpr double kOctaveFloor = 1.0 / (uint64_t{1} << kOctaves);

double HlgInverseOetf(double e) {
    constexpr double a = 0.17883277, b = 1 - 4 * a, c = 0.55991072952956202016;
    return e <= 0.5 ? e * e / 3 : (std::exp((e - c) / a) + b) / 12;
}

double PqEotf(double e) { // cd/m²
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32,
                     c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(std::clamp(e, 0.0, 1.0), 1 / m2);
    return 10000 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

double PqInverseEotf(double nits) {
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128, c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32,
                     c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(std::clamp(nits / 10000, 0.0, 1.0), m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                m[i][j] += a[i][k] * b[k][j];
            }
        }
    }
    return m;
}

Matrix Inverse(const Matrix& m) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix inverse{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            inverse[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
        }
    }
    return inverse;
}

std::array<double, 3> Xyz(Xy c) { return {c.x / c.y, 1, (1 - c.x - c.y) / c.y}; }

// Linear RGB in a gamut to CIE XYZ, its white at Y = 1.
Matrix ToXyz(const Gamut& g) {
    const std::array<double, 3> r = Xyz(g.red), gr = Xyz(g.green), b = Xyz(g.blue), w = Xyz(g.white);
    const Matrix primaries{{{r[0], gr[0], b[0]}, {r[1], gr[1], b[1]}, {r[2], gr[2], b[2]}}};
    const Matrix inverse = Inverse(primaries);
    Matrix m{};
    for (int j = 0; j < 3; ++j) {
        const double s = inverse[j][0] * w[0] + inverse[j][1] * w[1] + inverse[j][2] * w[2];
        for (int i = 0; i < 3; ++i) {
            m[i][j] = primaries[i][j] * s;
        }
    }
    return m;
}

// XYZ under one white to XYZ under another, by Bradford's cone responses.
Matrix Adaptation(Xy from, Xy to) {
    const Matrix bradford{{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
    const std::array<double, 3> f = Xyz(from), t = Xyz(to);
    Matrix scale{};
    for (int i = 0; i < 3; ++i) {
        const double coneFrom = bradford[i][0] * f[0] + bradford[i][1] * f[1] + bradford[i][2] * f[2];
        const double coneTo = bradford[i][0] * t[0] + bradford[i][1] * t[1] + bradford[i][2] * t[2];
        scale[i][i] = coneTo / coneFrom;
    }
    return Multiply(Inverse(bradford), Multiply(scale, bradford));
}

// HDR (HLG, PQ): tone mapped; SDR: cut at white.
enum class Mode { Hdr, Sdr };

// What a set of tags asks of the conversion, in double precision: the exact conversion
// of a pixel, and what the tables of the fast one are fitted to.
struct Design {
    Mode mode = Mode::Sdr;
    Curve curve = Curve::Bt1886;
    double cap = 1;              // the highest signal taken (a PQ signal is cut at the peak)
    Matrix toBt709{};            // linear light, the source's gamut to BT.709's, white to D65
    double peak = 1;             // the brightest light, in SDR whites
    double knee = kKnee;         // the tone curve is the identity below, rolls off above
    double shoulder = 1 - kKnee; // the SDR light left above the knee
    double top = 1e30;           // U, the u of the peak (Tone)
    double bend = 0;             // shoulder / U^2

    Design(int primaries, int transfer, double pqPeak) {
        curve = CurveOf(transfer);
        mode = curve == Curve::Hlg || curve == Curve::Pq ? Mode::Hdr : Mode::Sdr;
        const Gamut& gamut = GamutOf(primaries);
        const Matrix toXyz = ToXyz(gamut);
        toBt709 = Multiply(Inverse(ToXyz(kBt709)), Multiply(Adaptation(gamut.white, kD65), toXyz));
        if (curve == Curve::Pq) {
            cap = PqInverseEotf(pqPeak);
            peak = PqEotf(cap) / kReferenceWhite;
        } else if (curve == Curve::Hlg) {
            peak = kHlgPeak / kReferenceWhite;
        }
        if (mode == Mode::Sdr || peak <= knee + 1e-3) {
            // Nothing to roll off: the light is cut at SDR white.
            shoulder = 1e-6;
            knee = 1 - shoulder;
        } else {
            top = (peak - knee) / shoulder;
            bend = shoulder / (top * top);
        }
    }

    // A signal in [0, cap] to display light in SDR whites. HLG's OOTF (system gamma 1.2
    // on its nominal 1000 cd/m² display) is taken on each component, as SDR's own chain
    // of camera and display takes its gamma, and as FFmpeg's zscale (zimg) makes and
    // reads HLG: an SDR picture made HLG that way comes back with its own saturation.
    double Decode(double e) const {
        switch (curve) {
        case Curve::Hlg:
            return kHlgPeak / kReferenceWhite * std::pow(HlgInverseOetf(e), kHlgGamma);
        case Curve::Pq:
            return PqEotf(e) / kReferenceWhite;
        case Curve::Srgb:
            return e <= 0.04045 ? e / 12.92 : std::pow((e + 0.055) / 1.055, 2.4);
        case Curve::Gamma22:
            return std::pow(e, 2.2);
        case Curve::Gamma28:
            return std::pow(e, 2.8);
        case Curve::Dci:
            return std::pow(e, 2.6) * 52.37 / 48;
        case Curve::Linear:
            return e;
        case Curve::Bt1886:
            break;
        }
        return std::pow(e, kSdrGamma);
    }

    // The tone curve on SDR whites: the identity to the knee, then a shoulder of slope 1
    // at the knee that flattens and reaches SDR white at the peak:
    // f = knee + shoulder * u (1 + u / U^2) / (1 + u), u = (x - knee) / shoulder, U that
    // of the peak. Past the peak it stays at white.
    double Tone(double x) const {
        if (x <= knee) {
            return x;
        }
        const double u = std::min((x - knee) / shoulder, top);
        return (knee + u * (knee + shoulder + u * bend)) / (1 + u);
    }

    // One pixel: signals R'G'B' in [0, cap] to SDR BT.709 linear light in [0, 1].
    std::array<double, 3> Light(std::array<double, 3> signal) const {
        std::array<double, 3> e{};
        for (int i = 0; i < 3; ++i) {
            e[i] = Decode(std::clamp(signal[i], 0.0, cap));
        }
        std::array<double, 3> c{};
        for (int i = 0; i < 3; ++i) {
            c[i] = toBt709[i][0] * e[0] + toBt709[i][1] * e[1] + toBt709[i][2] * e[2];
        }
        // Out of BT.709's gamut below: towards the grey of the same luminance, until the
        // lowest component is 0; the hue stays.
        const double y = std::max(0.0, 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]);
        const double low = std::min({c[0], c[1], c[2]});
        const double toward = std::min(1.0, y / std::max(y - low, 1e-30));
        for (double& v : c) {
            v = y + (v - y) * toward;
        }
        // Tone mapped on the largest component, all three scaled alike: the hue and
        // saturation stay, and no component passes white.
        const double largest = std::max({c[0], c[1], c[2]});
        const double scale = largest > 0 ? Tone(largest) / largest : 0;
        for (double& v : c) {
            v = std::clamp(v * scale, 0.0, 1.0);
        }
        return c;
    }
};

// ---------------------------------------------------------------------------------------
// Frames' layouts

// Where one component's samples lie.
struct Component {
    int plane = 0;
    int step = 1;   // bytes from one sample to the next
    int offset = 0; // bytes
    int bytes = 1;  // read as one little-endian word of 1, 2 or 4 bytes
    int shift = 0;
    uint32_t mask = 0xFF;
};

struct Layout {
    Component comp[3];
    int depth = 8;
    int chromaShiftX = 0, chromaShiftY = 0;
    bool rgb = false;
    bool fullRange = false;
};

Layout LayoutOf(const AVFrame* frame) {
    const int format = frame->format;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    if (desc == nullptr) {
        throw std::runtime_error("cannot convert the colours of a frame of unknown pixel format " +
                                 std::to_string(format));
    }
    const std::string why = std::string("cannot convert the colours of ") + desc->name + " pictures: ";
    // XYZ12 has no flag of its own: its components would pass as Y, Cb and Cr.
    if ((desc->flags & ~uint64_t{AV_PIX_FMT_FLAG_PLANAR | AV_PIX_FMT_FLAG_RGB}) != 0 || desc->nb_components != 3 ||
        format == AV_PIX_FMT_XYZ12LE) {
        throw std::runtime_error(why + "only planar or interleaved YUV and RGB, little-endian and without alpha, "
                                       "are taken");
    }
    Layout layout;
    layout.rgb = (desc->flags & AV_PIX_FMT_FLAG_RGB) != 0;
    layout.depth = desc->comp[0].depth;
    layout.chromaShiftX = desc->log2_chroma_w;
    layout.chromaShiftY = desc->log2_chroma_h;
    if (layout.depth < 8 || layout.depth > 16 || layout.chromaShiftX > 1 || layout.chromaShiftY > 1) {
        throw std::runtime_error(why + "only 8 to 16 bits and 4:2:0, 4:2:2 or 4:4:4 are taken");
    }
    for (int i = 0; i < 3; ++i) {
        const AVComponentDescriptor& c = desc->comp[i];
        const int bits = c.shift + c.depth;
        if (c.depth != layout.depth || bits > 32) {
            throw std::runtime_error(why + "its components differ in depth");
        }
        layout.comp[i] = {c.plane,  c.step,
                          c.offset, bits <= 8 ? 1 : bits <= 16 ? 2 : 4,
                          c.shift,  static_cast<uint32_t>((uint64_t{1} << c.depth) - 1)};
    }
    const int range = Tag(frame->color_range);
    const char* name = desc->name;
    layout.fullRange =
        range == AVCOL_RANGE_JPEG || (range != AVCOL_RANGE_MPEG && layout.rgb) || std::strncmp(name, "yuvj", 4) == 0;
    return layout;
}

// The matrix from a frame's three samples (in its components' order) to R'G'B' signals,
// with the range's offsets: signal[k] = m[k][0] s0 + m[k][1] s1 + m[k][2] s2 + m[k][3].
using SignalMatrix = std::array<std::array<double, 4>, 3>;

SignalMatrix SignalMatrixOf(const AVFrame* frame, const Layout& layout, const Gamut& gamut, bool hdr) {
    const double levels = std::ldexp(1.0, layout.depth) - 1;
    const double unit = std::ldexp(1.0, layout.depth - 8);
    const double lumaScale = layout.fullRange ? 1 / levels : 1 / (219 * unit);
    const double lumaOffset = layout.fullRange ? 0 : 16 * unit;
    const double chromaScale = layout.fullRange ? 1 / levels : 1 / (224 * unit);
    const double chromaOffset = std::ldexp(1.0, layout.depth - 1);
    const int matrix = Tag(frame->colorspace);
    SignalMatrix m{};
    if (layout.rgb || matrix == AVCOL_SPC_RGB) {
        // Planar RGB comes as R, G, B; RGB in YUV planes as G, B, R.
        const int order[3] = {layout.rgb ? 0 : 2, layout.rgb ? 1 : 0, layout.rgb ? 2 : 1};
        for (int k = 0; k < 3; ++k) {
            m[k][order[k]] = lumaScale;
            m[k][3] = -lumaOffset * lumaScale;
        }
        return m;
    }
    double kr = 0.2126, kb = 0.0722;
    switch (matrix) {
    case AVCOL_SPC_BT709:
        break;
    case AVCOL_SPC_FCC:
        kr = 0.30, kb = 0.11;
        break;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        kr = 0.299, kb = 0.114;
        break;
    case AVCOL_SPC_SMPTE240M:
        kr = 0.212, kb = 0.087;
        break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        kr = 0.2627, kb = 0.0593;
        break;
    case AVCOL_SPC_CHROMA_DERIVED_NCL:
    case AVCOL_SPC_CHROMA_DERIVED_CL: {
        const Matrix toXyz = ToXyz(gamut);
        kr = toXyz[1][0], kb = toXyz[1][2];
        break;
    }
    default:
        // Unspecified, unknown or not taken (ICtCp, YCgCo): what the frame most likely is.
        if (hdr || &gamut == &GamutOf(AVCOL_PRI_BT2020)) {
            kr = 0.2627, kb = 0.0593;
        } else if (frame->height < 720) {
            kr = 0.299, kb = 0.114;
        }
    }
    const double kg = 1 - kr - kb;
    const double toR[2] = {0, 2 * (1 - kr)};
    const double toG[2] = {-2 * kb * (1 - kb) / kg, -2 * kr * (1 - kr) / kg};
    const double toB[2] = {2 * (1 - kb), 0};
    const double* rows[3] = {toR, toG, toB};
    for (int k = 0; k < 3; ++k) {
        m[k][0] = lumaScale;
        m[k][1] = rows[k][0] * chromaScale;
        m[k][2] = rows[k][1] * chromaScale;
        m[k][3] = -lumaOffset * lumaScale - (rows[k][0] + rows[k][1]) * chromaOffset * chromaScale;
    }
    return m;
}

// ---------------------------------------------------------------------------------------
// Fitted curves

// The cubic through f at t = 0, 1/4, 3/4 and 1 (Chebyshev-Lobatto nodes, so that the
// pieces of a curve meet), as coefficients of 1, t, t^2, t^3.
template <typename F> std::array<double, 4> FitCubic(F f) {
    constexpr double t[4] = {0, 0.25, 0.75, 1};
    double a[4][5];
    for (int i = 0; i < 4; ++i) {
        double power = 1;
        for (int j = 0; j < 4; ++j, power *= t[i]) {
            a[i][j] = power;
        }
        a[i][4] = f(t[i]);
    }
    for (int col = 0; col < 4; ++col) { // Gauss-Jordan; the nodes keep it well conditioned
        for (int row = 0; row < 4; ++row) {
            if (row != col) {
                const double factor = a[row][col] / a[col][col];
                for (int j = col; j < 5; ++j) {
                    a[row][j] -= factor * a[col][j];
                }
            }
        }
    }
    return {a[0][4] / a[0][0], a[1][4] / a[1][1], a[2][4] / a[2][2], a[3][4] / a[3][3]};
}

// The same cubic in x = s + t, so that the vector code need not find t.
std::array<double, 4> Shifted(const std::array<double, 4>& c, double s) {
    return {c[0] - c[1] * s + c[2] * s * s - c[3] * s * s * s, c[1] - 2 * c[2] * s + 3 * c[3] * s * s,
            c[2] - 3 * c[3] * s, c[3]};
}

// x^power * scale for x in [2^-32, 1): by octave, the octave's own factor times one
// cubic in the mantissa. The factors are also kept as products of a fine (octave mod 8)
// and a coarse (octave / 8) one, for vectors of 8 lanes that look up 8 at a time.
struct PowerTable {
    float octave[kOctaves];
    float fine[8], coarse[8];
    float poly[4];
};

PowerTable FitPower(double power, double scale) {
    PowerTable table{};
    for (int i = 0; i < kOctaves; ++i) {
        table.octave[i] = static_cast<float>(scale * std::exp2(power * (i - kOctaves)));
    }
    for (int i = 0; i < 8; ++i) {
        table.fine[i] = static_cast<float>(std::exp2(power * i));
        table.coarse[i] = static_cast<float>(scale * std::exp2(power * (8 * i - kOctaves)));
    }
    const std::array<double, 4> c = Shifted(FitCubic([&](double t) { return std::pow(1 + t, power); }), 1);
    for (int i = 0; i < 4; ++i) {
        table.poly[i] = static_cast<float>(c[i]);
    }
    return table;
}

// The decoding fitted as cubic pieces over the signal, in segments of [0, cap].
template <int Segments> struct DecodeTable { float c[4][Segments]; };

// The decoded light is fitted as its square root and squared after where the root is the
// smoother (the power curves, HLG's and PQ's steep rise), and as it is where the curve
// starts as a line (sRGB, linear light).
int Squarings(Curve curve) { return curve == Curve::Linear || curve == Curve::Srgb ? 0 : 1; }

template <int Segments> DecodeTable<Segments> FitDecode(const Design& d) {
    DecodeTable<Segments> table{};
    const double root = std::ldexp(1.0, -Squarings(d.curve));
    for (int s = 0; s < Segments; ++s) {
        const std::array<double, 4> c = Shifted(
            FitCubic([&](double t) { return std::pow(std::max(d.Decode(d.cap * (s + t) / Segments), 0.0), root); }), s);
        for (int k = 0; k < 4; ++k) {
            table.c[k][s] = static_cast<float>(c[k]);
        }
    }
    return table;
}

// What the vector code reads: the design's tables and constants as floats.
struct Tables {
    DecodeTable<8> decode8; // for vectors of 8 lanes
    DecodeTable<16> decode16;
    float toBt709[3][3];
    PowerTable encode; // 255 x^(1/2.4)
    float knee, uScale, uOffset, uTop, numLinear, bend;
};

Tables Fit(const Design& d) {
    Tables t{};
    t.decode8 = FitDecode<8>(d);
    t.decode16 = FitDecode<16>(d);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            t.toBt709[i][j] = static_cast<float>(d.toBt709[i][j]);
        }
    }
    t.encode = FitPower(1 / kSdrGamma, 255);
    t.knee = static_cast<float>(d.knee);
    t.uScale = static_cast<float>(1 / d.shoulder);
    t.uOffset = static_cast<float>(-d.knee / d.shoulder);
    t.uTop = static_cast<float>(d.top);
    t.numLinear = static_cast<float>(d.knee + d.shoulder);
    t.bend = static_cast<float>(d.bend);
    return t;
}

// ---------------------------------------------------------------------------------------
// The vector code, in GCC's vector types: one source compiled for AVX-512 (16 lanes),
// AVX2 with FMA (8 lanes) and the SSE2 every x86-64 has (4 lanes), the best the
// processor runs chosen when converting. The helpers are always inlined into those
// three, so no vector crosses a call and GCC's warning about AVX vectors in calls is
// moot (it gives it at the end of the file, so it stays off to the end).
#pragma GCC diagnostic ignored "-Wpsabi"

template <int N> struct Vec;
template <> struct Vec<4> {
    typedef float F __attribute__((vector_size(16)));
    typedef int32_t I __attribute__((vector_size(16)));
};
template <> struct Vec<8> {
    typedef float F __attribute__((vector_size(32)));
    typedef int32_t I __attribute__((vector_size(32)));
};
template <> struct Vec<16> {
    typedef float F __attribute__((vector_size(64)));
    typedef int32_t I __attribute__((vector_size(64)));
};
template <int N> using Vf = typename Vec<N>::F;
template <int N> using Vi = typename Vec<N>::I;

template <int N> WQ_INLINE Vf<N> Splat(float x) { return x - Vf<N>{}; }
template <int N> WQ_INLINE Vf<N> Load(const float* p) {
    Vf<N> v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename V> WQ_INLINE V Min(const V& a, const V& b) { return a < b ? a : b; }
template <typename V> WQ_INLINE V Max(const V& a, const V& b) { return a > b ? a : b; }

// The lanes of a table of one or two vectors picked by the lanes of `index`, modulo
// the table's size: one permute where GCC's builtin gives one, else lane by lane
// (clang, which builds the fuzzers, has no such builtin).
template <typename V, typename I> WQ_INLINE V Permute(const V& table, const I& index) {
#if defined(__clang__)
    constexpr int kLanes = sizeof(V) / sizeof(float);
    V v;
    for (int lane = 0; lane < kLanes; ++lane) {
        v[lane] = table[index[lane] & (kLanes - 1)];
    }
    return v;
#else
    return __builtin_shuffle(table, index);
#endif
}

template <typename V, typename I> WQ_INLINE V Permute(const V& low, const V& high, const I& index) {
#if defined(__clang__)
    constexpr int kLanes = sizeof(V) / sizeof(float);
    V v;
    for (int lane = 0; lane < kLanes; ++lane) {
        const int i = index[lane] & (2 * kLanes - 1);
        v[lane] = i < kLanes ? low[i] : high[i - kLanes];
    }
    return v;
#else
    return __builtin_shuffle(low, high, index);
#endif
}

// The compiler's folding of a constant into a comparison turns min and max into
// compares and blends; a constant it cannot see stays one instruction.
template <int N> WQ_INLINE Vf<N> Opaque(float x) {
    Vf<N> v = Splat<N>(x);
    asm("" : "+m"(v));
    return v;
}

// A table of K floats looked up by a vector of indices modulo K: by permutes when it
// fills one or two vectors of 8 or more lanes, else one lane at a time.
template <int N, int K> struct Lookup {
    static_assert((K & (K - 1)) == 0);
    Vf<N> part[K >= N ? K / N : 1];
    float flat[K];
    explicit Lookup(const float* values) {
        std::memcpy(flat, values, sizeof flat);
        for (int i = 0; i * N < K; ++i) {
            part[i] = Load<N>(values + i * N);
        }
    }
    WQ_INLINE Vf<N> operator()(const Vi<N>& i) const {
        if constexpr (N >= 8 && K == N) {
            return Permute(part[0], i);
        } else if constexpr (N >= 8 && K == 2 * N) {
            return Permute(part[0], part[1], i);
        } else {
            Vf<N> v;
            for (int lane = 0; lane < N; ++lane) {
                v[lane] = flat[i[lane] & (K - 1)];
            }
            return v;
        }
    }
};

// Samples as floats: `count` of them from row `row` of a component.
WQ_INLINE void LoadSamples(const AVFrame* frame, const Component& c, int row, int count, float* out) {
    const uint8_t* p = frame->data[c.plane] + static_cast<ptrdiff_t>(row) * frame->linesize[c.plane] + c.offset;
    if (c.bytes == 1 && c.step == 1) {
        for (int i = 0; i < count; ++i) {
            out[i] = p[i];
        }
    } else if (c.bytes == 2 && c.step == 2 && c.shift == 0) {
        for (int i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, p + 2 * i, 2);
            out[i] = v;
        }
    } else {
        for (int i = 0; i < count; ++i) {
            uint32_t v = 0;
            std::memcpy(&v, p + static_cast<ptrdiff_t>(i) * c.step, static_cast<size_t>(c.bytes));
            out[i] = static_cast<float>((v >> c.shift) & c.mask);
        }
    }
}

// Chroma sited left of its luma pairs (MPEG-2 and later, and the default) or between
// them (MPEG-1, JPEG); above its rows (BT.2020 video often) or between them.
bool SitedLeft(int location) {
    return location != AVCHROMA_LOC_CENTER && location != AVCHROMA_LOC_TOP && location != AVCHROMA_LOC_BOTTOM;
}
bool SitedTop(int location) { return location == AVCHROMA_LOC_TOPLEFT || location == AVCHROMA_LOC_TOP; }

// Converted rows of a chroma component, each kept while the luma rows need it.
struct ChromaRows {
    float* row[3];
    int index[3];
    float* mix; // two rows interpolated
};

WQ_INLINE const float* ChromaRow(const AVFrame* frame, const Component& c, ChromaRows& rows, int j, int count) {
    const int slot = j % 3;
    if (rows.index[slot] != j) {
        LoadSamples(frame, c, j, count, rows.row[slot]);
        rows.index[slot] = j;
    }
    return rows.row[slot];
}

// One chroma component at every pixel of row y, interpolated linearly between its
// samples from where they are sited.
template <int N>
WQ_INLINE void LoadChroma(const AVFrame* frame, const Layout& layout, const Component& c, ChromaRows& rows, int y,
                          float* out) {
    const int width = frame->width;
    const int chromaWidth = (width + layout.chromaShiftX) >> layout.chromaShiftX;
    const int chromaHeight = (frame->height + layout.chromaShiftY) >> layout.chromaShiftY;
    const int location = Tag(frame->chroma_location);
    const float* row = nullptr;
    if (layout.chromaShiftY == 0) {
        row = ChromaRow(frame, c, rows, y, chromaWidth);
    } else {
        const int j = y >> 1;
        int other = j;
        float weight = 0; // of the other row
        if (SitedTop(location)) {
            other = std::min(j + 1, chromaHeight - 1);
            weight = (y & 1) != 0 ? 0.5f : 0;
        } else {
            other = std::clamp((y & 1) != 0 ? j + 1 : j - 1, 0, chromaHeight - 1);
            weight = 0.25f;
        }
        row = ChromaRow(frame, c, rows, j, chromaWidth);
        if (weight != 0 && other != j) {
            const float* far = ChromaRow(frame, c, rows, other, chromaWidth);
            float* mix = layout.chromaShiftX != 0 ? rows.mix : out;
            for (int i = 0; i < chromaWidth; ++i) {
                mix[i] = row[i] + (far[i] - row[i]) * weight;
            }
            row = mix;
        }
    }
    if (layout.chromaShiftX == 0) {
        if (row != out) {
            std::memcpy(out, row, static_cast<size_t>(width) * sizeof(float));
        }
        return;
    }
    const bool left = SitedLeft(location);
    const float sameEven = left ? 1 : 0.75f, sameOdd = left ? 0.5f : 0.75f;
    const int last = chromaWidth - 1;
    const auto widen = [&](int i) __attribute__((always_inline)) {
        const float before = row[std::max(i - 1, 0)], here = row[i], after = row[std::min(i + 1, last)];
        out[2 * i] = here * sameEven + before * (1 - sameEven);
        if (2 * i + 1 < width) {
            out[2 * i + 1] = here * sameOdd + after * (1 - sameOdd);
        }
    };
    widen(0);
    int i = 1;
    Vi<N> low, high; // interleaving even and odd lanes
    for (int lane = 0; lane < N; ++lane) {
        low[lane] = lane / 2 + (lane % 2) * N;
        high[lane] = low[lane] + N / 2;
    }
    for (; i + N < chromaWidth; i += N) {
        const Vf<N> here = Load<N>(row + i), after = Load<N>(row + i + 1);
        Vf<N> even = here, odd = (here + after) * 0.5f; // sited left, most often
        if (!left) {
            even = here * sameEven + Load<N>(row + i - 1) * (1 - sameEven);
            odd = here * sameOdd + after * (1 - sameOdd);
        }
        const Vf<N> first = Permute(even, odd, low), second = Permute(even, odd, high);
        std::memcpy(out + 2 * i, &first, sizeof first);
        std::memcpy(out + 2 * i + N, &second, sizeof second);
    }
    for (; i < chromaWidth; ++i) {
        widen(i);
    }
}

// The decoding's cubic pieces, x in [0, Segments): 16 for AVX-512, whose permutes pick
// among 16, else 8.
template <int N> struct Pieces {
    static constexpr int kCount = N == 8 ? 8 : 16;
    Lookup<N, kCount> c0, c1, c2, c3;
    explicit Pieces(const Tables& t) : Pieces(Table(t)) {}
    WQ_INLINE Vf<N> operator()(const Vf<N>& x) const {
        const Vi<N> i = __builtin_convertvector(x, Vi<N>);
        const Vf<N> p = (c3(i) * x + c2(i)) * x + c1(i);
        return p * x + c0(i);
    }

private:
    static const DecodeTable<kCount>& Table(const Tables& t) {
        if constexpr (kCount == 8) {
            return t.decode8;
        } else {
            return t.decode16;
        }
    }
    explicit Pieces(const DecodeTable<kCount>& d) : c0(d.c[0]), c1(d.c[1]), c2(d.c[2]), c3(d.c[3]) {}
};

// x^power * scale + offset by octave (PowerTable), x in [2^-32, 1).
template <int N> struct Power {
    Lookup<N, kOctaves> octave;
    Lookup<N, 8> fine, coarse;
    Vf<N> p0, p1, p2, p3, offset;
    Power(const PowerTable& t, float add)
        : octave(t.octave), fine(t.fine), coarse(t.coarse), p0(Splat<N>(t.poly[0])), p1(Splat<N>(t.poly[1])),
          p2(Splat<N>(t.poly[2])), p3(Splat<N>(t.poly[3])), offset(Splat<N>(add)) {}
    WQ_INLINE Vf<N> operator()(const Vf<N>& x) const {
        const Vi<N> bits = reinterpret_cast<Vi<N>>(x);
        const Vi<N> index = (bits >> 23) - (127 - kOctaves);
        const Vf<N> mantissa = reinterpret_cast<Vf<N>>((bits & 0x7FFFFF) | 0x3F800000);
        const Vf<N> p = ((p3 * mantissa + p2) * mantissa + p1) * mantissa + p0;
        if constexpr (N == 8) {
            return fine(index & 7) * coarse(index >> 3) * p + offset;
        } else {
            return octave(index) * p + offset;
        }
    }
};

constexpr float kBelowOne = 0.99999994f;
constexpr int kChunk = 256; // pixels taken through each step at a time

// One row: samples to signals to light, BT.709 and gamut mapped, then tone mapped, then
// encoded, each step over a chunk of pixels before the next. A step's work per vector is
// short enough for the processor to overlap several vectors; the whole as one loop
// would not be.
template <int N, Mode mode, int squarings>
WQ_INLINE void RunRow(const Tables& t, const float (&matrix)[3][4], const float* s0, const float* s1, const float* s2,
                      uint32_t* out, int count) {
    using V = Vf<N>;
    const Pieces<N> decode(t);
    // The encoding adds 2^23, which leaves the rounded value in the float's low bits.
    const Power<N> encodeOf(t.encode, 8388608.0f);
    V m[3][4], toBt709[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            m[i][j] = Splat<N>(matrix[i][j] * Pieces<N>::kCount);
        }
        for (int j = 0; j < 3; ++j) {
            toBt709[i][j] = Splat<N>(t.toBt709[i][j]);
        }
    }
    const V zero = Opaque<N>(0), one = Opaque<N>(1), below1 = Opaque<N>(kBelowOne);
    const V top = Opaque<N>(std::nextafter(static_cast<float>(Pieces<N>::kCount), 0.0f));
    const V floor = Opaque<N>(static_cast<float>(kOctaveFloor)), tiny = Opaque<N>(1e-30f);
    const V knee = Splat<N>(t.knee), uScale = Splat<N>(t.uScale), uOffset = Splat<N>(t.uOffset);
    const V uTop = Opaque<N>(t.uTop);
    const V numLinear = Splat<N>(t.numLinear), bend = Splat<N>(t.bend);
    alignas(64) float light[3][kChunk];
    for (int x0 = 0; x0 < count; x0 += kChunk) {
        const int n = std::min(kChunk, count - x0);
        for (int i = 0; i < n; i += N) {
            const V a = Load<N>(s0 + x0 + i), b = Load<N>(s1 + x0 + i), c = Load<N>(s2 + x0 + i);
            for (int k = 0; k < 3; ++k) {
                const V signal = ((m[k][3] + a * m[k][0]) + b * m[k][1]) + c * m[k][2];
                V e = decode(Min(Max(signal, zero), top));
                for (int j = 0; j < squarings; ++j) {
                    e *= e;
                }
                std::memcpy(light[k] + i, &e, sizeof e);
            }
        }
        for (int i = 0; i < n; i += N) {
            const V er = Load<N>(light[0] + i), eg = Load<N>(light[1] + i), eb = Load<N>(light[2] + i);
            V r = toBt709[0][0] * er + toBt709[0][1] * eg + toBt709[0][2] * eb;
            V g = toBt709[1][0] * er + toBt709[1][1] * eg + toBt709[1][2] * eb;
            V bl = toBt709[2][0] * er + toBt709[2][1] * eg + toBt709[2][2] * eb;
            // Out of gamut below: towards the grey of the same luminance (Design::Light).
            const V y = Max(0.2126f * r + 0.7152f * g + 0.0722f * bl, zero);
            const V low = Min(Min(r, g), bl);
            const V toward = Min(one, y / Max(y - low, tiny));
            r = (r - y) * toward + y;
            g = (g - y) * toward + y;
            bl = (bl - y) * toward + y;
            // Tone mapped on the largest component.
            const V largest = Max(Max(r, g), bl);
            V scale;
            if constexpr (mode == Mode::Sdr) {
                scale = one / Max(largest, one);
            } else {
                const V u = Min(largest * uScale + uOffset, uTop);
                const V num = (u * bend + numLinear) * u + knee;
                scale = largest <= knee ? one : num / (largest * u + largest); // past the knee u > 0
            }
            r *= scale, g *= scale, bl *= scale;
            std::memcpy(light[0] + i, &r, sizeof r);
            std::memcpy(light[1] + i, &g, sizeof g);
            std::memcpy(light[2] + i, &bl, sizeof bl);
        }
        for (int i = 0; i < n; i += N) {
            Vi<N> words[3];
            for (int k = 0; k < 3; ++k) {
                words[k] = reinterpret_cast<Vi<N>>(encodeOf(Min(Max(Load<N>(light[k] + i), floor), below1)));
            }
            // The bits above each byte drop out of the word, or turn to alpha's 0xFF.
            words[0] = (words[0] << 16) | (words[1] << 8) | words[2] | -0x1000000;
            if (n - i >= N) {
                std::memcpy(out + x0 + i, &words[0], sizeof words[0]);
            } else {
                std::memcpy(out + x0 + i, &words[0], static_cast<size_t>(n - i) * sizeof(uint32_t));
            }
        }
    }
}

// One frame's work: what the rows read and where they go.
struct Job {
    const AVFrame* frame;
    const Layout* layout;
    const Tables* tables;
    Mode mode;
    int squarings;
    float matrix[3][4]; // from samples to signals over their cap (SignalMatrix)
    float* samples[3];  // a row of each component, at every pixel
    ChromaRows* chroma; // of components 1 and 2
    uint32_t* out;
    size_t stride;
};

template <int N> WQ_INLINE void ConvertFrameIn(const Job& job) {
    const Layout& layout = *job.layout;
    const int width = job.frame->width;
    const bool subsampled = !layout.rgb && (layout.chromaShiftX != 0 || layout.chromaShiftY != 0);
    for (int y = 0; y < job.frame->height; ++y) {
        LoadSamples(job.frame, layout.comp[0], y, width, job.samples[0]);
        for (int k = 1; k < 3; ++k) {
            if (subsampled) {
                LoadChroma<N>(job.frame, layout, layout.comp[k], job.chroma[k - 1], y, job.samples[k]);
            } else {
                LoadSamples(job.frame, layout.comp[k], y, width, job.samples[k]);
            }
        }
        uint32_t* out = job.out + static_cast<size_t>(y) * job.stride;
        const auto run = [&](auto mode, auto squarings) __attribute__((always_inline)) {
            RunRow<N, decltype(mode)::value, decltype(squarings)::value>(*job.tables, job.matrix, job.samples[0],
                                                                         job.samples[1], job.samples[2], out, width);
        };
        if (job.mode == Mode::Hdr) {
            run(std::integral_constant<Mode, Mode::Hdr>(), std::integral_constant<int, 1>());
        } else if (job.squarings == 0) {
            run(std::integral_constant<Mode, Mode::Sdr>(), std::integral_constant<int, 0>());
        } else {
            run(std::integral_constant<Mode, Mode::Sdr>(), std::integral_constant<int, 1>());
        }
    }
}

#define WQ_AVX2 "avx2,fma,bmi,bmi2"
#define WQ_AVX512 WQ_AVX2 ",avx512f,avx512bw,avx512dq,avx512vl"
__attribute__((target(WQ_AVX512))) void ConvertFrameAvx512(const Job& job) { ConvertFrameIn<16>(job); }
__attribute__((target(WQ_AVX2))) void ConvertFrameAvx2(const Job& job) { ConvertFrameIn<8>(job); }
void ConvertFrameSse2(const Job& job) { ConvertFrameIn<4>(job); }
#undef WQ_AVX512
#undef WQ_AVX2

// The instruction sets this processor has: 4 (AVX-512), 3 (AVX2, FMA) or 1 (SSE2).
int MachineLevel() {
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
                      __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    return avx2 && avx512 ? 4 : avx2 ? 3 : 1;
}

ColourKind KindOf(int primaries, int transfer) {
    const Curve curve = CurveOf(transfer);
    if (curve == Curve::Hlg) {
        return ColourKind::Hlg;
    }
    if (curve == Curve::Pq) {
        return ColourKind::Pq;
    }
    return GamutOf(primaries).wide ? ColourKind::WideGamut : ColourKind::Bt709;
}

#undef WQ_INLINE

} // namespace

ColourKind ClassifyColour(const AVFrame* frame) { return KindOf(Tag(frame->color_primaries), Tag(frame->color_trc)); }

std::string ColourName(const AVFrame* frame) {
    switch (ClassifyColour(frame)) {
    case ColourKind::Hlg:
        return "HLG";
    case ColourKind::Pq:
        return "PQ";
    default:
        return GamutOf(Tag(frame->color_primaries)).name;
    }
}

double PqPeak(const AVFrame* frame) {
    // The content's brightest pixel and the mastering display's peak: the lower of those
    // given and sane. Streams often carry zeros or placeholders.
    const auto sane = [](double nits) { return nits >= 50 && nits <= 10000; };
    double peak = 0;
    if (const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL);
        side != nullptr && side->size >= sizeof(AVContentLightMetadata)) {
        const auto* light = reinterpret_cast<const AVContentLightMetadata*>(side->data);
        if (sane(light->MaxCLL)) {
            peak = light->MaxCLL;
        }
    }
    if (const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
        side != nullptr && side->size >= sizeof(AVMasteringDisplayMetadata)) {
        const auto* display = reinterpret_cast<const AVMasteringDisplayMetadata*>(side->data);
        const double nits = display->max_luminance.den > 0 ? av_q2d(display->max_luminance) : 0;
        if (display->has_luminance != 0 && sane(nits)) {
            peak = peak > 0 ? std::min(peak, nits) : nits;
        }
    }
    return peak > 0 ? peak : kPqDefaultPeak;
}

// A set of tags' design and tables.
struct VideoColour::Plan {
    int primaries, transfer;
    long peakNits;
    Design design;
    Tables tables;
    Plan(int primariesTag, int transferTag, long nits)
        : primaries(primariesTag), transfer(transferTag), peakNits(nits),
          design(primariesTag, transferTag, static_cast<double>(nits)), tables(Fit(design)) {}
};

VideoColour::VideoColour() = default;
VideoColour::~VideoColour() = default;
VideoColour::VideoColour(VideoColour&&) noexcept = default;
VideoColour& VideoColour::operator=(VideoColour&&) noexcept = default;

namespace {

// The tags that make a plan, the unknown ones folded into their defaults.
struct PlanKey {
    int primaries, transfer;
    long peakNits;
};

PlanKey KeyOf(const AVFrame* frame) {
    int primaries = Tag(frame->color_primaries);
    if (&GamutOf(primaries) == &kBt709) {
        primaries = AVCOL_PRI_BT709;
    }
    const int transfer = Tag(frame->color_trc);
    const Curve curve = CurveOf(transfer);
    return {primaries, curve == Curve::Bt1886 ? AVCOL_TRC_BT709 : transfer,
            curve == Curve::Pq ? std::lround(PqPeak(frame)) : 0};
}

} // namespace

const VideoColour::Plan& VideoColour::PlanFor(const AVFrame* frame) {
    const PlanKey key = KeyOf(frame);
    const auto found = std::find_if(plans.begin(), plans.end(), [&](const std::unique_ptr<Plan>& plan) {
        return plan->primaries == key.primaries && plan->transfer == key.transfer && plan->peakNits == key.peakNits;
    });
    if (found != plans.end()) {
        std::rotate(plans.begin(), found, found + 1);
    } else {
        constexpr size_t kKept = 8; // a join's clips rarely differ in more ways
        if (plans.size() == kKept) {
            plans.pop_back();
        }
        plans.insert(plans.begin(), std::make_unique<Plan>(key.primaries, key.transfer, key.peakNits));
    }
    return *plans.front();
}

void VideoColour::Convert(const AVFrame* frame, uint32_t* out, size_t stride) {
    const Layout layout = LayoutOf(frame);
    const Plan& plan = PlanFor(frame);
    const Design& design = plan.design;
    const SignalMatrix signal = SignalMatrixOf(frame, layout, GamutOf(plan.primaries), design.mode != Mode::Sdr);
    Job job{frame, &layout, &plan.tables, design.mode, Squarings(design.curve), {}, {}, nullptr, out, stride};
    for (int k = 0; k < 3; ++k) {
        for (int j = 0; j < 4; ++j) {
            job.matrix[k][j] = static_cast<float>(signal[k][j] / design.cap);
        }
    }
    // Rows padded to whole vectors, the padding zero.
    constexpr size_t kWidest = 16;
    const size_t padded = (static_cast<size_t>(std::max(frame->width, 0)) + 2 * kWidest) & ~(kWidest - 1);
    rows.assign(11 * padded, 0.0f);
    float* next = rows.data();
    const auto take = [&] { return std::exchange(next, next + padded); };
    for (float*& row : job.samples) {
        row = take();
    }
    ChromaRows chroma[2];
    for (ChromaRows& c : chroma) {
        c = {{take(), take(), take()}, {-1, -1, -1}, take()};
    }
    job.chroma = chroma;
    static const int machine = MachineLevel();
    const int use = std::min(level, machine);
    (use >= 4 ? ConvertFrameAvx512 : use >= 3 ? ConvertFrameAvx2 : ConvertFrameSse2)(job);
}

uint32_t VideoColour::ConvertExactly(const AVFrame* frame, double s0, double s1, double s2) {
    const Layout layout = LayoutOf(frame);
    const PlanKey key = KeyOf(frame);
    const Design design(key.primaries, key.transfer, static_cast<double>(key.peakNits));
    const SignalMatrix m = SignalMatrixOf(frame, layout, GamutOf(key.primaries), design.mode != Mode::Sdr);
    std::array<double, 3> signal{};
    for (int k = 0; k < 3; ++k) {
        signal[k] = m[k][0] * s0 + m[k][1] * s1 + m[k][2] * s2 + m[k][3];
    }
    const std::array<double, 3> light = design.Light(signal);
    uint32_t word = 0xFF000000u;
    for (int k = 0; k < 3; ++k) {
        word |= static_cast<uint32_t>(std::lround(255 * std::pow(light[k], 1 / kSdrGamma))) << (16 - 8 * k);
    }
    return word;
}

} // namespace wqtrans::join
