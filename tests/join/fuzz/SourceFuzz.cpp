// The join engine's reading of its inputs under libFuzzer: any bytes, as a file, are a
// clip, a picture or a one-line refusal, never a crash, a leak or a hang. Built by the
// fuzz preset (scripts/fuzz).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "join/JoinError.h"
#include "join/Source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    av_log_set_level(AV_LOG_QUIET);
    const int fd = memfd_create("input", 0);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) {
        if (fd >= 0) {
            close(fd);
        }
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        wqtrans::join::Source source({path, std::nullopt, std::nullopt}, 2000000);
        source.Start({32, 24, wqtrans::FitMode::Cover, 0xFF000000u});
        for (int64_t t = 0; t < source.LengthUs() && t < 3000000; t += 100000) {
            source.FrameAt(t);
        }
        source.Stop();
    } catch (const wqtrans::join::JoinError&) {
    }
    close(fd);
    return 0;
}
