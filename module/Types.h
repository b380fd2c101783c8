// Small shared types of the module and its hosts.
#pragma once

#include <cstdint>

namespace wqtrans {

// A four-character code held as a 32-bit integer whose bytes in memory, lowest first,
// spell the code: MakeId('F', 'A', 'D', 'E') is 0x45444146.
constexpr uint32_t MakeId(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// One entry of the changed-rectangle list that a step may hand to the host: right
// and bottom are exclusive. A rectangle of four zeros ends the list.
struct ChangedRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

} // namespace wqtrans
