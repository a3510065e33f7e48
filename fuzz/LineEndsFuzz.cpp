// Any text and any character set through the log's line-end expansion, into
// a heap buffer of exactly the size the log gives it, so that a write past it
// is caught; the result must equal the expansion worked out here from the
// rules, one character at a time.
#include "FuzzInput.h"

#include "runtime/diag/LineEnds.h"

#include <memory>
#include <string>
#include <vector>

namespace {

// Korean, traditional and simplified Chinese: any byte with the top bit set
// starts a double-byte character; Shift-JIS and every other value:
// 0x81..0x9F and 0xE0..0xFC.
bool StartsDoubleByte(uint8_t byte, int32_t characterSet) {
    if (characterSet == 2 || characterSet == 3 || characterSet == 4) return byte >= 0x80;
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

struct Character {
    size_t start;  // offset in the text
    size_t length; // 1, or 2 for a lead byte and its second byte
};

// The text cut into characters. A lead byte with no second byte ends the
// scan; it and nothing else is left over after the last character.
std::vector<Character> Characters(const std::string& text, int32_t characterSet) {
    std::vector<Character> characters;
    for (size_t at = 0; at < text.size();) {
        size_t length = StartsDoubleByte(uint8_t(text[at]), characterSet) ? 2 : 1;
        if (at + length > text.size()) break;
        characters.push_back({at, length});
        at += length;
    }
    return characters;
}

// Each lone line feed becomes CR LF; at the first line feed whose character
// before it is a carriage return, the rest of the text goes out as it is.
std::string Expand(const std::string& text, int32_t characterSet) {
    std::vector<Character> characters = Characters(text, characterSet);
    std::string out;
    size_t copiedUpTo = 0;
    for (size_t i = 0; i < characters.size(); ++i) {
        std::string character = text.substr(characters[i].start, characters[i].length);
        if (character == "\n") {
            bool afterReturn = i > 0 && text.substr(characters[i - 1].start, characters[i - 1].length) == "\r";
            if (afterReturn) break;
            character = "\r\n";
        }
        out += character;
        copiedUpTo = characters[i].start + characters[i].length;
    }
    return out + text.substr(copiedUpTo);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    // One byte, sign-extended, reaches the four named sets and values beyond them.
    const int32_t characterSet = input.Take<int8_t>();
    const char* text = reinterpret_cast<const char*>(input.Rest());
    const size_t length = input.RestSize();
    const std::string textCopy(text, length);

    for (char byte : textCopy)
        FUZZ_CHECK(IsLeadByte(uint8_t(byte), characterSet) == StartsDoubleByte(uint8_t(byte), characterSet));

    const size_t bufferSize = ExpandedSize(length);
    std::unique_ptr<char[]> out(new char[bufferSize]);
    const size_t written = ExpandLineEnds(text, length, characterSet, out.get());

    const std::string expected = Expand(textCopy, characterSet);
    FUZZ_CHECK(written == expected.size());
    FUZZ_CHECK(written < bufferSize);
    FUZZ_CHECK(out[written] == '\0');
    FUZZ_CHECK(std::memcmp(out.get(), expected.data(), written) == 0);
    return 0;
}
