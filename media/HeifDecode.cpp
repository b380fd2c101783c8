// HEIC/HEIF and AVIF pictures through libheif: the file's primary picture, as its
// transformations (rotation, mirror, crop) show it, with its ICC profile or nclx box.
#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <string>

#include "media/Decoders.h"

namespace wqtrans::media {

namespace {

// The brands a HEIF or AVIF file's major brand may be: pictures, and the sequences,
// which are refused with a reason of their own.
constexpr const char* kPictureBrands[] = {"heic", "heix", "heim", "heis", "mif1", "mif2", "avif", "avci"};
constexpr const char* kSequenceBrands[] = {"msf1", "hevc", "hevx", "hevm", "hevs", "avis"};

bool HasMajorBrand(const uint8_t* data, size_t size, const char* brand) {
    return size >= 12 && std::memcmp(data + 4, "ftyp", 4) == 0 && std::memcmp(data + 8, brand, 4) == 0;
}

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleFree {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageFree {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};

void Check(const heif_error& error, const std::string& what) {
    if (error.code == heif_error_Ok) {
        return;
    }
    std::string message = error.message != nullptr && error.message[0] != 0 ? error.message : "bad data";
    message.erase(message.find_last_not_of(" \n\r\t.") + 1);
    if (error.subcode == heif_suberror_Security_limit_exceeded) {
        throw PictureError(PictureError::Kind::OverBudget, "it is larger than libheif reads: " + message);
    }
    if (error.code == heif_error_Memory_allocation_error) {
        throw std::bad_alloc();
    }
    Unreadable(what + ": " + message);
}

} // namespace

bool LooksLikeHeif(const uint8_t* data, size_t size) {
    for (const char* brand : kPictureBrands) {
        if (HasMajorBrand(data, size, brand)) {
            return true;
        }
    }
    for (const char* brand : kSequenceBrands) {
        if (HasMajorBrand(data, size, brand)) {
            return true;
        }
    }
    return false;
}

RawPicture DecodeHeif(const uint8_t* data, size_t size) {
    for (const char* brand : kSequenceBrands) {
        if (HasMajorBrand(data, size, brand)) {
            Unsupported("a HEIF or AVIF image sequence is not a single picture");
        }
    }
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        throw std::bad_alloc();
    }
    // libheif's own limit on the stored size is raised past the pixel budget, so that a
    // picture over the budget is refused by it, with its size, before any tile is decoded.
    heif_context_set_maximum_image_size_limit(context.get(), 1 << 17);
    Check(heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr), "bad HEIF data");
    if (heif_context_get_number_of_top_level_images(context.get()) < 1) {
        Unsupported("it holds no picture to show (only a depth map, a thumbnail or other auxiliary images)");
    }
    heif_image_handle* primary = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &primary), "bad HEIF data");
    std::unique_ptr<heif_image_handle, HandleFree> handle(primary);
    // Both the stored size and the shown one (a grid's whole, turned) are checked before
    // a tile is decoded.
    CheckBudget(heif_image_handle_get_ispe_width(primary), heif_image_handle_get_ispe_height(primary));
    CheckBudget(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary));

    RawPicture picture;
    switch (heif_image_handle_get_color_profile_type(primary)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        const size_t iccSize = heif_image_handle_get_raw_color_profile_size(primary);
        if (iccSize > 0 && iccSize <= size) {
            picture.colour.icc.resize(iccSize);
            if (heif_image_handle_get_raw_color_profile(primary, picture.colour.icc.data()).code != heif_error_Ok) {
                picture.colour.icc.clear();
            }
        }
        break;
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(primary, &nclx).code == heif_error_Ok && nclx != nullptr) {
            picture.colour.primaries = nclx->color_primaries;
            picture.colour.transfer = nclx->transfer_characteristics;
        }
        std::unique_ptr<heif_color_profile_nclx, NclxFree> owned(nclx);
        break;
    }
    default:
        break;
    }

    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) {
        throw std::bad_alloc();
    }
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    Check(heif_decode_image(primary, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get()),
          "its picture cannot be decoded");
    std::unique_ptr<heif_image, ImageFree> image(decoded);
    const int width = heif_image_get_primary_width(decoded);
    const int height = heif_image_get_primary_height(decoded);
    CheckBudget(width, height);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr || stride < width * 4) {
        Unreadable("its picture cannot be decoded: no RGBA pixels");
    }
    picture.premultiplied = heif_image_handle_is_premultiplied_alpha(primary) != 0;
    picture.pixels = SoftwareSurface(width, height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = plane + static_cast<size_t>(y) * static_cast<size_t>(stride);
        uint32_t* out = picture.pixels.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + static_cast<size_t>(x) * 4;
            out[x] = static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[0]) << 16 |
                     static_cast<uint32_t>(p[1]) << 8 | p[2];
        }
    }
    return picture;
}

} // namespace wqtrans::media
