// Where a picture of one size goes in a frame of another: the part of the picture taken
// and the rectangle of the frame it is scaled onto. Every host that brings pictures to a
// run's size places them here, so that they all show the same frame; each scales the
// pixels with what it has.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace wqtrans {

// Stretch: the whole picture onto the whole frame, whatever its shape. Contain: the
// whole picture, as large as fits, centred on a background (letterboxed). Cover: the
// middle part of the picture that has the frame's shape, onto the whole frame. Blur:
// placed as Contain, on a blurred, darkened copy of the picture that covers the frame
// (host/BlurFill.h draws it) in place of the background.
enum class FitMode { Stretch, Contain, Cover, Blur };

// The mode called "stretch", "contain", "cover" or "blur"; none for another name.
std::optional<FitMode> FitModeNamed(std::string_view name);

struct FitRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const FitRect&) const = default;
};

struct FitPlacement {
    FitRect from; // in the picture
    FitRect to;   // in the frame; outside it, the background (for Blur, the blurred copy)
    bool operator==(const FitPlacement&) const = default;
};

// The placement of a pictureWidth x pictureHeight picture in a width x height frame (all
// at least 1). A picture of the frame's shape always fills it. Rectangles are never
// empty and stay inside their picture and frame.
FitPlacement PlaceFitted(int32_t pictureWidth, int32_t pictureHeight, int32_t width, int32_t height, FitMode mode);

} // namespace wqtrans
