// The log's line-end expansion and the lead-byte test that every text scan of
// the runtime shares: pure functions over bytes, apart from the platform, so
// that they can be tested and fuzzed on their own.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether byte starts a double-byte character in the given character set
// (1 Shift-JIS and 0: 0x81..0x9F and 0xE0..0xFC; 2, 3, 4: top bit set).
bool IsLeadByte(uint8_t byte, int32_t characterSet);

// The buffer ExpandLineEnds needs for a text of length bytes: every byte may
// be a line feed that doubles into CR LF, plus the terminator.
constexpr size_t ExpandedSize(size_t length) {
    return 2 * length + 1;
}

// Line-end expansion: copies text[0..length) to out, turning each line feed
// without a carriage return before it into CR LF, stepping over the second
// byte of double-byte characters. From the first line feed that already has
// its CR on, the rest is copied unchanged. out must hold ExpandedSize(length)
// bytes; it is zero-terminated. Returns the number of bytes written, without
// the terminator.
size_t ExpandLineEnds(const char* text, size_t length, int32_t characterSet, char* out);
