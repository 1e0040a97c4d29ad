// The program's own printf for its messages (portable).
#include "base/format.h"

#include <cstdint>
#include <cstdio>

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
        char pad = ' ';
        if (*f == '0') {
            pad = '0';
            ++f;
        }
        int width = 0;
        while (*f >= '0' && *f <= '9')
            width = width * 10 + (*f++ - '0');
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
        char digits[24];
        int count = 0;
        const char* string = nullptr;
        switch (*f) {
        case 's':
            string = va_arg(values, const char*);
            break;
        case 'c':
            digits[count++] = char(va_arg(values, int));
            break;
        case '%':
            digits[count++] = '%';
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
            bool negative = is_signed && int64_t(value) < 0;
            if (negative)
                value = 0 - value;
            unsigned base = *f == 'x' ? 16 : 10;
            char reversed[20];
            int n = 0;
            do {
                reversed[n++] = "0123456789abcdef"[value % base];
                value /= base;
            } while (value);
            if (negative)
                digits[count++] = '-';
            // Zeros go after the sign, spaces before it.
            if (pad == '0')
                for (int fill = width - n - count; fill > 0; --fill)
                    digits[count++] = '0';
            while (n)
                digits[count++] = reversed[--n];
            break;
        }
        default:  // not a conversion the messages use: written as it stands
            text.put('%');
            text.put(*f);
            continue;
        }
        int length = 0;
        if (string)
            while (string[length])
                ++length;
        else
            length = count;
        for (int fill = width - length; fill > 0; --fill)
            text.put(' ');
        for (int i = 0; i < length; ++i)
            text.put(string ? string[i] : digits[i]);
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
