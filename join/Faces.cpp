#include "join/Faces.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace wqtrans::join {

namespace {

// Where opencv-data puts the cascade, then where a build of OpenCV's own installs it.
// Of the frontal-face cascades there, "alt2" found every face in opencv-doc's sample
// photos and nothing else with the settings below; "default" found the same faces and
// also took a shirt's stripes, a monitor and an aerial view of a town for faces.
constexpr const char* kInstalledCascades[] = {
    "/usr/share/opencv4/haarcascades/haarcascade_frontalface_alt2.xml",
    "/usr/local/share/opencv4/haarcascades/haarcascade_frontalface_alt2.xml",
};

// The long side of the copy searched: faces worth aiming a zoom at stay well above the
// cascade's 20-pixel window there, and a 12-megapixel photo costs what an 800-pixel one
// does.
constexpr int kLongSide = 800;
// The smallest face looked for, as a fraction of the short side: smaller ones are too
// small to zoom towards, and small windows are where textures most often pass for faces.
constexpr int kSmallestFaceDivisor = 20;
constexpr double kScaleStep = 1.1;
// How many overlapping windows must agree before a face counts. OpenCV's samples use 3
// to 5; below 7 a striped shirt passed for a face in opencv-doc's sample photos.
constexpr int kNeighbours = 7;

// How much of the smaller of two boxes they must share to be one face (see OneBoxPerFace).
constexpr double kSameFace = 0.3;

struct CascadeChoice {
    std::string path, hint;
};

CascadeChoice ChooseCascade() {
    if (const char* named = std::getenv("WQTRANS_FACE_CASCADE"); named != nullptr && *named != '\0') {
        return {named, "named by WQTRANS_FACE_CASCADE"};
    }
    for (const char* path : kInstalledCascades) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            return {path, {}};
        }
    }
    return {kInstalledCascades[0], "install Debian's opencv-data"};
}

std::string WithHint(const std::string& reason, const std::string& hint) {
    return hint.empty() ? reason : reason + " (" + hint + ")";
}

// A grey copy of the picture, shrunk so that its long side is at most kLongSide.
// Shrinking the colour picture before dropping its colour reads the big picture once.
cv::Mat GreyCopy(const uint32_t* pixels, int32_t width, int32_t height, size_t stride) {
    // 0xAARRGGBB words are B, G, R, A bytes on the little-endian machines the join runs on.
    const cv::Mat bgra(height, width, CV_8UC4, const_cast<uint32_t*>(pixels), stride * sizeof(uint32_t));
    cv::Mat grey;
    const int32_t longSide = std::max(width, height);
    if (longSide > kLongSide) {
        const double scale = static_cast<double>(kLongSide) / longSide;
        const cv::Size size(std::max(1, static_cast<int>(std::lround(width * scale))),
                            std::max(1, static_cast<int>(std::lround(height * scale))));
        cv::Mat small;
        cv::resize(bgra, small, size, 0, 0, cv::INTER_AREA);
        cv::cvtColor(small, grey, cv::COLOR_BGRA2GRAY);
    } else {
        cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
    }
    return grey;
}

// The cascade also fires on windows shifted and grown around a face (taking in hair, a
// collar and a shoulder), which its own grouping can keep apart from the face, and such
// a box is often the larger: in a dimmed photo of a footballer it came first. Of boxes
// that share kSameFace of the smaller one's area, the one more windows agreed on stays.
// Returns the faces largest first.
std::vector<cv::Rect> OneBoxPerFace(const std::vector<cv::Rect>& found, const std::vector<int>& votes) {
    std::vector<size_t> order(found.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const auto larger = [](const cv::Rect& a, const cv::Rect& b) {
        return std::make_tuple(-a.area(), a.y, a.x) < std::make_tuple(-b.area(), b.y, b.x);
    };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return votes[a] != votes[b] ? votes[a] > votes[b] : larger(found[a], found[b]);
    });
    std::vector<cv::Rect> kept;
    for (const size_t i : order) {
        const cv::Rect& box = found[i];
        const bool same = std::any_of(kept.begin(), kept.end(), [&](const cv::Rect& face) {
            return (face & box).area() >= kSameFace * std::min(face.area(), box.area());
        });
        if (!same) {
            kept.push_back(box);
        }
    }
    std::sort(kept.begin(), kept.end(), larger);
    return kept;
}

} // namespace

struct FaceDetector::Loaded {
    cv::CascadeClassifier classifier;
    cv::Size window; // the cascade's own window: nothing smaller is found
    // A classifier keeps working buffers while it searches, so searches take turns.
    std::mutex searching;
};

FaceDetector::FaceDetector(const std::string& cascadePath, const std::string& hint) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(cascadePath, error)) {
        why = WithHint("no face detector: " + cascadePath + " is missing", hint);
        return;
    }
    auto candidate = std::make_unique<Loaded>();
    try {
        candidate->classifier.load(cascadePath);
    } catch (const cv::Exception&) {
        // A file OpenCV cannot parse throws from some readers and leaves the
        // classifier empty in others; both are reported below.
    }
    if (candidate->classifier.empty()) {
        why = WithHint("no face detector: " + cascadePath + " is not a cascade OpenCV reads", hint);
        return;
    }
    candidate->window = candidate->classifier.getOriginalWindowSize();
    loaded = std::move(candidate);
}

FaceDetector::~FaceDetector() = default;

FaceSearch FaceDetector::Find(const uint32_t* pixels, int32_t width, int32_t height, size_t stride) const noexcept {
    FaceSearch search;
    if (!loaded) {
        search.why = why;
        return search;
    }
    search.searched = true;
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < static_cast<size_t>(width)) {
        return search;
    }
    try {
        cv::Mat grey = GreyCopy(pixels, width, height, stride);
        if (grey.cols < loaded->window.width || grey.rows < loaded->window.height) {
            return search;
        }
        // Its histogram equalised tile by tile, with a limit on the contrast gained
        // (CLAHE), so that faces in dim, hazy or backlit photos are found. One histogram
        // for the whole picture lifted face-like patterns out of a dark crowd behind a
        // well-lit face.
        cv::createCLAHE(2.0, cv::Size(8, 8))->apply(grey, grey);
        const int smallest = std::min(grey.cols, grey.rows) / kSmallestFaceDivisor;
        std::vector<cv::Rect> found;
        std::vector<int> votes;
        {
            const std::lock_guard<std::mutex> turn(loaded->searching);
            loaded->classifier.detectMultiScale(grey, found, votes, kScaleStep, kNeighbours, 0,
                                                cv::Size(smallest, smallest));
        }
        const double columns = grey.cols, rows = grey.rows;
        for (const cv::Rect& face : OneBoxPerFace(found, votes)) {
            search.faces.push_back({face.x / columns, face.y / rows, face.width / columns, face.height / rows});
        }
    } catch (const cv::Exception& error) {
        search = {};
        search.why = "the face search failed in OpenCV: " + error.err;
    } catch (const std::bad_alloc&) {
        search = {};
        search.why = "the face search ran out of memory";
    } catch (const std::exception& error) {
        search = {};
        search.why = std::string("the face search failed: ") + error.what();
    }
    return search;
}

FaceSearch FindFaces(const uint32_t* pixels, int32_t width, int32_t height, size_t stride) noexcept {
    // Read on the first call, once per process; C++ makes a local static's
    // initialisation safe when two threads arrive at once.
    static const CascadeChoice choice = ChooseCascade();
    static const FaceDetector detector(choice.path, choice.hint);
    return detector.Find(pixels, width, height, stride);
}

} // namespace wqtrans::join
