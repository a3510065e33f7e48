#include "app/DialogFont.h"

#include <vector>

namespace {

constexpr WORD MissingGlyph = 0xFFFF; // GetGlyphIndicesW's mark for a character the font lacks

std::wstring WindowTextOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::wstring text(size_t(length) + 1, L'\0');
    length = GetWindowTextW(window, &text[0], length + 1);
    text.resize(size_t(length > 0 ? length : 0));
    return text;
}

BOOL CALLBACK CollectControl(HWND control, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
    return TRUE;
}

std::vector<HWND> ControlsOf(HWND dialog) {
    std::vector<HWND> controls;
    EnumChildWindows(dialog, CollectControl, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

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

std::vector<std::wstring> JapaneseFaces(HDC dc) {
    LOGFONTW query{};
    query.lfCharSet = SHIFTJIS_CHARSET;
    std::vector<std::wstring> faces;
    EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
    return faces;
}

} // namespace

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

DialogFont::~DialogFont() {
    if (font_) DeleteObject(font_);
}

bool DialogFont::MakeDrawable(HWND dialog) {
    std::vector<HWND> controls = ControlsOf(dialog);
    std::wstring texts = WindowTextOf(dialog);
    for (HWND control : controls) texts += WindowTextOf(control);

    HFONT current = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    if (current == nullptr) current = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW wanted{};
    if (GetObjectW(current, sizeof wanted, &wanted) == 0) return false;

    HDC dc = GetDC(dialog);
    HFONT found = nullptr;
    if (!FontDrawsText(dc, current, texts)) {
        for (const std::wstring& face : JapaneseFaces(dc)) {
            if (face.size() >= LF_FACESIZE) continue;
            LOGFONTW candidate = wanted; // the template's height and weight
            candidate.lfCharSet = SHIFTJIS_CHARSET;
            face.copy(candidate.lfFaceName, face.size());
            candidate.lfFaceName[face.size()] = L'\0';
            HFONT font = CreateFontIndirectW(&candidate);
            if (font && FontDrawsText(dc, font, texts)) {
                found = font;
                face_ = face;
                break;
            }
            if (font) DeleteObject(font);
        }
    }
    ReleaseDC(dialog, dc);
    if (found == nullptr) return false;

    SendMessageW(dialog, WM_SETFONT, WPARAM(found), FALSE);
    for (HWND control : controls) SendMessageW(control, WM_SETFONT, WPARAM(found), TRUE);
    if (font_) DeleteObject(font_);
    font_ = found;
    return true;
}
