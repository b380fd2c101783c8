// PNG load and save of the reference surface, through libpng's simplified API.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/SoftwareSurface.h"

namespace wqtrans {

namespace {

// Images larger than this are refused rather than allocated: 2^28 pixels.
constexpr uint64_t kMaxPngPixels = uint64_t{1} << 28;

bool Fail(std::string* error, const std::string& message) {
    if (error != nullptr) {
        *error = message;
    }
    return false;
}

std::string Reason(const png_image& image) {
    return image.message[0] != '\0' ? std::string(image.message) : std::string("unknown libpng error");
}

// Reads the pixels of a PNG whose header png_image_begin_read_* has read into
// 0xFFRRGGBB `fresh`.
bool ReadPng(png_image& image, PixelBuffer& fresh, std::string* error) {
    if (image.width == 0 || image.height == 0 || image.width > 0x7FFFFFFFu || image.height > 0x7FFFFFFFu ||
        uint64_t{image.width} * image.height > kMaxPngPixels) {
        png_image_free(&image);
        return Fail(error, "image too large");
    }
    // Read as 8-bit RGB: colour types, bit depths and palettes are converted by libpng,
    // and any alpha channel is composited onto black.
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb;
    try {
        rgb.resize(PNG_IMAGE_SIZE(image));
        PixelBuffer(static_cast<std::size_t>(image.width) * image.height, 0u).swap(fresh);
    } catch (const std::bad_alloc&) {
        png_image_free(&image);
        return Fail(error, "out of memory");
    }
    const png_color black{0, 0, 0};
    if (png_image_finish_read(&image, &black, rgb.data(), 0, nullptr) == 0) {
        const std::string reason = Reason(image);
        png_image_free(&image);
        return Fail(error, reason);
    }
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        fresh[i] = 0xFF000000u | uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
    }
    return true;
}

} // namespace

bool SoftwareSurface::LoadPng(const std::string& path, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return Fail(error, std::strerror(errno));
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[1 << 16];
    std::size_t got = 0;
    try {
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + got);
        }
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        return Fail(error, "out of memory");
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return Fail(error, "read error");
    }
    return LoadPng(bytes.data(), bytes.size(), error);
}

bool SoftwareSurface::LoadPng(const uint8_t* data, std::size_t size, std::string* error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, data, size) == 0) {
        const std::string reason = Reason(image);
        png_image_free(&image);
        return Fail(error, reason);
    }
    PixelBuffer fresh;
    if (!ReadPng(image, fresh, error)) {
        return false;
    }
    Adopt(fresh);
    width = static_cast<int32_t>(image.width);
    height = static_cast<int32_t>(image.height);
    return true;
}

bool SoftwareSurface::SavePng(const std::string& path, std::string* error) const {
    if (width <= 0 || height <= 0) {
        return Fail(error, "the surface is empty");
    }
    if (triples != nullptr) {
        return SoftwareSurface(*this).SavePng(path, error); // as words
    }
    std::vector<uint8_t> rgb;
    try {
        rgb.resize(PixelCount() * 3);
    } catch (const std::bad_alloc&) {
        return Fail(error, "out of memory");
    }
    for (std::size_t i = 0; i < PixelCount(); ++i) {
        rgb[3 * i] = static_cast<uint8_t>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
    }

    // Written beside the target under a temporary name and renamed into place, so that
    // a failure never leaves a partial file behind.
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return Fail(error, std::strerror(errno));
    }
    // mkstemp makes the file private; give it the permissions a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int saved = errno;
        close(fd);
        unlink(temp.c_str());
        return Fail(error, std::strerror(saved));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    const bool written = png_image_write_to_stdio(&image, file, 0, rgb.data(), 0, nullptr) != 0;
    const std::string reason = written ? std::string() : Reason(image);
    png_image_free(&image);
    const bool flushed = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !flushed || !closed) {
        unlink(temp.c_str());
        return Fail(error, written ? std::strerror(flushError) : reason);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        unlink(temp.c_str());
        return Fail(error, std::strerror(saved));
    }
    return true;
}

} // namespace wqtrans
