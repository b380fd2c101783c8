// libFuzzer target of the tool's picture readers: any bytes either decode into a
// picture within the pixel budget or end in the tool's one-line I/O error; nothing
// else (a crash, a leak, an over-budget allocation, undefined behaviour) is allowed.
// Built and run by scripts/fuzz, with tests/tools/pictures as its seed corpus.
#include <cstdint>
#include <cstdlib>

#include "tools/Tool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace wqtrans::tool;
    try {
        const std::unique_ptr<Picture> picture = DecodePicture(data, size, "\"input\"");
        if (!wqtrans::OverBudget(picture->Width(), picture->Height()).empty()) {
            std::abort();
        }
    } catch (const ToolError& error) {
        if (error.status != kExitIo) {
            std::abort();
        }
    }
    return 0;
}
