#include "app/JapaneseFace.h"

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

bool WindowFontDrawsText(HWND window, HFONT font, const std::wstring& text) {
    HDC dc = GetDC(window);
    bool draws = FontDrawsText(dc, font, text);
    ReleaseDC(window, dc);
    return draws;
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
