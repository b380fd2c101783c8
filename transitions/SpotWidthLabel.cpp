#include "transitions/SpotWidthLabel.h"

#include <cstdlib>

namespace wqtrans {

namespace {

constexpr UINT kFormatString = 1010;
constexpr int kLabel = 1018;
// One buffer of 400 characters: the text is formatted into the first half from the
// format loaded into the second half.
constexpr std::size_t kBufferChars = 400;
constexpr int kHalf = 200;

} // namespace

void ShowSpotWidth(HWND panel, int32_t value) {
    auto* buffer = static_cast<char16_t*>(std::calloc(kBufferChars, sizeof(char16_t)));
    if (buffer == nullptr) {
        return;
    }
    char16_t* format = buffer + kHalf;
    LoadStringW(moduleInstance, kFormatString, reinterpret_cast<LPWSTR>(format), kHalf);
    wsprintfW(reinterpret_cast<LPWSTR>(buffer), reinterpret_cast<LPCWSTR>(format), value);
    SetDlgItemTextW(panel, kLabel, reinterpret_cast<LPCWSTR>(buffer));
    std::free(buffer);
}

} // namespace wqtrans
