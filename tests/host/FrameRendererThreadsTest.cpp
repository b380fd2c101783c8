// Requests on several threads at once give the pictures one thread gives: each request
// has its own clock and random generator. Run under ThreadSanitizer in CI (tsan preset).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host/FrameRenderer.h"
#include "module/Exports.h"
#include "support/Frames.h"
#include "support/Runs.h"

namespace wqtrans::test {
namespace {

constexpr int32_t kWidth = 97;
constexpr int32_t kHeight = 61;

// Every transition at a few moments with seeds of its own, Mosaic and Advanced Scrolling
// drawing from the random generator, and the replayed ones at other frame rates.
std::vector<FrameRequest> Requests() {
    std::vector<FrameRequest> requests;
    for (int32_t index = 0; index < 21; ++index) {
        for (uint32_t t : {130u, 500u, 870u}) {
            FrameRequest request{GetTransID(index), {}, 3 + static_cast<uint32_t>(index) * 7 + t, 0, 1000, t};
            request.frameRateNum = 24 + t % 37;
            requests.push_back(request);
        }
    }
    return requests;
}

TEST(FrameRendererThreads, ConcurrentRequestsGiveTheOneThreadPictures) {
    const std::vector<FrameRequest> requests = Requests();
    PixelRig rig(kWidth, kHeight);
    std::vector<SoftwareSurface> expected;
    for (const FrameRequest& request : requests) {
        expected.emplace_back(kWidth, kHeight);
        ASSERT_TRUE(RenderFrameAt(request, rig.oldFrame, rig.newFrame, expected.back()));
    }
    for (int threads : {2, 3, 8}) {
        std::atomic<size_t> next{0};
        std::atomic<int> wrong{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < threads; ++w) {
            workers.emplace_back([&] {
                SoftwareSurface out(kWidth, kHeight);
                // Each thread takes the next request, twice round the list, so that
                // different transitions and moments overlap in time.
                for (size_t k; (k = next.fetch_add(1)) < 2 * requests.size();) {
                    const size_t i = k % requests.size();
                    if (!RenderFrameAt(requests[i], rig.oldFrame, rig.newFrame, out) ||
                        !FirstBadPixel(out, [&](int32_t x, int32_t y) { return expected[i].Pixel(x, y); }).empty()) {
                        ++wrong;
                    }
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        EXPECT_EQ(wrong.load(), 0) << threads << " threads";
    }
}

} // namespace
} // namespace wqtrans::test
