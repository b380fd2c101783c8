// Decoding PNG, JPEG and WebP pictures from their bytes, under one pixel budget that
// is checked from the header before any pixel memory is taken. Kept apart from the
// rest of the tool so that the fuzz target can drive it alone.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <webp/decode.h>

#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

[[noreturn]] void Unreadable(const std::string& name, const std::string& reason) {
    IoError("cannot read picture " + name + ": " + reason);
}

void CheckBudget(const std::string& name, int64_t width, int64_t height) {
    const std::string problem = OverBudget(width, height);
    if (!problem.empty()) {
        Unreadable(name, "it is " + problem);
    }
}

uint32_t BigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// ---- JPEG ------------------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

// libjpeg's warnings (a truncated file, corrupt data) would reach stderr raw and let
// a damaged picture through as grey: here they end the decoding like errors.
void JpegMessage(j_common_ptr info, int level) {
    if (level < 0) {
        JpegErrorExit(info);
    }
}

// What lives across the setjmp: owned by the caller, so that a jump skips no
// destructor.
struct JpegState {
    std::unique_ptr<Picture> picture;
    std::vector<uint8_t> row;
    std::string message;
    int64_t width = 0;
    int64_t height = 0;
};

enum class JpegResult { Done, Failed, TooLarge };

JpegResult DecodeJpeg(const uint8_t* data, size_t size, JpegState& state) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.manager.emit_message = JpegMessage;
    error.message[0] = 0;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&info);
        state.message = error.message;
        return JpegResult::Failed;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    state.width = info.image_width;
    state.height = info.image_height;
    if (!OverBudget(state.width, state.height).empty()) {
        jpeg_destroy_decompress(&info);
        return JpegResult::TooLarge;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const auto width = static_cast<int32_t>(info.output_width);
    try {
        state.picture = std::make_unique<Picture>(width, static_cast<int32_t>(info.output_height));
        state.row.resize(static_cast<size_t>(width) * 3);
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&info);
        state.message = "out of memory";
        return JpegResult::Failed;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {state.row.data()};
        const auto y = static_cast<int32_t>(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = &state.row[static_cast<size_t>(x) * 3];
            state.picture->SetPixel(
                x, y, 0xFF000000u | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return JpegResult::Done;
}

} // namespace

std::unique_ptr<Picture> DecodePicture(const uint8_t* data, size_t size, const std::string& name) {
    auto starts = [&](const char* magic, size_t at = 0) {
        const size_t n = std::strlen(magic);
        return size >= at + n && std::memcmp(data + at, magic, n) == 0;
    };
    std::unique_ptr<Picture> picture;
    if (starts("\x89PNG\r\n\x1a\n")) {
        // The size is in the IHDR chunk, the first after the signature.
        if (size >= 24 && starts("IHDR", 12)) {
            CheckBudget(name, BigEndian32(data + 16), BigEndian32(data + 20));
        }
        picture = std::make_unique<Picture>();
        std::string error;
        if (!picture->LoadPng(data, size, &error)) {
            Unreadable(name, error);
        }
    } else if (starts("\xFF\xD8\xFF")) {
        JpegState state;
        const JpegResult result = DecodeJpeg(data, size, state);
        if (result == JpegResult::TooLarge) {
            CheckBudget(name, state.width, state.height);
        }
        if (result != JpegResult::Done) {
            Unreadable(name, state.message.empty() ? "bad JPEG data" : state.message);
        }
        picture = std::move(state.picture);
    } else if (starts("RIFF") && starts("WEBP", 8)) {
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) {
            Unreadable(name, "bad WebP data");
        }
        if (features.has_animation) {
            Unreadable(name, "an animated WebP is not a single picture");
        }
        CheckBudget(name, features.width, features.height);
        picture = std::make_unique<Picture>(features.width, features.height);
        // BGRA bytes are 0xAARRGGBB words on a little-endian machine.
        const size_t bytes = static_cast<size_t>(features.width) * static_cast<size_t>(features.height) * 4;
        if (WebPDecodeBGRAInto(data, size, reinterpret_cast<uint8_t*>(picture->Pixels()), bytes, features.width * 4) ==
            nullptr) {
            Unreadable(name, "bad WebP data");
        }
    } else {
        Unreadable(name, "not a PNG, JPEG or WebP file");
    }
    if (picture->Width() <= 0 || picture->Height() <= 0) {
        Unreadable(name, "it is empty");
    }
    CheckBudget(name, picture->Width(), picture->Height());
    // Frames are opaque: a picture's own transparency is dropped.
    const size_t count = static_cast<size_t>(picture->Width()) * static_cast<size_t>(picture->Height());
    for (size_t i = 0; i < count; ++i) {
        picture->Pixels()[i] |= 0xFF000000u;
    }
    return picture;
}

} // namespace wqtrans::tool
