#include "media/Orientation.h"

#include <libexif/exif-data.h>

#include <cstring>
#include <utility>
#include <vector>

namespace wqtrans::media {

Orientation Turned(int degrees) {
    switch (((degrees % 360) + 360) % 360) {
    case 90:
        return {true, true, false};
    case 180:
        return {false, true, true};
    case 270:
        return {true, false, true};
    default:
        return {};
    }
}

Orientation FromExif(int value) {
    switch (value) {
    case 2:
        return {false, true, false};
    case 3:
        return Turned(180);
    case 4:
        return {false, false, true};
    case 5:
        return {true, false, false};
    case 6:
        return Turned(90);
    case 7:
        return {true, true, true};
    case 8:
        return Turned(270);
    default:
        return {};
    }
}

Orientation ExifOrientation(const uint8_t* data, size_t size) {
    static const uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    // libexif reads a block that starts with the "Exif" header; the bare TIFF structure
    // of PNG and WebP files is given one.
    std::vector<uint8_t> block;
    if (size < 6 || std::memcmp(data, kHeader, 6) != 0) {
        block.assign(kHeader, kHeader + 6);
    }
    block.insert(block.end(), data, data + size);
    if (block.size() > 0xFFFFFFFFu) {
        return {};
    }
    ExifData* exif = exif_data_new();
    if (exif == nullptr) {
        return {};
    }
    // Read only: no tags added or changed to follow the standard.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, block.data(), static_cast<unsigned int>(block.size()));
    int value = 1;
    if (ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION)) {
        if (entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data != nullptr &&
            entry->size >= 2) {
            value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        }
    }
    exif_data_unref(exif);
    return FromExif(value);
}

SoftwareSurface Oriented(SoftwareSurface&& picture, Orientation orientation) {
    if (orientation.Identity()) {
        return std::move(picture);
    }
    const int32_t width = picture.Width();
    const int32_t height = picture.Height();
    const int32_t shownWidth = orientation.transpose ? height : width;
    const int32_t shownHeight = orientation.transpose ? width : height;
    SoftwareSurface shown(shownWidth, shownHeight);
    const uint32_t* from = picture.Pixels();
    uint32_t* to = shown.Pixels();
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* row = from + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            int32_t dx = orientation.transpose ? y : x;
            int32_t dy = orientation.transpose ? x : y;
            if (orientation.flipX) {
                dx = shownWidth - 1 - dx;
            }
            if (orientation.flipY) {
                dy = shownHeight - 1 - dy;
            }
            to[static_cast<size_t>(dy) * static_cast<size_t>(shownWidth) + static_cast<size_t>(dx)] = row[x];
        }
    }
    return shown;
}

} // namespace wqtrans::media
