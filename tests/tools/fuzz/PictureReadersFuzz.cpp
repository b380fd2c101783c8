// libFuzzer target of the picture readers: any bytes either decode into a picture
// within the pixel budget or end in a one-line PictureError; nothing else (a crash, a
// leak, an over-budget allocation, undefined behaviour) is allowed. Built and run by
// scripts/fuzz, with tests/tools/pictures and HEIC and AVIF pictures made there as its
// seed corpus.
#include <cstdint>
#include <cstdlib>

#include "host/PixelBudget.h"
#include "media/Picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace wqtrans;
    try {
        media::DecodedPicture picture = media::DecodePicture(data, size);
        if (!OverBudget(picture.pixels.Width(), picture.pixels.Height()).empty()) {
            std::abort();
        }
    } catch (const media::PictureError&) {
    }
    return 0;
}
