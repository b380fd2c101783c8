#include "join/MotionPath.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace wqtrans::join {

namespace {

const std::pair<const char*, MoveKind> kKinds[] = {
    {"none", MoveKind::None},        {"zoom-in", MoveKind::ZoomIn},     {"zoom-out", MoveKind::ZoomOut},
    {"pan-left", MoveKind::PanLeft}, {"pan-right", MoveKind::PanRight}, {"pan-up", MoveKind::PanUp},
    {"pan-down", MoveKind::PanDown}, {"auto", MoveKind::Auto},
};

// A picture longer than the frame's shape by half or more (either way) is of another
// shape: a portrait photo or a square one in a landscape video, a panorama. A 4:3 photo
// in a 16:9 video is not.
constexpr double kOtherShape = 1.5;

// "0.3", ".3" or "30%" into 0.3; none for anything else.
std::optional<double> ParseFraction(std::string_view text) {
    const bool percent = !text.empty() && text.back() == '%';
    if (percent) {
        text.remove_suffix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return percent ? value / 100 : value;
}

// "a,b,c": the numbers, as many as asked; none otherwise.
std::optional<std::vector<double>> ParseNumbers(std::string_view text, size_t count) {
    std::vector<double> numbers;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::optional<double> value =
            ParseFraction(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (!value) {
            return std::nullopt;
        }
        numbers.push_back(*value);
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (numbers.size() != count) {
        return std::nullopt;
    }
    return numbers;
}

std::optional<PictureRect> ParseRect(std::string_view text) {
    const auto numbers = ParseNumbers(text, 4);
    if (!numbers) {
        return std::nullopt;
    }
    const PictureRect rect{(*numbers)[0], (*numbers)[1], (*numbers)[2], (*numbers)[3]};
    constexpr double kSlack = 1e-9;
    if (rect.x < 0 || rect.y < 0 || rect.width <= 0 || rect.height <= 0 || rect.x + rect.width > 1 + kSlack ||
        rect.y + rect.height > 1 + kSlack) {
        return std::nullopt;
    }
    return rect;
}

// The view shown without motion, in the picture's pixels.
ViewRect BaseView(double width, double height, int32_t frameWidth, int32_t frameHeight, FitMode fit) {
    if (fit != FitMode::Cover) {
        return {0, 0, width, height};
    }
    const double scale = std::max(frameWidth / width, frameHeight / height);
    const double w = std::min(width, frameWidth / scale);
    const double h = std::min(height, frameHeight / scale);
    return {(width - w) / 2, (height - h) / 2, w, h};
}

// `view` shrunk `amount` times about the point (fx, fy), kept inside `within`.
ViewRect Smaller(const ViewRect& within, double amount, double fx, double fy) {
    const double w = within.width / amount;
    const double h = within.height / amount;
    return {std::clamp(fx - w / 2, within.x, within.x + within.width - w),
            std::clamp(fy - h / 2, within.y, within.y + within.height - h), w, h};
}

// A user's rectangle (fractions) as a view of `aspect` (width / height) inside the
// picture: widened or heightened about its centre, then shrunk and moved to fit.
ViewRect ToView(const PictureRect& rect, double width, double height, double aspect) {
    double w = rect.width * width;
    double h = rect.height * height;
    const double cx = (rect.x + rect.width / 2) * width;
    const double cy = (rect.y + rect.height / 2) * height;
    if (w / h < aspect) {
        w = h * aspect;
    } else {
        h = w / aspect;
    }
    if (w > width) {
        w = width;
        h = w / aspect;
    }
    if (h > height) {
        h = height;
        w = h * aspect;
    }
    return {std::clamp(cx - w / 2, 0.0, width - w), std::clamp(cy - h / 2, 0.0, height - h), w, h};
}

// The point the faces are about, as fractions: their centres weighed by their areas.
std::pair<double, double> FacesFocus(const std::vector<FaceBox>& faces) {
    double x = 0, y = 0, total = 0;
    for (const FaceBox& face : faces) {
        const double area = face.width * face.height;
        x += (face.x + face.width / 2) * area;
        y += (face.y + face.height / 2) * area;
        total += area;
    }
    return total > 0 ? std::pair{x / total, y / total} : std::pair{0.5, 0.5};
}

bool OtherShape(double width, double height, int32_t frameWidth, int32_t frameHeight) {
    const double ratio = (width / height) / (static_cast<double>(frameWidth) / frameHeight);
    return ratio >= kOtherShape || 1 / ratio >= kOtherShape;
}

} // namespace

std::optional<MoveKind> MoveKindNamed(std::string_view name) {
    for (const auto& [text, kind] : kKinds) {
        if (name == text) {
            return kind;
        }
    }
    return std::nullopt;
}

const std::vector<std::string>& MoveKindNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const auto& kind : kKinds) {
            all.push_back(kind.first);
        }
        return all;
    }();
    return names;
}

std::optional<MoveSpec> ParseMove(std::string_view text, std::string* error) {
    const auto fail = [&](const std::string& why) -> std::optional<MoveSpec> {
        if (error != nullptr) {
            std::string message(1, '"');
            message.append(text).append("\": ").append(why);
            *error = std::move(message);
        }
        return std::nullopt;
    };
    MoveSpec move;
    const size_t arrow = text.find('>');
    if (arrow != std::string_view::npos) {
        const auto from = ParseRect(text.substr(0, arrow));
        const auto to = ParseRect(text.substr(arrow + 1));
        if (!from || !to) {
            return fail("write two rectangles as left,top,width,height>left,top,width,height in fractions of the "
                        "picture (0 to 1) or percentages, each inside the picture, e.g. 0,0,1,1>0.5,0.2,0.4,0.4");
        }
        move.kind = MoveKind::ZoomIn; // any kind but none: the rectangles say where it goes
        move.from = from;
        move.to = to;
        return move;
    }
    const size_t at = text.find('@');
    std::string names;
    for (const std::string& name : MoveKindNames()) {
        if (!names.empty()) {
            names += ", ";
        }
        names += name;
    }
    const auto kind = MoveKindNamed(text.substr(0, at));
    if (!kind) {
        return fail("choose one of: " + names + "; or from a rectangle to another, e.g. 0,0,1,1>0.5,0.2,0.4,0.4");
    }
    move.kind = *kind;
    if (at != std::string_view::npos) {
        const auto point = ParseNumbers(text.substr(at + 1), 2);
        if (!point || (*point)[0] < 0 || (*point)[0] > 1 || (*point)[1] < 0 || (*point)[1] > 1) {
            return fail("the focus point after @ is x,y in fractions of the picture (0 to 1) or percentages, e.g. "
                        "zoom-in@0.7,0.3 or zoom-in@70%,30%");
        }
        if (*kind == MoveKind::None) {
            return fail("none has no focus point");
        }
        move.focus = std::pair{(*point)[0], (*point)[1]};
    }
    return move;
}

ViewRect MovePath::At(double progress) const {
    const double e = ease.At(std::clamp(progress, 0.0, 1.0));
    const double change = from.width - to.width;
    double k = e;
    if (std::abs(change) > 1e-9 * from.width) {
        // The width goes geometrically, and the rest with it, so that the point that stays
        // put on the frame stays put.
        const double width = from.width * std::pow(to.width / from.width, e);
        k = std::clamp((from.width - width) / change, 0.0, 1.0);
    }
    return {from.x + (to.x - from.x) * k, from.y + (to.y - from.y) * k, from.width + (to.width - from.width) * k,
            from.height + (to.height - from.height) * k};
}

double MovePath::SmallestWidth() const { return std::min(from.width, to.width); }
double MovePath::SmallestHeight() const { return std::min(from.height, to.height); }

MovePath PlanMove(const MoveSpec& move, const MotionOptions& options, int32_t width, int32_t height, int32_t frameWidth,
                  int32_t frameHeight, FitMode fit, size_t index, const std::function<std::vector<FaceBox>()>& faces) {
    const double pw = std::max(width, 1);
    const double ph = std::max(height, 1);
    const ViewRect base = BaseView(pw, ph, std::max(frameWidth, 1), std::max(frameHeight, 1), fit);
    MovePath path{base, base, options.ease};
    if (move.kind == MoveKind::None) {
        return path;
    }
    if (move.from && move.to) {
        const double aspect = base.width / base.height;
        path.from = ToView(*move.from, pw, ph, aspect);
        path.to = ToView(*move.to, pw, ph, aspect);
        return path;
    }
    const double amount = std::clamp(options.amount, 1.0, 2.0);
    double fx = (move.focus ? move.focus->first : 0.5) * pw;
    double fy = (move.focus ? move.focus->second : 0.5) * ph;
    MoveKind kind = move.kind;
    bool facesFound = false; // auto zooms toward faces
    if (kind == MoveKind::Auto) {
        const bool otherShape = OtherShape(pw, ph, frameWidth, frameHeight);
        if (otherShape && fit == FitMode::Cover) {
            // Along the long side, end to end, at the base view's size.
            if (pw / ph < static_cast<double>(frameWidth) / frameHeight) {
                path.from.y = 0;
                path.to.y = ph - base.height;
            } else {
                path.from.x = 0;
                path.to.x = pw - base.width;
            }
            return path;
        }
        std::vector<FaceBox> found;
        if (!move.focus && faces) {
            found = faces();
        }
        facesFound = !found.empty() && !otherShape;
        if (!found.empty()) {
            const auto [x, y] = FacesFocus(found);
            fx = x * pw;
            fy = y * ph;
        }
        kind = otherShape ? MoveKind::ZoomOut : !found.empty() || index % 2 == 0 ? MoveKind::ZoomIn : MoveKind::ZoomOut;
    }
    double zoom = amount;
    if (facesFound) {
        // Toward faces, as much further (up to 2 times) as it takes to end with them in
        // the middle of the view.
        const double dx = std::min(fx - base.x, base.x + base.width - fx);
        const double dy = std::min(fy - base.y, base.y + base.height - fy);
        const double centred = std::max(dx > 0 ? base.width / (2 * dx) : 2.0, dy > 0 ? base.height / (2 * dy) : 2.0);
        zoom = std::clamp(centred, amount, 2.0);
    }
    const ViewRect small = Smaller(base, zoom, fx, fy);
    switch (kind) {
    case MoveKind::ZoomIn:
        path.to = small;
        break;
    case MoveKind::ZoomOut:
        path.from = small;
        break;
    case MoveKind::PanLeft:
    case MoveKind::PanRight:
        path.from = path.to = small;
        path.from.x = base.x;
        path.to.x = base.x + base.width - small.width;
        if (kind == MoveKind::PanLeft) {
            std::swap(path.from, path.to);
        }
        break;
    case MoveKind::PanUp:
    case MoveKind::PanDown:
        path.from = path.to = small;
        path.from.y = base.y;
        path.to.y = base.y + base.height - small.height;
        if (kind == MoveKind::PanUp) {
            std::swap(path.from, path.to);
        }
        break;
    case MoveKind::None:
    case MoveKind::Auto:
        break;
    }
    return path;
}

} // namespace wqtrans::join
