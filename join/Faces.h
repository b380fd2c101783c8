// Faces in a picture, for the join's `--motion auto`, which aims its zoom at them.
// OpenCV's cascade classifier looks for frontal faces with a cascade that Debian's
// opencv-data installs (haarcascade_frontalface_alt2.xml under /usr/share/opencv4, or
// /usr/local/share/opencv4 for a build of OpenCV's own), or with the cascade file the
// environment variable WQTRANS_FACE_CASCADE names. Without one nothing is searched and
// the caller is told why, so that a join still runs, without aiming at faces.
//
// The cascade is read on the first search only, once per process, so that a join that
// never asks for faces never reads it. Searches run on a grey copy of the picture whose
// long side is at most 800 pixels; faces smaller than a twentieth of the picture's
// short side are not looked for, which keeps textures (leaves, brick, fabric) from
// passing for faces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace wqtrans::join {

// A face found in a picture: its box, in fractions of the picture's width and height.
struct FaceBox {
    double x = 0, y = 0, width = 0, height = 0;
};

struct FaceSearch {
    std::vector<FaceBox> faces; // largest first; empty when none were found
    bool searched = false;      // false when no detector is installed (see `why`)
    std::string why;            // then a one-line reason, e.g. which package to install
};

// Looks for frontal faces in a picture of 0xAARRGGBB words (`stride` in words). Never
// throws: a failure inside OpenCV is searched = false with its reason. Safe to call from
// several threads; their searches take turns (OpenCV spreads each over the cores).
FaceSearch FindFaces(const uint32_t* pixels, int32_t width, int32_t height, size_t stride) noexcept;

// The search behind FindFaces with a cascade file of the caller's choosing, read when it
// is made. FindFaces keeps one for the process.
class FaceDetector {
public:
    // `hint` follows the reason when the file does not load: where it was to come from
    // ("Debian package opencv-data").
    explicit FaceDetector(const std::string& cascadePath, const std::string& hint = {});
    ~FaceDetector();
    FaceDetector(const FaceDetector&) = delete;
    FaceDetector& operator=(const FaceDetector&) = delete;

    // As FindFaces; searched is false, with the reason, when the cascade did not load.
    FaceSearch Find(const uint32_t* pixels, int32_t width, int32_t height, size_t stride) const noexcept;

private:
    struct Loaded;
    std::unique_ptr<Loaded> loaded; // null when the cascade did not load
    std::string why;                // then why not
};

} // namespace wqtrans::join
