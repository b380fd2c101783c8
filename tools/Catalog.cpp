// The transitions as the module's exports describe them, and small text helpers.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "host/FrameRenderer.h"
#include "module/Exports.h"
#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

// The parameter blocks' fields, by ID. The exports give names, IDs, modes and block
// sizes; the field names are the tool's own knowledge of each layout.
struct Layout {
    const char* id;
    bool panel;
    std::vector<ParamField> fields;
};

const std::vector<Layout>& Layouts() {
    static const std::vector<Layout> layouts = {
        {"FADE", false, {}},
        {"BAND", true, {{"bandCount", 0, 2}, {"direction", 2, 2}}},
        {"DOOR", true, {{"direction", 0, 2}}},
        {"MOSA", true, {{"spotWidth", 0, 4}}},
        {"SCRL", true, {{"direction", 0, 4}}},
        {"ZIGZ", true, {{"spotWidth", 0, 4}, {"startCorner", 4, 2}, {"direction", 6, 2}}},
        {"ZOOM", false, {}},
        {"SE00", true, {{"style", 0, 4}}},
        {"SE10", true, {{"effect", 0, 4}}},
        {"SE12", true, {{"columns", 0, 4}, {"rows", 4, 4}}},
        {"SE03", true, {{"lineCount", 0, 4}, {"orientation", 4, 4}, {"scrolling", 8, 4}}},
        {"SE05", true, {{"option", 0, 4}}},
        {"SE06", true, {{"direction", 0, 4}}},
        {"SE01", true, {{"spare", 0, 4}, {"sizePercent", 4, 4}, {"stretchInside", 8, 4}}},
        {"SE07", true, {{"anchor", 0, 4}}},
        {"SE09", true, {{"anchor", 0, 4}}},
        {"SE13", true, {{"pattern", 0, 4}}},
        {"SE08", true, {{"rotations", 0, 4}, {"fullImage", 4, 4}, {"inverse", 8, 4}}},
        {"SE02", true, {{"rotations", 0, 4}, {"inverse", 4, 4}}},
        {"SE04", true, {{"orientation", 0, 4}, {"lineCount", 4, 4}}},
        {"SE11", true, {{"zoomIn", 0, 4}}},
    };
    return layouts;
}

std::string IdText(uint32_t id) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += static_cast<char>((id >> (8 * i)) & 0xFF);
    }
    return text;
}

// Lower case without spaces, '-' and '_': "Stretch 2", "stretch-2" and "STRETCH2" meet.
std::string Key(const std::string& text) {
    std::string key;
    for (char c : text) {
        if (c != ' ' && c != '-' && c != '_') {
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return key;
}

} // namespace

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        auto b = static_cast<unsigned char>(text[i]);
        uint32_t c = b;
        int extra = 0;
        if (b >= 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else if (b >= 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xC0) {
            c = b & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
            c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string Hex(const std::vector<uint8_t>& bytes, bool spaced) {
    std::string out;
    char digits[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (spaced && i > 0) {
            out += ' ';
        }
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        out += digits;
    }
    return out;
}

std::vector<uint8_t> ParseHex(const std::string& text) {
    std::string digits;
    std::string rest = text;
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        rest = rest.substr(2);
    }
    for (char c : rest) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits += c;
        } else if (c != ' ' && c != ':' && c != '-') {
            UsageError("--block \"" + text + "\" is not hex: use two hex digits per byte, e.g. 05000200");
        }
    }
    if (digits.size() % 2 != 0) {
        UsageError("--block \"" + text + "\" has an odd number of hex digits: use two per byte");
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

void AdapterDeleter::operator()(TransitionAdapter* adapter) const {
    if (adapter != nullptr) {
        adapter->table->Delete(adapter);
    }
}

Instance Create(const TransitionInfo& info, const std::vector<uint8_t>& block) {
    if (!block.empty()) {
        if (info.defaults.empty()) {
            UsageError(info.name + " has no parameters, so it takes no --block");
        }
        if (block.size() != info.defaults.size()) {
            UsageError("--block for " + info.name + " needs " + std::to_string(info.defaults.size()) + " bytes (" +
                       std::to_string(2 * info.defaults.size()) + " hex digits), not " + std::to_string(block.size()));
        }
    }
    Instance instance(
        CreateTransition(0, info.id, block.empty() ? nullptr : block.data(), static_cast<uint32_t>(block.size())));
    if (!instance) {
        IoError("the module could not create " + info.name);
    }
    return instance;
}

std::vector<uint8_t> BlockOf(TransitionAdapter* adapter) { return ParameterBlock(adapter); }

const std::vector<TransitionInfo>& Catalog() {
    static const std::vector<TransitionInfo> catalog = [] {
        std::vector<TransitionInfo> list;
        const int32_t count = GetTransCount();
        for (int32_t index = 0; index < count; ++index) {
            TransitionInfo info;
            info.index = index;
            info.id = GetTransID(index);
            info.idText = IdText(info.id);
            char16_t name[128] = {};
            const int32_t length = GetTransName(index, name, 128);
            info.name = Utf8(std::u16string(name, static_cast<size_t>(std::max(length, 0))));
            info.mode = GetTransMode(index);
            for (const Layout& layout : Layouts()) {
                if (info.idText == layout.id) {
                    info.hasPanel = layout.panel;
                    info.fields = layout.fields;
                }
            }
            Instance instance(CreateTransition(0, info.id, nullptr, 0));
            if (instance) {
                info.defaults = BlockOf(instance.get());
            }
            // Keep only the fields that lie inside the block the module reports.
            std::erase_if(info.fields, [&](const ParamField& field) {
                return static_cast<size_t>(field.offset + field.bytes) > info.defaults.size();
            });
            list.push_back(std::move(info));
        }
        return list;
    }();
    return catalog;
}

std::string TransitionNames() {
    std::string names;
    for (const TransitionInfo& info : Catalog()) {
        names += (names.empty() ? "" : ", ") + info.name;
    }
    return names;
}

const TransitionInfo& FindTransition(const std::string& text) {
    const std::string key = Key(text);
    for (const TransitionInfo& info : Catalog()) {
        if (Key(info.name) == key || Key(info.idText) == key) {
            return info;
        }
    }
    UsageError("unknown transition \"" + text + "\"; choose one of: " + TransitionNames() + " (or an ID such as SE07)");
}

int64_t FieldValue(const std::vector<uint8_t>& block, const ParamField& field) {
    uint32_t bits = 0;
    for (int32_t i = 0; i < field.bytes; ++i) {
        bits |= static_cast<uint32_t>(block[static_cast<size_t>(field.offset + i)]) << (8 * i);
    }
    if (field.bytes == 2) {
        return static_cast<int64_t>(bits & 0xFFFF);
    }
    return static_cast<int64_t>(static_cast<int32_t>(bits));
}

} // namespace wqtrans::tool
