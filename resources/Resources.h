// The string table and the settings-panel templates, built from Strings.inc and
// Dialogs.inc (the same files from which the Windows resource script is made).
#pragma once

#include <cstdint>
#include <span>

namespace wqtrans::resources {

struct StringEntry {
    uint32_t id;
    const char16_t* text;
};

struct ControlTemplate {
    int32_t id;
    const char* className;
    const char16_t* text;
    uint32_t style;
    int16_t x, y, width, height;
};

struct DialogTemplate {
    int32_t id;
    int16_t width, height;
    std::span<const ControlTemplate> controls;
};

std::span<const StringEntry> Strings();
// Null for an id that is not in the table.
const char16_t* FindString(uint32_t id);

std::span<const DialogTemplate> Dialogs();
// Null for an id that is not a template.
const DialogTemplate* FindDialog(int32_t id);

} // namespace wqtrans::resources
