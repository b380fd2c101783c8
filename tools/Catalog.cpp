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
