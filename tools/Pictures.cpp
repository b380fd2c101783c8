// The run's pictures: the two built-in ones, drawn with cairo, and PNG, JPEG and
// WebP files.
#include <cairo.h>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fontconfig/fontconfig.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include <jpeglib.h>
#include <webp/decode.h>

#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

// Copies a cairo ARGB32 surface (opaque, so premultiplication changes nothing) into a
// picture of the same size.
std::unique_ptr<Picture> FromCairo(cairo_surface_t* surface, int32_t width, int32_t height) {
    cairo_surface_flush(surface);
    auto picture = std::make_unique<Picture>(width, height);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int32_t x = 0; x < width; ++x) {
            picture->SetPixel(x, y, row[x] | 0xFF000000u);
        }
    }
    return picture;
}

void CentredText(cairo_t* cr, const std::string& text, double cx, double cy, double size, bool bold) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, cx - extents.width / 2 - extents.x_bearing, cy - extents.height / 2 - extents.y_bearing);
}

// A big letter with a dark outline, readable on any background.
void BigLetter(cairo_t* cr, const std::string& text, double cx, double cy, double size) {
    CentredText(cr, text, cx, cy, size, true);
    cairo_text_path(cr, text.c_str());
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.08, 0.08, 0.1);
    cairo_set_line_width(cr, std::max(1.0, size / 40));
    cairo_stroke(cr);
}

} // namespace

// The old picture is warm: an orange-to-yellow gradient under an 8 x 6 grid of
// numbered cells, a corner marker at the top left and a big "A". The new picture is
// cool: a teal-to-blue gradient under a 6 x 4 checkerboard of numbered cells, a
// diagonal band and a big "B". Numbers, grid and letters show every move, stretch
// and turn; the two never share a colour, so what comes from which frame is plain.
std::unique_ptr<Picture> BuiltInPicture(bool newPicture, int32_t width, int32_t height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    const double w = width;
    const double h = height;
    const int columns = newPicture ? 6 : 8;
    const int rows = newPicture ? 4 : 6;
    const double cw = w / columns;
    const double ch = h / rows;

    cairo_pattern_t* gradient =
        newPicture ? cairo_pattern_create_linear(0, 0, 0, h) : cairo_pattern_create_linear(0, 0, w, 0);
    if (newPicture) {
        cairo_pattern_add_color_stop_rgb(gradient, 0, 0.05, 0.55, 0.58);
        cairo_pattern_add_color_stop_rgb(gradient, 1, 0.10, 0.14, 0.45);
    } else {
        cairo_pattern_add_color_stop_rgb(gradient, 0, 0.90, 0.30, 0.08);
        cairo_pattern_add_color_stop_rgb(gradient, 1, 0.97, 0.78, 0.25);
    }
    cairo_set_source(cr, gradient);
    cairo_paint(cr);
    cairo_pattern_destroy(gradient);

    if (newPicture) {
        // Checkerboard: every other cell lighter.
        cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                if ((r + c) % 2 == 0) {
                    cairo_rectangle(cr, c * cw, r * ch, cw, ch);
                }
            }
        }
        cairo_fill(cr);
        // A diagonal band from the top left to the bottom right.
        cairo_set_source_rgba(cr, 0.55, 0.95, 0.55, 0.55);
        cairo_set_line_width(cr, std::min(w, h) / 12);
        cairo_move_to(cr, 0, 0);
        cairo_line_to(cr, w, h);
        cairo_stroke(cr);
    } else {
        // Grid lines.
        cairo_set_source_rgb(cr, 0.35, 0.12, 0.05);
        cairo_set_line_width(cr, std::max(1.0, std::min(w, h) / 120));
        for (int c = 1; c < columns; ++c) {
            cairo_move_to(cr, c * cw, 0);
            cairo_line_to(cr, c * cw, h);
        }
        for (int r = 1; r < rows; ++r) {
            cairo_move_to(cr, 0, r * ch);
            cairo_line_to(cr, w, r * ch);
        }
        cairo_stroke(cr);
        // A marker in the top-left cell.
        cairo_set_source_rgb(cr, 0.25, 0.05, 0.35);
        cairo_arc(cr, cw / 2, ch / 2, std::min(cw, ch) * 0.38, 0, 6.283185307179586);
        cairo_fill(cr);
    }

    // Cell numbers, row by row.
    const double numberSize = std::min(cw, ch) * 0.34;
    if (numberSize >= 5) {
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const std::string number = std::to_string(r * columns + c + 1);
                CentredText(cr, number, (c + 0.5) * cw, (r + 0.5) * ch, numberSize, false);
                if (newPicture) {
                    cairo_set_source_rgb(cr, 0.92, 0.97, 1.0);
                } else {
                    cairo_set_source_rgb(cr, r == 0 && c == 0 ? 1.0 : 0.30, r == 0 && c == 0 ? 1.0 : 0.10,
                                         r == 0 && c == 0 ? 1.0 : 0.04);
                }
                cairo_show_text(cr, number.c_str());
            }
        }
    }
    BigLetter(cr, newPicture ? "B" : "A", w / 2, h / 2, h * 0.5);

    cairo_destroy(cr);
    auto picture = FromCairo(surface, width, height);
    cairo_surface_destroy(surface);
    return picture;
}

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        IoError("cannot read picture \"" + path + "\": " + std::strerror(errno));
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        IoError("cannot read picture \"" + path + "\"");
    }
    return bytes;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

// Decodes into `pixels` (0xAARRGGBB); false with `message` set on failure. Only plain
// data lives across the setjmp.
bool DecodeJpeg(const std::vector<uint8_t>& bytes, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height,
                std::string& message) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.message[0] = 0;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&info);
        message = error.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    width = static_cast<int32_t>(info.output_width);
    height = static_cast<int32_t>(info.output_height);
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, rows, 1);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = &row[static_cast<size_t>(x) * 3];
            pixels[y * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                0xFF000000u | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

std::unique_ptr<Picture> LoadPicture(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    auto starts = [&](const char* magic, size_t at = 0) {
        const size_t n = std::strlen(magic);
        return bytes.size() >= at + n && std::memcmp(bytes.data() + at, magic, n) == 0;
    };
    std::unique_ptr<Picture> picture;
    if (starts("\x89PNG")) {
        picture = std::make_unique<Picture>();
        std::string error;
        if (!picture->LoadPng(path, &error)) {
            IoError("cannot read picture \"" + path + "\": " + error);
        }
    } else if (starts("\xFF\xD8\xFF")) {
        std::vector<uint32_t> pixels;
        int32_t width = 0;
        int32_t height = 0;
        std::string message;
        if (!DecodeJpeg(bytes, pixels, width, height, message) || width <= 0 || height <= 0) {
            IoError("cannot read picture \"" + path + "\": " + (message.empty() ? "bad JPEG data" : message));
        }
        picture = std::make_unique<Picture>(width, height);
        std::memcpy(picture->Pixels(), pixels.data(), pixels.size() * 4);
    } else if (starts("RIFF") && starts("WEBP", 8)) {
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) {
            IoError("cannot read picture \"" + path + "\": bad WebP data");
        }
        if (features.has_animation) {
            IoError("cannot read picture \"" + path + "\": an animated WebP is not a single picture");
        }
        int width = 0;
        int height = 0;
        uint8_t* decoded = WebPDecodeBGRA(bytes.data(), bytes.size(), &width, &height);
        if (decoded == nullptr) {
            IoError("cannot read picture \"" + path + "\": bad WebP data");
        }
        picture = std::make_unique<Picture>(width, height);
        // BGRA bytes are 0xAARRGGBB words on a little-endian machine.
        for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); ++i) {
            const uint8_t* p = decoded + i * 4;
            picture->Pixels()[i] = static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                                   static_cast<uint32_t>(p[1]) << 8 | p[0];
        }
        WebPFree(decoded);
    } else {
        IoError("cannot read picture \"" + path + "\": not a PNG, JPEG or WebP file");
    }
    if (picture->Width() <= 0 || picture->Height() <= 0) {
        IoError("cannot read picture \"" + path + "\": it is empty");
    }
    // Frames are opaque: a picture's own transparency is dropped.
    const size_t count = static_cast<size_t>(picture->Width()) * static_cast<size_t>(picture->Height());
    for (size_t i = 0; i < count; ++i) {
        picture->Pixels()[i] |= 0xFF000000u;
    }
    return picture;
}

void ReleaseTextCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

std::pair<int32_t, int32_t> ParseSize(const std::string& text) {
    int width = 0;
    int height = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &extra) != 2 || width < 1 || height < 1 ||
        width > 16384 || height > 16384) {
        UsageError("--size \"" + text + "\" is not WIDTHxHEIGHT with each from 1 to 16384, e.g. 320x240");
    }
    return {width, height};
}

PicturePair LoadPictures(const std::string& from, const std::string& to, const std::string& size, int32_t builtInWidth,
                         int32_t builtInHeight, const FitOptions& fit) {
    std::optional<std::pair<int32_t, int32_t>> wanted;
    if (!size.empty()) {
        wanted = ParseSize(size);
    }
    PicturePair pair;
    if (!from.empty()) {
        pair.oldPicture = LoadPicture(from);
    }
    if (!to.empty()) {
        pair.newPicture = LoadPicture(to);
    }
    // A built-in picture is drawn at the size wanted, or at the other picture's size.
    int32_t width = builtInWidth;
    int32_t height = builtInHeight;
    if (wanted) {
        width = wanted->first;
        height = wanted->second;
    } else if (Picture* given = pair.oldPicture ? pair.oldPicture.get() : pair.newPicture.get()) {
        width = given->Width();
        height = given->Height();
    }
    if (!pair.oldPicture) {
        pair.oldPicture = BuiltInPicture(false, width, height);
    }
    if (!pair.newPicture) {
        pair.newPicture = BuiltInPicture(true, width, height);
    }
    if (wanted) {
        if (pair.oldPicture->Width() != wanted->first || pair.oldPicture->Height() != wanted->second) {
            pair.oldPicture = Scaled(*pair.oldPicture, wanted->first, wanted->second, fit);
        }
        if (pair.newPicture->Width() != wanted->first || pair.newPicture->Height() != wanted->second) {
            pair.newPicture = Scaled(*pair.newPicture, wanted->first, wanted->second, fit);
        }
    } else if (pair.newPicture->Width() != pair.oldPicture->Width() ||
               pair.newPicture->Height() != pair.oldPicture->Height()) {
        std::cerr << "wqtrans: note: the new picture (" << pair.newPicture->Width() << "x" << pair.newPicture->Height()
                  << ") is scaled to the old picture's size (" << pair.oldPicture->Width() << "x"
                  << pair.oldPicture->Height() << "); --size sets both\n";
        pair.newPicture = Scaled(*pair.newPicture, pair.oldPicture->Width(), pair.oldPicture->Height(), fit);
    }
    return pair;
}

} // namespace wqtrans::tool
