#include "platform/Platform.h"
#include "resources/Resources.h"

int LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int capacity) {
    if (buffer == nullptr || capacity < 1) {
        return 0;
    }
    const char16_t* text = wqtrans::resources::FindString(id);
    if (text == nullptr) {
        return 0;
    }
    int copied = 0;
    while (copied < capacity - 1 && text[copied] != u'\0') {
        buffer[copied] = text[copied];
        ++copied;
    }
    buffer[copied] = u'\0';
    return copied;
}
