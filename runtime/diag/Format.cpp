#include "runtime/diag/Format.h"

#include <cstdio>
#include <cstring>

size_t FormatText(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    size_t length = FormatTextV(buffer, size, format, args);
    va_end(args);
    return length;
}

size_t FormatTextV(char* buffer, size_t size, const char* format, va_list args) {
    if (size == 0) return 0;
    // An empty start keeps the result defined should the formatting fail
    // before it writes anything.
    buffer[0] = '\0';
    int written = vsnprintf(buffer, size, format, args);
    // msvcrt's own vsnprintf neither terminates a cut result nor reports its
    // full length (it returns -1); the last byte is ours in every case.
    buffer[size - 1] = '\0';
    if (written < 0) return std::strlen(buffer);
    return size_t(written) < size ? size_t(written) : size - 1;
}
