// Bounded text formatting: every fixed-size formatting of the runtime goes
// through here, so an over-long result is cut to the buffer, never written
// past it.
#pragma once

#include <cstdarg>
#include <cstddef>

// printf-style formatting into buffer[size]; the result is always
// zero-terminated (when size > 0) and cut to size - 1 bytes. Returns the
// number of bytes stored, without the terminator.
size_t FormatText(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
size_t FormatTextV(char* buffer, size_t size, const char* format, va_list args);
