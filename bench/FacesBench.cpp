// The face search of `--motion auto` (join/Faces) on one photo: what a join spends per
// picture before it plans the picture's motion. A 12-megapixel camera photo (4000 x
// 3000: opencv-doc's messi5.jpg cut to 4:3 and enlarged with libswscale) and the same
// photo at 800 x 600, the size the search works at, so that the two differ by the cost
// of shrinking. Wall time: OpenCV spreads the search over the cores. The cascade is read
// before the timing starts.
//   build/release/bench/wqtrans_bench --benchmark_filter=Faces
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "join/Faces.h"
#include "media/Picture.h"

namespace {

const char* const kPhoto = "/usr/share/doc/opencv-doc/examples/data/messi5.jpg";

// The photo's middle 4:3 part at width x height; empty without opencv-doc.
std::vector<uint32_t> PhotoAt(int32_t width, int32_t height) {
    std::ifstream file(kPhoto, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.empty()) {
        return {};
    }
    wqtrans::media::DecodedPicture decoded =
        wqtrans::media::DecodePicture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    wqtrans::SoftwareSurface& photo = decoded.pixels;
    const int32_t partWidth = photo.Height() * 4 / 3;
    const int32_t left = (photo.Width() - partWidth) / 2;
    std::vector<uint32_t> out(static_cast<size_t>(width) * height);
    SwsContext* scaler = sws_getContext(partWidth, photo.Height(), AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_BGRA,
                                        SWS_BICUBIC, nullptr, nullptr, nullptr);
    const uint8_t* from[4] = {reinterpret_cast<const uint8_t*>(photo.Pixels() + left)};
    const int fromStrides[4] = {photo.Width() * 4};
    uint8_t* to[4] = {reinterpret_cast<uint8_t*>(out.data())};
    const int toStrides[4] = {width * 4};
    sws_scale(scaler, from, fromStrides, 0, photo.Height(), to, toStrides);
    sws_freeContext(scaler);
    return out;
}

void BM_Faces(benchmark::State& state) {
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    const std::vector<uint32_t> photo = PhotoAt(width, height);
    if (photo.empty()) {
        state.SkipWithError("opencv-doc's sample photographs are not installed (Debian: opencv-doc)");
        return;
    }
    const wqtrans::join::FaceSearch first = wqtrans::join::FindFaces(photo.data(), width, height, width);
    if (!first.searched || first.faces.empty()) {
        state.SkipWithError(first.searched ? "no face found in the photo" : first.why.c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(wqtrans::join::FindFaces(photo.data(), width, height, width));
    }
    state.counters["faces"] = static_cast<double>(first.faces.size());
}

} // namespace

BENCHMARK(BM_Faces)
    ->Name("Faces/Photo")
    ->Args({4000, 3000})
    ->Args({800, 600})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
