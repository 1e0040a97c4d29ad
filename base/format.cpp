// The program's own printf for its messages (portable).
#include "base/format.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct text_out {
    char* out;
    size_t size;
    size_t length = 0;

    void put(char c)
    {
        if (length + 1 < size)
            out[length] = c;
        ++length;
    }
};

}  // namespace

size_t format_text_v(char* out, size_t size, const char* format, va_list values)
{
    text_out text{out, size};
    for (const char* f = format; *f; ++f) {
        if (*f != '%') {
            text.put(*f);
            continue;
        }
        ++f;
        bool zero_fill = *f == '0';
        if (zero_fill)
            ++f;
        int width = 0;
        while (*f >= '0' && *f <= '9')
            width = std::min(width * 10 + (*f++ - '0'), 1 << 16);
        int longs = 0;
        bool size_t_value = false;
        for (;; ++f) {
            if (*f == 'l')
                ++longs;
            else if (*f == 'z')
                size_t_value = true;
            else
                break;
        }
        if (!*f)
            break;
        // What the conversion writes: a sign, zeros, then its body.
        char sign = 0;
        int zeros = 0;
        char digits[20];  // enough for any 64-bit number
        const char* body = digits;
        size_t body_length = 1;
        switch (*f) {
        case 's':
            body = va_arg(values, const char*);
            body_length = std::strlen(body);
            break;
        case 'c':
            digits[0] = char(va_arg(values, int));
            break;
        case '%':
            digits[0] = '%';
            break;
        case 'd':
        case 'u':
        case 'x': {
            bool is_signed = *f == 'd';
            uint64_t value;
            if (size_t_value)
                value = va_arg(values, size_t);
            else if (longs == 2)
                value = is_signed ? uint64_t(va_arg(values, long long)) : va_arg(values, unsigned long long);
            else if (longs == 1)
                value = is_signed ? uint64_t(va_arg(values, long)) : va_arg(values, unsigned long);
            else
                value = is_signed ? uint64_t(int64_t(va_arg(values, int))) : va_arg(values, unsigned);
            if (is_signed && int64_t(value) < 0) {
                sign = '-';
                value = 0 - value;
            }
            unsigned base = *f == 'x' ? 16 : 10;
            char* first = digits + sizeof digits;
            do {
                *--first = "0123456789abcdef"[value % base];
                value /= base;
            } while (value);
            body = first;
            body_length = size_t(digits + sizeof digits - first);
            if (zero_fill)
                zeros = width - int(body_length) - (sign ? 1 : 0);
            break;
        }
        default:  // not a conversion the messages use: written as it stands
            text.put('%');
            text.put(*f);
            continue;
        }
        for (long fill = long(width) - (sign ? 1 : 0) - std::max(zeros, 0) - long(body_length); fill > 0; --fill)
            text.put(' ');
        if (sign)
            text.put(sign);
        for (int z = 0; z < zeros; ++z)
            text.put('0');
        for (size_t i = 0; i < body_length; ++i)
            text.put(body[i]);
    }
    if (size)
        out[text.length < size ? text.length : size - 1] = 0;
    return text.length;
}

size_t format_text(char* out, size_t size, const char* format, ...)
{
    va_list values;
    va_start(values, format);
    size_t length = format_text_v(out, size, format, values);
    va_end(values);
    return length;
}

void report_error(const char* format, ...)
{
    char line[256];
    va_list values;
    va_start(values, format);
    format_text_v(line, sizeof line - 1, format, values);
    va_end(values);
    // format_text_v ended the text with its zero inside the first 255 bytes.
    size_t length = 0;
    while (line[length])
        ++length;
    line[length] = '\n';
    std::fwrite(line, 1, length + 1, stderr);
}
