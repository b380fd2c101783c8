// Decoding PNG, JPEG and WebP pictures from their bytes (HEIF and AVIF in
// HeifDecode.cpp), under one pixel budget that is checked from the header before any
// pixel memory is taken, with their EXIF orientation and colour profile. Kept apart
// from the commands so that the fuzz target can drive it alone.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include "media/Decoders.h"

namespace wqtrans::media {

namespace {

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
    RawPicture picture;
    std::vector<uint8_t> row;
    std::string message;
    int64_t width = 0;
    int64_t height = 0;
};

// The EXIF block (APP1, "Exif\0\0" and a TIFF structure) and the ICC profile (APP2
// chunks, which libjpeg puts together) kept from a JPEG's markers.
void ReadJpegMarkers(jpeg_decompress_struct& info, RawPicture& picture) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 &&
            std::memcmp(marker->data, "Exif\0\0", 6) == 0) {
            picture.orientation = ExifOrientation(marker->data, marker->data_length);
            break;
        }
    }
    JOCTET* icc = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&info, &icc, &length) && icc != nullptr) {
        picture.colour.icc.assign(icc, icc + length);
    }
    std::free(icc);
}

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
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
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
        ReadJpegMarkers(info, state.picture);
        state.picture.pixels = SoftwareSurface(width, static_cast<int32_t>(info.output_height));
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
            state.picture.pixels.SetPixel(
                x, y, 0xFF000000u | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return JpegResult::Done;
}

// ---- PNG -------------------------------------------------------------------------

// libpng's simplified reader gives the pixels; a second, raw reading of the chunks
// before the picture data gives what it leaves out: the ICC profile (iCCP) and the EXIF
// block (eXIf). It also checks a palette picture's indexes, which the simplified reader
// draws as black past the end of the palette: such a picture is damaged.
struct PngChunks {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    std::vector<uint8_t> row;
    std::string problem;
    std::vector<uint8_t> icc;
    std::vector<uint8_t> exif;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
    auto* chunks = static_cast<PngChunks*>(png_get_io_ptr(png));
    if (count > chunks->size - chunks->at) {
        png_error(png, "truncated PNG data");
    }
    std::memcpy(out, chunks->data + chunks->at, count);
    chunks->at += count;
}

void PngError(png_structp png, png_const_charp message) {
    static_cast<PngChunks*>(png_get_error_ptr(png))->problem = message;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Fills `chunks` from the chunks before the picture data, and its problem when a
// palette index names no colour of the palette. The caller owns `chunks`, so that a
// jump out of libpng skips no destructor.
void ReadPngChunks(PngChunks& chunks) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &chunks, PngError, PngWarning);
    if (png == nullptr) {
        chunks.problem = "out of memory";
        return;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &chunks, ReadFromMemory);
    png_read_info(png, info);
    png_charp iccName = nullptr;
    int compression = 0;
    png_bytep icc = nullptr;
    png_uint_32 iccSize = 0;
    if (png_get_iCCP(png, info, &iccName, &compression, &icc, &iccSize) != 0 && icc != nullptr) {
        chunks.icc.assign(icc, icc + iccSize);
    }
    png_uint_32 exifSize = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &exifSize, &exif) != 0 && exif != nullptr) {
        chunks.exif.assign(exif, exif + exifSize);
    }
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
    chunks.row.assign(png_get_rowbytes(png, info), 0);
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, chunks.row.data(), nullptr);
            for (png_uint_32 x = 0; x < width; ++x) {
                if (chunks.row[x] >= colours) {
                    chunks.problem = "a pixel uses colour " + std::to_string(chunks.row[x]) + " of a palette of " +
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
RawPicture DecodePng(const uint8_t* data, size_t size) {
    // The size is in the IHDR chunk, the first after the signature.
    if (size >= 24 && std::memcmp(data + 12, "IHDR", 4) == 0) {
        CheckBudget(BigEndian32(data + 16), BigEndian32(data + 20));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    auto fail = [&](const std::string& fallback) {
        const std::string reason = image.message[0] != 0 ? std::string(image.message) : fallback;
        png_image_free(&image);
        Unreadable(reason);
    };
    if (png_image_begin_read_from_memory(&image, data, size) == 0) {
        fail("bad PNG data");
    }
    if (!OverBudget(image.width, image.height).empty()) {
        png_image_free(&image);
        CheckBudget(image.width, image.height);
    }
    // BGRA bytes are 0xAARRGGBB words on a little-endian machine; 8-bit sRGB, not
    // premultiplied.
    image.format = PNG_FORMAT_BGRA;
    RawPicture picture;
    picture.pixels = SoftwareSurface(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
    if (png_image_finish_read(&image, nullptr, picture.pixels.Pixels(), 0, nullptr) == 0) {
        fail("bad PNG data");
    }
    png_image_free(&image);
    PngChunks chunks;
    chunks.data = data;
    chunks.size = size;
    ReadPngChunks(chunks);
    if (!chunks.problem.empty()) {
        Unreadable(chunks.problem);
    }
    picture.colour.icc = std::move(chunks.icc);
    if (!chunks.exif.empty()) {
        picture.orientation = ExifOrientation(chunks.exif.data(), chunks.exif.size());
    }
    return picture;
}

RawPicture DecodeJpegPicture(const uint8_t* data, size_t size) {
    JpegState state;
    const JpegResult result = DecodeJpeg(data, size, state);
    if (result == JpegResult::TooLarge) {
        CheckBudget(state.width, state.height);
    }
    if (result != JpegResult::Done) {
        Unreadable(state.message.empty() ? "bad JPEG data" : state.message);
    }
    return std::move(state.picture);
}

// A WebP's one picture, with the ICC profile and EXIF block of its extended format.
RawPicture DecodeWebp(const uint8_t* data, size_t size) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) {
        Unreadable("bad WebP data");
    }
    if (features.has_animation) {
        Unsupported("an animated WebP is not a single picture");
    }
    CheckBudget(features.width, features.height);
    RawPicture picture;
    picture.pixels = SoftwareSurface(features.width, features.height);
    // BGRA bytes are 0xAARRGGBB words on a little-endian machine.
    const size_t bytes = static_cast<size_t>(features.width) * static_cast<size_t>(features.height) * 4;
    if (WebPDecodeBGRAInto(data, size, reinterpret_cast<uint8_t*>(picture.pixels.Pixels()), bytes,
                           features.width * 4) == nullptr) {
        Unreadable("bad WebP data");
    }
    const WebPData whole{data, size};
    if (WebPDemuxer* demuxer = WebPDemux(&whole)) {
        WebPChunkIterator chunk;
        if (WebPDemuxGetChunk(demuxer, "ICCP", 1, &chunk) != 0) {
            picture.colour.icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        if (WebPDemuxGetChunk(demuxer, "EXIF", 1, &chunk) != 0) {
            picture.orientation = ExifOrientation(chunk.chunk.bytes, chunk.chunk.size);
            WebPDemuxReleaseChunkIterator(&chunk);
        }
        WebPDemuxDelete(demuxer);
    }
    return picture;
}

// Frames are opaque: a picture's transparent and translucent pixels are laid on the
// background, as a viewer shows them on its page.
void OnBackground(SoftwareSurface& picture, uint32_t background, bool premultiplied) {
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
            const uint32_t top = premultiplied ? std::min(colour, alpha) * 255 : colour * alpha;
            out |= ((top + under * (255 - alpha) + 127) / 255) << shift;
        }
        pixels[i] = out;
    }
}

bool Starts(const uint8_t* data, size_t size, const char* magic, size_t at = 0) {
    const size_t n = std::strlen(magic);
    return size >= at + n && std::memcmp(data + at, magic, n) == 0;
}

} // namespace

bool LooksLikePicture(const uint8_t* data, size_t size) {
    return Starts(data, size, "\x89PNG\r\n\x1a\n") || Starts(data, size, "\xFF\xD8\xFF") ||
           (Starts(data, size, "RIFF") && Starts(data, size, "WEBP", 8)) || LooksLikeHeif(data, size);
}

DecodedPicture DecodePicture(const uint8_t* data, size_t size, uint32_t background) {
    RawPicture raw;
    if (Starts(data, size, "\x89PNG\r\n\x1a\n")) {
        raw = DecodePng(data, size);
    } else if (Starts(data, size, "\xFF\xD8\xFF")) {
        raw = DecodeJpegPicture(data, size);
    } else if (Starts(data, size, "RIFF") && Starts(data, size, "WEBP", 8)) {
        raw = DecodeWebp(data, size);
    } else if (LooksLikeHeif(data, size)) {
        raw = DecodeHeif(data, size);
    } else {
        Unsupported("not a PNG, JPEG, WebP, HEIC or AVIF file");
    }
    if (raw.pixels.Width() <= 0 || raw.pixels.Height() <= 0) {
        Unreadable("it is empty");
    }
    CheckBudget(raw.pixels.Width(), raw.pixels.Height());
    DecodedPicture decoded;
    if (raw.colour.Given()) {
        const std::string note = ConvertToSrgb(raw.pixels, raw.colour);
        if (!note.empty()) {
            decoded.notes.push_back(note);
        }
    }
    decoded.pixels = Oriented(std::move(raw.pixels), raw.orientation);
    OnBackground(decoded.pixels, background, raw.premultiplied);
    return decoded;
}

} // namespace wqtrans::media
