// A TrueType font made in memory for a test: a face of the Japanese
// character set that has glyphs for the given characters only, as a
// system's partial Japanese face has. The glyphs are empty; what the face
// search looks at is which characters the font maps.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The font file's bytes: family `family`, one glyph per character of
// `characters` (UTF-16 code units, no surrogates) beside the missing-glyph one.
std::vector<uint8_t> MakeJapaneseFontFile(const std::wstring& family, const std::wstring& characters);

// The font, installed for this process only while the object lives.
class PrivateFont {
public:
    explicit PrivateFont(const std::vector<uint8_t>& file);
    ~PrivateFont();
    PrivateFont(const PrivateFont&) = delete;
    PrivateFont& operator=(const PrivateFont&) = delete;
    bool Installed() const { return handle_ != nullptr; }

private:
    HANDLE handle_ = nullptr;
};
