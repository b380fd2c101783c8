#include <chrono>

#include "platform/Platform.h"

namespace {

// Per thread, so that hosts can step transitions on several threads, each on its own clock.
thread_local wqtrans::platform::TimeSource timeSource = nullptr;
thread_local void* timeContext = nullptr;

uint32_t SystemMilliseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

} // namespace

namespace wqtrans::platform {

void SetTimeSource(TimeSource source, void* context) {
    timeSource = source;
    timeContext = context;
}

} // namespace wqtrans::platform

DWORD timeGetTime() { return timeSource != nullptr ? timeSource(timeContext) : SystemMilliseconds(); }
