// The program's messages put into text: a small printf of our own (portable).
//
// The C library's printf brings its floating-point formatting along, which
// the browser build would carry inside its module; the messages need only
// %s, %c, %d, %u and %x, with the length modifiers l, ll and z, a width and
// the 0 flag (as in "%016llx"), and %%.
#pragma once

#include <cstdarg>
#include <cstddef>

// Writes the text into `out` (`size` bytes, always ended by a zero when size
// is not 0, cut short where it does not fit); returns its whole length.
size_t format_text(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
size_t format_text_v(char* out, size_t size, const char* format, va_list values);

// One line on standard error, formatted as above (at most 255 characters).
void report_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
