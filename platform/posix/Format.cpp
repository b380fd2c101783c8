#include <cstdarg>
#include <string>

#include "platform/Platform.h"

namespace {

constexpr int kMaxOutput = 1024; // the real call writes at most 1024 characters

void AppendNumber(std::u16string& out, unsigned long long value, unsigned base, bool negative) {
    char16_t digits[32];
    int count = 0;
    do {
        const unsigned digit = static_cast<unsigned>(value % base);
        digits[count++] = static_cast<char16_t>(digit < 10 ? u'0' + digit : u'a' + digit - 10);
        value /= base;
    } while (value != 0);
    if (negative) {
        out.push_back(u'-');
    }
    while (count > 0) {
        out.push_back(digits[--count]);
    }
}

} // namespace

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    if (buffer == nullptr || format == nullptr) {
        return 0;
    }
    std::u16string out;
    va_list args;
    va_start(args, format);
    for (const char16_t* p = format; *p != u'\0'; ++p) {
        if (*p != u'%') {
            out.push_back(*p);
            continue;
        }
        ++p;
        switch (*p) {
        case u'%':
            out.push_back(u'%');
            break;
        case u'd':
        case u'i': {
            const int value = va_arg(args, int);
            const bool negative = value < 0;
            const unsigned long long magnitude =
                negative ? static_cast<unsigned long long>(-static_cast<long long>(value)) : value;
            AppendNumber(out, magnitude, 10, negative);
            break;
        }
        case u'u':
            AppendNumber(out, va_arg(args, unsigned), 10, false);
            break;
        case u'x':
            AppendNumber(out, va_arg(args, unsigned), 16, false);
            break;
        case u'c':
            out.push_back(static_cast<char16_t>(va_arg(args, int)));
            break;
        case u's': {
            const char16_t* text = va_arg(args, const char16_t*);
            for (; text != nullptr && *text != u'\0'; ++text) {
                out.push_back(*text);
            }
            break;
        }
        case u'\0':
            --p; // a lone % at the end is dropped
            break;
        default:
            out.push_back(*p);
            break;
        }
    }
    va_end(args);
    if (out.size() > static_cast<std::size_t>(kMaxOutput - 1)) {
        out.resize(kMaxOutput - 1);
    }
    out.copy(buffer, out.size());
    buffer[out.size()] = u'\0';
    return static_cast<int>(out.size());
}
