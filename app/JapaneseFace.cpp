#include "app/JapaneseFace.h"

#include <algorithm>

namespace {

constexpr WORD MissingGlyph = 0xFFFF; // GetGlyphIndicesW's mark for a character the font lacks

// Face names of the installed fonts with the Japanese character set, in the
// system's order; the vertical-writing faces ("@...") are left out.
int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM list) {
    auto& faces = *reinterpret_cast<std::vector<std::wstring>*>(list);
    std::wstring face = font->lfFaceName;
    if (face.empty() || face[0] == L'@') return 1;
    for (const std::wstring& known : faces)
        if (known == face) return 1;
    faces.push_back(face);
    return 1;
}

std::vector<std::wstring> InstalledJapaneseFaces(HDC dc) {
    LOGFONTW query{};
    query.lfCharSet = SHIFTJIS_CHARSET;
    std::vector<std::wstring> faces;
    EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
    return faces;
}

// One character drawn black on white in a memory picture, as its pixels.
class CharacterPicture {
public:
    explicit CharacterPicture(HFONT font) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        previousFont_ = SelectObject(dc_, font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        height_ = std::max(1, int(metrics.tmHeight));
        width_ = 2 * height_;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_) previousBitmap_ = SelectObject(dc_, bitmap_);
        SetTextColor(dc_, RGB(0, 0, 0));
        SetBkMode(dc_, TRANSPARENT);
    }
    ~CharacterPicture() {
        if (bitmap_) {
            SelectObject(dc_, previousBitmap_);
            DeleteObject(bitmap_);
        }
        SelectObject(dc_, previousFont_);
        DeleteDC(dc_);
    }
    CharacterPicture(const CharacterPicture&) = delete;
    CharacterPicture& operator=(const CharacterPicture&) = delete;

    bool Valid() const { return bitmap_ != nullptr && bits_ != nullptr; }

    std::vector<DWORD> Draw(wchar_t character) {
        PatBlt(dc_, 0, 0, width_, height_, WHITENESS);
        TextOutW(dc_, 0, 0, &character, 1);
        GdiFlush();
        const DWORD* pixels = static_cast<const DWORD*>(bits_);
        return std::vector<DWORD>(pixels, pixels + size_t(width_) * size_t(height_));
    }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousFont_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    void* bits_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

} // namespace

JapaneseFaceListFunction ListJapaneseFaces = InstalledJapaneseFaces;

bool FontDrawsText(HDC dc, HFONT font, const std::wstring& text) {
    if (text.empty()) return true;
    HGDIOBJ previous = SelectObject(dc, font);
    std::vector<WORD> glyphs(text.size());
    DWORD converted = GetGlyphIndicesW(dc, text.c_str(), int(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, previous);
    if (converted == GDI_ERROR) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] >= L' ' && glyphs[i] == MissingGlyph) return false;
    return true;
}

bool FontShowsText(HFONT font, const std::wstring& text) {
    CharacterPicture picture(font);
    if (!picture.Valid()) return false;
    // U+FFFF is no character at all: no font, linked or not, has it.
    const std::vector<DWORD> missing = picture.Draw(L'\xFFFF');
    const std::vector<DWORD> blank = picture.Draw(L' ');
    std::wstring checked;
    for (wchar_t character : text) {
        if (character <= L' ' || checked.find(character) != std::wstring::npos) continue;
        checked += character;
        const std::vector<DWORD> shown = picture.Draw(character);
        if (shown == missing || shown == blank) return false;
    }
    return true;
}

bool WindowFontShowsText(HWND window, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(window);
    bool draws = FontDrawsText(dc, font, text);
    ReleaseDC(window, dc);
    return draws || FontShowsText(font, text);
}

HFONT CreateJapaneseFontLike(const LOGFONTW& like, const std::wstring& texts, std::wstring& face) {
    HDC dc = GetDC(nullptr);
    HFONT found = nullptr;
    for (const std::wstring& candidateFace : ListJapaneseFaces(dc)) {
        if (candidateFace.size() >= LF_FACESIZE) continue;
        LOGFONTW candidate = like;
        candidate.lfCharSet = SHIFTJIS_CHARSET;
        candidateFace.copy(candidate.lfFaceName, candidateFace.size());
        candidate.lfFaceName[candidateFace.size()] = L'\0';
        HFONT font = CreateFontIndirectW(&candidate);
        if (font && FontDrawsText(dc, font, texts)) {
            found = font;
            face = candidateFace;
            break;
        }
        if (font) DeleteObject(font);
    }
    ReleaseDC(nullptr, dc);
    return found;
}
