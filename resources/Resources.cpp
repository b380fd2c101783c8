#include "resources/Resources.h"

#include <array>
#include <vector>

#include "platform/Platform.h"

namespace wqtrans::resources {

namespace {

constexpr StringEntry kStrings[] = {
#define WQ_STRING(id, text) {id, u"" text},
#include "resources/Strings.inc"
#undef WQ_STRING
};

// Templates as one flat stream: a dialog entry, its controls, an end entry.
struct Item {
    enum Kind { Dialog, Control, EndDialog } kind;
    ControlTemplate control;
};

constexpr Item kItems[] = {
#define WQ_DIALOG(id, width, height) {Item::Dialog, {id, nullptr, u"", 0, 0, 0, width, height}},
#define WQ_CONTROL(id, className, text, style, x, y, width, height)                                                    \
    {Item::Control, {id, className, u"" text, static_cast<uint32_t>(WS_CHILD | (style)), x, y, width, height}},
#define WQ_END_DIALOG() {Item::EndDialog, {0, nullptr, u"", 0, 0, 0, 0, 0}},
#include "resources/Dialogs.inc"
#undef WQ_DIALOG
#undef WQ_CONTROL
#undef WQ_END_DIALOG
    {Item::EndDialog, {0, nullptr, u"", 0, 0, 0, 0, 0}},
};

struct Tables {
    std::vector<ControlTemplate> controls;
    std::vector<DialogTemplate> dialogs;

    Tables() {
        for (const Item& item : kItems) {
            if (item.kind == Item::Control) {
                controls.push_back(item.control);
            }
        }
        std::size_t next = 0;
        const DialogTemplate* open = nullptr;
        for (const Item& item : kItems) {
            if (item.kind == Item::Dialog) {
                dialogs.push_back({item.control.id, item.control.width, item.control.height, {}});
                open = &dialogs.back();
                dialogs.back().controls = std::span<const ControlTemplate>(controls.data() + next, std::size_t{0});
            } else if (item.kind == Item::Control && open != nullptr) {
                auto& last = dialogs.back();
                last.controls = std::span<const ControlTemplate>(last.controls.data(), last.controls.size() + 1);
                ++next;
            } else if (item.kind == Item::Control) {
                ++next;
            } else {
                open = nullptr;
            }
        }
    }
};

const Tables& AllTables() {
    static const Tables tables;
    return tables;
}

} // namespace

std::span<const StringEntry> Strings() { return kStrings; }

const char16_t* FindString(uint32_t id) {
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return nullptr;
}

std::span<const DialogTemplate> Dialogs() { return AllTables().dialogs; }

const DialogTemplate* FindDialog(int32_t id) {
    for (const DialogTemplate& dialog : AllTables().dialogs) {
        if (dialog.id == id) {
            return &dialog;
        }
    }
    return nullptr;
}

} // namespace wqtrans::resources
