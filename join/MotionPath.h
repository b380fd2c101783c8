// Pictures that move while they are on screen: a slow zoom or pan over each photo of a
// join, planned once per picture as the part of it in view at the start and at the end.
//
// A move runs over the picture's whole time on screen, the cuts on its sides included,
// from its first frame (the start view) to its last (the end view), shaped by a motion
// curve. Views are rectangles of the picture with fractional edges, always of the shape
// that the fit mode shows without motion (the frame's shape for cover, the picture's for
// contain, blur and stretch), so that a contained picture keeps its place and size on
// the frame while it moves. Between the start and end views the view's size changes
// geometrically (a zoom looks steady) and the point that stays put on the frame stays put
// exactly; a pan keeps its size and goes at the curve's pace.
//
// Named moves start or end on the view shown without motion (the "base view"):
//   zoom-in    from the base view to one `amount` times smaller, about the focus point;
//   zoom-out   the same backwards;
//   pan-left, pan-right, pan-up, pan-down
//              a view `amount` times smaller than the base view travels across it, from
//              one edge to the other in the direction named (pan-right: from the left
//              edge to the right one, as a camera turning right), through the focus
//              point's other coordinate;
//   auto       what suits the picture: a picture of another shape than the frame
//              (longer by half or more) is panned along its long side from end to end
//              when it is fitted by cover, and zoomed out, so that it ends whole, when it
//              is contained; a picture with faces is zoomed in toward them, further than
//              `amount` (up to 2 times) where it takes that to end with them in the
//              middle; the others zoom in and out in turn (the first in).
// The focus point is the picture's centre unless given.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Fit.h"
#include "host/Motion.h"
#include "join/Faces.h"
#include "join/Viewport.h"

namespace wqtrans::join {

enum class MoveKind { None, ZoomIn, ZoomOut, PanLeft, PanRight, PanUp, PanDown, Auto };

// The kind called "none", "zoom-in", ... "auto"; none for another name.
std::optional<MoveKind> MoveKindNamed(std::string_view name);
// The names, in the order the manual lists them.
const std::vector<std::string>& MoveKindNames();

// A rectangle of a picture in fractions of its width and height.
struct PictureRect {
    double x = 0;
    double y = 0;
    double width = 1;
    double height = 1;
    bool operator==(const PictureRect&) const = default;
};

// A picture's own move: a named kind with an optional focus point, or a start and an end
// rectangle. Written as a user gives it (the same text in --move and in edit files):
//   "zoom-in", "pan-right@0.3,0.6" or "zoom-in@70%,30%": a kind and a focus point (x, y
//       as fractions of the picture's width and height, or percentages);
//   "0,0,1,1>0.5,0.2,0.4,0.4": from a rectangle to another, each left,top,width,height
//       in the same units. A rectangle of another shape than the view is widened or
//       heightened about its centre to it, then kept inside the picture.
struct MoveSpec {
    MoveKind kind = MoveKind::None;
    std::optional<std::pair<double, double>> focus;
    std::optional<PictureRect> from;
    std::optional<PictureRect> to;
    bool operator==(const MoveSpec&) const = default;
};

// The move a text gives; none with a one-line reason in *error otherwise.
std::optional<MoveSpec> ParseMove(std::string_view text, std::string* error);

// How pictures move in a join.
struct MotionOptions {
    MoveSpec move;        // every picture's (--motion), unless it has its own
    double amount = 1.15; // how far a named move goes: its zoom, 1 to 2
    MotionCurve ease = *MotionCurve::Parse("ease-in-out");
};

// A picture's planned move: its start and end views, in the picture's pixels.
struct MovePath {
    ViewRect from;
    ViewRect to;
    MotionCurve ease;
    // The view at `progress` (0 at the first frame on screen, 1 at the last; clamped).
    ViewRect At(double progress) const;
    // The narrowest and shortest a view gets on the way (for the level it is sampled from).
    double SmallestWidth() const;
    double SmallestHeight() const;
};

// The move of a width x height picture, `index`-th of the join's pictures, in a frame of
// frameWidth x frameHeight fitted by `fit`. `faces` is asked, only for auto and only when
// the picture's shape does not decide the move, for the faces in the picture.
MovePath PlanMove(const MoveSpec& move, const MotionOptions& options, int32_t width, int32_t height, int32_t frameWidth,
                  int32_t frameHeight, FitMode fit, size_t index, const std::function<std::vector<FaceBox>()>& faces);

} // namespace wqtrans::join
