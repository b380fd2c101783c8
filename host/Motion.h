// Motion curves and reverse: how a run's moments are shown, the same in every host.
//
// A curve maps the progress of a run, p = t / d, to the progress p' whose picture is
// shown: the transition is stepped at t' = p' x d, rounded to the whole millisecond its
// clock counts. `linear` (p' = p) shows every picture as the module draws it. The named
// curves are the usual ones: `ease`, `ease-in`, `ease-out` and `ease-in-out` as CSS
// defines them, and `sine`, `quad`, `cubic` and `expo` each `-in`, `-out` and
// `-in-out`. `cubic-bezier(x1, y1, x2, y2)` is CSS's: x1 and x2 within 0 to 1, and y1
// and y2 such that the curve never turns back. A curve that would make time run
// backwards (one whose y goes past 1 or below 0 and back) is refused, not flattened: a
// flattened curve would hold one picture for part of the run without saying so.
//
// Reverse shows the mirror run: the picture at t is the picture at d - t of the run from
// the new picture to the old one, so that the run still starts on the old picture and
// ends on the new one, but its motion runs backwards (Door closes, Zoom shrinks). With a
// curve, the curve shapes the reversed run as it is seen: the mirror run is eased by the
// mirrored curve, 1 - c(1 - p). This is not the same as playing a run backwards (from the
// new picture to the old one), which an editor gets by running progress from 1 to 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wqtrans {

class MotionCurve {
public:
    // linear.
    MotionCurve() = default;

    // A curve by its name or as "cubic-bezier(x1, y1, x2, y2)" (spaces allowed, names in
    // any case); nullopt with a one-line reason in *error otherwise.
    static std::optional<MotionCurve> Parse(std::string_view text, std::string* error = nullptr);
    // The named curves, `linear` first, in the order menus list them.
    static const std::vector<std::string>& Names();

    bool IsLinear() const { return shape == Shape::Linear; }
    // The curve's text as Parse takes it: its name or "cubic-bezier(...)" ("linear" for
    // the default; a mirrored curve is named after the curve it mirrors).
    std::string Text() const;

    // p' for p in 0 to 1 (clamped): 0 at 0, 1 at 1, never decreasing.
    double At(double p) const;
    // The moment whose picture is shown at t of a run of d ms: t for a linear curve and
    // for t >= d; otherwise At(t / d) x d rounded to the nearest whole ms, within 0 to d.
    // Never decreasing in t.
    uint32_t MomentAt(uint32_t t, uint32_t d) const;
    // The curve that the mirror run takes: 1 - c(1 - p), with MomentAt(t, d) = d -
    // c.MomentAt(d - t, d), so that mirroring twice gives c back exactly.
    MotionCurve Mirrored() const;

    bool operator==(const MotionCurve&) const = default;

private:
    enum class Shape : uint8_t {
        Linear,
        Bezier,
        SineIn,
        SineOut,
        SineInOut,
        QuadIn,
        QuadOut,
        QuadInOut,
        CubicIn,
        CubicOut,
        CubicInOut,
        ExpoIn,
        ExpoOut,
        ExpoInOut,
    };
    double Plain(double p) const;
    uint32_t PlainMoment(uint32_t t, uint32_t d) const;

    Shape shape = Shape::Linear;
    double x1 = 0, y1 = 0, x2 = 1, y2 = 1;
    std::string name; // as Parse was given it, for Text; empty for cubic-bezier
    bool mirrored = false;
};

struct FrameRequest;

// The request whose picture a reversed request shows: the mirror run (pictures swapped
// by the caller) at d - t, with the mirrored curve and reverse off. For t >= d the
// request itself is not mirrored (a runtime shows the new picture once a run has ended)
// unless it asks for the module's last step, which is then the mirror run's first.
// Returns false when `request` is not reversed or needs no mirroring.
bool MirrorRequest(const FrameRequest& request, FrameRequest& mirror);

// A request whose curve reaches the end of the run before d (rounded to d ms): `ended`
// is the plain request at d, which shows what a runtime shows once a run has ended.
// False for any other request, and for one that asks for the module's last step.
bool EasedToTheEnd(const FrameRequest& request, FrameRequest& ended);

} // namespace wqtrans
