// HEIC/HEIF and AVIF pictures through libheif: the file's primary picture, as its
// transformations (rotation, mirror, crop) show it, with its ICC profile or nclx box.
#include <libheif/heif.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// Reads big-endian numbers of 0 to 8 bytes from a box, never past its end.
class BoxReader {
public:
    BoxReader(const uint8_t* data, size_t size) : data(data), size(size) {}
    bool Read(int bytes, uint64_t& value) {
        value = 0;
        if (bytes < 0 || static_cast<size_t>(bytes) > size - at) {
            return false;
        }
        for (int i = 0; i < bytes; ++i) {
            value = value << 8 | data[at++];
        }
        return true;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

// The boxes in data[0, size): calls found(type, payload, payloadSize) for each; false
// when a box's size runs past the end.
template <typename F> bool ForEachBox(const uint8_t* data, size_t size, F found) {
    size_t at = 0;
    while (size - at >= 8) {
        uint64_t length =
            uint64_t{data[at]} << 24 | uint64_t{data[at + 1]} << 16 | uint64_t{data[at + 2]} << 8 | data[at + 3];
        size_t header = 8;
        if (length == 1) {
            BoxReader large(data + at + 8, size - at - 8);
            if (!large.Read(8, length)) {
                return false;
            }
            header = 16;
        } else if (length == 0) {
            length = size - at;
        }
        if (length < header || length > size - at) {
            return false;
        }
        found(std::string(reinterpret_cast<const char*>(data + at + 4), 4), data + at + header,
              static_cast<size_t>(length) - header);
        at += static_cast<size_t>(length);
    }
    return true;
}

// The item location box (iloc): where each item's data lies, in the file (method 0) or
// in the item data box (method 1). Every extent is checked against its data: libheif
// 1.15 takes an extent's length as it is and allocates it before reading, so a kilobyte
// file could claim gigabytes.
struct ItemPlace {
    uint64_t method = 0;
    uint64_t start = 0; // of the first extent, within the file or the item data
    uint64_t length = 0;
};

// Reads a derived picture's canvas (a grid's or an overlay's output size) from the
// start of its data, as libheif reads it: 16-bit sides, or 32-bit ones when the flags'
// low bit is set.
bool CanvasSize(const std::string& type, const uint8_t* data, size_t size, uint64_t& width, uint64_t& height) {
    BoxReader in(data, size);
    uint64_t version = 0, flags = 0, skip = 0;
    if (!in.Read(1, version) || !in.Read(1, flags)) {
        return false;
    }
    if (type == "grid" && !in.Read(2, skip)) { // rows and columns, less one each
        return false;
    }
    if (type == "iovl" && !in.Read(8, skip)) { // the canvas's fill colour
        return false;
    }
    const int side = (flags & 1) != 0 ? 4 : 2;
    return in.Read(side, width) && in.Read(side, height);
}

// "" when the file's items all lie within their data and no picture in it, the primary
// one or another (its alpha, a depth map, a thumbnail, a grid's or an overlay's canvas),
// is over the pixel budget; else the problem. libheif checks only a picture's sides
// against its limit, so an overlay canvas of 60000x48000 behind the alpha of a small
// picture would be allocated whole.
std::string CheckItems(const uint8_t* data, size_t size) {
    const uint8_t* meta = nullptr;
    size_t metaSize = 0;
    if (!ForEachBox(data, size, [&](const std::string& type, const uint8_t* payload, size_t payloadSize) {
            if (type == "meta" && meta == nullptr && payloadSize >= 4) {
                meta = payload + 4; // a full box: version and flags first
                metaSize = payloadSize - 4;
            }
        })) {
        return "a box runs past the end of the file";
    }
    if (meta == nullptr) {
        return "";
    }
    const uint8_t* iloc = nullptr;
    size_t ilocSize = 0;
    const uint8_t* idat = nullptr;
    size_t idatSize = 0;
    std::vector<std::pair<uint64_t, std::string>> derived; // grid and overlay items
    std::vector<std::pair<uint64_t, uint64_t>> stated;     // the sizes of the image spatial extent boxes
    const auto property = [&](const std::string& type, const uint8_t* payload, size_t n) {
        BoxReader in(payload, n);
        uint64_t head = 0, width = 0, height = 0;
        if (type == "ispe" && in.Read(4, head) && in.Read(4, width) && in.Read(4, height)) {
            stated.emplace_back(width, height);
        }
    };
    const auto entry = [&](const std::string& type, const uint8_t* payload, size_t n) {
        BoxReader in(payload, n);
        uint64_t version = 0, flags = 0, id = 0, protection = 0, itemType = 0;
        if (type == "infe" && in.Read(1, version) && in.Read(3, flags) && version >= 2 &&
            in.Read(version == 2 ? 2 : 4, id) && in.Read(2, protection) && in.Read(4, itemType)) {
            const char name[] = {static_cast<char>(itemType >> 24), static_cast<char>(itemType >> 16),
                                 static_cast<char>(itemType >> 8), static_cast<char>(itemType)};
            const std::string kind(name, 4);
            if (kind == "grid" || kind == "iovl") {
                derived.emplace_back(id, kind);
            }
        }
    };
    bool whole = true; // false when a box inside runs past its parent's end
    whole = ForEachBox(meta, metaSize,
                       [&](const std::string& type, const uint8_t* payload, size_t n) {
                           if (type == "iloc" && iloc == nullptr) {
                               iloc = payload;
                               ilocSize = n;
                           } else if (type == "idat" && idat == nullptr) {
                               idat = payload;
                               idatSize = n;
                           } else if (type == "iinf" && n >= 4) {
                               const size_t countSize =
                                   payload[0] == 0 ? 2 : 4; // a full box: version, flags, then the count
                               if (n >= 4 + countSize) {
                                   whole = ForEachBox(payload + 4 + countSize, n - 4 - countSize, entry) && whole;
                               }
                           } else if (type == "iprp") {
                               whole = ForEachBox(payload, n,
                                                  [&](const std::string& inner, const uint8_t* p, size_t m) {
                                                      if (inner == "ipco") {
                                                          whole = ForEachBox(p, m, property) && whole;
                                                      }
                                                  }) &&
                                       whole;
                           }
                       }) &&
            whole;
    if (!whole) {
        return "a box runs past the end of its meta box";
    }
    for (const auto& [width, height] : stated) {
        if (width > 0 && height > 0) {
            CheckBudget(static_cast<int64_t>(std::min<uint64_t>(width, INT64_MAX / 2)),
                        static_cast<int64_t>(std::min<uint64_t>(height, INT64_MAX / 2)));
        }
    }
    if (iloc == nullptr) {
        return "";
    }
    std::map<uint64_t, ItemPlace> places;
    BoxReader in(iloc, ilocSize);
    uint64_t version = 0, flags = 0, sizes = 0, more = 0, count = 0;
    if (!in.Read(1, version) || !in.Read(3, flags) || !in.Read(1, sizes) || !in.Read(1, more) || version > 2) {
        return version > 2 ? "" : "its item locations are cut short";
    }
    const int offsetSize = static_cast<int>(sizes >> 4), lengthSize = static_cast<int>(sizes & 15);
    const int baseSize = static_cast<int>(more >> 4), indexSize = version >= 1 ? static_cast<int>(more & 15) : 0;
    if (!in.Read(version < 2 ? 2 : 4, count)) {
        return "its item locations are cut short";
    }
    for (uint64_t item = 0; item < count; ++item) {
        uint64_t id = 0, method = 0, reference = 0, base = 0, extents = 0;
        if (!in.Read(version < 2 ? 2 : 4, id) || (version >= 1 && !in.Read(2, method)) || !in.Read(2, reference) ||
            !in.Read(baseSize, base) || !in.Read(2, extents)) {
            return "its item locations are cut short";
        }
        method &= 15;
        for (uint64_t e = 0; e < extents; ++e) {
            uint64_t index = 0, offset = 0, length = 0;
            if (!in.Read(indexSize, index) || !in.Read(offsetSize, offset) || !in.Read(lengthSize, length)) {
                return "its item locations are cut short";
            }
            const uint64_t limit = method == 1 ? idatSize : method == 0 ? size : UINT64_MAX;
            if (base > limit || offset > limit - base || length > limit - base - offset) {
                return "item " + std::to_string(id) + " lies past the end of its data";
            }
            if (e == 0 && method <= 1) {
                // A length of 0 stands for the rest of the data.
                places.try_emplace(id, ItemPlace{method, base + offset, length == 0 ? limit - base - offset : length});
            }
        }
    }
    for (const auto& [id, kind] : derived) {
        const auto place = places.find(id);
        uint64_t width = 0, height = 0;
        if (place == places.end()) {
            continue;
        }
        const uint8_t* from = (place->second.method == 1 ? idat : data) + place->second.start;
        if (CanvasSize(kind, from, static_cast<size_t>(place->second.length), width, height) && width > 0 &&
            height > 0) {
            CheckBudget(static_cast<int64_t>(width), static_cast<int64_t>(height));
        }
    }
    return "";
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
    const std::string problem = CheckItems(data, size);
    if (!problem.empty()) {
        Unreadable("bad HEIF data: " + problem);
    }
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        throw std::bad_alloc();
    }
    // The sizes were checked against the pixel budget above, with the size in the message;
    // libheif's own limit on a side is set to the budget's too, for what it allocates
    // from sizes given elsewhere.
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(kMaxSide) + 1);
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
