// The run's pictures: the two built-in ones, drawn with cairo, and pictures read from
// files, pipes, FIFOs or stdin by the shared reader (media/Picture.h).
#include <cairo.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "media/Picture.h"
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

// Pictures come whole into memory; a file larger than this is no picture the budget
// would let through.
constexpr size_t kMaxPictureBytes = size_t{1} << 30;
// Enough of the start of a file to tell a picture: WebP's "RIFF", size, "WEBP", or a
// HEIF box's size, "ftyp" and major brand.
constexpr size_t kMagicBytes = 12;

// Reads the whole of `path` (stdin for "-"): a file, a pipe or a FIFO alike.
std::vector<uint8_t> ReadStream(const std::string& path, const std::string& name) {
    int fd = 0;
    if (path != "-") {
        while ((fd = open(path.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) {
            CheckInterrupted();
        }
        if (fd < 0) {
            IoError("cannot read picture " + name + ": " + std::strerror(errno));
        }
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd > 0) {
                close(fd);
            }
        }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        IoError(path + ": is a directory");
    }
    std::vector<uint8_t> bytes;
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        bytes.reserve(static_cast<size_t>(std::min<off_t>(info.st_size, kMaxPictureBytes)));
    }
    uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            CheckInterrupted();
            continue;
        }
        if (n < 0) {
            IoError("cannot read picture " + name + ": " + std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        if (bytes.size() + static_cast<size_t>(n) > kMaxPictureBytes) {
            IoError("cannot read picture " + name + ": it is larger than 1 GiB");
        }
        const bool undecided = bytes.size() < kMagicBytes;
        bytes.insert(bytes.end(), buffer, buffer + n);
        // A stream that is no picture (a device, random bytes) is told from its
        // first bytes, not after a gigabyte.
        if (undecided && bytes.size() >= kMagicBytes && !media::LooksLikePicture(bytes.data(), bytes.size())) {
            IoError("cannot read picture " + name + ": not a PNG, JPEG, WebP, HEIC or AVIF file");
        }
    }
    CheckInterrupted();
    return bytes;
}

} // namespace

std::string PictureName(const std::string& path) { return path == "-" ? "from stdin" : "\"" + path + "\""; }

std::unique_ptr<Picture> DecodePicture(const uint8_t* data, size_t size, const std::string& name, uint32_t background) {
    try {
        media::DecodedPicture decoded = media::DecodePicture(data, size, background);
        for (const std::string& note : decoded.notes) {
            std::cerr << "wqtrans: note: " << name << ": " << note << "\n";
        }
        return std::make_unique<Picture>(std::move(decoded.pixels));
    } catch (const media::PictureError& error) {
        IoError("cannot read picture " + name + ": " + error.what());
    }
}

std::unique_ptr<Picture> LoadPicture(const std::string& path, uint32_t background) {
    const std::string name = PictureName(path);
    const std::vector<uint8_t> bytes = ReadStream(path, name);
    return DecodePicture(bytes.data(), bytes.size(), name, background);
}

void ReleaseTextCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

std::pair<int32_t, int32_t> ParseSize(const std::string& text) {
    int64_t width = 0;
    int64_t height = 0;
    const char* end = text.data() + text.size();
    const auto [afterWidth, widthError] = std::from_chars(text.data(), end, width);
    const bool parsed = widthError == std::errc() && afterWidth < end && (*afterWidth == 'x' || *afterWidth == 'X') &&
                        std::from_chars(afterWidth + 1, end, height).ptr == end && width >= 1 && height >= 1;
    if (!parsed) {
        UsageError("--size \"" + text + "\" is not WIDTHxHEIGHT with each from 1 to " + std::to_string(kMaxSide) +
                   ", e.g. 320x240");
    }
    const std::string problem = OverBudget(width, height);
    if (!problem.empty()) {
        UsageError("--size \"" + text + "\" is " + problem);
    }
    return {static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

PicturePair LoadPictures(const std::string& from, const std::string& to, const std::string& size, int32_t builtInWidth,
                         int32_t builtInHeight, const FitOptions& fit) {
    std::optional<std::pair<int32_t, int32_t>> wanted;
    if (!size.empty()) {
        wanted = ParseSize(size);
    }
    if (from == "-" && to == "-") {
        UsageError("--from - and --to - cannot both read stdin");
    }
    PicturePair pair;
    if (!from.empty()) {
        pair.oldPicture = LoadPicture(from, fit.background);
    }
    if (!to.empty()) {
        pair.newPicture = LoadPicture(to, fit.background);
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
