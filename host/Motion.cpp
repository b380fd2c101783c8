#include "host/Motion.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "host/FrameRenderer.h"

namespace wqtrans {

namespace {

struct Named {
    const char* name;
    int shape; // MotionCurve::Shape, or -1 for a cubic-bezier
    double x1, y1, x2, y2;
};

// CSS's keywords are cubic-bezier curves; the others are the usual closed forms.
constexpr Named kNamed[] = {
    {"linear", 0, 0, 0, 1, 1},       {"ease", -1, 0.25, 0.1, 0.25, 1},      {"ease-in", -1, 0.42, 0, 1, 1},
    {"ease-out", -1, 0, 0, 0.58, 1}, {"ease-in-out", -1, 0.42, 0, 0.58, 1}, {"sine-in", 2, 0, 0, 1, 1},
    {"sine-out", 3, 0, 0, 1, 1},     {"sine-in-out", 4, 0, 0, 1, 1},        {"quad-in", 5, 0, 0, 1, 1},
    {"quad-out", 6, 0, 0, 1, 1},     {"quad-in-out", 7, 0, 0, 1, 1},        {"cubic-in", 8, 0, 0, 1, 1},
    {"cubic-out", 9, 0, 0, 1, 1},    {"cubic-in-out", 10, 0, 0, 1, 1},      {"expo-in", 11, 0, 0, 1, 1},
    {"expo-out", 12, 0, 0, 1, 1},    {"expo-in-out", 13, 0, 0, 1, 1},
};

std::string Lower(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// One coordinate of a cubic Bezier curve from 0 to 1 with control values a and b.
double Bezier(double s, double a, double b) {
    const double r = 1 - s;
    return 3 * r * r * s * a + 3 * r * s * s * b + s * s * s;
}

// Whether the Bezier coordinate with control values a and b never decreases on 0 to 1:
// its derivative, 3 times the quadratic a (1 - s)^2 + 2 (b - a) s (1 - s) + (1 - b) s^2,
// is never negative.
bool NeverDecreasing(double a, double b) {
    const double first = a, middle = b - a, last = 1 - b;
    return first >= 0 && last >= 0 && (middle >= 0 || middle * middle <= first * last);
}

bool Fail(std::string* error, const std::string& message) {
    if (error != nullptr) {
        *error = message;
    }
    return false;
}

// "x1,y1,x2,y2" into four finite numbers.
bool ParseFour(const std::string& inside, double (&values)[4]) {
    const char* at = inside.c_str();
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        values[i] = std::strtod(at, &end);
        if (end == at || !std::isfinite(values[i])) {
            return false;
        }
        at = end;
        if (*at != (i < 3 ? ',' : '\0')) {
            return false;
        }
        ++at;
    }
    return true;
}

} // namespace

const std::vector<std::string>& MotionCurve::Names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const Named& n : kNamed) {
            list.emplace_back(n.name);
        }
        return list;
    }();
    return names;
}

std::optional<MotionCurve> MotionCurve::Parse(std::string_view text, std::string* error) {
    const std::string key = Lower(text);
    MotionCurve curve;
    for (const Named& n : kNamed) {
        if (key == n.name) {
            curve.shape = n.shape < 0 ? Shape::Bezier : static_cast<Shape>(n.shape);
            curve.x1 = n.x1;
            curve.y1 = n.y1;
            curve.x2 = n.x2;
            curve.y2 = n.y2;
            curve.name = n.name;
            return curve;
        }
    }
    const std::string prefix = "cubic-bezier(";
    if (key.rfind(prefix, 0) != 0 || key.back() != ')') {
        std::string names;
        for (const std::string& name : Names()) {
            names += name + ", ";
        }
        Fail(error,
             "unknown curve \"" + std::string(text) + "\"; use one of " + names + "or cubic-bezier(x1,y1,x2,y2)");
        return std::nullopt;
    }
    double v[4];
    if (!ParseFour(key.substr(prefix.size(), key.size() - prefix.size() - 1), v)) {
        Fail(error,
             "curve \"" + std::string(text) + "\": cubic-bezier takes four numbers, as in cubic-bezier(0.42,0,0.58,1)");
        return std::nullopt;
    }
    if (v[0] < 0 || v[0] > 1 || v[2] < 0 || v[2] > 1) {
        Fail(error, "curve \"" + std::string(text) + "\": x1 and x2 must be within 0 to 1");
        return std::nullopt;
    }
    if (!NeverDecreasing(v[1], v[3])) {
        Fail(error, "curve \"" + std::string(text) +
                        "\" would make time run backwards (it overshoots and turns back); keep y1 and y2 within 0 "
                        "to 1");
        return std::nullopt;
    }
    curve.shape = Shape::Bezier;
    curve.x1 = v[0];
    curve.y1 = v[1];
    curve.x2 = v[2];
    curve.y2 = v[3];
    return curve;
}

std::string MotionCurve::Text() const {
    if (!name.empty()) {
        return name;
    }
    if (shape == Shape::Linear) {
        return "linear";
    }
    return "cubic-bezier(" + Number(x1) + "," + Number(y1) + "," + Number(x2) + "," + Number(y2) + ")";
}

double MotionCurve::Plain(double p) const {
    constexpr double pi = std::numbers::pi;
    switch (shape) {
    case Shape::Linear:
        return p;
    case Shape::Bezier: {
        // x never decreases in s: halve the interval down to a double's precision.
        double low = 0, high = 1;
        for (int i = 0; i < 64 && low < high; ++i) {
            const double mid = (low + high) / 2;
            if (Bezier(mid, x1, x2) < p) {
                low = mid;
            } else {
                high = mid;
            }
        }
        return Bezier((low + high) / 2, y1, y2);
    }
    case Shape::SineIn:
        return 1 - std::cos(p * pi / 2);
    case Shape::SineOut:
        return std::sin(p * pi / 2);
    case Shape::SineInOut:
        return (1 - std::cos(pi * p)) / 2;
    case Shape::QuadIn:
        return p * p;
    case Shape::QuadOut:
        return 1 - (1 - p) * (1 - p);
    case Shape::QuadInOut:
        return p < 0.5 ? 2 * p * p : 1 - std::pow(-2 * p + 2, 2) / 2;
    case Shape::CubicIn:
        return p * p * p;
    case Shape::CubicOut:
        return 1 - std::pow(1 - p, 3);
    case Shape::CubicInOut:
        return p < 0.5 ? 4 * p * p * p : 1 - std::pow(-2 * p + 2, 3) / 2;
    case Shape::ExpoIn:
        return p <= 0 ? 0 : std::pow(2, 10 * p - 10);
    case Shape::ExpoOut:
        return p >= 1 ? 1 : 1 - std::pow(2, -10 * p);
    case Shape::ExpoInOut:
        if (p <= 0 || p >= 1) {
            return p <= 0 ? 0 : 1;
        }
        return p < 0.5 ? std::pow(2, 20 * p - 10) / 2 : (2 - std::pow(2, -20 * p + 10)) / 2;
    }
    return p;
}

double MotionCurve::At(double p) const {
    p = std::clamp(std::isnan(p) ? 0.0 : p, 0.0, 1.0);
    if (p == 0 || p == 1) {
        return p;
    }
    return std::clamp(mirrored ? 1 - Plain(1 - p) : Plain(p), 0.0, 1.0);
}

uint32_t MotionCurve::PlainMoment(uint32_t t, uint32_t d) const {
    if (shape == Shape::Linear || t >= d) {
        return t;
    }
    if (t == 0) {
        return 0;
    }
    const double p = std::clamp(Plain(static_cast<double>(t) / d), 0.0, 1.0);
    return static_cast<uint32_t>(std::min<double>(d, std::floor(p * d + 0.5)));
}

uint32_t MotionCurve::MomentAt(uint32_t t, uint32_t d) const {
    if (t >= d) {
        return t;
    }
    return mirrored ? d - PlainMoment(d - t, d) : PlainMoment(t, d);
}

MotionCurve MotionCurve::Mirrored() const {
    MotionCurve curve = *this;
    curve.mirrored = !mirrored && shape != Shape::Linear;
    return curve;
}

bool MirrorRequest(const FrameRequest& request, FrameRequest& mirror) {
    const uint32_t d = request.durationMs == 0 ? 1 : request.durationMs;
    if (!request.reverse || (request.elapsedMs >= d && !request.moduleLastStep)) {
        return false;
    }
    mirror = request;
    mirror.reverse = false;
    mirror.ease = request.ease.Mirrored();
    mirror.elapsedMs = request.elapsedMs >= d ? 0 : d - request.elapsedMs;
    return true;
}

bool EasedToTheEnd(const FrameRequest& request, FrameRequest& ended) {
    const uint32_t d = request.durationMs == 0 ? 1 : request.durationMs;
    if (request.reverse || request.moduleLastStep || request.elapsedMs >= d ||
        request.ease.MomentAt(request.elapsedMs, d) < d) {
        return false;
    }
    ended = request;
    ended.ease = {};
    ended.elapsedMs = d;
    return true;
}

} // namespace wqtrans
