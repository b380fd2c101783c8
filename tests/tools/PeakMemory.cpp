// Peak memory of the wqtrans tool: a 300-frame 1920x1080 GIF render stays within twice
// the peak of a 30-frame one, since frames go to the file as they are made, and a join
// of eight clips within 1.25 times a join of two, since inputs are let go once shown.
// Each run's peak comes from the rusage that wait4 reports. CI runs it on the release build:
//   build/release/tests/tools/wqtrans_tool_peak_memory
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/tools/PeakKib.h"

namespace {

// The peak resident size of one run of the tool in KiB, or -1 when it failed.
long PeakKib(std::vector<std::string> args) { return wqtrans::tooltest::PeakKib(WQTRANS_TOOL_PATH, std::move(args)); }

} // namespace

int main() {
    std::string dir = (std::filesystem::temp_directory_path() / "wqtrans-memory-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    // duration x fps / 1000 + 1 frames: 1000 ms at 29 fps is 30, 9967 ms at 30 fps 300.
    auto render = [&](const char* duration, const char* fps) {
        return PeakKib({"render", "Fade", "--size", "1920x1080", "--duration", duration, "--fps", fps, "-q", "--out",
                        dir + "/run.gif"});
    };
    const long shortRun = render("1000", "29");
    const long longRun = render("9967", "30");
    std::filesystem::remove_all(dir);
    if (shortRun < 0 || longRun < 0) {
        std::fprintf(stderr, "wqtrans_tool_peak_memory: a render failed\n");
        return 1;
    }
    const bool bounded = longRun <= 2 * shortRun;
    std::printf("peak memory of a 1920x1080 GIF render: 30 frames %ld KiB, 300 frames %ld KiB (%s)\n", shortRun,
                longRun, bounded ? "within 2x" : "more than 2x: frames are being kept");

    // A join of eight clips within 1.25 times the peak of a join of two: inputs are let
    // go once they have been shown.
    const std::string clip = dir + "/clip.mp4";
    std::filesystem::create_directory(dir);
    const std::string make =
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=30:duration=2 -f lavfi "
        "-i sine=duration=2 -c:v libx264 -preset ultrafast -c:a aac -shortest " +
        clip;
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "wqtrans_tool_peak_memory: ffmpeg could not make a clip\n");
        std::filesystem::remove_all(dir);
        return 1;
    }
    auto join = [&](int clips) {
        std::vector<std::string> args = {"join"};
        for (int i = 0; i < clips; ++i) {
            args.push_back(clip);
        }
        for (const char* arg : {"--codec", "libx264", "-q", "--out"}) {
            args.push_back(arg);
        }
        args.push_back(dir + "/joined.mp4");
        return PeakKib(args);
    };
    const long twoClips = join(2);
    const long eightClips = join(8);
    std::filesystem::remove_all(dir);
    if (twoClips < 0 || eightClips < 0) {
        std::fprintf(stderr, "wqtrans_tool_peak_memory: a join failed\n");
        return 1;
    }
    const bool joinBounded = eightClips * 4 <= twoClips * 5;
    std::printf("peak memory of a 1280x720 join: 2 clips %ld KiB, 8 clips %ld KiB (%s)\n", twoClips, eightClips,
                joinBounded ? "within 1.25x" : "more than 1.25x: inputs are being kept");
    return bounded && joinBounded ? 0 : 1;
}
