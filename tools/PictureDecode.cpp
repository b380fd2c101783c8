// Decoding PNG, JPEG and WebP pictures from their bytes, under one pixel budget that
// is checked from the header before any pixel memory is taken. Kept apart from the
// rest of the tool so that the fuzz target can drive it alone.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <png.h>
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

// ---- PNG -------------------------------------------------------------------------

// libpng's simplified reader draws a palette index past the end of the palette as
// black; such a picture is damaged, so the indexes are read once more, raw, and
// checked against the palette.
struct PaletteCheck {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    std::vector<uint8_t> row;
    std::string problem;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
    auto* check = static_cast<PaletteCheck*>(png_get_io_ptr(png));
    if (count > check->size - check->at) {
        png_error(png, "truncated PNG data");
    }
    std::memcpy(out, check->data + check->at, count);
    check->at += count;
}

void PngError(png_structp png, png_const_charp message) {
    static_cast<PaletteCheck*>(png_get_error_ptr(png))->problem = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// "" when every pixel of a palette PNG names a colour of its palette; else the problem.
// The caller owns `check`, so that a jump out of libpng skips no destructor.
void CheckPaletteIndexes(PaletteCheck& check) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &check, PngError, PngWarning);
    if (png == nullptr) {
        check.problem = "out of memory";
        return;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &check, ReadFromMemory);
    png_read_info(png, info);
    png_colorp palette = nullptr;
    int colours = 0;
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE || png_get_PLTE(png, info, &palette, &colours) == 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    // One byte per index whatever the bit depth; every pass of an interlaced picture.
    png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    check.row.assign(png_get_rowbytes(png, info), 0);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, check.row.data(), nullptr);
            for (png_uint_32 x = 0; x < width; ++x) {
                if (check.row[x] >= colours) {
                    check.problem = "a pixel uses colour " + std::to_string(check.row[x]) + " of a palette of " +
                                    std::to_string(colours);
                    png_destroy_read_struct(&png, &info, nullptr);
                    return;
                }
            }
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
}

// Straight-alpha 0xAARRGGBB pixels from a PNG of any colour type and depth.
std::unique_ptr<Picture> DecodePng(const uint8_t* data, size_t size, const std::string& name) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    auto fail = [&](const std::string& fallback) {
        const std::string reason = image.message[0] != 0 ? std::string(image.message) : fallback;
        png_image_free(&image);
        Unreadable(name, reason);
    };
    if (png_image_begin_read_from_memory(&image, data, size) == 0) {
        fail("bad PNG data");
    }
    if (!OverBudget(image.width, image.height).empty()) {
        png_image_free(&image);
        CheckBudget(name, image.width, image.height);
    }
    // BGRA bytes are 0xAARRGGBB words on a little-endian machine; 8-bit sRGB, not
    // premultiplied.
    image.format = PNG_FORMAT_BGRA;
    auto picture = std::make_unique<Picture>(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
    if (png_image_finish_read(&image, nullptr, picture->Pixels(), 0, nullptr) == 0) {
        fail("bad PNG data");
    }
    png_image_free(&image);
    PaletteCheck check;
    check.data = data;
    check.size = size;
    CheckPaletteIndexes(check);
    if (!check.problem.empty()) {
        Unreadable(name, check.problem);
    }
    return picture;
}

// Frames are opaque: a picture's transparent and translucent pixels are laid on the
// background, as a viewer shows them on its page.
void OnBackground(Picture& picture, uint32_t background) {
    const size_t count = static_cast<size_t>(picture.Width()) * static_cast<size_t>(picture.Height());
    uint32_t* pixels = picture.Pixels();
    for (size_t i = 0; i < count; ++i) {
        const uint32_t pixel = pixels[i];
        const uint32_t alpha = pixel >> 24;
        if (alpha == 255) {
            continue;
        }
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t colour = (pixel >> shift) & 0xFF;
            const uint32_t under = (background >> shift) & 0xFF;
            out |= ((colour * alpha + under * (255 - alpha) + 127) / 255) << shift;
        }
        pixels[i] = out;
    }
}

} // namespace

bool LooksLikePicture(const uint8_t* data, size_t size) {
    auto starts = [&](const char* magic, size_t at = 0) {
        const size_t n = std::strlen(magic);
        return size >= at + n && std::memcmp(data + at, magic, n) == 0;
    };
    return starts("\x89PNG\r\n\x1a\n") || starts("\xFF\xD8\xFF") || (starts("RIFF") && starts("WEBP", 8));
}

std::unique_ptr<Picture> DecodePicture(const uint8_t* data, size_t size, const std::string& name, uint32_t background) {
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
        picture = DecodePng(data, size, name);
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
    OnBackground(*picture, background);
    return picture;
}

} // namespace wqtrans::tool
