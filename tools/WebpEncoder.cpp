// Animated WebP through libwebp's animation encoder: lossy (or lossless) frames, each
// stored as the rectangle that changed since the frame before, with the disposal and
// blending the encoder finds smallest. A frame identical to the one before lengthens
// that frame instead of adding one.
#include <webp/encode.h>
#include <webp/mux.h>

#include "tools/Encoders.h"

namespace wqtrans::tool {

namespace {

class WebpEncoder final : public FrameEncoder {
public:
    WebpEncoder(OutputFile& file, int32_t width, int32_t height, const EncodeSettings& settings)
        : file(file), width(width), height(height) {
        WebPAnimEncoderOptions options;
        if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config)) {
            IoError("the installed libwebp does not match the one the tool was built with");
        }
        options.anim_params.loop_count = settings.loop;
        options.anim_params.bgcolor = 0xFFFFFFFFu;
        // A key frame at least every 3 s of 30 fps: the cost of a seek or of a frame
        // dropped by a slow decoder stays bounded, and more candidates would cost
        // encoding time for little size.
        options.kmin = 45;
        options.kmax = 90;
        options.allow_mixed = 0;
        config.lossless = settings.lossless ? 1 : 0;
        config.quality = static_cast<float>(settings.quality.value_or(settings.lossless ? 75 : kDefaultWebpQuality));
        // method 2 of 0..6: the size of method 4 within a few percent at half the time.
        config.method = 2;
        config.thread_level = 0;
        if (!WebPValidateConfig(&config)) {
            IoError("cannot set up the WebP encoder for " + file.Target());
        }
        encoder = WebPAnimEncoderNew(width, height, &options);
        if (encoder == nullptr) {
            throw std::bad_alloc();
        }
    }
    ~WebpEncoder() override { WebPAnimEncoderDelete(encoder); }

    void Add(Picture& frame, uint32_t timeMs) override {
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) {
            IoError("cannot encode a WebP frame");
        }
        picture.use_argb = 1;
        picture.width = width;
        picture.height = height;
        // 0xAARRGGBB words are B, G, R, A bytes on a little-endian machine.
        if (!WebPPictureImportBGRX(&picture, reinterpret_cast<const uint8_t*>(frame.Pixels()), width * 4)) {
            throw std::bad_alloc();
        }
        const int added = WebPAnimEncoderAdd(encoder, &picture, static_cast<int>(timeMs), &config);
        const WebPEncodingError code = picture.error_code;
        WebPPictureFree(&picture);
        if (!added) {
            if (code == VP8_ENC_ERROR_OUT_OF_MEMORY) {
                throw std::bad_alloc();
            }
            IoError("cannot encode a WebP frame of " + file.Target() + ": " + WebPAnimEncoderGetError(encoder));
        }
    }

    void Finish(uint32_t endMs) override {
        if (!WebPAnimEncoderAdd(encoder, nullptr, static_cast<int>(endMs), nullptr)) {
            IoError("cannot finish " + file.Target() + ": " + WebPAnimEncoderGetError(encoder));
        }
        WebPData data;
        WebPDataInit(&data);
        if (!WebPAnimEncoderAssemble(encoder, &data)) {
            IoError("cannot assemble " + file.Target() + ": " + WebPAnimEncoderGetError(encoder));
        }
        try {
            file.Write(data.bytes, data.size);
        } catch (...) {
            WebPDataClear(&data);
            throw;
        }
        WebPDataClear(&data);
    }

private:
    OutputFile& file;
    int32_t width;
    int32_t height;
    WebPConfig config;
    WebPAnimEncoder* encoder = nullptr;
};

} // namespace

std::unique_ptr<FrameEncoder> OpenWebpEncoder(OutputFile& file, int32_t width, int32_t height,
                                              const EncodeSettings& settings) {
    return std::make_unique<WebpEncoder>(file, width, height, settings);
}

} // namespace wqtrans::tool
