#include "MadeUpFont.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

constexpr int UnitsPerEm = 1000;
constexpr int Ascent = 800;
constexpr int Descent = 200;
constexpr uint32_t CodePageLatin1 = 1u << 0;
constexpr uint32_t CodePageJapanese = 1u << 17; // the Shift-JIS character set
constexpr uint16_t WindowsPlatform = 3;
constexpr uint16_t UnicodeBmpEncoding = 1;
constexpr uint16_t EnglishUs = 0x0409;

// Big-endian writing, as every field of the file is stored.
class Bytes {
public:
    Bytes& U16(unsigned value) {
        data.push_back(uint8_t(value >> 8));
        data.push_back(uint8_t(value));
        return *this;
    }
    Bytes& U32(uint32_t value) { return U16(value >> 16).U16(value & 0xFFFF); }
    Bytes& Zeros(size_t count) {
        data.insert(data.end(), count, 0);
        return *this;
    }
    Bytes& Append(const std::vector<uint8_t>& more) {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
    std::vector<uint8_t> data;
};

uint32_t TableChecksum(const std::vector<uint8_t>& table) {
    uint32_t sum = 0;
    for (size_t i = 0; i < table.size(); i += 4) {
        uint32_t word = 0;
        for (size_t j = 0; j < 4; ++j) word = (word << 8) | (i + j < table.size() ? table[i + j] : 0);
        sum += word;
    }
    return sum;
}

std::vector<uint8_t> Head() {
    Bytes b;
    b.U32(0x00010000).U32(0x00010000).U32(0).U32(0x5F0F3CF5); // version, revision, adjustment, magic
    b.U16(0x000B).U16(UnitsPerEm).Zeros(16);                    // flags, units, created and modified
    b.U16(0).U16(uint16_t(-Descent)).U16(UnitsPerEm).U16(Ascent); // bounding box
    b.U16(0).U16(8).U16(2).U16(0).U16(0); // style, smallest size, direction, short offsets, glyph format
    return b.data;
}

std::vector<uint8_t> Hhea(unsigned glyphs) {
    Bytes b;
    b.U32(0x00010000).U16(Ascent).U16(uint16_t(-Descent)).U16(0).U16(UnitsPerEm);
    b.U16(0).U16(0).U16(UnitsPerEm).U16(1).U16(0).U16(0).Zeros(8).U16(0).U16(glyphs);
    return b.data;
}

std::vector<uint8_t> Maxp(unsigned glyphs) {
    Bytes b;
    b.U32(0x00010000).U16(glyphs).Zeros(8).U16(2).Zeros(16);
    return b.data;
}

std::vector<uint8_t> Hmtx(unsigned glyphs) {
    Bytes b;
    for (unsigned i = 0; i < glyphs; ++i) b.U16(UnitsPerEm).U16(0);
    return b.data;
}

// Every glyph empty: the offsets all point at the start of the glyph table.
std::vector<uint8_t> Loca(unsigned glyphs) {
    return std::vector<uint8_t>(2 * size_t(glyphs + 1), 0);
}

// Format 4, one segment per character and the closing one.
std::vector<uint8_t> Cmap(const std::map<wchar_t, unsigned>& glyphOf) {
    const unsigned segments = unsigned(glyphOf.size()) + 1;
    unsigned power = 1, log = 0;
    while (power * 2 <= segments) {
        power *= 2;
        ++log;
    }
    Bytes sub;
    sub.U16(4).U16(16 + 8 * segments).U16(0).U16(2 * segments).U16(2 * power).U16(log).U16(2 * (segments - power));
    for (const auto& entry : glyphOf) sub.U16(entry.first);
    sub.U16(0xFFFF).U16(0);
    for (const auto& entry : glyphOf) sub.U16(entry.first);
    sub.U16(0xFFFF);
    for (const auto& entry : glyphOf) sub.U16((entry.second - unsigned(entry.first)) & 0xFFFF);
    sub.U16(1);
    sub.Zeros(2 * size_t(segments));
    Bytes b;
    b.U16(0).U16(1).U16(WindowsPlatform).U16(UnicodeBmpEncoding).U32(12).Append(sub.data);
    return b.data;
}

std::vector<uint8_t> Name(const std::wstring& family) {
    const std::wstring names[] = {family, L"Regular", family, family};
    const unsigned ids[] = {1, 2, 4, 6};
    const unsigned count = 4;
    Bytes strings;
    Bytes b;
    b.U16(0).U16(count).U16(6 + 12 * count);
    for (unsigned i = 0; i < count; ++i) {
        b.U16(WindowsPlatform).U16(UnicodeBmpEncoding).U16(EnglishUs).U16(ids[i]);
        b.U16(unsigned(2 * names[i].size())).U16(unsigned(strings.data.size()));
        for (wchar_t c : names[i]) strings.U16(c);
    }
    return b.Append(strings.data).data;
}

std::vector<uint8_t> Os2(wchar_t first, wchar_t last) {
    Bytes b;
    b.U16(1).U16(UnitsPerEm / 2).U16(400).U16(5).U16(0); // version, average width, weight, width, embedding
    b.Zeros(20).U16(0).Zeros(10).Zeros(16);              // sub- and superscripts, strikeout, class, PANOSE, ranges
    b.U32(0x4D414445);                                    // vendor "MADE"
    b.U16(0x0040).U16(first).U16(last);                   // regular; first and last character
    b.U16(Ascent).U16(uint16_t(-Descent)).U16(0).U16(Ascent).U16(Descent);
    b.U32(CodePageLatin1 | CodePageJapanese).U32(0);
    return b.data;
}

std::vector<uint8_t> Post() {
    Bytes b;
    b.U32(0x00030000).U32(0).U16(uint16_t(-100)).U16(50).Zeros(20);
    return b.data;
}

} // namespace

std::vector<uint8_t> MakeJapaneseFontFile(const std::wstring& family, const std::wstring& characters) {
    std::map<wchar_t, unsigned> glyphOf; // glyph 0 is the missing-glyph one
    for (wchar_t c : characters)
        if (!glyphOf.count(c)) glyphOf.emplace(c, unsigned(glyphOf.size()) + 1);
    const unsigned glyphs = unsigned(glyphOf.size()) + 1;
    wchar_t first = glyphOf.empty() ? L' ' : glyphOf.begin()->first;
    wchar_t last = glyphOf.empty() ? L' ' : glyphOf.rbegin()->first;

    // In the order of their tags, as the directory must list them.
    const std::pair<const char*, std::vector<uint8_t>> tables[] = {
        {"OS/2", Os2(first, last)},
        {"cmap", Cmap(glyphOf)},
        {"glyf", std::vector<uint8_t>(4, 0)},
        {"head", Head()},
        {"hhea", Hhea(glyphs)},
        {"hmtx", Hmtx(glyphs)},
        {"loca", Loca(glyphs)},
        {"maxp", Maxp(glyphs)},
        {"name", Name(family)},
        {"post", Post()},
    };
    const unsigned count = sizeof tables / sizeof tables[0];
    unsigned power = 1, log = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log;
    }
    Bytes file;
    file.U32(0x00010000).U16(count).U16(16 * power).U16(log).U16(16 * (count - power));
    uint32_t offset = 12 + 16 * count;
    size_t headOffset = 0;
    for (const auto& table : tables) {
        for (int i = 0; i < 4; ++i) file.data.push_back(uint8_t(table.first[i]));
        file.U32(TableChecksum(table.second)).U32(offset).U32(uint32_t(table.second.size()));
        if (std::strcmp(table.first, "head") == 0) headOffset = offset;
        offset += (uint32_t(table.second.size()) + 3) & ~3u;
    }
    for (const auto& table : tables) {
        file.Append(table.second);
        file.Zeros((4 - table.second.size() % 4) % 4);
    }
    // The whole file sums to the magic number once the head table says by how much.
    uint32_t adjustment = 0xB1B0AFBA - TableChecksum(file.data);
    for (int i = 0; i < 4; ++i) file.data[headOffset + 8 + size_t(i)] = uint8_t(adjustment >> (24 - 8 * i));
    return file.data;
}

PrivateFont::PrivateFont(const std::vector<uint8_t>& file) {
    DWORD fonts = 0;
    handle_ = AddFontMemResourceEx(const_cast<uint8_t*>(file.data()), DWORD(file.size()), nullptr, &fonts);
}

PrivateFont::~PrivateFont() {
    if (handle_) RemoveFontMemResourceEx(handle_);
}
