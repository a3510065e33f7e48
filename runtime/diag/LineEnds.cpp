// The log's line-end expansion, kept free of the platform so that it can be
// tested and fuzzed on plain buffers.
#include "runtime/diag/LineEnds.h"

#include <cstring>

bool IsLeadByte(uint8_t byte, int32_t characterSet) {
    switch (characterSet) {
    case 2: // Korean, code page 949
    case 3: // traditional Chinese, code page 950
    case 4: // simplified Chinese, code page 936
        return (byte & 0x80) != 0;
    default: // Shift-JIS, and no character set chosen yet
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    }
}

size_t ExpandLineEnds(const char* text, size_t length, int32_t characterSet, char* out) {
    size_t in = 0;
    size_t written = 0;
    bool afterCarriageReturn = false; // a lone CR byte, not the trail of a double-byte character
    while (in < length) {
        uint8_t byte = uint8_t(text[in]);
        if (IsLeadByte(byte, characterSet)) {
            if (in + 1 == length) break; // a lead byte without its second byte ends the scan
            out[written++] = text[in++];
            out[written++] = text[in++];
            afterCarriageReturn = false;
            continue;
        }
        if (byte == '\n') {
            // A text that already carries CR LF is taken as formatted: the
            // rest goes out as it is.
            if (afterCarriageReturn) break;
            out[written++] = '\r';
        }
        out[written++] = text[in++];
        afterCarriageReturn = byte == '\r';
    }
    std::memcpy(out + written, text + in, length - in);
    written += length - in;
    out[written] = '\0';
    return written;
}
